// The desktop driver's window hosting: every visible top-level window of the stand-in is a
// borderless SDL window that shows what the stand-in paints (frame and caption included).
// The window manager moves and sizes the windows through SDL's hit-testing; what it does
// comes back as window events (events.cpp).
//
// Changes are noted as they happen and put on the screen, once, when the message queue
// has run dry (Flush, from the driver's wait in video.cpp).
#include <stdio.h>

#include <memory>
#include <string>

#include "platform/driver/driver.h"
#include "platform/driver/sdl/scale.h"
#include "platform/driver/sdl/ui.h"
#include "platform/kernel32/codepage.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace sdl {

SDL_Rect g_workArea = {0, 0, 1024, 768};
std::vector<std::unique_ptr<Host>> g_hosts;
HWND g_shownActive = nullptr;

namespace {

// A second click on a caption within the double-click time: SDL's hit test lets it
// through instead of starting a move, so the caption can maximise and restore.
Uint32 g_captionClickTicks = 0;
bool g_captionDoubleClick = false;

// Window titles reach the desktop in UTF-8, as file names reach the host.
std::string Utf8Of(const std::string &ansi) { return AnsiToUtf8(ansi); }

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
    if (hit == HTCAPTION) {
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
    // The frame's edges and corners resize a sizable window.
    static const struct {
        int hit;
        SDL_HitTestResult result;
    } kEdges[] = {
        {HTTOPLEFT, SDL_HITTEST_RESIZE_TOPLEFT},         {HTTOP, SDL_HITTEST_RESIZE_TOP},
        {HTTOPRIGHT, SDL_HITTEST_RESIZE_TOPRIGHT},       {HTRIGHT, SDL_HITTEST_RESIZE_RIGHT},
        {HTBOTTOMRIGHT, SDL_HITTEST_RESIZE_BOTTOMRIGHT}, {HTBOTTOM, SDL_HITTEST_RESIZE_BOTTOM},
        {HTBOTTOMLEFT, SDL_HITTEST_RESIZE_BOTTOMLEFT},   {HTLEFT, SDL_HITTEST_RESIZE_LEFT},
    };
    if (sizable)
        for (const auto &edge : kEdges)
            if (edge.hit == hit) return edge.result;
    return SDL_HITTEST_NORMAL;
}

SDL_Surface *SurfaceOfIcon(HICON icon) {
    const res::IconImage *img = res::IconPixels(icon);
    if (!img || img->width <= 0 || img->height <= 0) return nullptr;
    return SDL_CreateRGBSurfaceWithFormatFrom((void *)img->pixels.data(), img->width, img->height, 32,
                                              img->width * 4, SDL_PIXELFORMAT_ARGB8888);
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

}  // namespace

bool TakeCaptionDoubleClick() {
    bool was = g_captionDoubleClick;
    g_captionDoubleClick = false;
    return was;
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

bool SameRect(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

POINT ClientOffset(wnd::Window *w) {
    POINT o = wnd::ClientOrigin(w);
    return {o.x - w->rect.left, o.y - w->rect.top};
}

wnd::Window *ModalOver(wnd::Window *w) {
    wnd::Window *found = nullptr;
    for (wnd::Window *t : wnd::TopLevelWindows())
        if (t->owner == w && t->visible && t->enabled) found = t;
    if (found && !found->enabled) return nullptr;
    return found;
}

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

}  // namespace sdl

namespace driver {

using sdl::g_hosts;
using sdl::Host;

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
        sdl::ForgetPress(g_hosts[i].get());
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

}  // namespace driver
}  // namespace qk
