// The list box and the drop-down list combo box.
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32.h"
#include "platform/kernel32/codepage.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

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

void DrawListRows(HDC dc, RECT r, const std::vector<std::string> &rows, int first, int rowHeight,
                  const std::vector<bool> &selected, int highlighted, int focusRow) {
    SetBkMode(dc, TRANSPARENT);
    for (int i = first, y = r.top; i < (int)rows.size() && y < r.bottom && rowHeight > 0; i++, y += rowHeight) {
        RECT row = {r.left, y, r.right, y + rowHeight};
        bool on = i == highlighted || (i < (int)selected.size() && selected[(size_t)i]);
        if (on) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(on ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT text = {row.left + 2, row.top, row.right, row.bottom};
        DrawTextA(dc, rows[(size_t)i].c_str(), (int)rows[(size_t)i].size(), &text,
                  DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
        if (i == focusRow) DrawFocusRect(dc, &row);
    }
}

namespace {

bool PrefixNoCase(const char *item, const char *prefix, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (qk::AnsiUpper((unsigned char)item[i]) != qk::AnsiUpper((unsigned char)prefix[i])) return false;
        if (!item[i]) return false;
    }
    return true;
}

int ItemHeight(const Window *w) { return gdi::FontHeight((gdi::FontId)ControlFont(w)); }

// Inserts a sorted item where the platform's binary search puts it: before an equal item
// the search meets, so items equal but for case keep no fixed order. Unsorted: at the end.
int AddItem(std::vector<std::string> &items, const std::string &text, bool sorted) {
    if (!sorted) {
        items.push_back(text);
        return (int)items.size() - 1;
    }
    int min = 0, max = (int)items.size() - 1, at = -1;
    while (min <= max) {
        int index = (min + max) / 2;
        int res = CompareStringNoCase(items[(size_t)index], text);
        if (!res) {
            at = index;
            break;
        }
        if (res > 0)
            max = index - 1;
        else
            min = index + 1;
    }
    if (at < 0) at = min;
    items.insert(items.begin() + at, text);
    return at;
}

// Whether a prefix search finds an item, without regard to case. Directory and drive entries
// of a directory list ("[sounds]", "[..]", "[-c-]") are found by their name as well as by
// their brackets, as on the platform: "s" finds "[sounds]", "c" finds "[-c-]", "[" finds them all.
bool PrefixMatches(const std::string &item, const char *prefix) {
    size_t len = strlen(prefix);
    const char *text = item.c_str();
    if (PrefixNoCase(text, prefix, len)) return true;
    if (text[0] != '[') return false;
    if (PrefixNoCase(text + 1, prefix, len)) return true;
    return text[1] == '-' && PrefixNoCase(text + 2, prefix, len);
}

// Finds an item starting after `start` and wrapping round to it, as the platform searches:
// the whole text compared as the sort compares it, or a prefix (PrefixMatches). An empty
// text finds nothing.
int FindItem(const std::vector<std::string> &items, int start, const char *text, bool exact) {
    int n = (int)items.size();
    if (!text || !text[0] || n == 0) return -1;
    if (start < -1 || start >= n) start = -1;
    for (int k = 1; k <= n; k++) {
        int i = (start + k) % n;
        if (exact ? CompareStringNoCase(text, items[(size_t)i]) == 0 : PrefixMatches(items[(size_t)i], text)) return i;
    }
    return -1;
}

// Rows the mouse wheel scrolls per notch (WHEEL_DELTA): the platform's default for
// SPI_GETWHEELSCROLLLINES.
const int kWheelScrollLines = 3;

struct ListState : ControlState {
    std::vector<std::string> items;
    std::vector<bool> selected;
    int caret = 0;
    int top = 0;
    bool focused = false;
    int wheel = 0;  // wheel movement not yet turned into whole rows
};

ListState *ListOf(Window *w) {
    if (!w->control) w->control = std::make_unique<ListState>();
    return static_cast<ListState *>(w->control.get());
}

bool MultiSelect(const Window *w) { return (w->style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0; }

int VisibleRows(Window *w) {
    int h = ItemHeight(w);
    RECT c = ClientRectOf(w);
    return h > 0 ? std::max(1, (int)c.bottom / h) : 1;
}

void EnsureVisible(Window *w, ListState *l) {
    int rows = VisibleRows(w);
    if (l->caret < l->top) l->top = l->caret;
    if (l->caret >= l->top + rows) l->top = l->caret - rows + 1;
    int maxTop = std::max(0, (int)l->items.size() - rows);
    l->top = std::max(0, std::min(l->top, maxTop));
}

// Selects one item alone and puts the caret on it; true when the selection changed.
bool SelectOnly(Window *w, ListState *l, int i) {
    bool changed = false;
    for (size_t k = 0; k < l->selected.size(); k++) {
        bool want = (int)k == i;
        if (l->selected[k] != want) {
            l->selected[k] = want;
            changed = true;
        }
    }
    l->caret = i;
    EnsureVisible(w, l);
    Invalidate(w);
    return changed;
}

int CurrentSelection(Window *w, ListState *l) {
    if (MultiSelect(w)) return l->items.empty() ? 0 : l->caret;  // the item with the focus rectangle
    for (size_t k = 0; k < l->selected.size(); k++)
        if (l->selected[k]) return (int)k;
    return LB_ERR;
}

void Scroll(Window *w, ListState *l, int by) {
    int rows = VisibleRows(w);
    int maxTop = std::max(0, (int)l->items.size() - rows);
    l->top = std::max(0, std::min(l->top + by, maxTop));
    Invalidate(w);
}

}  // namespace

LRESULT CALLBACK ListBoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    ListState *l = ListOf(w);
    int count = (int)l->items.size();
    bool notify = (w->style & LBS_NOTIFY) != 0;
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case LB_ADDSTRING:
        case LB_INSERTSTRING: {
            std::string text = lParam ? (const char *)lParam : "";
            int at;
            if (msg == LB_INSERTSTRING && (int)wParam >= 0 && (int)wParam <= count) {
                at = (int)wParam;
                l->items.insert(l->items.begin() + at, text);
            } else {
                at = AddItem(l->items, text, (w->style & LBS_SORT) && msg == LB_ADDSTRING);
            }
            l->selected.insert(l->selected.begin() + at, false);
            if (l->caret > at && count > 0) l->caret++;
            Invalidate(w);
            return at;
        }
        case LB_DELETESTRING:
            if ((int)wParam < 0 || (int)wParam >= count) return LB_ERR;
            l->items.erase(l->items.begin() + (long)wParam);
            l->selected.erase(l->selected.begin() + (long)wParam);
            if (l->caret >= (int)l->items.size()) l->caret = std::max(0, (int)l->items.size() - 1);
            Invalidate(w);
            return (LRESULT)l->items.size();
        case LB_RESETCONTENT:
            l->items.clear();
            l->selected.clear();
            l->caret = l->top = 0;
            Invalidate(w);
            return 0;
        case LB_GETCOUNT:
            return count;
        case LB_GETCURSEL:
            return CurrentSelection(w, l);
        case LB_SETCURSEL:
            if ((int)wParam < 0 || (int)wParam >= count) {
                SelectOnly(w, l, -1);
                l->caret = 0;
                return LB_ERR;
            }
            SelectOnly(w, l, (int)wParam);
            return (LRESULT)wParam;
        case LB_SETSEL: {
            int i = (int)lParam;
            if (!MultiSelect(w)) return LB_ERR;
            for (int k = 0; k < count; k++)
                if (i == -1 || k == i) l->selected[(size_t)k] = wParam != 0;
            Invalidate(w);
            return 0;
        }
        case LB_GETSEL:
            return ((int)wParam >= 0 && (int)wParam < count) ? (LRESULT)l->selected[wParam] : LB_ERR;
        case LB_GETSELCOUNT:
            return MultiSelect(w) ? (LRESULT)std::count(l->selected.begin(), l->selected.end(), true) : LB_ERR;
        case LB_GETTEXT: {
            if ((int)wParam < 0 || (int)wParam >= count || !lParam) return LB_ERR;
            const std::string &t = l->items[wParam];
            memcpy((char *)lParam, t.c_str(), t.size() + 1);
            return (LRESULT)t.size();
        }
        case LB_GETTEXTLEN:
            return ((int)wParam >= 0 && (int)wParam < count) ? (LRESULT)l->items[wParam].size() : LB_ERR;
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT:
            return FindItem(l->items, (int)wParam, (const char *)lParam, msg == LB_FINDSTRINGEXACT);
        case LB_GETTOPINDEX:
            return l->top;
        case LB_SETTOPINDEX:
            l->top = 0;
            Scroll(w, l, (int)wParam);
            return 0;
        case LB_GETITEMHEIGHT:
            return ItemHeight(w);
        case LB_GETCARETINDEX:
            return l->caret;
        case LB_SETCARETINDEX:
            if ((int)wParam < 0 || (int)wParam >= count) return LB_ERR;
            l->caret = (int)wParam;
            EnsureVisible(w, l);
            Invalidate(w);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            SetFocus(hWnd);
            if (!FromHandle(hWnd)) return 0;
            int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
            RECT c = ClientRectOf(w);
            if (x >= c.right) {  // the scroll bar
                int rows = VisibleRows(w);
                if (y < 16) Scroll(w, l, -1);
                else if (y >= c.bottom - 16) Scroll(w, l, 1);
                else Scroll(w, l, y < c.bottom / 2 ? -rows : rows);
                return 0;
            }
            int h = ItemHeight(w);
            int i = h > 0 ? l->top + y / h : -1;
            if (i < 0 || i >= count) return 0;
            bool changed = SelectOnly(w, l, i);
            if (changed && notify) NotifyParent(w, LBN_SELCHANGE);
            if (msg == WM_LBUTTONDBLCLK && notify && FromHandle(hWnd)) NotifyParent(w, LBN_DBLCLK);
            return 0;
        }
        case WM_MOUSEWHEEL: {
            // Away from the user scrolls up. Fine-grained wheels and touchpads send parts
            // of a notch; they add up until they make a whole row.
            l->wheel += (short)HIWORD(wParam);
            int rows = l->wheel * kWheelScrollLines / WHEEL_DELTA;
            l->wheel -= rows * WHEEL_DELTA / kWheelScrollLines;
            if (rows) Scroll(w, l, -rows);
            return 0;
        }
        case WM_CHAR: {
            // A character selects the next item that starts with it, wrapping round.
            unsigned char ch = (unsigned char)wParam;
            if (ch < ' ' || count == 0) return 0;
            char text[2] = {(char)ch, 0};
            int i = FindItem(l->items, l->caret, text, false);
            if (i < 0) return 0;
            bool changed = SelectOnly(w, l, i);
            if (changed && notify) NotifyParent(w, LBN_SELCHANGE);
            return 0;
        }
        case WM_KEYDOWN: {
            if (count == 0) return 0;
            int rows = VisibleRows(w), i = l->caret;
            switch (wParam) {
                case VK_UP: i--; break;
                case VK_DOWN: i++; break;
                case VK_HOME: i = 0; break;
                case VK_END: i = count - 1; break;
                case VK_PRIOR: i -= rows - 1; break;
                case VK_NEXT: i += rows - 1; break;
                default: return DefWindowProcA(hWnd, msg, wParam, lParam);
            }
            i = std::max(0, std::min(i, count - 1));
            bool changed = SelectOnly(w, l, i);
            if (changed && notify) NotifyParent(w, LBN_SELCHANGE);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hWnd, &ps);
            RECT c = ClientRectOf(w);
            HBRUSH back = w->parent ? (HBRUSH)SendMessageA(Handle(w->parent), WM_CTLCOLORLISTBOX, (WPARAM)dc,
                                                           (LPARAM)hWnd)
                                    : NULL;
            FillRect(dc, &c, back ? back : GetSysColorBrush(COLOR_WINDOW));
            SelectObject(dc, w->font ? (HGDIOBJ)w->font : GetStockObject(SYSTEM_FONT));
            DrawListRows(dc, c, l->items, l->top, ItemHeight(w), l->selected, -1, l->focused ? l->caret : -1);
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_SIZE: {
            // Without LBS_NOINTEGRALHEIGHT a list shows whole rows only: it shrinks to the
            // rows that fit, in the row height of the moment (the System font's while it is
            // being created; a font set later leaves the size alone, as on the platform).
            int h = ItemHeight(w), rows = ClientRectOf(w).bottom;
            int rest = h > 0 ? rows % h : 0;
            if (!(w->style & LBS_NOINTEGRALHEIGHT) && rows > h && rest) {
                RECT r = w->rect;
                r.bottom -= rest;
                SetWindowRect(w, r, SIZE_RESTORED, false);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        }
        case WM_SETFOCUS:
            l->focused = true;
            Invalidate(w);
            if (notify) NotifyParent(w, LBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            l->focused = false;
            Invalidate(w);
            if (notify) NotifyParent(w, LBN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

namespace {

struct ComboState : ControlState {
    std::vector<std::string> items;
    int current = -1;
    bool dropped = false;
    int hot = -1;  // the highlighted entry of the dropped list
    int top = 0;
    int closedHeight = 0;
    int droppedHeight = 0;
    bool focused = false;
    bool scroll = false;
};

ComboState *ComboOf(Window *w) {
    if (!w->control) w->control = std::make_unique<ComboState>();
    return static_cast<ComboState *>(w->control.get());
}

int ComboRows(Window *w, ComboState *c) {
    int h = ItemHeight(w);
    return h > 0 ? std::max(1, (c->droppedHeight - c->closedHeight - 2) / h) : 1;
}

void SetHeight(Window *w, int height) {
    w->rect.bottom = w->rect.top + height;
    if (w->parent) Invalidate(w->parent);
    Invalidate(w);
}

void DropDown(Window *w, ComboState *c) {
    if (c->dropped) return;
    NotifyParent(w, CBN_DROPDOWN);
    if (!FromHandle(Handle(w))) return;
    c->dropped = true;
    c->hot = c->current;
    int rows = ComboRows(w, c);
    c->top = std::max(0, std::min(c->current, (int)c->items.size() - rows));
    SetHeight(w, c->droppedHeight);
    SetCapture(Handle(w));
}

// Closes the dropped list, choosing its highlighted entry (ok) or not.
void CloseUp(Window *w, ComboState *c, bool ok) {
    if (!c->dropped) return;
    HWND h = Handle(w);
    c->dropped = false;
    SetHeight(w, c->closedHeight);
    if (GetCapture() == h) ReleaseCapture();
    bool changed = false;
    if (ok && c->hot >= 0 && c->hot != c->current) {
        c->current = c->hot;
        changed = true;
    }
    NotifyParent(w, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (FromHandle(h)) NotifyParent(w, CBN_CLOSEUP);
    if (changed && FromHandle(h)) NotifyParent(w, CBN_SELCHANGE);
}

void SelectByKey(Window *w, ComboState *c, int i) {
    int n = (int)c->items.size();
    if (n == 0) return;
    i = std::max(0, std::min(i, n - 1));
    if (c->dropped) {
        c->hot = i;
        int rows = ComboRows(w, c);
        if (c->hot < c->top) c->top = c->hot;
        if (c->hot >= c->top + rows) c->top = c->hot - rows + 1;
        Invalidate(w);
        return;
    }
    if (i == c->current) return;
    c->current = i;
    Invalidate(w);
    NotifyParent(w, CBN_SELCHANGE);
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    ComboState *c = ComboOf(w);
    int count = (int)c->items.size();
    switch (msg) {
        case WM_CREATE:
            // The scroll bar belongs to the dropped list, drawn inside the box.
            c->scroll = (w->style & WS_VSCROLL) != 0;
            w->style &= ~WS_VSCROLL;
            c->droppedHeight = w->rect.bottom - w->rect.top;
            c->closedHeight = ItemHeight(w) + 8;
            w->rect.bottom = w->rect.top + c->closedHeight;
            return 0;
        case WM_SETFONT:
            DefWindowProcA(hWnd, msg, wParam, lParam);
            c->closedHeight = ItemHeight(w) + 8;
            if (!c->dropped) w->rect.bottom = w->rect.top + c->closedHeight;
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS | (c->dropped ? DLGC_WANTMESSAGE : 0);
        case CB_ADDSTRING: {
            int at = AddItem(c->items, lParam ? (const char *)lParam : "", (w->style & CBS_SORT) != 0);
            if (c->current >= at) c->current++;
            Invalidate(w);
            return at;
        }
        case CB_INSERTSTRING: {
            int at = ((int)wParam >= 0 && (int)wParam <= count) ? (int)wParam : count;
            c->items.insert(c->items.begin() + at, lParam ? (const char *)lParam : "");
            if (c->current >= at) c->current++;
            return at;
        }
        case CB_DELETESTRING:
            if ((int)wParam < 0 || (int)wParam >= count) return CB_ERR;
            c->items.erase(c->items.begin() + (long)wParam);
            if (c->current == (int)wParam) c->current = -1;
            else if (c->current > (int)wParam) c->current--;
            Invalidate(w);
            return (LRESULT)c->items.size();
        case CB_RESETCONTENT:
            c->items.clear();
            c->current = c->hot = -1;
            c->top = 0;
            Invalidate(w);
            return CB_OKAY;
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return c->current;
        case CB_SETCURSEL:
            Invalidate(w);
            if ((int)wParam < 0 || (int)wParam >= count) {
                c->current = -1;
                return CB_ERR;
            }
            c->current = (int)wParam;
            return c->current;
        case CB_GETLBTEXT: {
            if ((int)wParam < 0 || (int)wParam >= count || !lParam) return CB_ERR;
            const std::string &t = c->items[wParam];
            memcpy((char *)lParam, t.c_str(), t.size() + 1);
            return (LRESULT)t.size();
        }
        case CB_GETLBTEXTLEN:
            return ((int)wParam >= 0 && (int)wParam < count) ? (LRESULT)c->items[wParam].size() : CB_ERR;
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
            return FindItem(c->items, (int)wParam, (const char *)lParam, msg == CB_FINDSTRINGEXACT);
        case CB_SELECTSTRING: {
            int i = FindItem(c->items, (int)wParam, (const char *)lParam, false);
            if (i >= 0) c->current = i;
            Invalidate(w);
            return i;
        }
        case CB_SHOWDROPDOWN:
            if (wParam)
                DropDown(w, c);
            else
                CloseUp(w, c, false);
            return TRUE;
        case CB_GETDROPPEDSTATE:
            return c->dropped;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            if (GetFocus() != hWnd) SetFocus(hWnd);
            if (!FromHandle(hWnd)) return 0;
            int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
            if (!c->dropped) {
                DropDown(w, c);
                return 0;
            }
            RECT r = ClientRectOf(w);
            int h = ItemHeight(w);
            if (y >= c->closedHeight && y < r.bottom && x >= 0 && x < r.right && h > 0) {
                int i = c->top + (y - c->closedHeight - 1) / h;
                if (i >= 0 && i < count) {
                    c->hot = i;
                    CloseUp(w, c, true);
                }
                return 0;
            }
            CloseUp(w, c, false);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (c->dropped) {
                int y = (short)HIWORD(lParam), h = ItemHeight(w);
                if (y >= c->closedHeight && h > 0) {
                    int i = c->top + (y - c->closedHeight - 1) / h;
                    if (i >= 0 && i < count && i != c->hot) {
                        c->hot = i;
                        Invalidate(w);
                    }
                }
            }
            return 0;
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_F4:
                    if (c->dropped) CloseUp(w, c, true);
                    else DropDown(w, c);
                    return 0;
                case VK_DOWN:
                    if (GetKeyState(VK_MENU) < 0) {
                        DropDown(w, c);
                        return 0;
                    }
                    SelectByKey(w, c, (c->dropped ? c->hot : c->current) + 1);
                    return 0;
                case VK_RIGHT:
                    SelectByKey(w, c, (c->dropped ? c->hot : c->current) + 1);
                    return 0;
                case VK_UP:
                case VK_LEFT:
                    SelectByKey(w, c, std::max(0, (c->dropped ? c->hot : c->current) - 1));
                    return 0;
                case VK_HOME:
                    SelectByKey(w, c, 0);
                    return 0;
                case VK_END:
                    SelectByKey(w, c, count - 1);
                    return 0;
                case VK_RETURN:
                    if (c->dropped) CloseUp(w, c, true);
                    return 0;
                case VK_ESCAPE:
                    if (c->dropped) CloseUp(w, c, false);
                    return 0;
                default:
                    return DefWindowProcA(hWnd, msg, wParam, lParam);
            }
        case WM_SYSKEYDOWN:
            if (wParam == VK_DOWN || wParam == VK_UP) {
                if (c->dropped) CloseUp(w, c, true);
                else DropDown(w, c);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        case WM_CHAR: {
            // A letter selects the next entry that begins with it.
            char text[2] = {(char)wParam, 0};
            int i = FindItem(c->items, c->dropped ? c->hot : c->current, text, false);
            if (i >= 0) SelectByKey(w, c, i);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hWnd, &ps);
            RECT r = ClientRectOf(w);
            SelectObject(dc, w->font ? (HGDIOBJ)w->font : GetStockObject(SYSTEM_FONT));
            // The closed part: a sunken field with the chosen entry and the arrow button.
            RECT field = {0, 0, r.right, c->closedHeight};
            FillRect(dc, &field, GetSysColorBrush(COLOR_WINDOW));
            DrawEdge(dc, &field, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
            RECT button = {field.right - 16, field.top, field.right, field.bottom};
            FillRect(dc, &button, GetSysColorBrush(COLOR_BTNFACE));
            DrawEdge(dc, &button, c->dropped ? BDR_SUNKENOUTER : EDGE_RAISED, BF_RECT);
            HPEN ink = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT));
            HGDIOBJ old = SelectObject(dc, ink);
            int ax = (button.left + button.right) / 2, ay = (button.top + button.bottom) / 2 - 1;
            for (int i = 0; i < 4; i++) {
                MoveToEx(dc, ax - 3 + i, ay + i, NULL);
                LineTo(dc, ax + 4 - i, ay + i);
            }
            SelectObject(dc, old);
            DeleteObject(ink);
            RECT text = {field.left + 1, field.top + 1, button.left - 1, field.bottom - 1};
            bool mark = c->focused && !c->dropped;
            if (mark) FillRect(dc, &text, GetSysColorBrush(COLOR_HIGHLIGHT));
            if (c->current >= 0 && c->current < count) {
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, GetSysColor(mark ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
                RECT t = {text.left + 2, text.top, text.right, text.bottom};
                const std::string &item = c->items[(size_t)c->current];
                DrawTextA(dc, item.c_str(), (int)item.size(), &t, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            }
            if (mark) DrawFocusRect(dc, &text);
            if (c->dropped) {
                // The dropped list under it, framed, with its own scroll bar when needed.
                RECT list = {0, c->closedHeight, r.right, r.bottom};
                FillRect(dc, &list, GetSysColorBrush(COLOR_WINDOW));
                FrameRect(dc, &list, GetSysColorBrush(COLOR_WINDOWFRAME));
                RECT inner = {list.left + 1, list.top + 1, list.right - 1, list.bottom - 1};
                int rows = ComboRows(w, c);
                if (c->scroll) {
                    RECT bar = {inner.right - 16, inner.top, inner.right, inner.bottom};
                    DrawVerticalScrollBar(dc, bar, c->top, rows, count);
                    inner.right -= 16;
                }
                DrawListRows(dc, inner, c->items, c->top, ItemHeight(w), {}, c->hot, -1);
            }
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_SETFOCUS:
            c->focused = true;
            Invalidate(w);
            NotifyParent(w, CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            c->focused = false;
            if (c->dropped) CloseUp(w, c, false);
            Invalidate(w);
            if (FromHandle(hWnd)) NotifyParent(w, CBN_KILLFOCUS);
            return 0;
        case WM_CAPTURECHANGED:
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

}  // namespace wnd
}  // namespace qk
