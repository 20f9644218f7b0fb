#include "platform/winmm/engine.h"

#include <math.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/driver/driver.h"
#include "platform/kernel32/globalmem.h"
#include "platform/winmm/wav.h"
#include "platform/winmm/winmm.h"

namespace qk {
namespace sound {
namespace {

const int kScratchFrames = 64;

// One source frame after the channel mix.
struct Stereo {
    float l, r;
};

struct Voice {
    bool active;
    bool loop;
    wav::Image image;
    wav::Decoder decoder;
    // Source frames waiting to be resampled, already mixed to stereo.
    float scratch[kScratchFrames * wav::kMaxChannels];
    Stereo pending[kScratchFrames];
    int pendingCount;
    int pendingUsed;
    bool sourceDone;     // no more source frames (never when looping)
    // Resampler: four neighbouring source frames and the position between the middle two,
    // as a 32.32 fixed-point step so that long sounds never drift.
    Stereo window[4];
    uint64_t step;       // source frames per output frame, 32.32
    uint64_t phase;      // fraction between window[1] and window[2], 0..2^32
    bool sameRate;
    uint64_t outputFrames;  // frames the sound lasts at the output rate (one pass)
    uint64_t outputDone;    // frames rendered in this pass
    float mixL[wav::kMaxChannels], mixR[wav::kMaxChannels];
};

std::mutex g_mutex;
std::condition_variable g_ended;
Voice g_voice;
uint64_t g_generation = 0;  // counts plays and stops
bool g_opened = false;
bool g_hasClock = false;
int g_preferredRate = kPreferredRate;
int g_outputRate = kPreferredRate;
std::atomic<uint64_t> g_playNs{0}, g_firstSoundNs{0};
std::atomic<uint64_t> g_renderedFrames{0};
PlayWatcher g_watcher = nullptr;  // under g_mutex

uint64_t NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

// Channel weights for the stereo mix, in the WAVE speaker order (front left, front
// right, centre, LFE, back left, back right, side left, side right).
void SetMix(Voice &v, int channels) {
    for (int c = 0; c < wav::kMaxChannels; c++) v.mixL[c] = v.mixR[c] = 0;
    if (channels == 1) {
        v.mixL[0] = v.mixR[0] = 1;
        return;
    }
    v.mixL[0] = 1;
    v.mixR[1] = 1;
    if (channels == 2) return;
    const float side = 0.7071f;
    for (int c = 2; c < channels; c++) {
        if (c == 2) {
            v.mixL[c] = v.mixR[c] = side;
        } else if (c == 3) {
            // the LFE channel is left out of a stereo mix
        } else if (c % 2 == 0) {
            v.mixL[c] = side;
        } else {
            v.mixR[c] = side;
        }
    }
    float sumL = 0, sumR = 0;
    for (int c = 0; c < channels; c++) {
        sumL += v.mixL[c];
        sumR += v.mixR[c];
    }
    for (int c = 0; c < channels; c++) {
        v.mixL[c] /= sumL;
        v.mixR[c] /= sumR;
    }
}

// The next source frame, mixed to stereo; silence once the source is done.
Stereo NextSourceFrame(Voice &v) {
    while (v.pendingUsed == v.pendingCount) {
        if (v.sourceDone) return {0, 0};
        size_t got = wav::Decode(v.decoder, v.scratch, kScratchFrames);
        if (got == 0) {
            if (v.loop && v.image.frames > 0) {
                wav::Start(v.decoder, v.image);  // the next pass follows without a gap
                continue;
            }
            v.sourceDone = true;
            return {0, 0};
        }
        int ch = v.image.format.channels;
        for (size_t i = 0; i < got; i++) {
            const float *f = v.scratch + i * ch;
            if (ch == 1) {
                v.pending[i] = {f[0], f[0]};
            } else if (ch == 2) {
                v.pending[i] = {f[0], f[1]};
            } else {
                float l = 0, r = 0;
                for (int c = 0; c < ch; c++) {
                    l += f[c] * v.mixL[c];
                    r += f[c] * v.mixR[c];
                }
                v.pending[i] = {l, r};
            }
        }
        v.pendingCount = (int)got;
        v.pendingUsed = 0;
    }
    return v.pending[v.pendingUsed++];
}

void StartVoice(Voice &v, const wav::Image &image, bool loop) {
    v.image = image;
    v.loop = loop;
    wav::Start(v.decoder, v.image);
    v.pendingCount = v.pendingUsed = 0;
    v.sourceDone = false;
    SetMix(v, image.format.channels);
    v.sameRate = image.format.rate == (uint32_t)g_outputRate;
    v.step = ((uint64_t)image.format.rate << 32) / (uint64_t)g_outputRate;
    v.phase = 0;
    // The first output frame is the first source frame; before it lies silence.
    v.window[0] = {0, 0};
    v.window[1] = NextSourceFrame(v);
    v.window[2] = NextSourceFrame(v);
    v.window[3] = NextSourceFrame(v);
    v.outputFrames = (image.frames * (uint64_t)g_outputRate + image.format.rate - 1) / image.format.rate;
    v.outputDone = 0;
    v.active = true;
}

// The output now runs at another rate (the device was opened again): the voice goes on
// from the same point of its sound, converted to the new rate.
void Retune(Voice &v, int oldRate, int newRate) {
    if (!v.active) return;
    uint32_t src = v.image.format.rate;
    v.sameRate = src == (uint32_t)newRate;
    v.step = ((uint64_t)src << 32) / (uint64_t)newRate;
    v.outputFrames = (v.image.frames * (uint64_t)newRate + src - 1) / src;
    v.outputDone = v.outputDone * (uint64_t)newRate / (uint64_t)oldRate;
    if (v.outputDone >= v.outputFrames) v.outputDone = v.outputFrames - 1;
}

// Ends the voice (under the lock) and wakes a synchronous play waiting for it.
void StopVoice() {
    if (!g_voice.active) return;
    g_voice.active = false;
    g_generation++;
    g_ended.notify_all();
    if (g_watcher) g_watcher(nullptr);
}

inline float Hermite(float x0, float x1, float x2, float x3, float t) {
    float c1 = 0.5f * (x2 - x0);
    float c2 = x0 - 2.5f * x1 + 2.0f * x2 - 0.5f * x3;
    float c3 = 0.5f * (x3 - x0) + 1.5f * (x1 - x2);
    return ((c3 * t + c2) * t + c1) * t + x1;
}

inline int16_t ToSample(float x) {
    float s = x * 32768.0f;
    if (s >= 32767.0f) return 32767;
    if (s <= -32768.0f) return -32768;
    return (int16_t)lrintf(s);
}

}  // namespace

int Render(int16_t *out, int frames, int rate) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Voice &v = g_voice;
    if (rate > 0 && rate != g_outputRate) {
        Retune(v, g_outputRate, rate);
        g_outputRate = rate;
    }
    int i = 0;
    bool sounded = false;
    while (i < frames && v.active) {
        Stereo s;
        if (v.sameRate) {
            s = v.window[1];
        } else {
            float t = (float)(v.phase * (1.0 / 4294967296.0));
            s.l = Hermite(v.window[0].l, v.window[1].l, v.window[2].l, v.window[3].l, t);
            s.r = Hermite(v.window[0].r, v.window[1].r, v.window[2].r, v.window[3].r, t);
        }
        int16_t l = ToSample(s.l), r = ToSample(s.r);
        out[2 * i] = l;
        out[2 * i + 1] = r;
        if (l || r) sounded = true;
        i++;
        v.phase += v.step;
        while (v.phase >= (1ull << 32)) {
            v.phase -= 1ull << 32;
            v.window[0] = v.window[1];
            v.window[1] = v.window[2];
            v.window[2] = v.window[3];
            v.window[3] = NextSourceFrame(v);
        }
        if (++v.outputDone >= v.outputFrames) {
            if (v.loop)
                v.outputDone = 0;  // looping: the source restarts by itself, seamlessly
            else
                StopVoice();
        }
    }
    if (i < frames) memset(out + 2 * i, 0, sizeof(int16_t) * 2 * (size_t)(frames - i));
    if (sounded && g_firstSoundNs.load(std::memory_order_relaxed) == 0) g_firstSoundNs.store(NowNs());
    g_renderedFrames.fetch_add((uint64_t)frames, std::memory_order_relaxed);
    return i;
}

void Open() {
    int rate;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_opened) return;
        g_opened = true;
        rate = g_outputRate = g_preferredRate;
        g_hasClock = false;
    }
    // The device is opened without our lock: its thread holds the device's own lock
    // while it calls Render, which takes ours, so taking them the other way round here
    // could leave the two threads waiting for each other.
    bool clock = driver::AudioOpen(rate, kOutputChannels, kDeviceFrames, Render);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_outputRate = rate;
    g_hasClock = clock;
}

void Close() {
    bool wasOpen;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        wasOpen = g_opened;
        g_opened = false;
        StopVoice();
    }
    if (wasOpen) driver::AudioClose();
}

BOOL Play(const void *image, UINT flags) {
    Open();
    bool stopped;
    {
        // Whatever plays ends before the new image is even looked at, so a play that is
        // then refused leaves silence; only SND_NOSTOP lets the current sound go on.
        std::lock_guard<std::mutex> lock(g_mutex);
        if (image && (flags & SND_NOSTOP) && g_voice.active) return FALSE;
        stopped = g_voice.active;
        StopVoice();
    }
    wav::Image parsed;
    bool playable = image && (flags & SND_MEMORY);  // sounds by name are not kept here
    if (playable) {
        // A sample in a global memory block is read only within that block; any other
        // image is taken at the size its RIFF header gives, as the platform does.
        size_t size = GlobalBlockExtent(image);
        if (size == 0) size = wav::DeclaredSize(image);
        playable = size != 0 && wav::Parse(image, size, parsed);
    }
    if (!playable) {
        if (stopped) driver::AudioChanged();  // what the output still holds goes now
        return image ? FALSE : TRUE;
    }

    std::unique_lock<std::mutex> lock(g_mutex);
    bool async = (flags & SND_ASYNC) != 0;
    StartVoice(g_voice, parsed, async && (flags & SND_LOOP));
    if (g_watcher) g_watcher(image);
    uint64_t mine = ++g_generation;
    g_firstSoundNs.store(0);
    g_playNs.store(NowNs());
    bool wait = !async && g_hasClock;
    lock.unlock();
    // The output renders the new sound at once, from this thread; it takes the engine's
    // lock to do so.
    driver::AudioChanged();
    if (wait) {
        lock.lock();
        g_ended.wait(lock, [&] { return g_generation != mine; });
        lock.unlock();
        driver::AudioDrain();
    }
    return TRUE;
}

void Stop() {
    bool stopped;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_opened) return;
        stopped = g_voice.active;
        StopVoice();
    }
    if (stopped) driver::AudioChanged();
}

void WatchPlays(PlayWatcher watcher) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_watcher = watcher;
}

void SetPreferredRate(int rate) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_preferredRate = rate;
}

int OutputRate() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_outputRate;
}

bool IsPlaying() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_voice.active;
}

uint64_t RenderedFrames() { return g_renderedFrames.load(); }

uint64_t LastPlayTimeNs() { return g_playNs.load(); }
uint64_t FirstSoundTimeNs() { return g_firstSoundNs.load(); }

}  // namespace sound
}  // namespace qk

BOOL WINAPI sndPlaySoundA(LPCSTR pszSound, UINT fuSound) {
    BOOL result = qk::sound::Play(pszSound, fuSound);
    qk::driver::SoundCalled(pszSound, fuSound, result);
    return result;
}
