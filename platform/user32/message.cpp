// The message queue, sending and dispatch, the default window procedure, keyboard
// focus, activation and mouse capture, the end of the session (ExitWindowsEx), and the
// input that drivers deliver.
#include <string.h>
#include <time.h>

#include <deque>

#include "platform/driver/driver.h"
#include "platform/gdi32/gdi32.h"
#include "platform/kernel32/kernel32.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

std::deque<MSG> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;
Window *g_focus = nullptr;
Window *g_active = nullptr;
Window *g_capture = nullptr;
bool g_keyDown[256];
bool g_shutdownPending = false;
bool g_textFromDesktop = false;

DWORD Ticks() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (DWORD)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

}  // namespace

void RequestShutdown() {
    g_shutdownPending = true;
    qk::driver::Wake();
}

// The end of the session, when the program next waits for a message: every top-level
// window is asked (WM_QUERYENDSESSION), told (WM_ENDSESSION) and destroyed.
static void RunShutdown() {
    g_shutdownPending = false;
    std::vector<Window *> tops = TopLevelWindows();
    for (Window *t : tops)
        if (FromHandle(Handle(t)) && !SendMessageA(Handle(t), WM_QUERYENDSESSION, 0, 0)) {
            for (Window *u : tops)
                if (FromHandle(Handle(u))) SendMessageA(Handle(u), WM_ENDSESSION, FALSE, 0);
            return;
        }
    for (Window *t : tops)
        if (FromHandle(Handle(t))) SendMessageA(Handle(t), WM_ENDSESSION, TRUE, 0);
    for (Window *t : tops)
        if (FromHandle(Handle(t))) DestroyWindow(Handle(t));
}

void ResetMessages() {
    g_shutdownPending = false;
    g_queue.clear();
    g_quitPosted = false;
    g_quitCode = 0;
    g_focus = g_active = g_capture = nullptr;
    memset(g_keyDown, 0, sizeof g_keyDown);
    g_textFromDesktop = false;
}

void ForgetWindow(Window *w) {
    auto inside = [w](Window *x) {
        for (; x; x = x->parent)
            if (x == w) return true;
        return false;
    };
    if (g_capture && inside(g_capture)) g_capture = nullptr;
    if (g_focus && inside(g_focus)) {
        // A child that had the focus gives it back to its parent.
        Window *p = w->parent;
        g_focus = nullptr;
        if (p && !p->destroying) SetFocus(Handle(p));
    }
    if (g_active == w) {
        g_active = nullptr;
        // The owner, or the newest other top-level window, becomes active.
        Window *next = w->owner && w->owner->visible ? w->owner : nullptr;
        if (!next) {
            for (Window *t : TopLevelWindows())
                if (t != w && t->visible && !t->destroying) next = t;
        }
        if (next) SetActiveWindow(Handle(next));
    }
}

}  // namespace wnd
}  // namespace qk

using namespace qk::wnd;

// The stand-in never shuts the host down: it ends the session of this program as a
// shutdown would (every top-level window is asked, told and closed), so the program
// saves what it saves when its window goes.
BOOL WINAPI ExitWindowsEx(UINT, DWORD) {
    RequestShutdown();
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w || !w->proc) return 0;
    return w->proc(hWnd, msg, wParam, lParam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hWnd, msg, wParam, lParam) : 0;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd && !FromHandle(hWnd)) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    MSG m = {hWnd, msg, wParam, lParam, Ticks(), {0, 0}};
    g_queue.push_back(m);
    qk::driver::Wake();
    return TRUE;
}

void WINAPI PostQuitMessage(int code) {
    g_quitPosted = true;
    g_quitCode = code;
}

namespace {

bool Matches(const MSG &m, HWND filter, UINT lo, UINT hi) {
    if (filter && m.hwnd != filter) {
        bool child = false;
        for (Window *w = FromHandle(m.hwnd); w; w = w->parent)
            if (Handle(w) == filter) child = true;
        if (!child) return false;
    }
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

bool TakeMessage(LPMSG out, HWND filter, UINT lo, UINT hi, bool remove) {
    for (size_t i = 0; i < g_queue.size(); i++) {
        if (!Matches(g_queue[i], filter, lo, hi)) continue;
        *out = g_queue[i];
        if (remove) g_queue.erase(g_queue.begin() + (long)i);
        return true;
    }
    if (g_quitPosted && (lo == 0 && hi == 0)) {
        *out = {NULL, WM_QUIT, (WPARAM)g_quitCode, 0, Ticks(), {0, 0}};
        if (remove) g_quitPosted = false;
        return true;
    }
    // Windows that need painting get WM_PAINT when nothing else waits.
    for (Window *t : TopLevelWindows()) {
        if (!t->visible || !t->needsPaint) continue;
        if (filter && !Matches({Handle(t), WM_PAINT, 0, 0, 0, {0, 0}}, filter, lo, hi)) continue;
        if (!(lo == 0 && hi == 0) && !(WM_PAINT >= lo && WM_PAINT <= hi)) continue;
        *out = {Handle(t), WM_PAINT, 0, 0, Ticks(), {0, 0}};
        if (remove) t->needsPaint = false;
        return true;
    }
    return false;
}

}  // namespace

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hWnd, UINT lo, UINT hi, UINT remove) {
    if (!msg) return FALSE;
    return TakeMessage(msg, hWnd, lo, hi, (remove & PM_REMOVE) != 0);
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hWnd, UINT lo, UINT hi) {
    if (!msg) return -1;
    for (;;) {
        if (g_shutdownPending) RunShutdown();
        if (TakeMessage(msg, hWnd, lo, hi, true)) return msg->message != WM_QUIT;
        if (!qk::driver::WaitForInput()) {
            // Nothing can ever arrive again: end the loop as a quit would.
            *msg = {NULL, WM_QUIT, 0, 0, Ticks(), {0, 0}};
            return FALSE;
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG *m) {
    if (!m) return FALSE;
    if (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN) return FALSE;
    int vk = (int)m->wParam;
    char ch = 0;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    // The characters of the punctuation keys on the platform's default (US) layout.
    static const struct {
        int vk;
        char plain, shifted;
    } kPunctuation[] = {
        {VK_OEM_1, ';', ':'},     {VK_OEM_PLUS, '=', '+'}, {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},
        {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},    {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},
        {VK_OEM_5, '\\', '|'},    {VK_OEM_6, ']', '}'},    {VK_OEM_7, '\'', '"'},
    };
    if (vk >= 'A' && vk <= 'Z')
        ch = shift ? (char)vk : (char)(vk - 'A' + 'a');
    else if (vk >= '0' && vk <= '9')
        ch = shift ? ")!@#$%^&*("[vk - '0'] : (char)vk;
    else if (vk == VK_SPACE)
        ch = ' ';
    else if (vk == VK_RETURN)
        ch = '\r';
    else if (vk == VK_ESCAPE)
        ch = 27;
    else if (vk == VK_BACK)
        ch = 8;
    else if (vk == VK_TAB)
        ch = '\t';
    for (const auto &p : kPunctuation)
        if (p.vk == vk) ch = shift ? p.shifted : p.plain;
    if (!ch) return FALSE;
    bool control = m->message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 && vk >= 'A' && vk <= 'Z';
    if (control) ch = (char)(vk - 'A' + 1);
    // Printable characters then come from the desktop's layout instead (qk::input::Text).
    if (g_textFromDesktop && m->message == WM_KEYDOWN && !control && (unsigned char)ch >= ' ') return FALSE;
    PostMessageA(m->hwnd, m->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, (WPARAM)(unsigned char)ch, m->lParam);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *m) {
    if (!m || !m->hwnd) return 0;
    Window *w = FromHandle(m->hwnd);
    if (!w) return 0;
    if (m->message == WM_PAINT) w->needsPaint = false;
    return SendMessageA(m->hwnd, m->message, m->wParam, m->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    switch (msg) {
        case WM_NCCREATE:
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_SETTEXT:
            w->text = lParam ? (const char *)lParam : "";
            if (!w->parent) qk::driver::WindowChanged(hWnd);
            Invalidate(w);
            return TRUE;
        case WM_GETTEXT: {
            if (wParam == 0 || !lParam) return 0;
            size_t n = w->text.size();
            if (n > wParam - 1) n = wParam - 1;
            memcpy((char *)lParam, w->text.data(), n);
            ((char *)lParam)[n] = 0;
            return (LRESULT)n;
        }
        case WM_GETTEXTLENGTH:
            return (LRESULT)w->text.size();
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_PAINT:
            w->needsPaint = false;
            return 0;
        case WM_ERASEBKGND: {
            // The class background; none leaves the background to WM_PAINT.
            if (!w->background || !wParam) return 0;
            RECT r = ClientRectOf(w);
            FillRect((HDC)wParam, &r, w->background);
            return 1;
        }
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            // Controls and dialogs on button face, in window text.
            SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor((HDC)wParam, GetSysColor(COLOR_BTNFACE));
            return (LRESULT)GetSysColorBrush(COLOR_BTNFACE);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor((HDC)wParam, GetSysColor(COLOR_WINDOW));
            return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
        case WM_SETFONT:
            w->font = (void *)wParam;
            if (lParam) Invalidate(w);
            return 0;
        case WM_GETFONT:
            return (LRESULT)w->font;
        case WM_ACTIVATE:
            // An activated top-level window takes the focus unless it is minimised.
            if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) SetFocus(hWnd);
            return 0;
        case WM_MOUSEACTIVATE:
            return 1;  // MA_ACTIVATE
        case WM_SYSCHAR:
            // Alt+Space opens the system menu.
            if (wParam == ' ' && !w->parent) SendMessageA(hWnd, WM_SYSCOMMAND, SC_KEYMENU, ' ');
            return 0;
        case WM_SYSKEYDOWN:
            // Alt+F4 closes the window; other system keys do nothing here.
            if (wParam == VK_F4 && (lParam & (1 << 29))) {
                Window *top = TopLevel(w);
                PostMessageA(Handle(top), WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND: {
            Window *top = TopLevel(w);
            HWND th = Handle(top);
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageA(th, WM_CLOSE, 0, 0);
                    return 0;
                case SC_MINIMIZE:
                    ShowWindow(th, SW_MINIMIZE);
                    return 0;
                case SC_MAXIMIZE:
                    ShowWindow(th, SW_MAXIMIZE);
                    return 0;
                case SC_RESTORE:
                    ShowWindow(th, SW_RESTORE);
                    return 0;
                case SC_KEYMENU:
                case SC_MOUSEMENU:
                    qk::wnd::InitSystemMenuPopup(th);
                    qk::driver::ShowSystemMenu(th);
                    return 0;
                case SC_MOVE:
                case SC_SIZE:
                    // With the mouse, moving and sizing are the desktop's own, through the
                    // frame; from the system menu they are the keyboard's.
                    TrackSizeMove(th, (wParam & 0xFFF0) == SC_SIZE);
                    return 0;
                default:
                    return 0;
            }
        }
        case WM_MOUSEWHEEL:
            // A window that does not scroll hands the wheel on to its parent.
            if (w->parent) return SendMessageA(Handle(w->parent), msg, wParam, lParam);
            return 0;
        case WM_PARENTNOTIFY:
        case WM_COMMAND:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSKEYUP:
        default:
            return 0;
    }
}

HWND WINAPI SetFocus(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    if (hWnd && !w) return NULL;
    if (w && (!w->enabled || w->destroying)) return NULL;
    Window *old = g_focus;
    if (old == w) return Handle(old);
    if (w) {
        Window *top = TopLevel(w);
        if (top != g_active) SetActiveWindow(Handle(top));
        if (g_focus == w) return Handle(old);
    }
    // The focus moves first; the messages tell of it afterwards.
    g_focus = w;
    HWND oldHandle = Handle(old);
    if (old && FromHandle(oldHandle)) {
        SendMessageA(oldHandle, WM_KILLFOCUS, (WPARAM)hWnd, 0);
        Invalidate(old);
    }
    if (w && g_focus == w && FromHandle(hWnd)) {
        SendMessageA(hWnd, WM_SETFOCUS, (WPARAM)oldHandle, 0);
        Invalidate(w);
    }
    return oldHandle;
}

HWND WINAPI GetFocus(void) { return Handle(g_focus); }
HWND WINAPI GetActiveWindow(void) { return Handle(g_active); }

HWND WINAPI SetActiveWindow(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    if (w) w = TopLevel(w);
    Window *old = g_active;
    if (old == w) return Handle(old);
    g_active = w;
    HWND oldHandle = Handle(old);
    if (old && FromHandle(oldHandle)) {
        SendMessageA(oldHandle, WM_NCACTIVATE, FALSE, 0);
        SendMessageA(oldHandle, WM_ACTIVATE, WA_INACTIVE, (LPARAM)hWnd);
        qk::driver::WindowChanged(oldHandle);
    }
    if (w && g_active == w) {
        if (g_focus && TopLevel(g_focus) != w) {
            Window *f = g_focus;
            g_focus = nullptr;
            if (FromHandle(Handle(f))) SendMessageA(Handle(f), WM_KILLFOCUS, 0, 0);
        }
        SendMessageA(hWnd, WM_NCACTIVATE, TRUE, 0);
        SendMessageA(hWnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, w->showState == SW_SHOWMINIMIZED), (LPARAM)oldHandle);
        qk::driver::WindowChanged(hWnd);
    }
    return oldHandle;
}

HWND WINAPI SetCapture(HWND hWnd) {
    Window *old = g_capture;
    g_capture = FromHandle(hWnd);
    return Handle(old);
}

BOOL WINAPI ReleaseCapture(void) {
    Window *old = g_capture;
    g_capture = nullptr;
    if (old) SendMessageA(Handle(old), WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) { return Handle(g_capture); }

SHORT WINAPI GetKeyState(int vk) { return (vk >= 0 && vk < 256 && g_keyDown[vk]) ? (SHORT)0x8000 : 0; }

namespace qk {
namespace input {

void Key(int vk, bool down) {
    if (vk <= 0 || vk >= 256) return;
    bool repeat = down && g_keyDown[vk];
    g_keyDown[vk] = down;
    bool alt = g_keyDown[VK_MENU];
    // F10, Alt and every key while Alt is down are system keys.
    bool system = vk == VK_F10 || vk == VK_MENU || (alt && !g_keyDown[VK_CONTROL]);
    Window *target = g_focus ? g_focus : g_active;
    if (!target) return;
    if (!g_focus) system = true;  // a minimised or focus-less active window gets system keys
    LPARAM lParam = 1;
    if (alt) lParam |= 1 << 29;
    if (repeat) lParam |= 1 << 30;
    if (!down) lParam |= (1u << 31) | (1 << 30);
    UINT msg = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    if (!down && vk == VK_MENU) msg = WM_SYSKEYUP;
    PostMessageA(Handle(target), msg, (WPARAM)vk, lParam);
}

void Text(const char *cp1252) {
    Window *target = g_focus;
    if (!target || !cp1252) return;
    // Alt with a key makes a system key and WM_SYSCHAR, not text (AltGr is Ctrl+Alt).
    if (g_keyDown[VK_MENU] && !g_keyDown[VK_CONTROL]) return;
    for (const char *p = cp1252; *p; p++)
        if ((unsigned char)*p >= ' ' && *p != 127) PostMessageA(Handle(target), WM_CHAR, (WPARAM)(unsigned char)*p, 1);
}

void TextFromDesktop(bool on) { g_textFromDesktop = on; }

void MouseButton(HWND topHandle, int x, int y, int button, bool down, bool doubleClick) {
    Window *top = FromHandle(topHandle);
    if (!top) return;
    Window *target;
    POINT local;
    if (g_capture) {  // a window that captured the mouse gets every button
        target = g_capture;
        POINT o = ClientOrigin(target), to = ClientOrigin(top);
        local = {x + to.x - o.x, y + to.y - o.y};
    } else {
        target = ChildAt(top, POINT{x, y}, &local);
    }
    if (!target) return;
    // A disabled window (under a modal dialog) takes no clicks.
    for (Window *w = target; w; w = w->parent)
        if (!w->enabled) return;
    static const UINT downs[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT ups[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    static const UINT dbls[3] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    static const WPARAM keys[3] = {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON};
    if (button < 0 || button > 2) return;
    HWND th = Handle(target);
    if (down) {
        if (TopLevel(target) != g_active) SetActiveWindow(Handle(TopLevel(target)));
        if (!FromHandle(th)) return;
        // Parents hear of a button going down on a child, in their client coordinates.
        if (target->parent && !(target->exStyle & WS_EX_NOPARENTNOTIFY)) {
            Window *c = target;
            for (Window *p = target->parent; p; c = p, p = p->parent) {
                POINT po = ClientOrigin(p), co = ClientOrigin(target);
                LPARAM pt = MAKELPARAM(local.x + co.x - po.x, local.y + co.y - po.y);
                SendMessageA(Handle(p), WM_PARENTNOTIFY, MAKEWPARAM(downs[button], 0), pt);
                if (!FromHandle(th) || (p->exStyle & WS_EX_NOPARENTNOTIFY) || !p->parent) break;
            }
            (void)c;
        }
        if (!FromHandle(th)) return;
        bool dbl = doubleClick && (target->classStyle & CS_DBLCLKS);
        PostMessageA(th, dbl ? dbls[button] : downs[button], keys[button], MAKELPARAM(local.x, local.y));
    } else {
        PostMessageA(th, ups[button], 0, MAKELPARAM(local.x, local.y));
    }
}

void MouseMove(HWND topHandle, int x, int y) {
    Window *top = FromHandle(topHandle);
    if (!top) return;
    Window *target;
    POINT local;
    if (g_capture) {
        target = g_capture;
        POINT o = ClientOrigin(target), to = ClientOrigin(top);
        local = {x + to.x - o.x, y + to.y - o.y};
    } else {
        target = ChildAt(top, POINT{x, y}, &local);
    }
    if (target) PostMessageA(Handle(target), WM_MOUSEMOVE, 0, MAKELPARAM(local.x, local.y));
}

void MouseWheel(HWND topHandle, int x, int y, int delta) {
    Window *top = FromHandle(topHandle);
    if (!top || delta == 0) return;
    Window *target;
    POINT local;
    if (g_capture) {
        target = g_capture;
    } else {
        target = ChildAt(top, POINT{x, y}, &local);
    }
    if (!target) return;
    for (Window *w = target; w; w = w->parent)
        if (!w->enabled) return;
    WPARAM keys = 0;
    if (g_keyDown[VK_SHIFT]) keys |= MK_SHIFT;
    if (g_keyDown[VK_CONTROL]) keys |= MK_CONTROL;
    POINT o = ClientOrigin(top);
    if (delta > 32767) delta = 32767;
    if (delta < -32768) delta = -32768;
    PostMessageA(Handle(target), WM_MOUSEWHEEL, MAKEWPARAM(keys, (WORD)(short)delta),
                 MAKELPARAM(x + o.x, y + o.y));
}

void FrameAction(HWND topHandle, UINT sc, const RECT *r) {
    Window *top = FromHandle(topHandle);
    if (!top) return;
    if ((sc == SC_SIZE || sc == SC_MOVE) && r) {
        RECT nr = *r;
        if (sc == SC_SIZE) {
            if (nr.right - nr.left < 112) nr.right = nr.left + 112;
            if (nr.bottom - nr.top < 27) nr.bottom = nr.top + 27;
        }
        if (top->showState != SW_SHOWNORMAL) return;
        SetWindowRect(top, nr, SIZE_RESTORED);
        return;
    }
    PostMessageA(topHandle, WM_SYSCOMMAND, sc, 0);
}

void MenuChosen(HWND top, UINT id) {
    if (FromHandle(top)) PostMessageA(top, WM_SYSCOMMAND, id, 0);
}

}  // namespace input
}  // namespace qk
