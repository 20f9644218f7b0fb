// The drop-down list combo box: a closed field with the chosen entry and an arrow button,
// and under it, while dropped, a list of the entries with a scroll bar of its own. The
// list shares the list box's items and drawing (listbox.h). Each message has a handler of
// its own.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi32/gdi32.h"
#include "platform/user32/listbox.h"

namespace qk {
namespace wnd {
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

int Count(const ComboState *c) { return (int)c->items.size(); }
bool ValidIndex(const ComboState *c, WPARAM index) { return ValidItem(c->items, index); }

// The closed field: one row and its frame.
int ClosedHeight(Window *w) { return ItemHeight(w) + 8; }

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

// Drops the list, or closes it choosing its highlighted entry.
void ToggleDropped(Window *w, ComboState *c) {
    if (c->dropped) CloseUp(w, c, true);
    else DropDown(w, c);
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

// The entry the keys move from: the highlighted one while dropped, else the chosen one.
int KeyEntry(const ComboState *c) { return c->dropped ? c->hot : c->current; }

// The entry of the dropped list under a point's y among the first `count`, or -1.
int EntryAt(Window *w, ComboState *c, int y, int count) {
    int h = ItemHeight(w);
    if (y < c->closedHeight || h <= 0) return -1;
    int i = c->top + (y - c->closedHeight - 1) / h;
    return i >= 0 && i < count ? i : -1;
}

// ---- the messages ----

// The scroll bar belongs to the dropped list, drawn inside the box; the height the
// template gives is the dropped height.
LRESULT Create(Window *w, ComboState *c) {
    c->scroll = (w->style & WS_VSCROLL) != 0;
    w->style &= ~WS_VSCROLL;
    c->droppedHeight = w->rect.bottom - w->rect.top;
    c->closedHeight = ClosedHeight(w);
    w->rect.bottom = w->rect.top + c->closedHeight;
    return 0;
}

LRESULT SetFont(Window *w, ComboState *c, WPARAM font, LPARAM redraw) {
    DefWindowProcA(Handle(w), WM_SETFONT, font, redraw);
    c->closedHeight = ClosedHeight(w);
    if (!c->dropped) w->rect.bottom = w->rect.top + c->closedHeight;
    return 0;
}

LRESULT AddString(Window *w, ComboState *c, LPARAM text) {
    int at = AddItem(c->items, text ? (const char *)text : "", (w->style & CBS_SORT) != 0);
    if (c->current >= at) c->current++;
    Invalidate(w);
    return at;
}

LRESULT InsertString(ComboState *c, WPARAM index, LPARAM text) {
    int count = Count(c);
    int at = ((int)index >= 0 && (int)index <= count) ? (int)index : count;
    c->items.insert(c->items.begin() + at, text ? (const char *)text : "");
    if (c->current >= at) c->current++;
    return at;
}

LRESULT DeleteString(Window *w, ComboState *c, WPARAM index) {
    if (!ValidIndex(c, index)) return CB_ERR;
    c->items.erase(c->items.begin() + (long)index);
    if (c->current == (int)index) c->current = -1;
    else if (c->current > (int)index) c->current--;
    Invalidate(w);
    return (LRESULT)c->items.size();
}

LRESULT ResetContent(Window *w, ComboState *c) {
    c->items.clear();
    c->current = c->hot = -1;
    c->top = 0;
    Invalidate(w);
    return CB_OKAY;
}

LRESULT SetCurSel(Window *w, ComboState *c, WPARAM index) {
    Invalidate(w);
    if (!ValidIndex(c, index)) {
        c->current = -1;
        return CB_ERR;
    }
    c->current = (int)index;
    return c->current;
}

LRESULT SelectString(Window *w, ComboState *c, WPARAM start, LPARAM text) {
    int i = FindItem(c->items, (int)start, (const char *)text, false);
    if (i >= 0) c->current = i;
    Invalidate(w);
    return i;
}

LRESULT ShowDropDown(Window *w, ComboState *c, WPARAM show) {
    if (show)
        DropDown(w, c);
    else
        CloseUp(w, c, false);
    return TRUE;
}

// A click takes the focus. On the closed box it drops the list; while dropped, a click on
// an entry chooses it and one anywhere else closes the list without choosing.
LRESULT HandleLButtonDown(Window *w, ComboState *c, LPARAM point) {
    HWND hWnd = Handle(w);
    int count = Count(c);
    if (GetFocus() != hWnd) SetFocus(hWnd);
    if (!FromHandle(hWnd)) return 0;
    int x = (short)LOWORD(point), y = (short)HIWORD(point);
    if (!c->dropped) {
        DropDown(w, c);
        return 0;
    }
    RECT r = ClientRectOf(w);
    if (y >= c->closedHeight && y < r.bottom && x >= 0 && x < r.right && ItemHeight(w) > 0) {
        int i = EntryAt(w, c, y, count);
        if (i >= 0) {
            c->hot = i;
            CloseUp(w, c, true);
        }
        return 0;
    }
    CloseUp(w, c, false);
    return 0;
}

// The entry under the pointer is highlighted while the list is dropped.
LRESULT HandleMouseMove(Window *w, ComboState *c, LPARAM point) {
    if (!c->dropped) return 0;
    int i = EntryAt(w, c, (short)HIWORD(point), Count(c));
    if (i >= 0 && i != c->hot) {
        c->hot = i;
        Invalidate(w);
    }
    return 0;
}

// F4 and Alt+Down drop and close the list; the arrows, Home and End move the selection
// (while dropped, the highlight); Enter and Escape close the dropped list choosing and
// not choosing.
LRESULT HandleKeyDown(Window *w, ComboState *c, WPARAM key, LPARAM keyData) {
    switch (key) {
        case VK_F4:
            ToggleDropped(w, c);
            return 0;
        case VK_DOWN:
            if (GetKeyState(VK_MENU) < 0) {
                DropDown(w, c);
                return 0;
            }
            SelectByKey(w, c, KeyEntry(c) + 1);
            return 0;
        case VK_RIGHT:
            SelectByKey(w, c, KeyEntry(c) + 1);
            return 0;
        case VK_UP:
        case VK_LEFT:
            SelectByKey(w, c, std::max(0, KeyEntry(c) - 1));
            return 0;
        case VK_HOME:
            SelectByKey(w, c, 0);
            return 0;
        case VK_END:
            SelectByKey(w, c, Count(c) - 1);
            return 0;
        case VK_RETURN:
            if (c->dropped) CloseUp(w, c, true);
            return 0;
        case VK_ESCAPE:
            if (c->dropped) CloseUp(w, c, false);
            return 0;
        default:
            return DefWindowProcA(Handle(w), WM_KEYDOWN, key, keyData);
    }
}

// Alt+Up and Alt+Down drop and close the list.
LRESULT HandleSysKeyDown(Window *w, ComboState *c, WPARAM key, LPARAM keyData) {
    if (key == VK_DOWN || key == VK_UP) {
        ToggleDropped(w, c);
        return 0;
    }
    return DefWindowProcA(Handle(w), WM_SYSKEYDOWN, key, keyData);
}

// A letter selects the next entry that begins with it.
LRESULT HandleChar(Window *w, ComboState *c, WPARAM character) {
    char text[2] = {(char)character, 0};
    int i = FindItem(c->items, KeyEntry(c), text, false);
    if (i >= 0) SelectByKey(w, c, i);
    return 0;
}

// The closed part: a sunken field with the chosen entry (highlighted while the box has the
// focus and is closed) and the arrow button, pushed in while the list is dropped.
void PaintField(HDC dc, ComboState *c, const RECT &r) {
    RECT field = {0, 0, r.right, c->closedHeight};
    FillRect(dc, &field, GetSysColorBrush(COLOR_WINDOW));
    DrawEdge(dc, &field, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    RECT button = {field.right - ScrollBarWidth(), field.top, field.right, field.bottom};
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
    if (c->current >= 0 && c->current < Count(c)) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(mark ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT t = {text.left + 2, text.top, text.right, text.bottom};
        const std::string &item = c->items[(size_t)c->current];
        DrawTextA(dc, item.c_str(), (int)item.size(), &t, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (mark) DrawFocusRect(dc, &text);
}

// The dropped list under the field, framed, with its own scroll bar when the box has one.
void PaintDroppedList(HDC dc, Window *w, ComboState *c, const RECT &r) {
    RECT list = {0, c->closedHeight, r.right, r.bottom};
    FillRect(dc, &list, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(dc, &list, GetSysColorBrush(COLOR_WINDOWFRAME));
    RECT inner = {list.left + 1, list.top + 1, list.right - 1, list.bottom - 1};
    int rows = ComboRows(w, c);
    if (c->scroll) {
        RECT bar = {inner.right - ScrollBarWidth(), inner.top, inner.right, inner.bottom};
        DrawVerticalScrollBar(dc, bar, c->top, rows, Count(c));
        inner.right = bar.left;
    }
    DrawListRows(dc, inner, c->items, c->top, ItemHeight(w), {}, c->hot, -1);
}

LRESULT Paint(Window *w, ComboState *c) {
    HWND hWnd = Handle(w);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    RECT r = ClientRectOf(w);
    SelectObject(dc, w->font ? (HGDIOBJ)w->font : GetStockObject(SYSTEM_FONT));
    PaintField(dc, c, r);
    if (c->dropped) PaintDroppedList(dc, w, c, r);
    EndPaint(hWnd, &ps);
    return 0;
}

LRESULT SetFocused(Window *w, ComboState *c) {
    c->focused = true;
    Invalidate(w);
    NotifyParent(w, CBN_SETFOCUS);
    return 0;
}

// Losing the focus closes a dropped list without choosing.
LRESULT KillFocus(Window *w, ComboState *c) {
    HWND hWnd = Handle(w);
    c->focused = false;
    if (c->dropped) CloseUp(w, c, false);
    Invalidate(w);
    if (FromHandle(hWnd)) NotifyParent(w, CBN_KILLFOCUS);
    return 0;
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    ComboState *c = ComboOf(w);
    switch (msg) {
        case WM_CREATE:
            return Create(w, c);
        case WM_SETFONT:
            return SetFont(w, c, wParam, lParam);
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS | (c->dropped ? DLGC_WANTMESSAGE : 0);
        case CB_ADDSTRING:
            return AddString(w, c, lParam);
        case CB_INSERTSTRING:
            return InsertString(c, wParam, lParam);
        case CB_DELETESTRING:
            return DeleteString(w, c, wParam);
        case CB_RESETCONTENT:
            return ResetContent(w, c);
        case CB_GETCOUNT:
            return Count(c);
        case CB_GETCURSEL:
            return c->current;
        case CB_SETCURSEL:
            return SetCurSel(w, c, wParam);
        case CB_GETLBTEXT:
            return CopyItemText(c->items, wParam, lParam);
        case CB_GETLBTEXTLEN:
            return ItemTextLength(c->items, wParam);
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
            return FindItem(c->items, (int)wParam, (const char *)lParam, msg == CB_FINDSTRINGEXACT);
        case CB_SELECTSTRING:
            return SelectString(w, c, wParam, lParam);
        case CB_SHOWDROPDOWN:
            return ShowDropDown(w, c, wParam);
        case CB_GETDROPPEDSTATE:
            return c->dropped;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return HandleLButtonDown(w, c, lParam);
        case WM_MOUSEMOVE:
            return HandleMouseMove(w, c, lParam);
        case WM_KEYDOWN:
            return HandleKeyDown(w, c, wParam, lParam);
        case WM_SYSKEYDOWN:
            return HandleSysKeyDown(w, c, wParam, lParam);
        case WM_CHAR:
            return HandleChar(w, c, wParam);
        case WM_PAINT:
            return Paint(w, c);
        case WM_SETFOCUS:
            return SetFocused(w, c);
        case WM_KILLFOCUS:
            return KillFocus(w, c);
        case WM_CAPTURECHANGED:
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

}  // namespace wnd
}  // namespace qk
