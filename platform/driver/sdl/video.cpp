// The desktop driver's start and its wait: SDL readied for the desktop that is there, and
// the wait for input, which hands what comes to the input translation (events.cpp) and
// puts the windows on the screen (window.cpp) once the message queue has run dry.
// Waiting is a poll() on the desktop's connection (wait.cpp), so an idle player sleeps.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <vector>

#include "platform/driver/desktop/desktop.h"
#include "platform/driver/driver.h"
#include "platform/driver/remote/remote.h"
#include "platform/driver/remote/sources.h"
#include "platform/driver/sdl/scale.h"
#include "platform/driver/sdl/ui.h"
#include "platform/user32/msgbox.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace sdl {

bool g_ready = false;
Uint32 g_wakeEvent = (Uint32)-1;
std::atomic<bool> g_wakePending{false};
std::vector<SDL_Event> g_later;

namespace {

// Rounds of the session's end asked for because of a quit signal or the display's end;
// should windows still remain after a few, nothing will ever come again.
int g_endRounds = 0;

}  // namespace
}  // namespace sdl

namespace driver {

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
    remote::StartFromOptions(strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0);
    return true;
}

void End() { remote::Stop(); }

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    return wnd::RunMessageBoxWindow(owner, text, caption, type);
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
    // Remote triggers that came are posted now; the program takes them as keys.
    remote::Deliver();
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
    remote::Deliver();
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

}  // namespace driver
}  // namespace qk
