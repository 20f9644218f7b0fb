// gdi32's drawing through a DC into the surface it points at: pixels, lines, rectangles and
// text runs. Coordinates are the DC's own; a DC pointing nowhere accepts every call and
// draws nothing. user32's drawing (FillRect, DrawEdge, DrawTextA, ...) paints through the
// same painter (painter.h).
#include <stdlib.h>

#include <utility>
#include <vector>

#include "platform/gdi32/painter.h"

namespace qk {
namespace gdi {

void DrawRun(Painter &p, FontId font, int x, int y, const char *text, size_t len, const std::vector<bool> *underline,
             int tab, uint32_t colour) {
    int ascent = FontAscent(font);
    int pen = x;
    for (size_t i = 0; i < len; i++) {
        unsigned char ch = (unsigned char)text[i];
        if (ch == '\t' && tab > 0) {
            pen = x + ((pen - x) / tab + 1) * tab;
            continue;
        }
        Glyph g;
        int advance = MeasureText(font, text + i, 1).cx;
        if (GetGlyph(font, ch, g) && g.coverage) {
            int gx = pen + g.offsetX, gy = y + ascent + g.offsetY;
            for (int row = 0; row < g.height; row++)
                for (int col = 0; col < g.width; col++)
                    if (g.coverage[row * g.width + col] >= 128) p.Put(gx + col, gy + row, colour);
        }
        if (underline && i < underline->size() && (*underline)[i]) HLine(p, pen, pen + advance, y + ascent + 1, colour);
        pen += advance;
    }
}

}  // namespace gdi
}  // namespace qk

using namespace qk::gdi;

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Locked dc(hdc);
    if (!dc.state) return CLR_INVALID;
    Painter p(*dc.state);
    uint32_t *px = p.At(x, y);
    if (!px) return CLR_INVALID;
    *px = Argb(color);
    return color & 0xFFFFFF;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    Locked dc(hdc);
    if (!dc.state) return CLR_INVALID;
    Painter p(*dc.state);
    uint32_t *px = p.At(x, y);
    return px ? FromArgb(*px) : CLR_INVALID;
}

namespace {

// A line from (x0, y0) to (x1, y1) without its last point, in the DC's pen.
void PenLine(Painter &p, const DcState &s, int x0, int y0, int x1, int y1) {
    COLORREF c;
    int style, width;
    if (!PenColor(s.pen, c) || !PenShape(s.pen, style, width)) return;
    uint32_t a = Argb(c);
    int dx = abs(x1 - x0), dy = -abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy, x = x0, y = y0, step = 0;
    int half = (width - 1) / 2;
    while (!(x == x1 && y == y1)) {
        bool on = true;
        if (style == PS_DOT) on = step % 2 == 0;
        else if (style == PS_DASH) on = step % 24 < 18;
        else if (style == PS_DASHDOT) on = step % 24 < 12 || (step % 24 >= 18 && step % 24 < 21);
        else if (style == PS_DASHDOTDOT) on = step % 24 < 12 || (step % 24 >= 15 && step % 24 < 18) || step % 24 >= 21;
        if (on) {
            if (width == 1)
                p.Put(x, y, a);
            else
                p.Fill(x - half, y - half, x - half + width, y - half + width, a);
        }
        step++;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

}  // namespace

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    Locked dc(hdc);
    if (!dc.state) return FALSE;
    Painter p(*dc.state);
    PenLine(p, *dc.state, dc.state->position.x, dc.state->position.y, x, y);
    dc.state->position = {x, y};
    return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Locked dc(hdc);
    if (!dc.state) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    Painter p(*dc.state);
    COLORREF fill, line;
    int style = PS_SOLID, width = 1;
    bool pen = PenColor(dc.state->pen, line) && PenShape(dc.state->pen, style, width);
    if (!pen) width = 0;
    if (BrushColor(dc.state->brush, fill)) p.Fill(left + width, top + width, right - width, bottom - width, Argb(fill));
    if (pen) {
        if (style == PS_SOLID || style == PS_INSIDEFRAME) {
            uint32_t a = Argb(line);
            p.Fill(left, top, right, top + width, a);
            p.Fill(left, bottom - width, right, bottom, a);
            p.Fill(left, top, left + width, bottom, a);
            p.Fill(right - width, top, right, bottom, a);
        } else {
            PenLine(p, *dc.state, left, top, right - 1, top);
            PenLine(p, *dc.state, right - 1, top, right - 1, bottom - 1);
            PenLine(p, *dc.state, right - 1, bottom - 1, left, bottom - 1);
            PenLine(p, *dc.state, left, bottom - 1, left, top);
        }
    }
    return TRUE;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    if (c < 0 || (c > 0 && !lpString)) return FALSE;
    Locked dc(hdc);
    if (!dc.state) return FALSE;
    DcState &s = *dc.state;
    Painter p(s);
    SIZE size = MeasureText(s.font, lpString, c);
    if (s.bkMode == OPAQUE) p.Fill(x, y, x + size.cx, y + size.cy, Argb(s.bkColour));
    DrawRun(p, s.font, x, y, lpString, (size_t)c, nullptr, 0, Argb(s.textColour));
    return TRUE;
}
