// Desktop sound: a PulseAudio server when one answers (PulseAudio, or PipeWire's Pulse
// server), through our own stream (pulse.cpp); otherwise the SDL audio device (ALSA and
// the rest, as SDL finds them) with a small buffer. Either is opened at the device's own
// rate, so that the engine's resampler is the only conversion on the way to the speaker.
// SDL_AUDIODRIVER naming another backend than PulseAudio leaves the choice to SDL.
//
// The output never stops the program. When no device opens, or the one in use goes away
// (a sound server restarts, an interface is unplugged), a silent clock renders in its
// place, so synchronous plays last as long as their sound and a loop moves on as if it
// were heard. The keeper thread runs that clock and meanwhile tries to open the output
// again, at growing intervals; once it opens, the device takes over from the clock. A
// line on stderr tells the operator when the output is lost and when it is back.
//
// Locks: the keeper thread never holds g_signalMutex while it calls SDL or renders; the
// device's callback takes g_signalMutex only to report a loss. So closing the device
// (which waits for the callback to return) cannot wait on the callback's lock.
#include <SDL.h>
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
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

// The first retry comes soon after a loss; later ones further apart, but never so far
// apart that a returning server waits more than about half a second for us.
const std::chrono::milliseconds kFirstRetry(25), kLongestRetry(400);

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
// A plain thread, not a std::thread: a process that ends by exit() from anywhere (a
// library's fatal error, say) runs static destructors, and a joinable std::thread's
// would end it with std::terminate instead.
pthread_t g_keeper;
bool g_keeperRunning = false;

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

// Opens the chosen output (or the default one) at its own rate, paused. SDL's audio
// subsystem is started afresh each time, so that a sound server that was not there
// before, or that came back, is found again.
bool TryOpen() {
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
            return true;
        }
        // A server that answers but has no output yet (a sound server that is still
        // starting makes its sinks a moment later) is tried again soon; SDL would only
        // open a stream on it without knowing the sink's rate. One that hangs is tried
        // again too: SDL would wait on it for libpulse's 30 s.
        if (opened.answered) return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
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
        return false;
    }
    g_deviceName = deviceName ? deviceName : defaultName ? defaultName : "default output";
    SDL_free(defaultName);
    g_rate = have.freq;
    return true;
}

// Runs while there is no device: renders silence in real time and tries to open the
// output now and then. Ends when the device is back (true) or when told to stop (false).
bool SilentUntilBack() {
    std::vector<int16_t> buffer((size_t)g_frames * (size_t)g_channels);
    auto retry = kFirstRetry;
    auto next = Clock::now(), nextTry = next + retry;
    std::unique_lock<std::mutex> lock(g_signalMutex);
    for (;;) {
        if (g_stop) return false;
        lock.unlock();
        int rate = g_rate.load();
        // Every period that is due, even after a slow try to open: the clock keeps time.
        auto now = Clock::now();
        while (next <= now) {
            g_render(buffer.data(), g_frames, rate);
            next += std::chrono::nanoseconds((int64_t)g_frames * 1000000000 / rate);
        }
        bool back = false;
        if (now >= nextTry) {
            back = TryOpen();
            retry = std::min(retry * 2, kLongestRetry);
            nextTry = Clock::now() + retry;
        }
        lock.lock();
        if (back) return true;
        g_signal.wait_until(lock, next, [] { return g_stop; });
    }
}

void KeepOutput() {
    std::unique_lock<std::mutex> lock(g_signalMutex);
    for (;;) {
        if (g_stop) return;
        if (g_device || g_native) {
            g_signal.wait(lock, [] { return g_stop || g_lost; });
            if (g_stop) return;
            lock.unlock();
            CloseDevice();
            fprintf(stderr, "qksonnerix: the sound output was lost; playing silently until it is back\n");
            lock.lock();
            continue;
        }
        lock.unlock();
        bool back = SilentUntilBack();
        if (back) {
            if (g_device) SDL_PauseAudioDevice(g_device, 0);
            fprintf(stderr, "qksonnerix: the sound output is back (%s, %d Hz)\n", g_deviceName.c_str(), g_rate.load());
        }
        lock.lock();
    }
}

// The keeper thread is not one of SDL's: what SDL keeps for it (its error text) is let go
// when it ends.
void *Keeper(void *) {
    KeepOutput();
    SDL_TLSCleanup();
    return nullptr;
}

}  // namespace

void AudioChoose(const char *namePart) { g_wanted = namePart ? namePart : ""; }

std::vector<std::string> AudioDevices() {
    std::vector<std::string> names;
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
    bool opened = TryOpen();
    if (opened) {
        rate = g_rate;
        if (g_device) SDL_PauseAudioDevice(g_device, 0);
    } else {
        fprintf(stderr, "qksonnerix: no sound output yet; playing silently until one appears\n");
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
    CloseDevice();
}

void AudioChanged() { pulse::Changed(); }
void AudioDrain() { pulse::Drain(); }

void SoundCalled(const void *, UINT, BOOL) {}

}  // namespace driver
}  // namespace qk
