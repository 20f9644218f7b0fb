// The desktop driver: every visible top-level window of the stand-in is a borderless SDL
// window that shows what the stand-in paints (frame and caption included). Input from the
// desktop goes to the stand-in through qk::input; the window manager moves and sizes the
// windows through SDL's hit-testing, and what it does is reported back as frame actions.
//
// The driver only ever works when the program waits for input: changes are noted as they
// happen and put on the screen, once, when the message queue has run dry. Waiting is
// a poll() on the desktop's connection (wait.cpp), so an idle player sleeps.
#include "platform/driver/sdl/ui.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/driver/desktop/desktop.h"
#include "platform/driver/driver.h"
#include "platform/driver/sdl/scale.h"
#include "platform/gdi32/font.h"
#include "platform/kernel32/codepage.h"
#include "platform/user32/msgbox.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace sdl {
namespace {

bool g_ready = false;
Uint32 g_wakeEvent = (Uint32)-1;
std::atomic<bool> g_wakePending{false};
SDL_Rect g_workArea = {0, 0, 1024, 768};
std::vector<std::unique_ptr<Host>> g_hosts;
std::vector<SDL_Event> g_later;  // events set aside by a modal loop, handled next
// Rounds of the session's end asked for because of a quit signal or the display's end;
// should windows still remain after a few, nothing will ever come again.
int g_endRounds = 0;
HWND g_shownActive = nullptr;    // the active window as last shown to the desktop

// The mouse: where a button went down, so that the up goes to the same place.
struct Press {
    Host *host = nullptr;
    int button = -1;
    int hit = HTNOWHERE;
};
Press g_press;
// A second click on a caption within the double-click time: SDL's hit test lets it
// through instead of starting a move, so the caption can maximise and restore.
Uint32 g_captionClickTicks = 0;
bool g_captionDoubleClick = false;
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

void RefreshWorkArea() {
    SDL_Rect r;
    if (SDL_GetDisplayUsableBounds(0, &r) == 0 && r.w > 0 && r.h > 0)
        g_workArea = r;
    else if (SDL_GetDisplayBounds(0, &r) == 0 && r.w > 0 && r.h > 0)
        g_workArea = r;
}

Host *HostOf(HWND h) {
    for (auto &host : g_hosts)
        if (host->hwnd == h) return host.get();
    return nullptr;
}

// Window titles reach the desktop in UTF-8, as file names reach the host.
std::string Utf8Of(const std::string &ansi) { return AnsiToUtf8(ansi); }

bool SameRect(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Where the client area starts inside the window rectangle.
POINT ClientOffset(wnd::Window *w) {
    POINT o = wnd::ClientOrigin(w);
    return {o.x - w->rect.left, o.y - w->rect.top};
}

// A mouse event with its window coordinates in 1x pixels.
template <typename Event>
Event Unscaled(Event e) {
    e.x = FromScreen(e.x);
    e.y = FromScreen(e.y);
    return e;
}

// The part of a window the desktop shows, in stand-in coordinates: all of it, or for a
// maximised window the part on the work area (its frame lies beyond the edges); `view`
// is where that part starts in the window's own picture.
RECT ShownRect(wnd::Window *w, SDL_Point &view) {
    RECT r = w->rect;
    view = {0, 0};
    if (w->showState != SW_SHOWMAXIMIZED) return r;
    RECT work = {0, 0, FromScreen(g_workArea.w), FromScreen(g_workArea.h)};
    RECT shown = {r.left > work.left ? r.left : work.left, r.top > work.top ? r.top : work.top,
                  r.right < work.right ? r.right : work.right, r.bottom < work.bottom ? r.bottom : work.bottom};
    if (shown.right <= shown.left || shown.bottom <= shown.top) return r;
    view = {shown.left - r.left, shown.top - r.top};
    return shown;
}

SDL_HitTestResult SDLCALL HitTestCallback(SDL_Window *, const SDL_Point *pt, void *data) {
    Host *host = (Host *)data;
    wnd::Window *w = wnd::FromHandle(host->hwnd);
    if (!w || !w->enabled) return SDL_HITTEST_NORMAL;
    int hit = paint::HitTest(host->hwnd, FromScreen(pt->x) + host->view.x, FromScreen(pt->y) + host->view.y);
    bool normal = w->showState == SW_SHOWNORMAL;
    bool sizable = normal && (w->style & WS_THICKFRAME);
    switch (hit) {
        case HTCAPTION: {
            Uint32 now = SDL_GetTicks();
            if (g_captionClickTicks && now - g_captionClickTicks < 500) {
                g_captionClickTicks = 0;
                g_captionDoubleClick = true;
                return SDL_HITTEST_NORMAL;
            }
            g_captionClickTicks = now;
            // A maximised window stays where it is.
            return normal ? SDL_HITTEST_DRAGGABLE : SDL_HITTEST_NORMAL;
        }
        case HTTOPLEFT:
            return sizable ? SDL_HITTEST_RESIZE_TOPLEFT : SDL_HITTEST_NORMAL;
        case HTTOP:
            return sizable ? SDL_HITTEST_RESIZE_TOP : SDL_HITTEST_NORMAL;
        case HTTOPRIGHT:
            return sizable ? SDL_HITTEST_RESIZE_TOPRIGHT : SDL_HITTEST_NORMAL;
        case HTRIGHT:
            return sizable ? SDL_HITTEST_RESIZE_RIGHT : SDL_HITTEST_NORMAL;
        case HTBOTTOMRIGHT:
            return sizable ? SDL_HITTEST_RESIZE_BOTTOMRIGHT : SDL_HITTEST_NORMAL;
        case HTBOTTOM:
            return sizable ? SDL_HITTEST_RESIZE_BOTTOM : SDL_HITTEST_NORMAL;
        case HTBOTTOMLEFT:
            return sizable ? SDL_HITTEST_RESIZE_BOTTOMLEFT : SDL_HITTEST_NORMAL;
        case HTLEFT:
            return sizable ? SDL_HITTEST_RESIZE_LEFT : SDL_HITTEST_NORMAL;
        default:
            return SDL_HITTEST_NORMAL;
    }
}

SDL_Surface *SurfaceOfIcon(HICON icon) {
    const res::IconImage *img = res::IconPixels(icon);
    if (!img || img->width <= 0 || img->height <= 0) return nullptr;
    return SDL_CreateRGBSurfaceWithFormatFrom((void *)img->pixels.data(), img->width, img->height, 32,
                                              img->width * 4, SDL_PIXELFORMAT_ARGB8888);
}

// The newest visible, enabled window owned by `w` (a box over a disabled owner), or NULL.
wnd::Window *ModalOver(wnd::Window *w) {
    wnd::Window *found = nullptr;
    for (wnd::Window *t : wnd::TopLevelWindows())
        if (t->owner == w && t->visible && t->enabled) found = t;
    if (found && !found->enabled) return nullptr;
    return found;
}

void CreateSdlWindow(Host &host, wnd::Window *w) {
    SDL_Point o = DesktopOrigin();
    RECT shown = ShownRect(w, host.view);
    int width = shown.right - shown.left, height = shown.bottom - shown.top;
    Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    if (w->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    host.window = SDL_CreateWindow(Utf8Of(w->text).c_str(), o.x + ToScreen(shown.left), o.y + ToScreen(shown.top),
                                   ToScreen(width > 0 ? width : 1), ToScreen(height > 0 ? height : 1), flags);
    if (!host.window) {
        fprintf(stderr, "qksonnerix: cannot open a window: %s\n", SDL_GetError());
        return;
    }
    SDL_SetWindowData(host.window, "qk", &host);
    SDL_SetWindowHitTest(host.window, HitTestCallback, &host);
    if (flags & SDL_WINDOW_RESIZABLE) SDL_SetWindowMinimumSize(host.window, ToScreen(112), ToScreen(27));
    host.title = w->text;
    host.placed = w->rect;
    host.placedState = SW_SHOWNORMAL;
    host.geometryKnown = true;
    host.dirty = true;
}

// Brings one SDL window in line with its stand-in window, and repaints it if needed.
void Sync(Host &host) {
    wnd::Window *w = wnd::FromHandle(host.hwnd);
    if (!w) return;
    if (!w->visible) {
        if (host.window && host.shown) {
            SDL_HideWindow(host.window);
            host.shown = false;
        }
        return;
    }
    if (!host.window) CreateSdlWindow(host, w);
    if (!host.window) return;
    if (host.title != w->text) {
        host.title = w->text;
        SDL_SetWindowTitle(host.window, Utf8Of(w->text).c_str());
    }
    HICON icon = w->iconSmall ? w->iconSmall : w->icon;
    if (icon != host.icon) {
        host.icon = icon;
        if (SDL_Surface *s = SurfaceOfIcon(icon)) {
            SDL_SetWindowIcon(host.window, s);
            SDL_FreeSurface(s);
        }
    }
    Uint32 flags = SDL_GetWindowFlags(host.window);
    bool minimised = w->showState == SW_SHOWMINIMIZED;
    if (!minimised && (flags & SDL_WINDOW_MAXIMIZED)) SDL_RestoreWindow(host.window);
    if (!minimised && !SameRect(host.placed, w->rect)) {
        SDL_Point o = DesktopOrigin();
        RECT shown = ShownRect(w, host.view);
        int width = shown.right - shown.left, height = shown.bottom - shown.top;
        SDL_SetWindowPosition(host.window, o.x + ToScreen(shown.left), o.y + ToScreen(shown.top));
        SDL_SetWindowSize(host.window, ToScreen(width > 0 ? width : 1), ToScreen(height > 0 ? height : 1));
        host.placed = w->rect;
        host.dirty = true;
    }
    if (!host.shown) {
        SDL_ShowWindow(host.window);
        host.shown = true;
        host.dirty = true;
    }
    if (host.placedState != w->showState) {
        if (minimised && !(flags & SDL_WINDOW_MINIMIZED)) SDL_MinimizeWindow(host.window);
        if (!minimised && (flags & SDL_WINDOW_MINIMIZED)) SDL_RestoreWindow(host.window);
        host.placedState = w->showState;
        host.dirty = true;
    }
    if (host.dirty && !minimised) {
        host.dirty = false;
        paint::RenderTopLevel(host.hwnd, host.picture);
        Present(host.window, host.picture, host.view);
    }
}

// Puts every change on the screen: windows, pictures, and which window is active.
void Flush() {
    if (DisplayGone()) return;
    for (size_t i = 0; i < g_hosts.size(); i++) Sync(*g_hosts[i]);
    HWND active = GetActiveWindow();
    if (active != g_shownActive) {
        g_shownActive = active;
        Host *host = HostOf(active);
        if (host && host->window && host->shown &&
            !(SDL_GetWindowFlags(host->window) & (SDL_WINDOW_INPUT_FOCUS | SDL_WINDOW_MINIMIZED)))
            SDL_RaiseWindow(host->window);
    }
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
        bool captionDouble = g_captionDoubleClick;
        g_captionDoubleClick = false;
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

}  // namespace

SDL_Point DesktopOrigin() { return {g_workArea.x, g_workArea.y}; }

Host *HostOfWindowId(Uint32 id) {
    SDL_Window *window = SDL_GetWindowFromID(id);
    return window ? (Host *)SDL_GetWindowData(window, "qk") : nullptr;
}

void Present(SDL_Window *window, const paint::Surface &picture, SDL_Point from) {
    SDL_Surface *target = SDL_GetWindowSurface(window);
    if (!target || from.x < 0 || from.y < 0 || picture.width - from.x <= 0 || picture.height - from.y <= 0) return;
    // The 1x picture from `from` on, enlarged by the scale factor.
    int w = picture.width - from.x < FromScreen(target->w) ? picture.width - from.x : FromScreen(target->w);
    int h = picture.height - from.y < FromScreen(target->h) ? picture.height - from.y : FromScreen(target->h);
    if (SDL_MUSTLOCK(target)) SDL_LockSurface(target);
    EnlargeInto(picture, w, h, Scale(), target, from);
    if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
    SDL_UpdateWindowSurface(window);
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

using sdl::g_hosts;
using sdl::Host;

bool Init() {
    const char *x11 = getenv("DISPLAY");
    const char *wayland = getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        fprintf(stderr, "qksonnerix: no display available (set DISPLAY or run it on a desktop)\n");
        return false;
    }
    const char *asked = getenv("SDL_VIDEODRIVER");
    if (!asked || !*asked) {
        // Only the desktop that is there is tried (a missing Wayland would complain).
        if (!wayland || !*wayland)
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        else if (!x11 || !*x11)
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    }
    SDL_SetHint(SDL_HINT_APP_NAME, "QK Sonnerix");
    // The windows are small pictures drawn by the stand-in: the desktop's own shared
    // memory images show them without loading a GPU driver (tens of megabytes).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // The quit signals are the driver's own (wait.cpp).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl::InitSignals();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "qksonnerix: no display available (set DISPLAY or run it on a desktop): %s\n", SDL_GetError());
        return false;
    }
    // Without a desktop SDL falls back on drivers that show nothing (offscreen, dummy);
    // they are taken only when asked for by name.
    const char *driver = SDL_GetCurrentVideoDriver();
    if ((!asked || !*asked) && (!driver || (strcmp(driver, "x11") != 0 && strcmp(driver, "wayland") != 0))) {
        SDL_Quit();
        fprintf(stderr, "qksonnerix: no display available (set DISPLAY or run it on a desktop)\n");
        return false;
    }
    // Characters come from the desktop's layout, compose key or input method (as
    // SDL_TEXTINPUT, then WM_CHAR in cp1252); the keys themselves give the virtual keys.
    SDL_StartTextInput();
    input::TextFromDesktop(true);
    sdl::InitScale();
    sdl::g_wakeEvent = SDL_RegisterEvents(1);
    sdl::WaitInit();
    sdl::RefreshWorkArea();
    sdl::g_ready = true;
    desktop::GiveStarterSettings();
    return true;
}

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    return wnd::RunMessageBoxWindow(owner, text, caption, type);
}

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

bool WaitForInput() {
    if (!sdl::g_ready) return false;
    // Nothing shows and nothing can come: the wait would never end.
    if (wnd::TopLevelWindows().empty() && sdl::g_later.empty()) return false;
    // A quit signal, or the end of the display: the session ends, as at a shutdown, and
    // so does every window the program opens after it.
    if (sdl::QuitSignalled() || sdl::DisplayGone()) {
        if (sdl::g_endRounds++ >= 3) return false;
        wnd::RequestShutdown();
        return true;
    }
    if (!sdl::g_later.empty()) {
        std::vector<SDL_Event> later;
        later.swap(sdl::g_later);
        for (const SDL_Event &e : later) sdl::HandleEvent(e);
        return true;
    }
    sdl::Flush();
    SDL_Event e;
    if (!sdl::WaitEvent(&e)) return sdl::DisplayGone();  // the next wait ends the session
    sdl::HandleEvent(e);
    // Whatever else has come is taken at once, so that it is painted once.
    int batch = 0;
    while (batch++ < 64 && SDL_PollEvent(&e)) sdl::HandleEvent(e);
    return true;
}

void Wake() {
    if (!sdl::g_ready || sdl::g_wakePending.exchange(true)) return;
    SDL_Event e;
    SDL_zero(e);
    e.type = sdl::g_wakeEvent;
    if (SDL_PushEvent(&e) != 1) sdl::g_wakePending = false;
    sdl::WakeWaiter();
}

void WindowCreated(HWND top) {
    if (!sdl::HostOf(top)) {
        auto host = std::make_unique<Host>();
        host->hwnd = top;
        g_hosts.push_back(std::move(host));
    }
}

void WindowChanged(HWND top) {
    if (Host *host = sdl::HostOf(top)) host->dirty = true;
}

void WindowDestroyed(HWND top) {
    for (size_t i = 0; i < g_hosts.size(); i++) {
        if (g_hosts[i]->hwnd != top) continue;
        if (sdl::g_press.host == g_hosts[i].get()) sdl::g_press = {};
        // Without a display there is nothing to take down.
        if (g_hosts[i]->window && !sdl::DisplayGone()) SDL_DestroyWindow(g_hosts[i]->window);
        g_hosts.erase(g_hosts.begin() + (long)i);
        break;
    }
    if (sdl::g_shownActive == top) sdl::g_shownActive = nullptr;
}

void MovePointer(int x, int y) {
    if (!sdl::g_ready) return;
    SDL_Point o = sdl::DesktopOrigin();
    SDL_WarpMouseGlobal(o.x + sdl::ToScreen(x), o.y + sdl::ToScreen(y));
}

void ScreenSize(int &width, int &height) {
    width = sdl::FromScreen(sdl::g_workArea.w);
    height = sdl::FromScreen(sdl::g_workArea.h);
}

void ShowSystemMenu(HWND top) {
    wnd::Window *w = wnd::FromHandle(top);
    Host *host = sdl::HostOf(top);
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

namespace {

bool InPath(const char *program) {
    const char *path = getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string file = (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + program;
        if (access(file.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Whether xdg-open has anything to hand a web page to: $BROWSER, the desktop's
// browser alternatives, or an application set for HTML pages.
bool HelpViewerAvailable() {
    if (!InPath("xdg-open")) return false;
    const char *browser = getenv("BROWSER");
    if ((browser && *browser) || InPath("x-www-browser") || InPath("www-browser")) return true;
    FILE *q = popen("xdg-mime query default text/html 2>/dev/null", "r");
    if (!q) return false;
    char line[256] = "";
    bool found = fgets(line, sizeof line, q) && line[0] && line[0] != '\n';
    pclose(q);
    return found;
}

}  // namespace

bool OpenHelp(const char *hostPath, const char *keyword) {
    if (!HelpViewerAvailable()) return false;
    // A file URL with the keyword as its fragment, for the desktop's browser.
    std::string url = "file://";
    static const char kHex[] = "0123456789ABCDEF";
    auto add = [&url](const char *s, bool isPath) {
        for (const unsigned char *p = (const unsigned char *)s; *p; p++) {
            bool plain = isalnum(*p) || strchr("-._~", *p) || (isPath && *p == '/');
            if (plain) {
                url += (char)*p;
            } else {
                url += '%';
                url += kHex[*p >> 4];
                url += kHex[*p & 15];
            }
        }
    };
    add(hostPath, true);
    if (keyword && *keyword) {
        url += '#';
        add(keyword, false);
    }
    // Started twice removed, so that it never waits on us nor we on it.
    const char *argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t child = fork();
    if (child == 0) {
        setsid();
        if (fork() != 0) _exit(0);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(argv[0], (char *const *)argv);
        _exit(127);
    }
    if (child > 0) {
        int status;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return child > 0;
}

}  // namespace driver
}  // namespace qk
