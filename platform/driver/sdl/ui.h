// The desktop driver's parts, shared between its files: one borderless SDL window per
// visible top-level window of the stand-in, and the system menu popup.
#ifndef QK_PLATFORM_DRIVER_SDL_UI_H
#define QK_PLATFORM_DRIVER_SDL_UI_H

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/user32/paint.h"
#include "platform/wintypes.h"

namespace qk {
namespace sdl {

// An SDL window standing for a top-level window of the stand-in.
struct Host {
    HWND hwnd = nullptr;
    SDL_Window *window = nullptr;
    bool dirty = true;     // its picture is out of date
    bool shown = false;    // SDL shows it
    bool geometryKnown = false;
    RECT placed = {0, 0, 0, 0};  // the rectangle last given to SDL (stand-in coordinates)
    // Where the SDL window's top-left corner lies in the window's own picture: (0,0),
    // except for a maximised window, whose frame lies beyond the work area's edges on the
    // platform; a window manager would keep it on the screen and push the caption
    // buttons and the status bar off instead, so only the part on the work area is shown.
    SDL_Point view = {0, 0};
    int placedState = -1;        // the show state last given to SDL
    std::string title;
    HICON icon = nullptr;
    paint::Surface picture;
};

// The stand-in's (0,0) on the desktop: the top left corner of the work area.
SDL_Point DesktopOrigin();
// Copies a rendered (1x) picture into an SDL window, enlarged by the scale factor, and
// shows it; `from` is the picture's point that goes to the window's top-left corner.
void Present(SDL_Window *window, const paint::Surface &picture, SDL_Point from = {0, 0});
// The host of an SDL window id, or NULL.
Host *HostOfWindowId(Uint32 id);

// Runs the system menu of `top` as a popup at a desktop point until an item is chosen
// (its id) or the menu is dismissed (0). Events that belong to the rest of the desktop
// are left in `later` for the main loop.
UINT RunSystemMenu(HWND top, int x, int y, std::vector<SDL_Event> &later);

// Waiting (wait.cpp). InitSignals takes the quit signals (before SDL_Init); WaitInit
// readies the wait after it. WaitEvent is SDL_WaitEvent without SDL's wake-up messages to
// windows on X11; false when it ends without an event (the display is gone, or the wait
// failed). WakeWaiter ends a wait from any thread or a signal handler (an event pushed
// before it is then found).
void InitSignals();
void WaitInit();
bool WaitEvent(SDL_Event *e);
void WakeWaiter();
// The X connection broke: nothing can be shown or come from the desktop any more.
bool DisplayGone();
// The quit signal that came (SIGTERM, SIGINT, SIGHUP), or 0.
int QuitSignalled();
// How many X errors were logged and passed over.
unsigned XErrorsLogged();

// The virtual-key code of an SDL key, or 0.
int VirtualKeyOf(SDL_Keycode key);
// Hands a key event on to the stand-in.
void DeliverKey(const SDL_KeyboardEvent &key);

}  // namespace sdl
}  // namespace qk

#endif
