// The list box: text items, sorted or in the order given, one or several selected, scrolled
// by its scroll bar, the keys and the mouse wheel. Also what the combo box's dropped list
// shares with it (listbox.h). Each message has a handler of its own.
#include "platform/user32/listbox.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32.h"
#include "platform/kernel32/codepage.h"

namespace qk {
namespace wnd {
namespace {

bool PrefixNoCase(const char *item, const char *prefix, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (qk::AnsiUpper((unsigned char)item[i]) != qk::AnsiUpper((unsigned char)prefix[i])) return false;
        if (!item[i]) return false;
    }
    return true;
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

}  // namespace

int ItemHeight(const Window *w) { return gdi::FontHeight((gdi::FontId)ControlFont(w)); }

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

bool ValidItem(const std::vector<std::string> &items, WPARAM index) {
    return (int)index >= 0 && (int)index < (int)items.size();
}

LRESULT CopyItemText(const std::vector<std::string> &items, WPARAM index, LPARAM buffer) {
    if (!ValidItem(items, index) || !buffer) return LB_ERR;
    const std::string &t = items[index];
    memcpy((char *)buffer, t.c_str(), t.size() + 1);
    return (LRESULT)t.size();
}

LRESULT ItemTextLength(const std::vector<std::string> &items, WPARAM index) {
    return ValidItem(items, index) ? (LRESULT)items[index].size() : LB_ERR;
}

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

int Count(const ListState *l) { return (int)l->items.size(); }
bool Notifies(const Window *w) { return (w->style & LBS_NOTIFY) != 0; }
bool MultiSelect(const Window *w) { return (w->style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0; }
bool ValidIndex(const ListState *l, WPARAM index) { return ValidItem(l->items, index); }

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

// Selects one item alone as the user does, telling the parent when the selection changed.
void SelectByUser(Window *w, ListState *l, int i) {
    bool changed = SelectOnly(w, l, i);
    if (changed && Notifies(w)) NotifyParent(w, LBN_SELCHANGE);
}

void Scroll(Window *w, ListState *l, int by) {
    int rows = VisibleRows(w);
    int maxTop = std::max(0, (int)l->items.size() - rows);
    l->top = std::max(0, std::min(l->top + by, maxTop));
    Invalidate(w);
}

// ---- the messages ----

// LB_ADDSTRING puts the item where the sort says (LBS_SORT), LB_INSERTSTRING at the index
// given, or at the end for -1 or an index past the end.
LRESULT InsertString(Window *w, ListState *l, UINT msg, WPARAM index, LPARAM text) {
    int count = Count(l);
    std::string item = text ? (const char *)text : "";
    int at;
    if (msg == LB_INSERTSTRING && (int)index >= 0 && (int)index <= count) {
        at = (int)index;
        l->items.insert(l->items.begin() + at, item);
    } else {
        at = AddItem(l->items, item, (w->style & LBS_SORT) && msg == LB_ADDSTRING);
    }
    l->selected.insert(l->selected.begin() + at, false);
    if (l->caret > at && count > 0) l->caret++;
    Invalidate(w);
    return at;
}

LRESULT DeleteString(Window *w, ListState *l, WPARAM index) {
    if (!ValidIndex(l, index)) return LB_ERR;
    l->items.erase(l->items.begin() + (long)index);
    l->selected.erase(l->selected.begin() + (long)index);
    if (l->caret >= (int)l->items.size()) l->caret = std::max(0, (int)l->items.size() - 1);
    Invalidate(w);
    return (LRESULT)l->items.size();
}

LRESULT ResetContent(Window *w, ListState *l) {
    l->items.clear();
    l->selected.clear();
    l->caret = l->top = 0;
    Invalidate(w);
    return 0;
}

// A list of several selections answers with the item that has the focus rectangle.
LRESULT GetCurSel(Window *w, ListState *l) {
    if (MultiSelect(w)) return l->items.empty() ? 0 : l->caret;
    for (size_t k = 0; k < l->selected.size(); k++)
        if (l->selected[k]) return (int)k;
    return LB_ERR;
}

LRESULT SetCurSel(Window *w, ListState *l, WPARAM index) {
    if (!ValidIndex(l, index)) {
        SelectOnly(w, l, -1);
        l->caret = 0;
        return LB_ERR;
    }
    SelectOnly(w, l, (int)index);
    return (LRESULT)index;
}

// Selects (on) or deselects one item of a list of several selections, or all for -1.
LRESULT SetSel(Window *w, ListState *l, bool on, int index) {
    if (!MultiSelect(w)) return LB_ERR;
    for (int k = 0; k < Count(l); k++)
        if (index == -1 || k == index) l->selected[(size_t)k] = on;
    Invalidate(w);
    return 0;
}

LRESULT GetSel(ListState *l, WPARAM index) {
    return ValidIndex(l, index) ? (LRESULT)l->selected[index] : LB_ERR;
}

LRESULT GetSelCount(Window *w, ListState *l) {
    return MultiSelect(w) ? (LRESULT)std::count(l->selected.begin(), l->selected.end(), true) : LB_ERR;
}

LRESULT SetTopIndex(Window *w, ListState *l, WPARAM index) {
    l->top = 0;
    Scroll(w, l, (int)index);
    return 0;
}

LRESULT SetCaretIndex(Window *w, ListState *l, WPARAM index) {
    if (!ValidIndex(l, index)) return LB_ERR;
    l->caret = (int)index;
    EnsureVisible(w, l);
    Invalidate(w);
    return 0;
}

// A click takes the focus; on the scroll bar it scrolls, on an item it selects it, and a
// double click on one is told to the parent.
LRESULT HandleLButtonDown(Window *w, ListState *l, UINT msg, LPARAM point) {
    HWND hWnd = Handle(w);
    int count = Count(l);
    bool notify = Notifies(w);
    SetFocus(hWnd);
    if (!FromHandle(hWnd)) return 0;
    int x = (short)LOWORD(point), y = (short)HIWORD(point);
    RECT c = ClientRectOf(w);
    if (x >= c.right) {  // the scroll bar
        Scroll(w, l, ScrollBarClick(y, c.bottom, VisibleRows(w)));
        return 0;
    }
    int h = ItemHeight(w);
    int i = h > 0 ? l->top + y / h : -1;
    if (i < 0 || i >= count) return 0;
    SelectByUser(w, l, i);
    if (msg == WM_LBUTTONDBLCLK && notify && FromHandle(hWnd)) NotifyParent(w, LBN_DBLCLK);
    return 0;
}

// Away from the user scrolls up. Fine-grained wheels and touchpads send parts of a notch;
// they add up until they make a whole row.
LRESULT HandleMouseWheel(Window *w, ListState *l, short delta) {
    l->wheel += delta;
    int rows = l->wheel * kWheelScrollLines / WHEEL_DELTA;
    l->wheel -= rows * WHEEL_DELTA / kWheelScrollLines;
    if (rows) Scroll(w, l, -rows);
    return 0;
}

// A character selects the next item that starts with it, wrapping round.
LRESULT HandleChar(Window *w, ListState *l, WPARAM character) {
    unsigned char ch = (unsigned char)character;
    if (ch < ' ' || Count(l) == 0) return 0;
    char text[2] = {(char)ch, 0};
    int i = FindItem(l->items, l->caret, text, false);
    if (i < 0) return 0;
    SelectByUser(w, l, i);
    return 0;
}

// The arrows, Home, End, Page Up and Page Down move the selection.
LRESULT HandleKeyDown(Window *w, ListState *l, WPARAM key, LPARAM keyData) {
    int count = Count(l);
    if (count == 0) return 0;
    int rows = VisibleRows(w), i = l->caret;
    switch (key) {
        case VK_UP: i--; break;
        case VK_DOWN: i++; break;
        case VK_HOME: i = 0; break;
        case VK_END: i = count - 1; break;
        case VK_PRIOR: i -= rows - 1; break;
        case VK_NEXT: i += rows - 1; break;
        default: return DefWindowProcA(Handle(w), WM_KEYDOWN, key, keyData);
    }
    SelectByUser(w, l, std::max(0, std::min(i, count - 1)));
    return 0;
}

// The background the parent chooses (WM_CTLCOLORLISTBOX), else the window colour, and the
// rows from the top one.
LRESULT Paint(Window *w, ListState *l) {
    HWND hWnd = Handle(w);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    RECT c = ClientRectOf(w);
    HBRUSH back = w->parent ? (HBRUSH)SendMessageA(Handle(w->parent), WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)hWnd)
                            : NULL;
    FillRect(dc, &c, back ? back : GetSysColorBrush(COLOR_WINDOW));
    SelectObject(dc, w->font ? (HGDIOBJ)w->font : GetStockObject(SYSTEM_FONT));
    DrawListRows(dc, c, l->items, l->top, ItemHeight(w), l->selected, -1, l->focused ? l->caret : -1);
    EndPaint(hWnd, &ps);
    return 0;
}

// Without LBS_NOINTEGRALHEIGHT a list shows whole rows only: it shrinks to the rows that
// fit, in the row height of the moment (the System font's while it is being created; a
// font set later leaves the size alone, as on the platform).
LRESULT UpdateSize(Window *w, WPARAM sizeType, LPARAM size) {
    int h = ItemHeight(w), rows = ClientRectOf(w).bottom;
    int rest = h > 0 ? rows % h : 0;
    if (!(w->style & LBS_NOINTEGRALHEIGHT) && rows > h && rest) {
        RECT r = w->rect;
        r.bottom -= rest;
        SetWindowRect(w, r, SIZE_RESTORED, false);
        return 0;
    }
    return DefWindowProcA(Handle(w), WM_SIZE, sizeType, size);
}

// The focus rectangle comes and goes with the focus.
LRESULT SetFocused(Window *w, ListState *l, bool focused) {
    l->focused = focused;
    Invalidate(w);
    if (Notifies(w)) NotifyParent(w, focused ? LBN_SETFOCUS : LBN_KILLFOCUS);
    return 0;
}

}  // namespace

LRESULT CALLBACK ListBoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    ListState *l = ListOf(w);
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case LB_ADDSTRING:
        case LB_INSERTSTRING:
            return InsertString(w, l, msg, wParam, lParam);
        case LB_DELETESTRING:
            return DeleteString(w, l, wParam);
        case LB_RESETCONTENT:
            return ResetContent(w, l);
        case LB_GETCOUNT:
            return Count(l);
        case LB_GETCURSEL:
            return GetCurSel(w, l);
        case LB_SETCURSEL:
            return SetCurSel(w, l, wParam);
        case LB_SETSEL:
            return SetSel(w, l, wParam != 0, (int)lParam);
        case LB_GETSEL:
            return GetSel(l, wParam);
        case LB_GETSELCOUNT:
            return GetSelCount(w, l);
        case LB_GETTEXT:
            return CopyItemText(l->items, wParam, lParam);
        case LB_GETTEXTLEN:
            return ItemTextLength(l->items, wParam);
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT:
            return FindItem(l->items, (int)wParam, (const char *)lParam, msg == LB_FINDSTRINGEXACT);
        case LB_GETTOPINDEX:
            return l->top;
        case LB_SETTOPINDEX:
            return SetTopIndex(w, l, wParam);
        case LB_GETITEMHEIGHT:
            return ItemHeight(w);
        case LB_GETCARETINDEX:
            return l->caret;
        case LB_SETCARETINDEX:
            return SetCaretIndex(w, l, wParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return HandleLButtonDown(w, l, msg, lParam);
        case WM_MOUSEWHEEL:
            return HandleMouseWheel(w, l, (short)HIWORD(wParam));
        case WM_CHAR:
            return HandleChar(w, l, wParam);
        case WM_KEYDOWN:
            return HandleKeyDown(w, l, wParam, lParam);
        case WM_PAINT:
            return Paint(w, l);
        case WM_SIZE:
            return UpdateSize(w, wParam, lParam);
        case WM_SETFOCUS:
            return SetFocused(w, l, true);
        case WM_KILLFOCUS:
            return SetFocused(w, l, false);
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

}  // namespace wnd
}  // namespace qk
