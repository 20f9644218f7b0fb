// The desktop driver's input translation: SDL's keyboard, mouse and window events become
// the stand-in's input (qk::input), in the platform's terms: virtual keys, clicks and
// double clicks counted as the platform counts them, frame actions, activation; and the
// system menu is opened where the platform opens it.
#include <stdlib.h>

#include <string>

#include "platform/driver/driver.h"
#include "platform/driver/sdl/scale.h"
#include "platform/driver/sdl/ui.h"
#include "platform/kernel32/codepage.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace sdl {
namespace {

// The mouse: where a button went down, so that the up goes to the same place.
struct Press {
    Host *host = nullptr;
    int button = -1;
    int hit = HTNOWHERE;
};
Press g_press;
// Double clicks are counted as the platform counts them, not as SDL does (SDL counts
// within 32 pixels of the window's own coordinates, so a click on a window that was moved
// in between could pair with one made before the move): the same button again, on the
// same window and the same part of it (client area or frame), within the double-click
// time and within the double-click rectangle round the first click on the screen. The
// click that completes a double click starts the count over.
const Uint32 kDoubleClickMs = 500;
const int kDoubleClickCx = 4, kDoubleClickCy = 4;
struct Click {
    HWND hwnd = nullptr;
    int button = -1;
    bool client = false;
    Uint32 ticks = 0;
    POINT at = {0, 0};
};
Click g_lastClick;

bool CountsAsDoubleClick(HWND top, int button, bool client, POINT screen) {
    Uint32 now = SDL_GetTicks();
    const Click &l = g_lastClick;
    bool pair = l.hwnd == top && l.button == button && l.client == client && now - l.ticks < kDoubleClickMs &&
                abs(screen.x - l.at.x) <= kDoubleClickCx / 2 && abs(screen.y - l.at.y) <= kDoubleClickCy / 2;
    if (pair) {
        g_lastClick = Click();
    } else {
        g_lastClick.hwnd = top;
        g_lastClick.button = button;
        g_lastClick.client = client;
        g_lastClick.ticks = now;
        g_lastClick.at = screen;
    }
    return pair;
}

// Where the next system menu opens when it was asked for with the mouse.
bool g_menuAtPointer = false;
SDL_Point g_menuPoint = {0, 0};

SDL_Cursor *g_programCursor = nullptr;
SDL_Cursor *g_frameCursor = nullptr;
SDL_Cursor *g_systemCursors[SDL_NUM_SYSTEM_CURSORS];

SDL_Cursor *SystemCursor(SDL_SystemCursor id) {
    if (!g_systemCursors[id]) g_systemCursors[id] = SDL_CreateSystemCursor(id);
    return g_systemCursors[id];
}

// A mouse event with its window coordinates in 1x pixels.
template <typename Event>
Event Unscaled(Event e) {
    e.x = FromScreen(e.x);
    e.y = FromScreen(e.y);
    return e;
}

// Modifier keys the stand-in believes held are let go (the desktop took the keyboard away).
void ReleaseModifiers() {
    for (int vk : {VK_MENU, VK_CONTROL, VK_SHIFT})
        if (GetKeyState(vk) < 0) input::Key(vk, false);
}

// x, y: a point of the window's own picture.
void OpenSystemMenuFromMouse(Host &host, int x, int y) {
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(host.window, &wx, &wy);
    g_menuAtPointer = true;
    g_menuPoint = {wx + ToScreen(x - host.view.x), wy + ToScreen(y - host.view.y)};
    input::FrameAction(host.hwnd, SC_MOUSEMENU);
}

void MouseButtonEvent(const SDL_MouseButtonEvent &e) {
    Host *host = HostOfWindowId(e.windowID);
    if (!host) return;
    wnd::Window *w = wnd::FromHandle(host->hwnd);
    if (!w) return;
    int button = e.button == SDL_BUTTON_LEFT ? 0 : e.button == SDL_BUTTON_RIGHT ? 1 : e.button == SDL_BUTTON_MIDDLE ? 2 : -1;
    if (button < 0) return;
    bool down = e.state == SDL_PRESSED;
    POINT off = ClientOffset(w);
    off.x -= host->view.x;
    off.y -= host->view.y;
    const int ex = e.x + host->view.x, ey = e.y + host->view.y;  // in the window's picture
    if (down) {
        bool captionDouble = TakeCaptionDoubleClick();
        if (!w->enabled) {
            // A window under a modal box: the box comes forward instead.
            if (wnd::Window *box = ModalOver(w))
                if (Host *b = HostOf(box->hwnd))
                    if (b->window) SDL_RaiseWindow(b->window);
            return;
        }
        int hit = paint::HitTest(host->hwnd, ex, ey);
        bool captured = GetCapture() && wnd::TopLevel(wnd::FromHandle(GetCapture())) == w;
        POINT screen = {w->rect.left + ex, w->rect.top + ey};
        bool dbl = CountsAsDoubleClick(host->hwnd, button, hit == HTCLIENT || captured, screen);
        if (hit == HTCLIENT || captured) {
            g_press = {host, button, HTCLIENT};
            input::MouseButton(host->hwnd, e.x - off.x, e.y - off.y, button, true, dbl);
            return;
        }
        if (GetActiveWindow() != host->hwnd) SetActiveWindow(host->hwnd);
        g_press = {host, button, hit};
        if (button == 0 && hit == HTSYSMENU) {
            g_press = {};
            if (dbl) {
                input::FrameAction(host->hwnd, SC_CLOSE);
            } else {
                g_menuAtPointer = false;
                input::FrameAction(host->hwnd, SC_MOUSEMENU);
            }
        } else if (button == 0 && hit == HTCAPTION && captionDouble) {
            g_press = {};
            if (w->style & WS_MAXIMIZEBOX)
                input::FrameAction(host->hwnd, w->showState == SW_SHOWMAXIMIZED ? SC_RESTORE : SC_MAXIMIZE);
        }
        return;
    }
    // A button coming up goes where it went down.
    if (g_press.host != host || g_press.button != button) {
        g_press = {};
        return;
    }
    Press press = g_press;
    g_press = {};
    if (press.hit == HTCLIENT) {
        input::MouseButton(host->hwnd, e.x - off.x, e.y - off.y, button, false, false);
        return;
    }
    int hit = paint::HitTest(host->hwnd, ex, ey);
    if (button == 1 && (press.hit == HTCAPTION || press.hit == HTSYSMENU) && hit == press.hit) {
        OpenSystemMenuFromMouse(*host, ex, ey);
    } else if (button == 0 && hit == press.hit) {
        if (hit == HTCLOSE) input::FrameAction(host->hwnd, SC_CLOSE);
        if (hit == HTMINBUTTON && (w->style & WS_MINIMIZEBOX)) input::FrameAction(host->hwnd, SC_MINIMIZE);
        if (hit == HTMAXBUTTON && (w->style & WS_MAXIMIZEBOX))
            input::FrameAction(host->hwnd, w->showState == SW_SHOWMAXIMIZED ? SC_RESTORE : SC_MAXIMIZE);
    }
}

void MouseMotionEvent(const SDL_MouseMotionEvent &e) {
    Host *host = HostOfWindowId(e.windowID);
    if (!host) return;
    wnd::Window *w = wnd::FromHandle(host->hwnd);
    if (!w) return;
    int hit = paint::HitTest(host->hwnd, e.x + host->view.x, e.y + host->view.y);
    // The frame's edges show the sizing cursors; elsewhere the program's cursor shows.
    SDL_Cursor *frame = nullptr;
    if ((w->style & WS_THICKFRAME) && w->showState == SW_SHOWNORMAL && w->enabled) {
        switch (hit) {
            case HTLEFT:
            case HTRIGHT:
                frame = SystemCursor(SDL_SYSTEM_CURSOR_SIZEWE);
                break;
            case HTTOP:
            case HTBOTTOM:
                frame = SystemCursor(SDL_SYSTEM_CURSOR_SIZENS);
                break;
            case HTTOPLEFT:
            case HTBOTTOMRIGHT:
                frame = SystemCursor(SDL_SYSTEM_CURSOR_SIZENWSE);
                break;
            case HTTOPRIGHT:
            case HTBOTTOMLEFT:
                frame = SystemCursor(SDL_SYSTEM_CURSOR_SIZENESW);
                break;
            default:
                break;
        }
    }
    if (frame != g_frameCursor) {
        g_frameCursor = frame;
        SDL_SetCursor(frame ? frame : g_programCursor ? g_programCursor : SDL_GetDefaultCursor());
    }
    bool pressedInClient = g_press.host == host && g_press.hit == HTCLIENT;
    bool captured = GetCapture() && wnd::TopLevel(wnd::FromHandle(GetCapture())) == w;
    if (hit == HTCLIENT || pressedInClient || captured) {
        POINT off = ClientOffset(w);
        off.x -= host->view.x;
        off.y -= host->view.y;
        input::MouseMove(host->hwnd, e.x - off.x, e.y - off.y);
    }
}

void MouseWheelEvent(const SDL_MouseWheelEvent &e) {
    Host *host = HostOfWindowId(e.windowID);
    if (!host) return;
    wnd::Window *w = wnd::FromHandle(host->hwnd);
    if (!w || !w->enabled) return;
    // Notches (or parts of one, from a fine-grained wheel) in the platform's units.
    float notches = e.preciseY != 0.0f ? e.preciseY : (float)e.y;
    if (e.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    int delta = (int)(notches * WHEEL_DELTA + (notches < 0 ? -0.5f : 0.5f));
    POINT off = ClientOffset(w);
    off.x -= host->view.x;
    off.y -= host->view.y;
    input::MouseWheel(host->hwnd, FromScreen(e.mouseX) - off.x, FromScreen(e.mouseY) - off.y, delta);
}

void WindowEvent(const SDL_WindowEvent &e) {
    Host *host = HostOfWindowId(e.windowID);
    if (!host) return;
    HWND h = host->hwnd;
    wnd::Window *w = wnd::FromHandle(h);
    if (!w) return;
    SDL_Point o = DesktopOrigin();
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE:
            if (w->enabled) {
                input::FrameAction(h, SC_CLOSE);
            } else if (wnd::Window *box = ModalOver(w)) {
                if (Host *b = HostOf(box->hwnd))
                    if (b->window) SDL_RaiseWindow(b->window);
            }
            break;
        case SDL_WINDOWEVENT_MOVED: {
            // While the keyboard moves it, the stand-in leads and the desktop follows.
            if (w->showState != SW_SHOWNORMAL || wnd::SizeMoveWindow() == h) break;
            RECT r = w->rect;
            int dx = FromScreen(e.data1 - o.x) - r.left, dy = FromScreen(e.data2 - o.y) - r.top;
            if (dx == 0 && dy == 0) break;
            RECT moved = {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
            input::FrameAction(h, SC_MOVE, &moved);
            if ((w = wnd::FromHandle(h)) && SameRect(w->rect, moved)) host->placed = moved;
            break;
        }
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            host->dirty = true;
            if (w->showState != SW_SHOWNORMAL || wnd::SizeMoveWindow() == h) break;
            RECT r = w->rect;
            int width = FromScreen(e.data1), height = FromScreen(e.data2);
            if (r.right - r.left == width && r.bottom - r.top == height) break;
            RECT sized = {r.left, r.top, r.left + width, r.top + height};
            input::FrameAction(h, SC_SIZE, &sized);
            if ((w = wnd::FromHandle(h)) && SameRect(w->rect, sized)) host->placed = sized;
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED:
            host->placedState = SW_SHOWMINIMIZED;
            if (w->showState != SW_SHOWMINIMIZED) input::FrameAction(h, SC_MINIMIZE);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (w->showState != SW_SHOWMAXIMIZED && (w->style & WS_MAXIMIZEBOX))
                input::FrameAction(h, SC_MAXIMIZE);
            else
                host->placedState = -1;  // put back as the stand-in has it
            break;
        case SDL_WINDOWEVENT_RESTORED:
            host->dirty = true;
            if (w->showState == SW_SHOWMINIMIZED) {
                host->placedState = SW_SHOWNORMAL;
                input::FrameAction(h, SC_RESTORE);
            }
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
            host->dirty = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (!w->enabled) {
                if (wnd::Window *box = ModalOver(w))
                    if (Host *b = HostOf(box->hwnd))
                        if (b->window) SDL_RaiseWindow(b->window);
                break;
            }
            g_shownActive = h;
            if (GetActiveWindow() != h) SetActiveWindow(h);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            ReleaseModifiers();
            if (GetActiveWindow() == h) {
                // Another program's window took the keyboard: ours shows inactive, unless
                // the focus only moved between our own windows (the next event says so).
                SDL_PumpEvents();
                SDL_Event next;
                bool ours = SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) == 1 &&
                            next.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
                if (!ours) {
                    SetActiveWindow(NULL);
                    g_shownActive = nullptr;
                }
            }
            break;
        default:
            break;
    }
}

}  // namespace

void HandleEvent(const SDL_Event &e) {
    if (e.type == g_wakeEvent) {
        g_wakePending = false;
        return;
    }
    switch (e.type) {
        case SDL_QUIT:
            // A signal or the session ending: the program ends as at a shutdown, keeping
            // what it keeps when its window goes.
            wnd::RequestShutdown();
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            DeliverKey(e.key);
            break;
        case SDL_TEXTINPUT:
            // What the layout, a compose key or an input method made of the keys.
            input::Text(Utf8ToAnsiDropping(e.text.text).c_str());
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            MouseButtonEvent(Unscaled(e.button));
            break;
        case SDL_MOUSEMOTION:
            MouseMotionEvent(Unscaled(e.motion));
            break;
        case SDL_MOUSEWHEEL:
            MouseWheelEvent(e.wheel);
            break;
        case SDL_WINDOWEVENT:
            WindowEvent(e.window);
            break;
        case SDL_DISPLAYEVENT:
            RefreshWorkArea();
            break;
        default:
            break;
    }
}

void ForgetPress(Host *host) {
    if (g_press.host == host) g_press = {};
}

int VirtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
    static const struct {
        SDL_Keycode key;
        int vk;
    } kPunctuation[] = {
        {SDLK_SEMICOLON, VK_OEM_1}, {SDLK_EQUALS, VK_OEM_PLUS},      {SDLK_COMMA, VK_OEM_COMMA},
        {SDLK_MINUS, VK_OEM_MINUS}, {SDLK_PERIOD, VK_OEM_PERIOD},    {SDLK_SLASH, VK_OEM_2},
        {SDLK_BACKQUOTE, VK_OEM_3}, {SDLK_LEFTBRACKET, VK_OEM_4},    {SDLK_BACKSLASH, VK_OEM_5},
        {SDLK_RIGHTBRACKET, VK_OEM_6}, {SDLK_QUOTE, VK_OEM_7},
    };
    for (const auto &p : kPunctuation)
        if (p.key == key) return p.vk;
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return '1' + (key - SDLK_KP_1);
    switch (key) {
        case SDLK_KP_0:
            return '0';
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        case SDLK_PAUSE:
            return VK_PAUSE;
        case SDLK_CAPSLOCK:
            return VK_CAPITAL;
        default:
            return 0;
    }
}

void DeliverKey(const SDL_KeyboardEvent &key) {
    int vk = VirtualKeyOf(key.keysym.sym);
    // Auto-repeat comes as further downs, as on the platform.
    if (vk) input::Key(vk, key.state == SDL_PRESSED);
}

}  // namespace sdl

namespace driver {

void CursorChanged(HCURSOR cursor) {
    if (!sdl::g_ready) return;
    static const struct {
        int id;
        SDL_SystemCursor sdl;
    } kMap[] = {
        {32512, SDL_SYSTEM_CURSOR_ARROW},    {32513, SDL_SYSTEM_CURSOR_IBEAM},    {32514, SDL_SYSTEM_CURSOR_WAIT},
        {32515, SDL_SYSTEM_CURSOR_CROSSHAIR}, {32516, SDL_SYSTEM_CURSOR_ARROW},   {32642, SDL_SYSTEM_CURSOR_SIZENWSE},
        {32643, SDL_SYSTEM_CURSOR_SIZENESW}, {32644, SDL_SYSTEM_CURSOR_SIZEWE},   {32645, SDL_SYSTEM_CURSOR_SIZENS},
        {32646, SDL_SYSTEM_CURSOR_SIZEALL},  {32648, SDL_SYSTEM_CURSOR_NO},       {32650, SDL_SYSTEM_CURSOR_WAITARROW},
    };
    if (!cursor) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    SDL_SystemCursor id = SDL_SYSTEM_CURSOR_ARROW;
    for (const auto &m : kMap)
        if (LoadCursorA(NULL, MAKEINTRESOURCEA(m.id)) == cursor) id = m.sdl;
    sdl::g_programCursor = sdl::SystemCursor(id);
    if (!sdl::g_frameCursor) SDL_SetCursor(sdl::g_programCursor);
}

void ShowSystemMenu(HWND top) {
    wnd::Window *w = wnd::FromHandle(top);
    sdl::Host *host = sdl::HostOf(top);
    if (!w || !host || !host->window || !w->visible) return;
    sdl::Flush();  // the window as it is now stays on the screen behind the menu
    int x, y;
    if (sdl::g_menuAtPointer) {
        x = sdl::g_menuPoint.x;
        y = sdl::g_menuPoint.y;
    } else {
        // Under the caption's icon.
        int l, t, r, b;
        wnd::FrameInsets(w->style, w->exStyle, true, l, t, r, b);
        SDL_GetWindowPosition(host->window, &x, &y);
        x += sdl::ToScreen(l - host->view.x);
        y += sdl::ToScreen(t - host->view.y);
    }
    sdl::g_menuAtPointer = false;
    UINT chosen = sdl::RunSystemMenu(top, x, y, sdl::g_later);
    if (chosen && wnd::FromHandle(top)) input::MenuChosen(top, chosen);
}

}  // namespace driver
}  // namespace qk
