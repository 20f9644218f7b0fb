// Sound through SDL's audio device (ALSA and the rest, as SDL finds them), for a desktop
// without a PipeWire or PulseAudio server, with a small buffer. SDL's audio subsystem is
// started afresh at each opening, so that a device that was not there before is found.
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>

#include "platform/driver/audio/output.h"

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
namespace audio {
namespace {

driver::AudioRender g_render = nullptr;
void (*g_lost)() = nullptr;
int g_channels = 2;
std::atomic<SDL_AudioDeviceID> g_device{0};
std::atomic<int> g_rate{44100};
std::atomic<bool> g_live{false};
std::atomic<bool> g_lostSeen{false};
bool g_subsystem = false;

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

void SDLCALL Callback(void *, Uint8 *stream, int len) {
    if (g_live.load(std::memory_order_acquire))
        g_render((int16_t *)stream, len / (2 * g_channels), g_rate.load(std::memory_order_relaxed));
    else
        memset(stream, 0, (size_t)len);
    // A device whose server went away is marked stopped by SDL, which then keeps calling
    // here on a timer of its own; the keeper replaces it with the silent clock.
    if (!g_lostSeen.load(std::memory_order_relaxed) && SDL_GetAudioDeviceStatus(g_device) == SDL_AUDIO_STOPPED) {
        g_lostSeen = true;
        g_lost();
    }
}

void Close() {
    g_live = false;
    if (g_device) SDL_CloseAudioDevice(g_device);
    g_device = 0;
    if (g_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_subsystem = false;
}

Attempt Open(const Request &request, Opened &opened) {
    Close();
    g_render = request.render;
    g_lost = request.lost;
    g_channels = request.channels;
    g_lostSeen = false;
    SilenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Attempt::Absent;
    g_subsystem = true;
    const char *deviceName = nullptr;
    int freq = request.preferredRate;
    SDL_AudioSpec preferred;
    SDL_zero(preferred);
    if (!request.wanted.empty()) {
        int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count && !deviceName; i++) {
            const char *name = SDL_GetAudioDeviceName(i, 0);
            if (NameMatches(name, request.wanted)) {
                deviceName = name;
                if (SDL_GetAudioDeviceSpec(i, 0, &preferred) == 0 && preferred.freq > 0) freq = preferred.freq;
            }
        }
        opened.unmatched = !deviceName && count > 0;
    }
    char *defaultName = nullptr;
    if (!deviceName && SDL_GetDefaultAudioInfo(&defaultName, &preferred, 0) == 0 && preferred.freq > 0)
        freq = preferred.freq;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = freq;
    want.format = AUDIO_S16SYS;
    want.channels = (Uint8)request.channels;
    want.samples = (Uint16)request.frames;
    want.callback = Callback;
    // Should the device still choose another rate, the engine converts to it.
    g_device = SDL_OpenAudioDevice(deviceName, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (!g_device) {
        SDL_free(defaultName);
        Close();
        return Attempt::Absent;
    }
    opened.name = deviceName ? deviceName : defaultName ? defaultName : "default output";
    SDL_free(defaultName);
    g_rate = have.freq;
    opened.rate = have.freq;
    return Attempt::Opened;
}

void Start() {
    g_live.store(true, std::memory_order_release);
    if (g_device) SDL_PauseAudioDevice(g_device, 0);
}

// SDL renders a period at a time, pulled by its own thread: a new sound is heard from the
// next period on, and its end as soon as it is rendered.
void Changed() {}
void Drain() {}

bool Devices(std::vector<std::string> &names) {
    SilenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; i++) {
        const char *name = SDL_GetAudioDeviceName(i, 0);
        if (name) names.push_back(name);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return true;
}

}  // namespace

const Output kSdl = {"sdl", true, Open, Start, Close, Changed, Drain, Devices};

}  // namespace audio
}  // namespace qk
