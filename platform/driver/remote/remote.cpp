#include "platform/driver/remote/remote.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/driver/driver.h"
#include "platform/user32/wnd.h"
#include "platform/winmm/engine.h"

namespace qk {
namespace remote {
namespace {

// The main window's buttons: slot n is the button with the control id kFirstButton + n,
// whose text is its key over its label.
const int kFirstButton = 1024;

std::mutex g_mutex;
std::deque<int> g_waiting;               // triggers not yet delivered (under g_mutex)
std::vector<std::string> g_labels;       // as last read from the buttons (under g_mutex)
unsigned g_labelsRead = 0;               // counts the changes of g_labels (under g_mutex)
std::atomic<int> g_playing{0};
std::atomic<bool> g_stopNow{false};      // a stop for the remote thread to carry out

// The remote thread.
std::thread g_thread;
std::atomic<bool> g_running{false};
std::atomic<bool> g_quit{false};
int g_wakePipe[2] = {-1, -1};
std::vector<std::unique_ptr<Source>> g_sources;

// The program's thread only.
HWND g_main = nullptr;
WNDPROC g_programProc = nullptr;
int g_handling = -1;  // the slot whose key or button the main window is handling, or -1
// What the last stderr line about a play not delivered was about: a box's window, or a
// system menu or keyboard move counted as they open.
HWND g_toldBox = nullptr;
unsigned g_menus = 0, g_toldMenu = 0;
bool g_inMenu = false, g_inMove = false;
bool g_toldStarting = false;

void WakeThread() {
    if (g_wakePipe[1] < 0) return;
    char b = 1;
    ssize_t r = write(g_wakePipe[1], &b, 1);  // a full pipe is already a wake-up
    (void)r;
}

// The slot a message to the main window plays, as the program's key and button handlers
// take it, or -1.
int SlotOfMessage(UINT msg, WPARAM wParam) {
    if (msg == WM_KEYDOWN && wParam >= VK_F1 && wParam <= VK_F12 && wParam != VK_F10) return (int)(wParam - VK_F1);
    if (msg == WM_SYSKEYDOWN) return 9;
    if (msg == WM_COMMAND && LOWORD(wParam) >= kFirstButton && LOWORD(wParam) < kFirstButton + kSlots)
        return LOWORD(wParam) - kFirstButton;
    return -1;
}

// Stands before the main window's procedure, so that a sound that starts while it handles
// a slot's key or button is known as that slot's.
LRESULT CALLBACK WatchedProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    int slot = SlotOfMessage(msg, wParam);
    int outer = g_handling;
    if (slot >= 0) g_handling = slot;
    LRESULT r = CallWindowProcA(g_programProc, hWnd, msg, wParam, lParam);
    g_handling = outer;
    return r;
}

// Under the engine's lock; a start comes on the thread that plays (the program's).
void PlayChanged(const void *image) {
    int now = image && g_handling >= 0 ? g_handling + 1 : 0;
    if (g_playing.exchange(now) != now) WakeThread();
}

// The program's main window: the oldest top-level window of its own (not a box or dialog
// of the system's) without an owner.
wnd::Window *MainWindow() {
    for (wnd::Window *t : wnd::TopLevelWindows())
        if (!t->owner && !t->destroying && !(t->classStyle & CS_GLOBALCLASS)) return t;
    return nullptr;
}

void Watch(wnd::Window *main) {
    if (main->hwnd == g_main && main->proc == WatchedProc) return;
    g_main = main->hwnd;
    g_programProc = main->proc;
    main->proc = WatchedProc;
    sound::WatchPlays(PlayChanged);
}

void ReadLabels(wnd::Window *main) {
    std::vector<std::string> labels(kSlots);
    bool any = false;
    for (int n = 0; n < kSlots; n++) {
        wnd::Window *b = wnd::FromHandle(GetDlgItem(main->hwnd, kFirstButton + n));
        if (!b) continue;
        size_t nl = b->text.find('\n');
        labels[(size_t)n] = nl == std::string::npos ? b->text : b->text.substr(nl + 1);
        any = true;
    }
    if (!any) return;  // between a sizing's destroying and making them
    std::lock_guard<std::mutex> lock(g_mutex);
    if (labels == g_labels) return;
    g_labels = labels;
    g_labelsRead++;
    WakeThread();
}

// Why a play cannot reach the main window now, told once for each box; false when it can.
bool PlayHeldBack(wnd::Window *main, bool menuOpen) {
    if (!main) {
        if (!g_toldStarting)
            fprintf(stderr, "qksonnerix: remote plays are not taken before the main window is up; a stop still is\n");
        g_toldStarting = true;
        return true;
    }
    if (menuOpen || wnd::SizeMoveWindow()) {
        if (g_toldMenu != g_menus) {
            g_toldMenu = g_menus;
            fprintf(stderr, "qksonnerix: remote plays are not taken while %s; a stop still is\n",
                    menuOpen ? "the system menu is open" : "the window is moved or sized from the keyboard");
        }
        return true;
    }
    if (main->enabled) return false;
    // A box over the main window: the newest visible one it owns.
    wnd::Window *box = nullptr;
    for (wnd::Window *t : wnd::TopLevelWindows())
        if (t->owner == main && t->visible && !t->destroying) box = t;
    HWND id = box ? box->hwnd : main->hwnd;
    if (g_toldBox != id) {
        g_toldBox = id;
        fprintf(stderr, "qksonnerix: remote plays are not taken while \"%s\" is open; a stop still is\n",
                box ? box->text.c_str() : "a box");
    }
    return true;
}

void RunThread() {
    int told = g_playing.load();
    unsigned labelsTold = 0;
    std::vector<pollfd> fds;
    while (!g_quit) {
        fds.assign(1, pollfd{g_wakePipe[0], POLLIN, 0});
        int timeout = -1;
        for (auto &s : g_sources) {
            fds.push_back(pollfd{s->Descriptor(), POLLIN, 0});
            int t = s->TickIn();
            if (t >= 0 && (timeout < 0 || t < timeout)) timeout = t;
        }
        int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) break;
        if (fds[0].revents) {
            char buf[64];
            while (read(g_wakePipe[0], buf, sizeof buf) > 0) {
            }
        }
        if (g_quit) break;
        if (g_stopNow.exchange(false)) sound::Stop();
        int now = g_playing.load();
        if (now != told) {
            for (auto &s : g_sources) s->PlayingChanged(told, now);
            told = now;
        }
        std::vector<std::string> labels;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (g_labelsRead != labelsTold) {
                labelsTold = g_labelsRead;
                labels = g_labels;
            }
        }
        if (!labels.empty())
            for (auto &s : g_sources) s->LabelsChanged(labels);
        for (size_t i = 0; i < g_sources.size(); i++)
            if (fds[i + 1].fd >= 0 && (fds[i + 1].revents & (POLLIN | POLLERR | POLLHUP))) g_sources[i]->Readable();
        for (auto &s : g_sources)
            if (s->TickIn() == 0) s->Tick();
    }
}

}  // namespace

void Trigger(int slot) {
    if (slot != kStop && (slot < 0 || slot >= kSlots)) return;
    if (slot == kStop) {
        // At once, whatever holds the program's thread; from the remote thread, since a
        // source may call from a thread that must not wait for the sound output (JACK's).
        if (g_running) {
            g_stopNow = true;
            WakeThread();
        } else {
            sound::Stop();
        }
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_waiting.size() >= 64) return;  // a flood waits for no key
        g_waiting.push_back(slot);
    }
    driver::Wake();
}

bool Deliver(bool menuOpen) {
    bool moving = wnd::SizeMoveWindow() != nullptr;
    if ((menuOpen && !g_inMenu) || (moving && !g_inMove)) g_menus++;
    g_inMenu = menuOpen;
    g_inMove = moving;
    wnd::Window *main = MainWindow();
    if (main) {
        Watch(main);
        ReadLabels(main);
    }
    std::deque<int> waiting;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        waiting.swap(g_waiting);
    }
    bool posted = false;
    for (int slot : waiting) {
        if (slot == kStop) {
            // Always: the sound has already ended; the program hears of it as of a key.
            if (main) posted = PostMessageA(main->hwnd, WM_KEYDOWN, VK_SPACE, 1);
            continue;
        }
        if (PlayHeldBack(main, menuOpen)) continue;
        if (slot == 9)
            posted = PostMessageA(main->hwnd, WM_SYSKEYDOWN, VK_F10, 1);  // F10 is a system key
        else
            posted = PostMessageA(main->hwnd, WM_KEYDOWN, (WPARAM)(VK_F1 + slot), 1);
    }
    return posted;
}

int Playing() { return g_playing.load(); }

void Start(std::vector<std::unique_ptr<Source>> sources) {
    if (sources.empty() || g_running) return;
    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_wakePipe[0] = g_wakePipe[1] = -1;
        fprintf(stderr, "qksonnerix: remote input cannot start: %s\n", strerror(errno));
        return;
    }
    g_sources = std::move(sources);
    g_quit = false;
    g_running = true;
    g_thread = std::thread(RunThread);
}

void Stop() {
    if (g_running) {
        g_quit = true;
        WakeThread();
        g_thread.join();
        g_running = false;
        close(g_wakePipe[0]);
        close(g_wakePipe[1]);
        g_wakePipe[0] = g_wakePipe[1] = -1;
    }
    g_sources.clear();
    sound::WatchPlays(nullptr);
}

bool Running() { return g_running.load(); }

size_t Waiting() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_waiting.size();
}

}  // namespace remote
}  // namespace qk
