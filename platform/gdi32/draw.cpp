// Drawing through a DC into the surface it points at: rectangles, edges, lines, pixels,
// text and icons. Coordinates are the DC's own; a DC pointing nowhere accepts every call
// and draws nothing.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/paint.h"
#include "platform/user32/resources.h"
#include "platform/user32/user32.h"

namespace qk {
namespace gdi {
namespace {

uint32_t Argb(COLORREF c) {
    return 0xFF000000u | ((uint32_t)GetRValue(c) << 16) | ((uint32_t)GetGValue(c) << 8) | GetBValue(c);
}

COLORREF FromArgb(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// The drawing area of a DC in surface pixels: its clip within the surface.
bool Area(const DcState &s, RECT &area) {
    const paint::Surface *surf = s.target.surface;
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
    paint::Surface *surf = nullptr;
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

// The drawing call's DC under the table's lock.
struct Locked {
    std::lock_guard<std::mutex> lock{DcTableMutex()};
    DcState *state;
    explicit Locked(HDC dc) : state(LockedDcState(dc)) {}
};

void HLine(Painter &p, int x0, int x1, int y, uint32_t c) { p.Fill(x0, y, x1, y + 1, c); }
void VLine(Painter &p, int x, int y0, int y1, uint32_t c) { p.Fill(x, y0, x + 1, y1, c); }

// ---- text ----

// One line of text to draw: its characters (prefixes resolved) and which are underlined.
struct TextLine {
    std::string text;
    std::vector<bool> underline;
};

int TabWidth(FontId font) { return 8 * MeasureText(font, "x", 1).cx; }

// Width of a run of characters drawn from x = 0, tabs expanded when asked.
int RunWidth(FontId font, const char *text, size_t len, bool tabs) {
    if (!tabs) return MeasureText(font, text, (int)len).cx;
    int x = 0, tab = TabWidth(font);
    for (size_t i = 0; i < len; i++) {
        if (text[i] == '\t' && tab > 0)
            x = (x / tab + 1) * tab;
        else
            x += MeasureText(font, text + i, 1).cx;
    }
    return x;
}

// Draws a run with its top left at (x, y) in a colour; underlined characters get a line
// under them.
void DrawRun(Painter &p, FontId font, int x, int y, const char *text, size_t len, const std::vector<bool> *underline,
             bool tabs, uint32_t colour) {
    int ascent = FontAscent(font);
    int tab = TabWidth(font);
    int pen = x;
    for (size_t i = 0; i < len; i++) {
        unsigned char ch = (unsigned char)text[i];
        if (ch == '\t' && tabs && tab > 0) {
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

// Where a line may break, as the platform's line breaking has it for the characters of
// words and paths: after blanks (never before one), before a backslash (unless it follows
// a digit), and after a slash or a hyphen (unless a digit or another of them follows).
// So "C:\\SOUNDS\\DING.WAV" breaks before each backslash, "A-B" after the hyphen, and
// "12\\34", "1-2" and "1/2" never.
bool BreakBefore(const std::string &s, size_t i) {
    if (i == 0 || i >= s.size()) return false;
    char c = s[i], prev = s[i - 1];
    bool digit = c >= '0' && c <= '9', prevDigit = prev >= '0' && prev <= '9';
    if (c == ' ') return false;
    if (prev == ' ') return true;
    if (c == '\\') return !prevDigit;
    if (prev == '/' || prev == '-') return !digit && c != '/' && c != '-';
    return false;
}

// The next line of a paragraph s[start, end) broken to a width, as the platform breaks
// it: the most characters that fit, taken back to the last place the line may break
// (blanks that fit stay at the end of a left-aligned line; centred and right-aligned
// lines leave one out), and one blank after the break is dropped. A word that fits no
// line is kept whole up to the next blank. Gives the line's length; `used` tells how many
// characters it took up, the dropped blank included.
size_t WrapLine(FontId font, const std::string &s, size_t start, size_t end, UINT format, int maxWidth, bool tabs,
                size_t &used) {
    size_t len = end - start, fit = 0;
    while (fit < len && RunWidth(font, s.data() + start, fit + 1, tabs) <= maxWidth) fit++;
    if (fit == len) {
        used = len;
        return len;
    }
    bool aligned = (format & (DT_CENTER | DT_RIGHT)) != 0;
    size_t at = 0;  // where the line breaks, from start; 0: nowhere
    if (fit > 0 && BreakBefore(s, start + fit)) {
        at = fit;
    } else {
        for (size_t i = fit; i > 1 && !at; i--)
            if (BreakBefore(s, start + i - 1)) at = i - 1;
    }
    size_t length;
    if (at > 0) {
        length = at;
        if (aligned && s[start + at - 1] == ' ') length--;
        used = at;
    } else {
        // No place to break within what fits: the whole word, to the next blank.
        length = fit;
        while (length < len && s[start + length] != ' ') length++;
        used = length;
    }
    if (used < len && s[start + used] == ' ') used++;
    return length;
}

// Splits text into lines as DrawTextA does.
std::vector<TextLine> LayOut(FontId font, const char *text, size_t len, UINT format, int maxWidth) {
    // Prefixes first: '&' underlines the next character, "&&" is an '&'.
    TextLine all;
    for (size_t i = 0; i < len; i++) {
        char c = text[i];
        if (c == '&' && !(format & DT_NOPREFIX)) {
            if (i + 1 < len && text[i + 1] == '&') {
                all.text += '&';
                all.underline.push_back(false);
                i++;
            } else if (i + 1 < len) {
                all.text += text[i + 1];
                all.underline.push_back(!(format & DT_HIDEPREFIX));
                i++;
            }
            continue;
        }
        all.text += c;
        all.underline.push_back(false);
    }
    bool tabs = (format & DT_EXPANDTABS) != 0;
    std::vector<TextLine> lines;
    auto sub = [&](size_t from, size_t to) {
        TextLine l;
        l.text = all.text.substr(from, to - from);
        l.underline.assign(all.underline.begin() + (long)from, all.underline.begin() + (long)to);
        return l;
    };
    const std::string &s = all.text;
    size_t n = s.size();
    if (format & DT_SINGLELINE) {
        lines.push_back(all);
        return lines;
    }
    size_t pos = 0;
    for (;;) {
        // A paragraph runs to "\r\n", '\n' or '\r'.
        size_t end = pos;
        while (end < n && s[end] != '\n' && s[end] != '\r') end++;
        size_t next = end;
        if (end < n) next = (s[end] == '\r' && end + 1 < n && s[end + 1] == '\n') ? end + 2 : end + 1;
        if (!(format & DT_WORDBREAK)) {
            lines.push_back(sub(pos, end));
        } else {
            size_t start = pos;
            do {
                size_t used, length = WrapLine(font, s, start, end, format, maxWidth, tabs, used);
                lines.push_back(sub(start, start + length));
                start += used;
            } while (start < end);
        }
        if (end >= n) break;
        pos = next;
        if (pos >= n) {
            lines.push_back(TextLine());  // a text ending in a line break has an empty last line
            break;
        }
    }
    return lines;
}

// Shortens a line to fit a width with "..." at its end.
void EndEllipsis(FontId font, TextLine &line, int width, bool tabs) {
    if (RunWidth(font, line.text.data(), line.text.size(), tabs) <= width) return;
    int dots = MeasureText(font, "...", 3).cx;
    size_t keep = line.text.size();
    while (keep > 0 && RunWidth(font, line.text.data(), keep, tabs) + dots > width) keep--;
    line.text = line.text.substr(0, keep) + "...";
    line.underline.resize(keep);
    line.underline.resize(keep + 3, false);
}

// ---- edges ----

struct EdgeColours {
    int topLeft, bottomRight;  // COLOR_ indices
};

}  // namespace
}  // namespace gdi
}  // namespace qk

using namespace qk::gdi;

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
    if (!lprc) return 0;
    COLORREF c;
    Locked dc(hDC);
    if (!dc.state || !BrushColor(hbr, c)) return 0;
    Painter p(*dc.state);
    p.Fill(lprc->left, lprc->top, lprc->right, lprc->bottom, Argb(c));
    return 1;
}

int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
    if (!lprc) return 0;
    COLORREF c;
    Locked dc(hDC);
    if (!dc.state || !BrushColor(hbr, c)) return 0;
    const RECT &r = *lprc;
    if (r.right <= r.left || r.bottom <= r.top) return 1;
    Painter p(*dc.state);
    uint32_t a = Argb(c);
    HLine(p, r.left, r.right, r.top, a);
    HLine(p, r.left, r.right, r.bottom - 1, a);
    VLine(p, r.left, r.top, r.bottom, a);
    VLine(p, r.right - 1, r.top, r.bottom, a);
    return 1;
}

BOOL WINAPI InvertRect(HDC hDC, const RECT *lprc) {
    if (!lprc) return FALSE;
    Locked dc(hDC);
    if (!dc.state) return FALSE;
    Painter p(*dc.state);
    for (int y = lprc->top; y < lprc->bottom; y++)
        for (int x = lprc->left; x < lprc->right; x++) p.Invert(x, y);
    return TRUE;
}

BOOL WINAPI DrawFocusRect(HDC hDC, const RECT *lprc) {
    if (!lprc) return FALSE;
    Locked dc(hDC);
    if (!dc.state) return FALSE;
    const RECT &r = *lprc;
    if (r.right <= r.left || r.bottom <= r.top) return TRUE;
    Painter p(*dc.state);
    // Every other pixel along the border, counted from the top left corner.
    auto dot = [&](int x, int y) {
        if (((x - r.left) + (y - r.top)) % 2 == 0) p.Invert(x, y);
    };
    for (int x = r.left; x < r.right; x++) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; y++) {
        dot(r.left, y);
        if (r.right - 1 > r.left) dot(r.right - 1, y);
    }
    return TRUE;
}

BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT flags) {
    if (!qrc) return FALSE;
    Locked dc(hdc);
    if (!dc.state) return FALSE;
    Painter p(*dc.state);
    RECT r = *qrc;
    UINT outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
    // The two lines, outside first: which colour goes top left and which bottom right.
    EdgeColours lines[2];
    bool has[2] = {outer != 0, inner != 0};
    bool soft = (flags & BF_SOFT) != 0;
    if (outer & BDR_RAISEDOUTER)
        lines[0] = {soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW};
    else
        lines[0] = {soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    if (inner & BDR_RAISEDINNER)
        lines[1] = {soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    else
        lines[1] = {soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
    if (flags & BF_MONO) {
        lines[0] = {COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
        lines[1] = {COLOR_WINDOW, COLOR_WINDOW};
    } else if (flags & BF_FLAT) {
        lines[0] = {COLOR_BTNSHADOW, COLOR_BTNSHADOW};
        lines[1] = {COLOR_BTNFACE, COLOR_BTNFACE};
    }
    for (int i = 0; i < 2; i++) {
        if (!has[i]) continue;
        if (r.right <= r.left || r.bottom <= r.top) break;
        uint32_t tl = Argb(GetSysColor(lines[i].topLeft)), br = Argb(GetSysColor(lines[i].bottomRight));
        // The top left colour leaves the far corners to the bottom right one.
        if (flags & BF_TOP) HLine(p, r.left, r.right - 1, r.top, tl);
        if (flags & BF_LEFT) VLine(p, r.left, r.top, r.bottom - 1, tl);
        if (flags & BF_BOTTOM) HLine(p, r.left, r.right, r.bottom - 1, br);
        if (flags & BF_RIGHT) VLine(p, r.right - 1, r.top, r.bottom, br);
        if (flags & BF_LEFT) r.left++;
        if (flags & BF_TOP) r.top++;
        if (flags & BF_RIGHT) r.right--;
        if (flags & BF_BOTTOM) r.bottom--;
    }
    if ((flags & BF_MIDDLE) && r.right > r.left && r.bottom > r.top)
        p.Fill(r.left, r.top, r.right, r.bottom, Argb(GetSysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE)));
    if (flags & BF_ADJUST) *qrc = r;
    return TRUE;
}

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
    DrawRun(p, s.font, x, y, lpString, (size_t)c, nullptr, false, Argb(s.textColour));
    return TRUE;
}

int WINAPI DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rc, UINT format) {
    if (!rc || (count != 0 && !text)) return 0;
    size_t len = count < 0 ? strlen(text) : (size_t)count;
    Locked dc(hdc);
    if (!dc.state) return 0;
    DcState &s = *dc.state;
    FontId font = s.font;
    bool tabs = (format & DT_EXPANDTABS) != 0;
    int width = rc->right - rc->left;
    std::vector<TextLine> lines = LayOut(font, text ? text : "", len, format, width);
    if (format & DT_END_ELLIPSIS)
        for (TextLine &l : lines) EndEllipsis(font, l, width, tabs);
    int lineHeight = FontHeight(font);
    int height = lineHeight * (int)lines.size();
    int widest = 0;
    for (const TextLine &l : lines) {
        int w = RunWidth(font, l.text.data(), l.text.size(), tabs);
        if (w > widest) widest = w;
    }
    int top = rc->top;
    bool single = (format & DT_SINGLELINE) != 0;
    if (single && (format & DT_VCENTER))
        top = rc->top + ((rc->bottom - rc->top) - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rc->bottom - lineHeight;
    if (format & DT_CALCRECT) {
        rc->right = rc->left + widest;
        rc->bottom = rc->top + height;
        return height;
    }
    Painter p(s);
    if (!(format & DT_NOCLIP)) p.Clip(*rc);
    uint32_t ink = Argb(s.textColour), paper = Argb(s.bkColour);
    int y = top;
    for (const TextLine &l : lines) {
        int w = RunWidth(font, l.text.data(), l.text.size(), tabs);
        int x = rc->left;
        if (format & DT_CENTER)
            x = rc->left + ((rc->right - rc->left) - w) / 2;
        else if (format & DT_RIGHT)
            x = rc->right - w;
        if (s.bkMode == OPAQUE) p.Fill(x, y, x + w, y + lineHeight, paper);
        DrawRun(p, font, x, y, l.text.data(), l.text.size(), &l.underline, tabs, ink);
        y += lineHeight;
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM))) return top - rc->top + height;
    return height;
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cx, int cy, UINT, HBRUSH, UINT flags) {
    const qk::res::IconImage *img = qk::res::IconPixels(hIcon);
    if (!img || img->width <= 0 || img->height <= 0) return FALSE;
    if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? 32 : img->width;
    if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? 32 : img->height;
    if (cx < 0 || cy < 0) return FALSE;
    Locked dc(hdc);
    if (!dc.state) return FALSE;
    if ((flags & DI_NORMAL) == 0) return TRUE;
    Painter p(*dc.state);
    for (int y = 0; y < cy; y++) {
        int sy = y * img->height / cy;
        for (int x = 0; x < cx; x++) {
            int sx = x * img->width / cx;
            uint32_t src = img->pixels[(size_t)sy * img->width + sx];
            uint32_t alpha = src >> 24;
            if (!(flags & DI_IMAGE)) {  // the mask alone: black where the icon is
                if (alpha) p.Put(xLeft + x, yTop + y, 0xFF000000);
                continue;
            }
            if (!(flags & DI_MASK)) alpha = 255;  // the image alone, without transparency
            uint32_t *dst = p.At(xLeft + x, yTop + y);
            if (!dst || alpha == 0) continue;
            if (alpha == 255) {
                *dst = src | 0xFF000000;
                continue;
            }
            uint32_t out = 0xFF000000;
            for (int shift = 0; shift < 24; shift += 8) {
                uint32_t a = (src >> shift) & 0xFF, b = (*dst >> shift) & 0xFF;
                out |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
            }
            *dst = out;
        }
    }
    return TRUE;
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) { return DrawIconEx(hDC, X, Y, hIcon, 32, 32, 0, NULL, DI_NORMAL); }
