// The message box as a window of the stand-in's own, for a driver that shows windows.
// Not part of the program's API.
#ifndef QK_PLATFORM_USER32_MSGBOX_H
#define QK_PLATFORM_USER32_MSGBOX_H

#include "platform/wintypes.h"

namespace qk {
namespace wnd {

// Shows a modal message box window owned by `owner` (or by nobody) and gives the button
// chosen (IDOK, IDCANCEL, IDYES, ...). The box is a popup dialog window in MS Sans Serif
// 8 sized to its text, with the icon of MB_ICONERROR/WARNING/INFORMATION/QUESTION and
// the buttons of the MB_ type, centred on the owner (or the screen). The owner is
// disabled while it runs its own message loop, then enabled and activated again. Enter
// chooses the focused button (at first the default one: MB_DEFBUTTONn, else the first),
// Escape and the close box act as Cancel (OK for MB_OK; nothing for MB_YESNO and
// MB_ABORTRETRYIGNORE, whose close box is greyed), Tab and the arrow keys move between
// the buttons, a button's underlined letter chooses it. A WM_QUIT taken from the queue
// is posted again and ends the box with IDCANCEL; so does the box's destruction.
int RunMessageBoxWindow(HWND owner, const char *text, const char *caption, UINT type);

}  // namespace wnd
}  // namespace qk

#endif
