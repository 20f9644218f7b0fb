// The classic vertical scroll bar of a list box and of the combo box's dropped list: its
// one width, how it is drawn, and what a click on it asks for.
#include <algorithm>

#include "platform/gdi32/gdi32.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

int ScrollBarWidth() { return GetSystemMetrics(SM_CXVSCROLL); }

void DrawVerticalScrollBar(HDC dc, RECT r, int first, int visible, int total) {
    int w = r.right - r.left;
    FillRect(dc, &r, GetSysColorBrush(COLOR_SCROLLBAR));
    RECT up = {r.left, r.top, r.right, r.top + w}, down = {r.left, r.bottom - w, r.right, r.bottom};
    for (RECT *b : {&up, &down}) {
        RECT e = *b;
        FillRect(dc, &e, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &e, EDGE_RAISED, BF_RECT);
    }
    // The arrows: small filled triangles.
    HPEN ink = CreatePen(PS_SOLID, 1, GetSysColor(total > visible ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    HGDIOBJ old = SelectObject(dc, ink);
    int cx = r.left + w / 2;
    for (int i = 0; i < 4; i++) {
        MoveToEx(dc, cx - i, up.top + w / 2 - 2 + i, NULL);
        LineTo(dc, cx + i + 1, up.top + w / 2 - 2 + i);
        MoveToEx(dc, cx - i, down.top + w / 2 + 1 - i, NULL);
        LineTo(dc, cx + i + 1, down.top + w / 2 + 1 - i);
    }
    SelectObject(dc, old);
    DeleteObject(ink);
    int track = (down.top - up.bottom);
    if (total > visible && track > 8) {
        int size = std::max(8, track * visible / total);
        int pos = up.bottom + (int)((long long)(track - size) * first / std::max(1, total - visible));
        RECT thumb = {r.left, pos, r.right, pos + size};
        FillRect(dc, &thumb, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
    }
}

int ScrollBarClick(int y, int height, int page) {
    int arrow = ScrollBarWidth();
    if (y < arrow) return -1;
    if (y >= height - arrow) return 1;
    return y < height / 2 ? -page : page;
}

}  // namespace wnd
}  // namespace qk
