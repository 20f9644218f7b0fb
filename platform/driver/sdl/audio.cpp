// Desktop sound: a PulseAudio server when one answers (PulseAudio, or PipeWire's Pulse
// server), through our own stream (pulse.cpp); otherwise the SDL audio device (ALSA and
// the rest, as SDL finds them) with a small buffer. Either is opened at the device's own
// rate, so that the engine's resampler is the only conversion on the way to the speaker.
// SDL_AUDIODRIVER naming another backend than PulseAudio leaves the choice to SDL.
//
// The output never stops the program. When no device opens, or the one in use goes away
// (a sound server restarts, an interface is unplugged), a silent clock renders in its
// place, so synchronous plays last as long as their sound and a loop moves on as if it
// were heard. The clock is a thread of its own; the keeper thread meanwhile tries to
// open the output again, at growing intervals, so that a server that takes its time to
// answer (or never answers) never holds the clock up. Once an output opens, the clock
// stops and the output goes on from where the clock was. A line on stderr tells the
// operator when the output is lost and when it is back; an output that keeps failing
// right after it opens is retried ever more slowly and told as a count now and then.
//
// Locks: the keeper thread never holds g_signalMutex while it calls SDL or renders; the
// device's callback takes g_signalMutex only to report a loss. So closing the device
// (which waits for the callback to return) cannot wait on the callback's lock.
#include <SDL.h>
#include <dlfcn.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/driver/sdl/pulse.h"

// SDL's PulseAudio backend (2.26) subscribes to device changes in a thread of its own
// and releases the operation it gets without looking at it; when the server goes away in
// the moment between SDL's connection and that call, the operation is NULL and libpulse
// aborts the whole process on it. The player must outlive a dying server, so a NULL
// operation is passed over here; anything else goes on to libpulse.
extern "C" void pa_operation_unref(void *operation) {
    typedef void (*Unref)(void *);
    static Unref real = (Unref)dlsym(RTLD_NEXT, "pa_operation_unref");
    if (operation && real) real(operation);
}

namespace qk {
namespace driver {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The first retry comes soon after a loss; later ones further apart, but never so far
// apart that a returning server waits more than about half a second for us.
const milliseconds kFirstRetry(25), kLongestRetry(400);
// A loss that comes this soon after the output came back is a repeat of the last one (a
// stream that fails right after it opens): the retries go on growing, up to
// kLongestRepeatRetry, and repeats are told as a count at most every kRepeatReport.
const milliseconds kSettled(5000), kLongestRepeatRetry(5000), kRepeatReport(10000);

AudioRender g_render = nullptr;
int g_channels = 2, g_frames = 256, g_preferredRate = 44100;
std::string g_wanted;        // a part of the chosen output's name; empty: the default output
bool g_toldUnmatched = false;

// Touched by the keeper thread only, once it runs (before that, by AudioOpen).
std::atomic<SDL_AudioDeviceID> g_device{0};
bool g_native = false;       // the PulseAudio stream is the output
bool g_subsystem = false;    // SDL's audio subsystem is initialised by us
std::string g_deviceName;

std::atomic<int> g_rate{44100};         // the rate the output runs at
std::atomic<bool> g_lostSeen{false};    // the callback saw the device stop

std::mutex g_signalMutex;
std::condition_variable g_signal;
bool g_lost = false;  // the device went away (under g_signalMutex)
bool g_stop = false;  // AudioClose wants the keeper to end (under g_signalMutex)
// Plain threads, not std::threads: a process that ends by exit() from anywhere (a
// library's fatal error, say) runs static destructors, and a joinable std::thread's
// would end it with std::terminate instead.
pthread_t g_keeper;
bool g_keeperRunning = false;

// The silent clock (started and stopped by the keeper, or by AudioOpen and AudioClose).
pthread_t g_clock;
bool g_clockRunning = false;
std::mutex g_clockMutex;
std::condition_variable g_clockWake;
bool g_clockStop = false;  // under g_clockMutex

void ReportLost() {
    g_lostSeen.store(true);
    std::lock_guard<std::mutex> lock(g_signalMutex);
    g_lost = true;
    g_signal.notify_all();
}

void SDLCALL Callback(void *, Uint8 *stream, int len) {
    g_render((int16_t *)stream, len / (2 * g_channels), g_rate.load(std::memory_order_relaxed));
    // A device whose server went away is marked stopped by SDL, which then keeps calling
    // here on a timer of its own; the keeper replaces it with the silent clock.
    if (!g_lostSeen.load(std::memory_order_relaxed) && SDL_GetAudioDeviceStatus(g_device) == SDL_AUDIO_STOPPED)
        ReportLost();
}

// Renders silence in real time, period by period, until told to stop. Every period that
// is due is rendered, even after the machine held the thread up: the clock keeps time.
void *SilentClock(void *) {
    std::vector<int16_t> buffer((size_t)g_frames * (size_t)g_channels);
    auto next = Clock::now();
    std::unique_lock<std::mutex> lock(g_clockMutex);
    while (!g_clockStop) {
        lock.unlock();
        int rate = g_rate.load();
        auto now = Clock::now();
        while (next <= now) {
            g_render(buffer.data(), g_frames, rate);
            next += std::chrono::nanoseconds((int64_t)g_frames * 1000000000 / rate);
        }
        lock.lock();
        g_clockWake.wait_until(lock, next, [] { return g_clockStop; });
    }
    return nullptr;
}

void StartClock() {
    if (g_clockRunning) return;
    {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        g_clockStop = false;
    }
    g_clockRunning = pthread_create(&g_clock, nullptr, SilentClock, nullptr) == 0;
}

void StopClock() {
    if (!g_clockRunning) return;
    {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        g_clockStop = true;
        g_clockWake.notify_all();
    }
    pthread_join(g_clock, nullptr);
    g_clockRunning = false;
}

// ALSA's own messages (every probe of a machine without a sound card prints a few) would
// bury the player's lines while the output is retried: they are kept off stderr. The
// library is the one SDL loads, so its handler is set where SDL will find it.
extern "C" void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}

void SilenceAlsa() {
    static bool done = false;
    if (done) return;
    done = true;
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa) return;
    typedef void (*Handler)(const char *, int, const char *, int, const char *, ...);
    typedef int (*SetHandler)(Handler);
    SetHandler set = (SetHandler)dlsym(alsa, "snd_lib_error_set_handler");
    if (set) set(QuietAlsa);
}

// Whether to try the PulseAudio server ourselves: unless SDL_AUDIODRIVER names only
// other backends.
bool NativeFirst() {
    const char *drivers = getenv("SDL_AUDIODRIVER");
    return !drivers || !*drivers || strstr(drivers, "pulse") != nullptr;
}

void TellUnmatched() {
    if (g_toldUnmatched) return;
    g_toldUnmatched = true;
    fprintf(stderr, "qksonnerix: no sound output matches \"%s\"; using the default output\n", g_wanted.c_str());
}

void CloseDevice() {
    if (g_native) pulse::Close();
    g_native = false;
    if (g_device) SDL_CloseAudioDevice(g_device);
    g_device = 0;
    if (g_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_subsystem = false;
}

enum class Attempt { Opened, NotYet, Hung };

// Opens the chosen output (or the default one) at its own rate, not yet playing: Start
// hands it the sound. SDL's audio subsystem is started afresh each time, so that a sound
// server that was not there before, or that came back, is found again.
Attempt TryOpen() {
    g_lostSeen = false;
    {
        std::lock_guard<std::mutex> lock(g_signalMutex);
        g_lost = false;
    }
    if (NativeFirst()) {
        pulse::Opened opened;
        if (pulse::Open(g_wanted, g_channels, g_render, ReportLost, opened)) {
            if (opened.unmatched) TellUnmatched();
            g_native = true;
            g_deviceName = opened.name;
            g_rate = opened.rate;
            return Attempt::Opened;
        }
        // A server that does not answer (stopped, swapping, its queue of new connections
        // full) is the desktop's server all the same: it is tried again, never handed to
        // SDL, which would wait on it for libpulse's 30 s or settle on another backend.
        if (opened.hung) return Attempt::Hung;
        // One that answers but has no output yet (a sound server that is still starting
        // makes its sinks a moment later) is tried again soon; SDL would only open a
        // stream on it without knowing the sink's rate.
        if (opened.answered) return Attempt::NotYet;
    }
    SilenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Attempt::NotYet;
    g_subsystem = true;
    const char *deviceName = nullptr;
    int freq = g_preferredRate;
    SDL_AudioSpec preferred;
    SDL_zero(preferred);
    if (!g_wanted.empty()) {
        int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count && !deviceName; i++) {
            const char *name = SDL_GetAudioDeviceName(i, 0);
            if (pulse::NameMatches(name, g_wanted)) {
                deviceName = name;
                if (SDL_GetAudioDeviceSpec(i, 0, &preferred) == 0 && preferred.freq > 0) freq = preferred.freq;
            }
        }
        if (!deviceName && count > 0) TellUnmatched();
    }
    char *defaultName = nullptr;
    if (!deviceName && SDL_GetDefaultAudioInfo(&defaultName, &preferred, 0) == 0 && preferred.freq > 0)
        freq = preferred.freq;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = freq;
    want.format = AUDIO_S16SYS;
    want.channels = (Uint8)g_channels;
    want.samples = (Uint16)g_frames;
    want.callback = Callback;
    // Should the device still choose another rate, the engine converts to it.
    g_device = SDL_OpenAudioDevice(deviceName, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (!g_device) {
        SDL_free(defaultName);
        CloseDevice();
        return Attempt::NotYet;
    }
    g_deviceName = deviceName ? deviceName : defaultName ? defaultName : "default output";
    SDL_free(defaultName);
    g_rate = have.freq;
    return Attempt::Opened;
}

// The opened output takes over from the silent clock.
void Start() {
    if (g_native) pulse::Start();
    if (g_device) SDL_PauseAudioDevice(g_device, 0);
}

void TellBack() {
    fprintf(stderr, "qksonnerix: the sound output is back (%s, %d Hz)\n", g_deviceName.c_str(), g_rate.load());
}

void TellLost() { fprintf(stderr, "qksonnerix: the sound output was lost; playing silently until it is back\n"); }

// What the keeper has told the operator, and how it retries.
struct Account {
    bool toldLost = false;       // the last line said the output is gone
    bool lostUntold = false;     // a repeated loss, told only should the output stay away
    bool toldHung = false;       // the server that does not answer was told of
    milliseconds retry = kFirstRetry;
    Clock::time_point backAt;    // when the output last came back after a loss
    bool everBack = false;
    int repeats = 0;             // losses not told one by one, since the last count
    Clock::time_point countedSince;
};

void TellRepeats(Account &a, Clock::time_point now) {
    if (a.repeats == 0 || now - a.countedSince < kRepeatReport) return;
    long seconds = (long)std::chrono::duration_cast<std::chrono::seconds>(now - a.countedSince).count();
    fprintf(stderr, "qksonnerix: the sound output was lost %d more time%s in the last %ld s\n", a.repeats,
            a.repeats == 1 ? "" : "s", seconds);
    a.repeats = 0;
    a.countedSince = now;
}

void KeepOutput(Account a) {
    auto nextTry = Clock::now() + a.retry;
    std::unique_lock<std::mutex> lock(g_signalMutex);
    for (;;) {
        if (g_stop) return;
        if (g_device || g_native) {
            // While the count of repeats waits to be told, the keeper wakes to tell it.
            auto until = a.repeats ? a.countedSince + kRepeatReport : Clock::now() + std::chrono::hours(24);
            g_signal.wait_until(lock, until, [] { return g_stop || g_lost; });
            if (g_stop) return;
            auto now = Clock::now();
            if (!g_lost) {
                TellRepeats(a, now);
                continue;
            }
            lock.unlock();
            CloseDevice();
            StartClock();
            if (a.everBack && now - a.backAt < kSettled) {
                // Lost again so soon: counted, and retried more slowly each time.
                if (a.repeats == 0) a.countedSince = now;
                a.repeats++;
                a.lostUntold = true;
                a.retry = std::min(a.retry * 2, kLongestRepeatRetry);
            } else {
                TellLost();
                a.toldLost = true;
                a.retry = kFirstRetry;
            }
            nextTry = now + a.retry;
            lock.lock();
            continue;
        }
        g_signal.wait_until(lock, nextTry, [] { return g_stop; });
        if (g_stop) return;
        lock.unlock();
        // The clock runs on meanwhile: however long the attempt takes, it keeps time.
        Attempt attempt = TryOpen();
        auto now = Clock::now();
        if (attempt == Attempt::Opened) {
            StopClock();
            Start();
            if (a.toldLost) TellBack();
            a.toldLost = a.lostUntold = a.toldHung = false;
            a.backAt = now;
            a.everBack = true;
            if (a.repeats == 0) a.retry = kFirstRetry;
        } else {
            if (a.lostUntold) {
                // A repeat that did not come back at once is a loss to tell after all.
                TellLost();
                a.toldLost = true;
                a.lostUntold = false;
            }
            if (attempt == Attempt::Hung && !a.toldHung) {
                fprintf(stderr, "qksonnerix: the sound server does not answer; trying it again until it does\n");
                a.toldHung = true;
            }
            a.retry = std::max(a.retry, std::min(a.retry * 2, kLongestRetry));
            nextTry = now + a.retry;
        }
        TellRepeats(a, now);
        lock.lock();
    }
}

Account g_startAccount;

// The keeper thread is not one of SDL's: what SDL keeps for it (its error text) is let go
// when it ends.
void *Keeper(void *) {
    KeepOutput(g_startAccount);
    SDL_TLSCleanup();
    return nullptr;
}

}  // namespace

void AudioChoose(const char *namePart) { g_wanted = namePart ? namePart : ""; }

std::vector<std::string> AudioDevices() {
    std::vector<std::string> names;
    SilenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return names;
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; i++) {
        const char *name = SDL_GetAudioDeviceName(i, 0);
        if (name) names.push_back(name);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return names;
}

bool AudioOpen(int &rate, int channels, int frames, AudioRender render) {
    g_render = render;
    g_channels = channels;
    g_frames = frames;
    g_preferredRate = rate;
    g_rate = rate;
    g_toldUnmatched = false;
    g_startAccount = Account();
    Attempt attempt = TryOpen();
    if (attempt == Attempt::Opened) {
        rate = g_rate;
        Start();
    } else {
        fprintf(stderr, "qksonnerix: no sound output yet; playing silently until one appears\n");
        g_startAccount.toldLost = true;
        if (attempt == Attempt::Hung) {
            fprintf(stderr, "qksonnerix: the sound server does not answer; trying it again until it does\n");
            g_startAccount.toldHung = true;
        }
        StartClock();
    }
    {
        std::lock_guard<std::mutex> lock(g_signalMutex);
        g_stop = false;
    }
    g_keeperRunning = pthread_create(&g_keeper, nullptr, Keeper, nullptr) == 0;
    return true;
}

void AudioClose() {
    if (!g_keeperRunning) return;
    {
        std::lock_guard<std::mutex> lock(g_signalMutex);
        g_stop = true;
        g_signal.notify_all();
    }
    pthread_join(g_keeper, nullptr);
    g_keeperRunning = false;
    StopClock();
    CloseDevice();
}

void AudioChanged() { pulse::Changed(); }
void AudioDrain() { pulse::Drain(); }

void SoundCalled(const void *, UINT, BOOL) {}

}  // namespace driver
}  // namespace qk
