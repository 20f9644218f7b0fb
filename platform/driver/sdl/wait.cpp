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
//
// The end of the display (the X server gone, the connection broken) and the quit signals
// (SIGTERM, SIGINT, SIGHUP) end the player as a close does: the driver asks for the
// session's end at the next wait, so the program's own shutdown runs and keeps what it
// keeps. Xlib's default answer to a broken connection is exit(), which would skip all
// of that: its exit handler is replaced by one that only notes the loss. The signals are
// the driver's own (SDL is told to leave them alone), so the same holds whether or not
// SDL would have installed handlers.
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

#include <pthread.h>

#include <atomic>

#include "platform/driver/driver.h"
#include "platform/driver/sdl/ui.h"

namespace qk {
namespace sdl {
namespace {

Display *g_display = nullptr;  // SDL's X connection; NULL when the desktop is not X11
int g_wakePipe[2] = {-1, -1};
std::atomic<unsigned> g_xErrors{0};
std::atomic<bool> g_displayLost{false};
std::atomic<int> g_quitSignal{0};  // the quit signal that came, or 0
int g_signalPipe[2] = {-1, -1};   // the handler's note to the thread that wakes the wait

const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

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

// A quit signal: noted, and the waiter woken (by a thread of its own, since waking an
// SDL wait is not safe in a signal handler).
void QuitSignal(int sig) {
    int saved = errno;
    int none = 0;
    g_quitSignal.compare_exchange_strong(none, sig);
    char b = (char)sig;
    ssize_t r = write(g_signalPipe[1], &b, 1);  // a full pipe has said it already
    (void)r;
    WritePipe();
    errno = saved;
}

void *WakeOnSignal(void *) {
    for (;;) {
        char b;
        ssize_t n = read(g_signalPipe[0], &b, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return nullptr;
        driver::Wake();
    }
}

// The X connection broke. Xlib has given up on it (every later call on it returns at
// once), and by default would now end the process; here the loss is only noted and the
// next wait ends the session.
void DisplayLost(Display *, void *) {
    if (g_displayLost.exchange(true)) return;
    fprintf(stderr, "qksonnerix: the connection to the display was lost; closing\n");
}

int LogIOError(Display *) { return 0; }

int LogXError(Display *display, XErrorEvent *e) {
    char text[160] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    g_xErrors++;
    fprintf(stderr, "qksonnerix: X error ignored: %s (request %d.%d, resource 0x%lx)\n", text, e->request_code,
            e->minor_code, (unsigned long)e->resourceid);
    return 0;
}

}  // namespace

void InitSignals() {
    // A writer whose reader has gone (stderr into a closed pipe) must not end the player.
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(g_signalPipe, O_CLOEXEC) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    // The waking thread takes no signal itself: they go to the threads that run on.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    pthread_t thread;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    bool started = pthread_create(&thread, &attr, WakeOnSignal, nullptr) == 0;
    pthread_attr_destroy(&attr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (!started) return;
    for (int sig : kQuitSignals) {
        struct sigaction mine;
        memset(&mine, 0, sizeof mine);
        mine.sa_handler = QuitSignal;
        mine.sa_flags = SA_RESTART;
        sigemptyset(&mine.sa_mask);
        sigaction(sig, &mine, nullptr);
    }
}

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
    XSetIOErrorHandler(LogIOError);
    XSetIOErrorExitHandler(g_display, DisplayLost, nullptr);
    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_wakePipe[0] = g_wakePipe[1] = -1;
        g_display = nullptr;  // SDL's own wait, then
        return;
    }
}

bool WaitEvent(SDL_Event *e) {
    if (!g_display) return SDL_WaitEvent(e) != 0;
    for (;;) {
        if (g_displayLost) return false;
        // SDL_PollEvent pumps: what the X connection has read is dispatched into SDL's queue.
        if (SDL_PollEvent(e)) return true;
        if (g_displayLost) return false;
        // Requests go out; events that Xlib read while answering a request are pumped.
        XFlush(g_display);
        if (XEventsQueued(g_display, QueuedAlready) > 0) continue;
        struct pollfd fds[2] = {{ConnectionNumber(g_display), POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
        int n = poll(fds, 2, -1);
        if (n < 0 && errno != EINTR) return false;
        if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            // The display is gone: SDL's pump finds out, and Xlib tells DisplayLost.
            SDL_PumpEvents();
            if (!g_displayLost) DisplayLost(g_display, nullptr);
        }
        if (n > 0 && fds[1].revents) DrainPipe();
    }
}

void WakeWaiter() { WritePipe(); }

bool DisplayGone() { return g_displayLost.load(); }

int QuitSignalled() { return g_quitSignal.load(); }

unsigned XErrorsLogged() { return g_xErrors.load(); }

}  // namespace sdl
}  // namespace qk
