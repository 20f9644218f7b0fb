// The desktop driver's parts, shared between its files, split by job as SDL splits its
// own x11 driver:
//   video.cpp    the start (SDL readied for the desktop there is) and the wait for input
//   window.cpp   window hosting: one borderless SDL window per visible top-level window
//   events.cpp   input translation: keys, mouse and window events into qk::input
//   sysmenu.cpp  the system menu popup
//   wait.cpp     the poll() under the wait, the quit signals and X errors
// Everything here runs on the program's thread, unless it says otherwise.
#ifndef QK_PLATFORM_DRIVER_SDL_UI_H
#define QK_PLATFORM_DRIVER_SDL_UI_H

#include <SDL.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/user32/paint.h"
#include "platform/user32/wnd.h"
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

// The start (video.cpp): whether SDL is up, the event that wakes the wait (pending while
// one is queued), and events a modal loop set aside for the main loop.
extern bool g_ready;
extern Uint32 g_wakeEvent;
extern std::atomic<bool> g_wakePending;
extern std::vector<SDL_Event> g_later;

// Window hosting (window.cpp): the desktop's work area, the hosts, and the active window
// as last shown to the desktop.
extern SDL_Rect g_workArea;
extern std::vector<std::unique_ptr<Host>> g_hosts;
extern HWND g_shownActive;
void RefreshWorkArea();
Host *HostOf(HWND h);
bool SameRect(const RECT &a, const RECT &b);
// Where the client area starts inside the window rectangle.
POINT ClientOffset(wnd::Window *w);
// The newest visible, enabled window owned by `w` (a box over a disabled owner), or NULL.
wnd::Window *ModalOver(wnd::Window *w);
// Puts every change on the screen: windows, pictures, and which window is active.
void Flush();
// Whether the caption's hit test let a second click through as a double click (once).
bool TakeCaptionDoubleClick();

// Input translation (events.cpp): one event from the desktop handed on; a host that goes
// forgets a mouse button pressed on it.
void HandleEvent(const SDL_Event &e);
void ForgetPress(Host *host);

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
