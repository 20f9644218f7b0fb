// The drawing tools of user32: filled, framed and inverted rectangles, the focus rectangle
// and the classic 3-D edges, painted through gdi32's painter.
#include "platform/gdi32/painter.h"
#include "platform/user32/user32.h"

using namespace qk::gdi;

namespace {

struct EdgeColours {
    int topLeft, bottomRight;  // COLOR_ indices
};

}  // namespace

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
