// Desktop sound: the SDL audio device (PulseAudio, PipeWire or ALSA, as SDL finds
// them) with a small buffer. Where no device opens, a silent clock takes its place, so
// synchronous plays still last as long as their sound.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/driver/driver.h"

namespace qk {
namespace driver {
namespace {

SDL_AudioDeviceID g_device = 0;
AudioRender g_render = nullptr;
std::thread g_clock;
std::atomic<bool> g_clockRunning{false};

void SDLCALL Callback(void *, Uint8 *stream, int len) { g_render((int16_t *)stream, len / 4); }

void SilentClock(int rate, int frames) {
    std::vector<int16_t> buffer((size_t)frames * 2);
    auto period = std::chrono::nanoseconds((int64_t)frames * 1000000000 / rate);
    auto next = std::chrono::steady_clock::now();
    while (g_clockRunning.load()) {
        g_render(buffer.data(), frames);
        next += period;
        std::this_thread::sleep_until(next);
    }
}

}  // namespace

bool AudioOpen(int &rate, int channels, int frames, AudioRender render) {
    g_render = render;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        SDL_AudioSpec want, have;
        SDL_zero(want);
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = (Uint8)channels;
        want.samples = (Uint16)frames;
        want.callback = Callback;
        // The device may run at its own rate (the engine converts to it in one step);
        // the sample format and channels SDL converts if it must.
        g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (g_device) {
            rate = have.freq;
            SDL_PauseAudioDevice(g_device, 0);
            return true;
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    g_clockRunning = true;
    g_clock = std::thread(SilentClock, rate, frames);
    return true;
}

void AudioClose() {
    if (g_device) {
        SDL_CloseAudioDevice(g_device);
        g_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (g_clockRunning.exchange(false) && g_clock.joinable()) g_clock.join();
}

void SoundCalled(const void *, UINT, BOOL) {}

}  // namespace driver
}  // namespace qk
