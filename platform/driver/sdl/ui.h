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
    int placedState = -1;        // the show state last given to SDL
    std::string title;
    HICON icon = nullptr;
    paint::Surface picture;
};

// The stand-in's (0,0) on the desktop: the top left corner of the work area.
SDL_Point DesktopOrigin();
// Copies a rendered picture into an SDL window and shows it.
void Present(SDL_Window *window, const paint::Surface &picture);
// The host of an SDL window id, or NULL.
Host *HostOfWindowId(Uint32 id);

// Runs the system menu of `top` as a popup at a desktop point until an item is chosen
// (its id) or the menu is dismissed (0). Events that belong to the rest of the desktop
// are left in `later` for the main loop.
UINT RunSystemMenu(HWND top, int x, int y, std::vector<SDL_Event> &later);

// Waiting (wait.cpp). WaitInit readies it after SDL_Init. WaitEvent is SDL_WaitEvent
// without SDL's wake-up messages to windows on X11; WakeWaiter ends a wait from any thread
// or a signal handler (an event pushed before it is then found).
void WaitInit();
bool WaitEvent(SDL_Event *e);
void WakeWaiter();
// How many X errors were logged and passed over.
unsigned XErrorsLogged();

// The virtual-key code of an SDL key, or 0.
int VirtualKeyOf(SDL_Keycode key);
// Hands a key event on to the stand-in.
void DeliverKey(const SDL_KeyboardEvent &key);

}  // namespace sdl
}  // namespace qk

#endif
