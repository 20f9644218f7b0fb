// The single-line edit control. Without ES_AUTOHSCROLL the text never scrolls, so
// typing stops where the text would pass the box's width.
#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

const int kMargin = 2;

struct EditState : ControlState {
    int anchor = 0;  // selection: from anchor to caret
    int caret = 0;
    bool focused = false;
    int limit = 30000;
};

EditState *StateOf(Window *w) {
    if (!w->control) w->control = std::make_unique<EditState>();
    return static_cast<EditState *>(w->control.get());
}

int TextWidth(Window *w, const std::string &s) {
    return gdi::MeasureText((gdi::FontId)ControlFont(w), s.c_str(), (int)s.size()).cx;
}

bool Fits(Window *w, const std::string &s) {
    if (w->style & ES_AUTOHSCROLL) return true;
    RECT c = ClientRectOf(w);
    return TextWidth(w, s) <= c.right - 2 * kMargin;
}

// Replaces the selection with as much of the text as the limit leaves room for, as the
// platform does; false when nothing fits.
bool Replace(Window *w, EditState *e, const std::string &whole, bool userTyped) {
    int a = std::min(e->anchor, e->caret), b = std::max(e->anchor, e->caret);
    long room = (long)e->limit - (long)(w->text.size() - (size_t)(b - a));
    std::string text = whole.substr(0, (size_t)std::max(0L, std::min<long>(room, (long)whole.size())));
    if (text.empty() && !whole.empty() && a == b) return false;
    std::string next = w->text.substr(0, (size_t)a) + text + w->text.substr((size_t)b);
    if (userTyped && !Fits(w, next)) return false;
    w->text = next;
    e->anchor = e->caret = a + (int)text.size();
    Invalidate(w);
    return true;
}

int CaretFromX(Window *w, int x) {
    x -= kMargin;
    for (size_t i = 0; i < w->text.size(); i++) {
        int left = TextWidth(w, w->text.substr(0, i)), right = TextWidth(w, w->text.substr(0, i + 1));
        if (x < (left + right) / 2) return (int)i;
    }
    return (int)w->text.size();
}

}  // namespace

LRESULT CALLBACK EditProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    EditState *e = StateOf(w);
    int length = (int)w->text.size();
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_SETTEXT:
            w->text = lParam ? (const char *)lParam : "";
            e->anchor = e->caret = 0;
            Invalidate(w);
            NotifyParent(w, EN_CHANGE);
            return TRUE;
        case WM_CHAR: {
            unsigned char ch = (unsigned char)wParam;
            if (w->style & ES_READONLY) return 0;
            if (ch == 8) {
                if (e->anchor == e->caret && e->caret > 0) e->anchor = e->caret - 1;
                if (e->anchor != e->caret) {
                    Replace(w, e, "", false);
                    NotifyParent(w, EN_CHANGE);
                }
                return 0;
            }
            if (ch < 32 || ch == 127) return 0;
            if (w->style & ES_UPPERCASE) ch = (unsigned char)toupper(ch);
            if (w->style & ES_LOWERCASE) ch = (unsigned char)tolower(ch);
            if (Replace(w, e, std::string(1, (char)ch), true)) NotifyParent(w, EN_CHANGE);
            return 0;
        }
        case WM_KEYDOWN: {
            bool shift = GetKeyState(VK_SHIFT) < 0;
            int caret = e->caret;
            switch (wParam) {
                case VK_LEFT:
                    caret = caret > 0 ? caret - 1 : 0;
                    break;
                case VK_RIGHT:
                    caret = caret < length ? caret + 1 : length;
                    break;
                case VK_HOME:
                    caret = 0;
                    break;
                case VK_END:
                    caret = length;
                    break;
                case VK_DELETE:
                    if (w->style & ES_READONLY) return 0;
                    if (e->anchor == e->caret && e->caret < length) e->caret++;
                    if (e->anchor != e->caret) {
                        Replace(w, e, "", false);
                        NotifyParent(w, EN_CHANGE);
                    }
                    return 0;
                default:
                    return DefWindowProcA(hWnd, msg, wParam, lParam);
            }
            e->caret = caret;
            if (!shift) e->anchor = caret;
            Invalidate(w);
            return 0;
        }
        case EM_SETSEL: {
            int a = (int)wParam, b = (int)lParam;
            if (a < 0) {  // no selection, the caret stays
                e->anchor = e->caret;
            } else {
                if (b < 0 || b > length) b = length;
                if (a > length) a = length;
                e->anchor = a;
                e->caret = b;
            }
            Invalidate(w);
            return 0;
        }
        case EM_GETSEL: {
            int a = std::min(e->anchor, e->caret), b = std::max(e->anchor, e->caret);
            if (wParam) *(DWORD *)wParam = (DWORD)a;
            if (lParam) *(DWORD *)lParam = (DWORD)b;
            return MAKELONG(a, b);
        }
        case EM_REPLACESEL:
            Replace(w, e, lParam ? (const char *)lParam : "", false);
            NotifyParent(w, EN_CHANGE);
            return 0;
        case EM_GETLINE: {
            // The buffer's first word gives its size; a NUL follows the line when there is room.
            char *buf = (char *)lParam;
            if (!buf) return 0;
            WORD max;
            memcpy(&max, buf, sizeof max);
            size_t n = std::min<size_t>(max, w->text.size());
            memcpy(buf, w->text.data(), n);
            if (n < max) buf[n] = 0;
            return (LRESULT)n;
        }
        case EM_LINELENGTH:
            return length;
        case EM_GETLINECOUNT:
            return 1;
        case EM_LIMITTEXT:
            e->limit = wParam ? (int)wParam : 0x7FFFFFFE;
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(hWnd);
            if (!FromHandle(hWnd)) return 0;
            if (msg == WM_LBUTTONDBLCLK) {
                e->anchor = 0;
                e->caret = length;
            } else {
                e->anchor = e->caret = CaretFromX(w, (short)LOWORD(lParam));
            }
            Invalidate(w);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hWnd, &ps);
            RECT c = ClientRectOf(w);
            HBRUSH back = w->parent ? (HBRUSH)SendMessageA(Handle(w->parent), WM_CTLCOLOREDIT, (WPARAM)dc,
                                                           (LPARAM)hWnd)
                                    : NULL;
            FillRect(dc, &c, back ? back : GetSysColorBrush(COLOR_WINDOW));
            SelectObject(dc, w->font ? (HGDIOBJ)w->font : GetStockObject(SYSTEM_FONT));
            int height = gdi::FontHeight((gdi::FontId)ControlFont(w));
            int y = (c.bottom - height) / 2;
            int a = std::min(e->anchor, e->caret), b = std::max(e->anchor, e->caret);
            bool showSelection = a != b && (e->focused || (w->style & ES_NOHIDESEL));
            const std::string &t = w->text;
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(w->enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
            TextOutA(dc, kMargin, y, t.c_str(), (int)t.size());
            if (showSelection) {
                int x0 = kMargin + TextWidth(w, t.substr(0, (size_t)a));
                int x1 = kMargin + TextWidth(w, t.substr(0, (size_t)b));
                RECT sel = {x0, y, x1, y + height};
                FillRect(dc, &sel, GetSysColorBrush(COLOR_HIGHLIGHT));
                SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
                TextOutA(dc, x0, y, t.c_str() + a, b - a);
            }
            if (e->focused) {
                int x = kMargin + TextWidth(w, t.substr(0, (size_t)e->caret));
                RECT caret = {x, y, x + 1, y + height};
                FillRect(dc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
            }
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_SETFOCUS:
            e->focused = true;
            Invalidate(w);
            NotifyParent(w, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            e->focused = false;
            Invalidate(w);
            NotifyParent(w, EN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

}  // namespace wnd
}  // namespace qk
