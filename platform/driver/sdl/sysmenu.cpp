// The system menu: a popup window above everything, as the platform shows it from the
// caption's icon or Alt+Space. It is modal, as the platform's menus are: until an item is
// chosen or the menu dismissed, the keys and the mouse belong to it.
//   mouse: the item under the pointer lights up; a click chooses it; a click anywhere
//          else dismisses the menu
//   keys:  Up and Down (Home, End) move, Enter chooses, Escape or Alt dismisses, an
//          item's underlined letter chooses it
#include <ctype.h>
#include <string.h>

#include <string>

#include "platform/driver/remote/remote.h"
#include "platform/driver/sdl/scale.h"
#include "platform/driver/sdl/ui.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace sdl {
namespace {

bool Choosable(HMENU menu, int i) {
    UINT state = GetMenuState(menu, (UINT)i, MF_BYPOSITION);
    return state != (UINT)-1 && !(state & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

bool Selectable(HMENU menu, int i) {
    UINT state = GetMenuState(menu, (UINT)i, MF_BYPOSITION);
    return state != (UINT)-1 && !(state & MF_SEPARATOR);
}

int Step(HMENU menu, int from, int step) {
    int n = GetMenuItemCount(menu);
    if (n <= 0) return -1;
    int i = from;
    for (int k = 0; k < n; k++) {
        i = i < 0 ? (step > 0 ? 0 : n - 1) : (i + step + n) % n;
        if (Selectable(menu, i)) return i;
    }
    return -1;
}

// The item whose underlined letter is `ch`, or -1.
int ItemOfMnemonic(HMENU menu, char ch) {
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; i++) {
        char text[256];
        if (!GetMenuStringA(menu, (UINT)i, text, sizeof text, MF_BYPOSITION)) continue;
        for (const char *p = text; *p; p++) {
            if (*p != '&') continue;
            if (p[1] == '&') {
                p++;
                continue;
            }
            if (p[1] && toupper((unsigned char)p[1]) == toupper((unsigned char)ch)) return i;
            break;
        }
    }
    return -1;
}

}  // namespace

UINT RunSystemMenu(HWND top, int x, int y, std::vector<SDL_Event> &later) {
    HMENU menu = GetSystemMenu(top, FALSE);
    if (!menu) return 0;
    int highlighted = -1;
    paint::Surface picture;
    paint::RenderMenu(menu, highlighted, picture);
    if (picture.width <= 0 || picture.height <= 0) return 0;

    // Kept on the desktop's work area (x and y are the desktop's pixels, the picture 1x).
    SDL_Point o = DesktopOrigin();
    int sw, sh;
    wnd::ScreenSize(sw, sh);
    int pw = ToScreen(picture.width), ph = ToScreen(picture.height);
    if (x + pw > o.x + ToScreen(sw)) x = o.x + ToScreen(sw) - pw;
    if (y + ph > o.y + ToScreen(sh)) y = o.y + ToScreen(sh) - ph;
    if (x < o.x) x = o.x;
    if (y < o.y) y = o.y;
    SDL_Window *popup = SDL_CreateWindow("System menu", x, y, pw, ph,
                                         SDL_WINDOW_BORDERLESS | SDL_WINDOW_POPUP_MENU | SDL_WINDOW_ALWAYS_ON_TOP |
                                             SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_HIDDEN);
    if (!popup) return 0;
    Uint32 popupId = SDL_GetWindowID(popup);
    SDL_ShowWindow(popup);
    Present(popup, picture);

    UINT chosen = 0;
    bool open = true;
    auto choose = [&](int i) {
        if (i >= 0 && Choosable(menu, i)) {
            chosen = GetMenuItemID(menu, i);
            open = false;
        }
    };
    auto highlight = [&](int i) {
        if (i == highlighted) return;
        highlighted = i;
        paint::RenderMenu(menu, highlighted, picture);
        Present(popup, picture);
    };
    while (open) {
        SDL_Event e;
        if (!WaitEvent(&e)) break;
        switch (e.type) {
            case SDL_KEYDOWN: {
                SDL_Keycode k = e.key.keysym.sym;
                if (k == SDLK_ESCAPE || k == SDLK_LALT || k == SDLK_RALT) {
                    open = false;
                } else if (k == SDLK_DOWN) {
                    highlight(Step(menu, highlighted, 1));
                } else if (k == SDLK_UP) {
                    highlight(Step(menu, highlighted, -1));
                } else if (k == SDLK_HOME) {
                    highlight(Step(menu, -1, 1));
                } else if (k == SDLK_END) {
                    highlight(Step(menu, -1, -1));
                } else if (k == SDLK_RETURN || k == SDLK_KP_ENTER) {
                    if (highlighted < 0) open = false;
                    choose(highlighted);
                } else if ((k >= SDLK_a && k <= SDLK_z) || (k >= SDLK_0 && k <= SDLK_9)) {
                    choose(ItemOfMnemonic(menu, (char)k));
                }
                break;
            }
            case SDL_KEYUP:
                // Let-go keys (the Alt of Alt+Space) still reach the stand-in, so that it
                // never believes them held.
                DeliverKey(e.key);
                break;
            case SDL_MOUSEMOTION:
                if (e.motion.windowID == popupId) highlight(paint::MenuItemAt(menu, FromScreen(e.motion.x), FromScreen(e.motion.y)));
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.windowID != popupId) open = false;
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.windowID == popupId) {
                    int i = paint::MenuItemAt(menu, FromScreen(e.button.x), FromScreen(e.button.y));
                    if (i >= 0) choose(i);
                }
                break;
            case SDL_WINDOWEVENT:
                if (e.window.windowID == popupId) {
                    if (e.window.event == SDL_WINDOWEVENT_EXPOSED) Present(popup, picture);
                    break;
                }
                if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST || e.window.event == SDL_WINDOWEVENT_CLOSE ||
                    e.window.event == SDL_WINDOWEVENT_MINIMIZED)
                    open = false;
                later.push_back(e);
                break;
            case SDL_QUIT:
                open = false;
                later.push_back(e);
                break;
            default:
                // A wake-up: the posted work waits until the menu is done; remote triggers
                // are taken now (a stop is posted, a play is not).
                if (e.type >= SDL_USEREVENT) {
                    later.push_back(e);
                    // Taken: the next wake-up (a remote trigger's) comes as an event again.
                    if (e.type == g_wakeEvent) g_wakePending = false;
                    remote::Deliver(true);
                }
                break;
        }
        if (!wnd::FromHandle(top)) open = false;
    }
    SDL_DestroyWindow(popup);
    return chosen;
}

}  // namespace sdl
}  // namespace qk
