// GDI objects and device contexts as the stand-in's user32 and the drivers see them. Not
// part of the program's API.
#ifndef QK_PLATFORM_GDI32_OBJECTS_H
#define QK_PLATFORM_GDI32_OBJECTS_H

#include "platform/gdi32/font.h"
#include "platform/wintypes.h"

namespace qk {
namespace gdi {

// The colour of a brush; false for the hollow brush and for anything that is no brush.
bool BrushColor(HBRUSH brush, COLORREF &colour);
// The colour of a pen; false for the null pen and for anything that is no pen.
bool PenColor(HPEN pen, COLORREF &colour);
// Which font a font handle stands for; false for anything that is no font.
bool FontOf(HFONT handle, FontId &font);

// "MS Sans Serif" 8 pt: the font of dialogs and message boxes.
HFONT DialogFont();

// What a DC holds; false for anything that is no DC taken and not released.
struct DcState {
    HWND window;  // NULL: the screen
    FontId font;
    HFONT fontHandle;
    HBRUSH brush;
    HPEN pen;
};
bool GetDcState(HDC dc, DcState &state);

}  // namespace gdi
}  // namespace qk

#endif
