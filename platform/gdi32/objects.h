// GDI objects and device contexts as the stand-in's user32 and the drivers see them. Not
// part of the program's API.
#ifndef QK_PLATFORM_GDI32_OBJECTS_H
#define QK_PLATFORM_GDI32_OBJECTS_H

#include <mutex>

#include "platform/gdi32/font.h"
#include "platform/wintypes.h"

namespace qk {
namespace paint {
struct Surface;
}

namespace gdi {

// The colour of a brush; false for the hollow brush and for anything that is no brush.
// A system colour given as (HBRUSH)(COLOR_x + 1) counts as that colour's brush.
bool BrushColor(HBRUSH brush, COLORREF &colour);
// The colour of a pen; false for the null pen and for anything that is no pen.
bool PenColor(HPEN pen, COLORREF &colour);
// A pen's style and width (at least 1); false for anything that is no pen.
bool PenShape(HPEN pen, int &style, int &width);
// Which font a font handle stands for; false for anything that is no font.
bool FontOf(HFONT handle, FontId &font);

// "MS Sans Serif" 8 pt: the font of dialogs and message boxes.
HFONT DialogFont();

// Where a DC draws: a surface, the surface pixel of the DC's point (0,0), and the part
// of the surface it may touch (in surface pixels).
struct SurfaceTarget {
    paint::Surface *surface = nullptr;
    POINT origin = {0, 0};
    RECT clip = {0, 0, 0, 0};
};

// What a DC holds; false for anything that is no DC taken and not released.
struct DcState {
    HWND window;  // NULL: the screen
    FontId font;
    HFONT fontHandle;
    HBRUSH brush;
    HPEN pen;
    SurfaceTarget target;  // no surface: drawing goes nowhere
    COLORREF textColour;
    COLORREF bkColour;
    int bkMode;
    POINT position;  // MoveToEx, LineTo
};
bool GetDcState(HDC dc, DcState &state);

// Points a DC at a surface (a NULL surface: nowhere).
bool SetDcTarget(HDC dc, const SurfaceTarget &target);

// Where the DCs of a window draw while user32 renders it (its client area in the
// window's surface); false when it is not being rendered. user32 gives the answer.
bool WindowTarget(HWND window, SurfaceTarget &target);

// For the drawing calls: the lock of the DC table and the state of a DC under it.
std::mutex &DcTableMutex();
DcState *LockedDcState(HDC dc);  // the caller holds DcTableMutex()

// The font metrics GetTextMetricsA gives.
void FontMetrics(FontId font, LONG &internalLeading, LONG &weight);

}  // namespace gdi
}  // namespace qk

#endif
