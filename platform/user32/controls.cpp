// The push button and the static control, as the program and the dialogs use them.
#include "platform/gdi32/gdi32.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

namespace {

struct ButtonState : ControlState {
    bool pressed = false;   // the mouse went down on it and has not come up
    bool hot = false;       // the pointer is inside while pressed
    bool focused = false;
};

ButtonState *StateOf(Window *w) {
    if (!w->control) w->control = std::make_unique<ButtonState>();
    return static_cast<ButtonState *>(w->control.get());
}

bool Inside(Window *w, LPARAM lParam) {
    int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
    RECT c = ClientRectOf(w);
    return x >= 0 && y >= 0 && x < c.right && y < c.bottom;
}

// Text of a control in its colours: embossed grey when the control is disabled.
void ControlText(HDC dc, Window *w, RECT r, UINT format, COLORREF ink) {
    if (w->enabled) {
        SetTextColor(dc, ink);
        DrawTextA(dc, w->text.c_str(), (int)w->text.size(), &r, format);
        return;
    }
    RECT shadow = {r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextA(dc, w->text.c_str(), (int)w->text.size(), &shadow, format);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, w->text.c_str(), (int)w->text.size(), &r, format);
}

HGDIOBJ FontOfControl(Window *w, int fallback) {
    return w->font ? (HGDIOBJ)w->font : GetStockObject(fallback);
}

// The push button: a raised face (pushed in while held down with the pointer on it), a
// black frame when it is the default button, its caption placed as its style says, and
// the focus rectangle inside the edges.
void PaintButton(HWND hWnd, Window *w, ButtonState *s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    RECT c = ClientRectOf(w), r = c;
    bool pushed = s->pressed && s->hot;
    bool isDefault = (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    if (isDefault || pushed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        r.left++, r.top++, r.right--, r.bottom--;
    }
    if (pushed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        r.left++, r.top++, r.right--, r.bottom--;
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    }

    SelectObject(dc, FontOfControl(w, SYSTEM_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT area = {c.left + 3, c.top + 3, c.right - 3, c.bottom - 3};
    UINT format = (w->style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    RECT text = area;
    DrawTextA(dc, w->text.c_str(), (int)w->text.size(), &text, format | DT_CALCRECT);
    int tw = text.right - text.left, th = text.bottom - text.top;
    int aw = area.right - area.left, ah = area.bottom - area.top;
    int x, y;
    switch (w->style & BS_CENTER) {
        case BS_LEFT:
            x = area.left;
            break;
        case BS_RIGHT:
            x = area.right - tw;
            format |= DT_RIGHT;
            break;
        default:  // push buttons centre unless told otherwise
            x = area.left + (aw - tw) / 2;
            format |= DT_CENTER;
            break;
    }
    switch (w->style & BS_VCENTER) {
        case BS_TOP:
            y = area.top;
            break;
        case BS_BOTTOM:
            y = area.bottom - th;
            break;
        default:
            y = area.top + (ah - th) / 2;
            break;
    }
    if (pushed) x++, y++;
    RECT place = {x, y, x + tw, y + th};
    // The caption may reach beyond its lines' box only where the button ends.
    ControlText(dc, w, place, format | DT_NOCLIP, GetSysColor(COLOR_BTNTEXT));
    if (s->focused) {
        int inset = isDefault || pushed ? 4 : 3;
        RECT f = {c.left + inset, c.top + inset, c.right - inset, c.bottom - inset};
        DrawFocusRect(dc, &f);
    }
    EndPaint(hWnd, &ps);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    ButtonState *s = StateOf(w);
    bool notify = (w->style & BS_NOTIFY) != 0;
    switch (msg) {
        case WM_GETDLGCODE:
            return (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? 0x0010 : 0x0020;  // DLGC_DEF/UNDEFPUSHBUTTON
        case WM_LBUTTONDBLCLK:
            if (notify) {
                NotifyParent(w, BN_DOUBLECLICKED);
                return 0;
            }
            // a plain push button takes a double click as a press
            [[fallthrough]];
        case WM_LBUTTONDOWN:
            SetCapture(hWnd);
            if (!FromHandle(hWnd)) return 0;
            SetFocus(hWnd);
            if (!FromHandle(hWnd)) return 0;
            s = StateOf(w);
            s->pressed = s->hot = true;
            Invalidate(w);
            return 0;
        case WM_MOUSEMOVE:
            if (s->pressed) {
                bool in = Inside(w, lParam);
                if (in != s->hot) {
                    s->hot = in;
                    Invalidate(w);
                }
            }
            return 0;
        case WM_LBUTTONUP: {
            if (!s->pressed) return 0;
            bool in = Inside(w, lParam);
            s->pressed = s->hot = false;
            ReleaseCapture();
            Invalidate(w);
            if (in && FromHandle(hWnd)) NotifyParent(w, BN_CLICKED);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (s->pressed) {
                s->pressed = s->hot = false;
                Invalidate(w);
            }
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && !s->pressed) {
                s->pressed = s->hot = true;
                Invalidate(w);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        case WM_KEYUP:
            if (wParam == VK_SPACE && s->pressed) {
                s->pressed = s->hot = false;
                Invalidate(w);
                NotifyParent(w, BN_CLICKED);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        case WM_SETFOCUS:
            s->focused = true;
            Invalidate(w);
            if (notify) NotifyParent(w, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            s->focused = false;
            if (s->pressed) {
                s->pressed = s->hot = false;
                if (GetCapture() == hWnd) ReleaseCapture();
            }
            Invalidate(w);
            if (notify && FromHandle(hWnd)) NotifyParent(w, BN_KILLFOCUS);
            return 0;
        case BM_GETSTATE:
            return (s->pressed && s->hot ? BST_PUSHED : 0) | (s->focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            s->pressed = s->hot = wParam != 0;
            Invalidate(w);
            return 0;
        case BM_SETSTYLE:
            w->style = (w->style & ~BS_TYPEMASK) | (wParam & BS_TYPEMASK);
            Invalidate(w);
            return 0;
        case BM_CLICK:
            NotifyParent(w, BN_CLICKED);
            return 0;
        case WM_PAINT:
            PaintButton(hWnd, w, s);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

namespace {

// The static control: text on the background its parent gives (WM_CTLCOLORSTATIC), an
// icon, or a plain rectangle.
void PaintStatic(HWND hWnd, Window *w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    RECT c = ClientRectOf(w);
    DWORD type = w->style & SS_TYPEMASK;
    HBRUSH brush = NULL;
    if (w->parent) brush = (HBRUSH)SendMessageA(Handle(w->parent), WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)hWnd);
    if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
    switch (type) {
        case SS_BLACKRECT:
            FillRect(dc, &c, GetSysColorBrush(COLOR_WINDOWFRAME));
            break;
        case SS_GRAYRECT:
            FillRect(dc, &c, GetSysColorBrush(COLOR_BACKGROUND));
            break;
        case SS_WHITERECT:
            FillRect(dc, &c, GetSysColorBrush(COLOR_WINDOW));
            break;
        case SS_ICON:
            FillRect(dc, &c, brush);
            if (w->icon) DrawIconEx(dc, 0, 0, w->icon, c.right, c.bottom, 0, NULL, DI_NORMAL);
            break;
        default: {
            FillRect(dc, &c, brush);
            SelectObject(dc, FontOfControl(w, SYSTEM_FONT));
            SetBkMode(dc, TRANSPARENT);
            UINT format = DT_EXPANDTABS;
            if (type == SS_CENTER) format |= DT_CENTER | DT_WORDBREAK;
            else if (type == SS_RIGHT) format |= DT_RIGHT | DT_WORDBREAK;
            else if (type == SS_SIMPLE) format |= DT_SINGLELINE;
            else if (type != SS_LEFTNOWORDWRAP) format |= DT_WORDBREAK;
            if (w->style & SS_NOPREFIX) format |= DT_NOPREFIX;
            COLORREF ink = GetTextColor(dc);
            if (ink == CLR_INVALID) ink = GetSysColor(COLOR_WINDOWTEXT);
            ControlText(dc, w, c, format, ink);
            break;
        }
    }
    EndPaint(hWnd, &ps);
}

// An icon control takes the size of its icon.
void FitIcon(Window *w) {
    int size = GetSystemMetrics(SM_CXICON);
    RECT r = {w->rect.left, w->rect.top, w->rect.left + size, w->rect.top + size};
    if (r.right != w->rect.right || r.bottom != w->rect.bottom) SetWindowRect(w, r, SIZE_RESTORED);
}

}  // namespace

LRESULT CALLBACK StaticProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    switch (msg) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_CREATE:
            if ((w->style & SS_TYPEMASK) == SS_ICON) {
                // The window text names the icon among the program's resources.
                if (!w->text.empty()) w->icon = LoadIconA(w->instance, w->text.c_str());
                int size = GetSystemMetrics(SM_CXICON);
                w->rect.right = w->rect.left + size;
                w->rect.bottom = w->rect.top + size;
            }
            return 0;
        case STM_SETICON: {
            HICON old = w->icon;
            w->icon = (HICON)wParam;
            if ((w->style & SS_TYPEMASK) == SS_ICON) FitIcon(w);
            Invalidate(w);
            return (LRESULT)old;
        }
        case STM_GETICON:
            return (LRESULT)w->icon;
        case WM_PAINT:
            PaintStatic(hWnd, w);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

void NotifyParent(Window *w, WORD code) {
    if (w->parent) SendMessageA(Handle(w->parent), WM_COMMAND, MAKEWPARAM((WORD)w->id, code), (LPARAM)Handle(w));
}

void RegisterSystemClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterSystemClass("BUTTON", ButtonProc, CS_DBLCLKS | CS_PARENTDC | CS_VREDRAW | CS_HREDRAW, nullptr);
    RegisterSystemClass("STATIC", StaticProc, CS_PARENTDC, nullptr);
    RegisterSystemClass("msctls_statusbar32", StatusBarProc, CS_DBLCLKS | CS_VREDRAW | CS_HREDRAW, nullptr);
    RegisterSystemClass("#32770", DialogClassProc, CS_DBLCLKS | CS_SAVEBITS, (HBRUSH)(INT_PTR)(15 + 1));
    RegisterSystemClass("EDIT", EditProc, CS_DBLCLKS | CS_PARENTDC, nullptr);
    RegisterSystemClass("LISTBOX", ListBoxProc, CS_DBLCLKS | CS_PARENTDC, nullptr);
    RegisterSystemClass("COMBOBOX", ComboBoxProc, CS_DBLCLKS | CS_PARENTDC | CS_VREDRAW | CS_HREDRAW, nullptr);
}

}  // namespace wnd
}  // namespace qk
