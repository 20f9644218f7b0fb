// What the stand-in asks of a driver: the outside world of windows, input and sound.
// One driver is linked into each executable: the desktop driver (SDL) into the player,
// the headless driver into the tests.
#ifndef QK_PLATFORM_DRIVER_H
#define QK_PLATFORM_DRIVER_H

#include "platform/wintypes.h"

namespace qk {
namespace driver {

// Shows a modal message box and gives the button chosen (IDOK, IDCANCEL, ...).
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type);
// The cursor the program set (NULL hides it).
void CursorChanged(HCURSOR cursor);

}  // namespace driver
}  // namespace qk

#endif
