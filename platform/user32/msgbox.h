// Message boxes as real windows of the stand-in: a captioned popup with the text and the
// buttons of the box's type, run modally over its owner (disabled meanwhile). The desktop
// driver shows MessageBoxA through it.
#ifndef QK_PLATFORM_USER32_MSGBOX_H
#define QK_PLATFORM_USER32_MSGBOX_H

#include "platform/wintypes.h"

namespace qk {
namespace wnd {

// Runs a message box and gives the button chosen (IDOK, IDCANCEL, IDYES, ...).
int RunMessageBoxWindow(HWND owner, const char *text, const char *caption, UINT type);

}  // namespace wnd
}  // namespace qk

#endif
