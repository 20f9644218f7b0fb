// The push button and the static control, as the program and the dialogs use them.
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

void RegisterSystemClass(const char *name, WNDPROC proc, UINT style, HBRUSH background);

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

void Notify(HWND hWnd, Window *w, WORD code) {
    if (w->parent) SendMessageA(Handle(w->parent), WM_COMMAND, MAKEWPARAM((WORD)w->id, code), (LPARAM)hWnd);
}

bool Inside(Window *w, LPARAM lParam) {
    int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
    RECT c = ClientRectOf(w);
    return x >= 0 && y >= 0 && x < c.right && y < c.bottom;
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
                Notify(hWnd, w, BN_DOUBLECLICKED);
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
            if (in && FromHandle(hWnd)) Notify(hWnd, w, BN_CLICKED);
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
                Notify(hWnd, w, BN_CLICKED);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        case WM_SETFOCUS:
            s->focused = true;
            Invalidate(w);
            if (notify) Notify(hWnd, w, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            s->focused = false;
            if (s->pressed) {
                s->pressed = s->hot = false;
                if (GetCapture() == hWnd) ReleaseCapture();
            }
            Invalidate(w);
            if (notify && FromHandle(hWnd)) Notify(hWnd, w, BN_KILLFOCUS);
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
            Notify(hWnd, w, BN_CLICKED);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCHITTEST) return -1;  // HTTRANSPARENT
    return DefWindowProcA(hWnd, msg, wParam, lParam);
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
