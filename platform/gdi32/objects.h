// GDI objects and device contexts as the stand-in's user32 and the drivers see them. Not
// part of the program's API.
#ifndef QK_PLATFORM_GDI32_OBJECTS_H
#define QK_PLATFORM_GDI32_OBJECTS_H

#include <mutex>

#include "platform/gdi32/font.h"
#include "platform/gdi32/surface.h"
#include "platform/wintypes.h"

namespace qk {
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

// The brushes of the system colours (user32's GetSysColorBrush), one for each COLOR_
// index: the system owns them, and DeleteObject leaves them alone. A brush given as
// (HBRUSH)(COLOR_x + 1), as a class background may be, stands for the one of COLOR_x in
// every call that takes a brush. user32 gives them their colours before anything draws.
const int kSystemBrushCount = 31;
void SetSystemBrushColours(const COLORREF (&colours)[kSystemBrushCount]);
// NULL for an index outside 0 .. kSystemBrushCount - 1.
HBRUSH SystemBrush(int index);

// Where a DC draws: a surface, the surface pixel of the DC's point (0,0), and the part
// of the surface it may touch (in surface pixels).
struct SurfaceTarget {
    Surface *surface = nullptr;
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

// user32's GetDC and ReleaseDC: a new DC of a window (NULL: the screen) drawing into a
// target, with the System font, the white brush, the black pen, black text on white and
// OPAQUE; and its release, false for anything that is no DC taken.
HDC OpenDc(HWND window, const SurfaceTarget &target);
bool CloseDc(HDC dc);

// For the drawing calls: the lock of the DC table and the state of a DC under it.
std::mutex &DcTableMutex();
DcState *LockedDcState(HDC dc);  // the caller holds DcTableMutex()

// The font metrics GetTextMetricsA gives.
void FontMetrics(FontId font, LONG &internalLeading, LONG &weight);

}  // namespace gdi
}  // namespace qk

#endif
