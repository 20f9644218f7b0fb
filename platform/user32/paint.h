// Painting of the stand-in, independent of any driver: a top-level window is drawn
// whole (its classic frame, then every window of its tree by its own WM_ERASEBKGND and
// WM_PAINT through gdi32) into a surface that a driver shows as it is.
#ifndef QK_PLATFORM_USER32_PAINT_H
#define QK_PLATFORM_USER32_PAINT_H

#include "platform/gdi32/surface.h"
#include "platform/wintypes.h"

namespace qk {
namespace paint {

// What a window is drawn into: gdi32's bitmap of device contexts.
using Surface = gdi::Surface;

// Draws a top-level window (frame, caption with icon and title, caption buttons as its
// style allows, active or inactive colours, then the client area and every visible
// child). The surface gets the size of the window's rectangle; a minimised window is
// drawn as a strip of its caption alone, 160 pixels wide, with the restore glyph on its
// minimise box.
void RenderTopLevel(HWND top, Surface &out);

// Where a point lies on a top-level window, in its own coordinates (0,0 is the frame's
// top-left corner): one of the HT* values of the platform (HTCLIENT, HTCAPTION,
// HTSYSMENU, HTMINBUTTON, HTMAXBUTTON, HTCLOSE, HTLEFT ... HTBOTTOMRIGHT, HTNOWHERE).
int HitTest(HWND top, int x, int y);

// The system command a click on a caption button gives (SC_CLOSE, SC_MINIMIZE,
// SC_MAXIMIZE or SC_RESTORE, as the window's state makes the button mean), or 0 for a
// button drawn disabled and for any other hit-test code.
UINT CaptionButtonCommand(HWND top, int hit);
// A caption button held down by the mouse (HTCLOSE, HTMINBUTTON, HTMAXBUTTON; HTNOWHERE
// for none) is drawn pushed in until this is called again.
void PressCaptionButton(HWND top, int hit);

// A popup menu (the system menu) drawn with one item highlighted (-1: none), and the
// item at a point of it (-1: none or a separator).
void RenderMenu(HMENU menu, int highlighted, Surface &out);
int MenuItemAt(HMENU menu, int x, int y);

}  // namespace paint
}  // namespace qk

#endif
