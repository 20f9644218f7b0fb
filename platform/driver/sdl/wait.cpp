// Waiting for the desktop, and X errors.
//
// SDL 2.26's SDL_WaitEvent on X11 is woken by a client message that SDL sends, on a
// second connection of its own, to the newest SDL window whenever an event is queued
// during the wait (its own dispatch queues most of them). The driver destroys a window
// right after the event that closes it; the server is free to carry out the destroy,
// which comes on the main connection, before the earlier wake-up on the other one. The
// wake-up then fails with BadWindow, and Xlib reports that failure when SDL next sends
// a wake-up (the next key press): its default handler ends the process. So on X11 the
// driver never lets SDL wait: it polls SDL's queue and sleeps in poll() on the X
// connection and a pipe of its own, which Wake() and the quit signals write to. SDL's
// wake-up message is then never sent at all.
//
// Whatever X error may still come is logged and the player carries on: an error
// handler is installed over SDL's (whose only addition, putting back a changed video
// mode, has nothing to do here: the player never changes it; it then hands over to
// Xlib's default handler, which would end the process).
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

#include "platform/driver/sdl/ui.h"

namespace qk {
namespace sdl {
namespace {

Display *g_display = nullptr;  // SDL's X connection; NULL when the desktop is not X11
int g_wakePipe[2] = {-1, -1};
std::atomic<unsigned> g_xErrors{0};

struct sigaction g_sdlQuitHandler[2];
const int kQuitSignals[2] = {SIGINT, SIGTERM};

void WritePipe() {
    if (g_wakePipe[1] >= 0) {
        char b = 1;
        ssize_t r = write(g_wakePipe[1], &b, 1);  // a full pipe is already a wake-up
        (void)r;
    }
}

void DrainPipe() {
    char buf[64];
    while (read(g_wakePipe[0], buf, sizeof buf) > 0) {
    }
}

// SIGINT and SIGTERM: SDL's handler notes the quit for its next pump, and the wait wakes
// up to pump. SDL's handler puts itself back each time; so does this one afterwards.
void QuitSignal(int sig) {
    int saved = errno;
    for (int i = 0; i < 2; i++) {
        if (kQuitSignals[i] != sig) continue;
        const struct sigaction &old = g_sdlQuitHandler[i];
        if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN && old.sa_handler != nullptr) old.sa_handler(sig);
        struct sigaction again;
        memset(&again, 0, sizeof again);
        again.sa_handler = QuitSignal;
        sigemptyset(&again.sa_mask);
        sigaction(sig, &again, nullptr);
    }
    WritePipe();
    errno = saved;
}

int LogXError(Display *display, XErrorEvent *e) {
    char text[160] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    g_xErrors++;
    fprintf(stderr, "qksonnerix: X error ignored: %s (request %d.%d, resource 0x%lx)\n", text, e->request_code,
            e->minor_code, (unsigned long)e->resourceid);
    return 0;
}

}  // namespace

void WaitInit() {
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "x11") != 0) return;
    // SDL's display connection, from a window that never shows.
    SDL_Window *probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!probe) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(probe, &info) && info.subsystem == SDL_SYSWM_X11) g_display = info.info.x11.display;
    SDL_DestroyWindow(probe);
    if (!g_display) return;
    XSetErrorHandler(LogXError);
    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_wakePipe[0] = g_wakePipe[1] = -1;
        g_display = nullptr;  // SDL's own wait, then
        return;
    }
    for (int i = 0; i < 2; i++) {
        struct sigaction mine;
        memset(&mine, 0, sizeof mine);
        mine.sa_handler = QuitSignal;
        sigemptyset(&mine.sa_mask);
        sigaction(kQuitSignals[i], &mine, &g_sdlQuitHandler[i]);
    }
}

bool WaitEvent(SDL_Event *e) {
    if (!g_display) return SDL_WaitEvent(e) != 0;
    for (;;) {
        // SDL_PollEvent pumps: what the X connection has read is dispatched into SDL's queue.
        if (SDL_PollEvent(e)) return true;
        // Requests go out; events that Xlib read while answering a request are pumped.
        XFlush(g_display);
        if (XEventsQueued(g_display, QueuedAlready) > 0) continue;
        struct pollfd fds[2] = {{ConnectionNumber(g_display), POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
        int n = poll(fds, 2, -1);
        if (n < 0 && errno != EINTR) return false;
        if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            // The display is gone: SDL's pump finds out (Xlib's I/O error handler ends it).
            SDL_PumpEvents();
        }
        if (n > 0 && fds[1].revents) DrainPipe();
    }
}

void WakeWaiter() { WritePipe(); }

unsigned XErrorsLogged() { return g_xErrors.load(); }

}  // namespace sdl
}  // namespace qk
