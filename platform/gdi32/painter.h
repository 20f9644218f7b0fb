// Drawing through a DC into the surface it points at, for gdi32's own drawing calls and
// user32's (FillRect, DrawEdge, DrawTextA, DrawIconEx, ...): a painter for one call turns
// the DC's logical coordinates into surface pixels, clipped. A DC pointing nowhere accepts
// every call and draws nothing. Not part of the program's API.
#ifndef QK_PLATFORM_GDI32_PAINTER_H
#define QK_PLATFORM_GDI32_PAINTER_H

#include <stddef.h>
#include <stdint.h>

#include <mutex>
#include <vector>

#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"

namespace qk {
namespace gdi {

inline uint32_t Argb(COLORREF c) {
    return 0xFF000000u | ((uint32_t)GetRValue(c) << 16) | ((uint32_t)GetGValue(c) << 8) | GetBValue(c);
}

inline COLORREF FromArgb(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// The drawing area of a DC in surface pixels: its clip within the surface.
inline bool Area(const DcState &s, RECT &area) {
    const Surface *surf = s.target.surface;
    if (!surf) return false;
    area = s.target.clip;
    if (area.left < 0) area.left = 0;
    if (area.top < 0) area.top = 0;
    if (area.right > surf->width) area.right = surf->width;
    if (area.bottom > surf->height) area.bottom = surf->height;
    return area.left < area.right && area.top < area.bottom &&
           surf->pixels.size() >= (size_t)surf->width * (size_t)surf->height;
}

// A painter for one call: logical coordinates in, clipped surface pixels out.
struct Painter {
    Surface *surf = nullptr;
    POINT origin = {0, 0};
    RECT area = {0, 0, 0, 0};
    bool ok = false;

    explicit Painter(const DcState &s) {
        ok = Area(s, area);
        if (ok) {
            surf = s.target.surface;
            origin = s.target.origin;
        }
    }
    // Narrows the drawing area to a logical rectangle.
    void Clip(const RECT &r) {
        if (!ok) return;
        RECT c = {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
        if (c.left > area.left) area.left = c.left;
        if (c.top > area.top) area.top = c.top;
        if (c.right < area.right) area.right = c.right;
        if (c.bottom < area.bottom) area.bottom = c.bottom;
        if (area.left >= area.right || area.top >= area.bottom) ok = false;
    }
    uint32_t *At(int x, int y) {
        if (!ok) return nullptr;
        x += origin.x;
        y += origin.y;
        if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return nullptr;
        return &surf->pixels[(size_t)y * surf->width + x];
    }
    void Put(int x, int y, uint32_t argb) {
        if (uint32_t *p = At(x, y)) *p = argb;
    }
    void Fill(int l, int t, int r, int b, uint32_t argb) {
        if (!ok) return;
        int x0 = l + origin.x, y0 = t + origin.y, x1 = r + origin.x, y1 = b + origin.y;
        if (x0 < area.left) x0 = area.left;
        if (y0 < area.top) y0 = area.top;
        if (x1 > area.right) x1 = area.right;
        if (y1 > area.bottom) y1 = area.bottom;
        for (int y = y0; y < y1; y++) {
            uint32_t *row = &surf->pixels[(size_t)y * surf->width];
            for (int x = x0; x < x1; x++) row[x] = argb;
        }
    }
    void Invert(int x, int y) {
        if (uint32_t *p = At(x, y)) *p ^= 0x00FFFFFF;
    }
};

// The drawing call's DC under the table's lock (state NULL: no DC taken).
struct Locked {
    std::lock_guard<std::mutex> lock{DcTableMutex()};
    DcState *state;
    explicit Locked(HDC dc) : state(LockedDcState(dc)) {}
};

inline void HLine(Painter &p, int x0, int x1, int y, uint32_t c) { p.Fill(x0, y, x1, y + 1, c); }
inline void VLine(Painter &p, int x, int y0, int y1, uint32_t c) { p.Fill(x, y0, x + 1, y1, c); }

// Draws a run of text with its top left at (x, y) in a colour; underlined characters (where
// `underline` says so) get a line under them. With a tab width (> 0) a tab moves the pen to
// the next multiple of it from x; without one it is drawn as a character.
void DrawRun(Painter &p, FontId font, int x, int y, const char *text, size_t len, const std::vector<bool> *underline,
             int tab, uint32_t colour);

}  // namespace gdi
}  // namespace qk

#endif
