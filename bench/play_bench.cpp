// Playback benchmark, through the real engine and SDL's disk audio driver (the
// device writes to /dev/null and keeps real time in periods of 256 frames):
//  1. the cost of a sndPlaySoundA call for a 1 KB and a 100 MB image, and the heap
//     allocations made inside the calls (counted by wrapping malloc and operator new);
//  2. the time from a play call to the first non-silent frame handed to the device;
//  3. the CPU used while a 44.1 kHz stereo sound plays converted to a 48 kHz device.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "platform/winmm/engine.h"

static thread_local long t_allocations = 0;

extern "C" {
void *__real_malloc(size_t);
void *__real_calloc(size_t, size_t);
void *__real_realloc(void *, size_t);
void *__wrap_malloc(size_t n) {
    t_allocations++;
    return __real_malloc(n);
}
void *__wrap_calloc(size_t a, size_t b) {
    t_allocations++;
    return __real_calloc(a, b);
}
void *__wrap_realloc(void *p, size_t n) {
    t_allocations++;
    return __real_realloc(p, n);
}
}

void *operator new(size_t n) {
    t_allocations++;
    void *p = __real_malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void *operator new[](size_t n) { return operator new(n); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }

static uint64_t NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static double CpuSeconds() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

// A WAV image of a stereo tone in a global memory block, as a loaded slot holds it.
static BYTE *ToneInBlock(size_t dataBytes, int rate) {
    size_t frames = dataBytes / 4;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 44 + frames * 4);
    BYTE *p = (BYTE *)GlobalLock(h);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++) p[at + i] = (BYTE)(v >> (8 * i));
    };
    memcpy(p, "RIFF", 4);
    put(4, (uint32_t)(36 + frames * 4), 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 2, 2);
    put(24, (uint32_t)rate, 4);
    put(28, (uint32_t)rate * 4, 4);
    put(32, 4, 2);
    put(34, 16, 2);
    memcpy(p + 36, "data", 4);
    put(40, (uint32_t)(frames * 4), 4);
    int16_t *s = (int16_t *)(p + 44);
    for (size_t i = 0; i < frames; i++) s[2 * i] = s[2 * i + 1] = (int16_t)(8000 * sin(i * 0.0627));
    return p;
}

static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    qk::sound::Open();

    // 1. The cost of a play call.
    BYTE *small = ToneInBlock(1024 - 44, 44100);
    BYTE *large = ToneInBlock(100u * 1024 * 1024 - 44, 44100);
    std::vector<double> smallUs, largeUs;
    long allocations = 0;
    for (int i = 0; i < 2000; i++) {
        BYTE *img = (i % 2) ? large : small;
        long before = t_allocations;
        uint64_t t0 = NowNs();
        sndPlaySoundA((LPCSTR)img, SND_MEMORY | SND_ASYNC);
        uint64_t t1 = NowNs();
        allocations += t_allocations - before;
        ((i % 2) ? largeUs : smallUs).push_back((t1 - t0) / 1000.0);
        if (i % 50 == 0) usleep(2000);
    }
    sndPlaySoundA(NULL, 0);
    double ms = Median(smallUs), ml = Median(largeUs);
    printf("sndPlaySoundA, 1 KB image:    median %.2f us\n", ms);
    printf("sndPlaySoundA, 100 MB image:  median %.2f us (ratio %.2f; target under 20 us, ratio near 1)\n", ml,
           ml / ms);
    printf("heap allocations in 2000 play calls: %ld (target 0)\n", allocations);

    // 2. From the play call to the first sound handed to the device.
    std::vector<double> latency;
    for (int i = 0; i < 60; i++) {
        sndPlaySoundA(NULL, 0);
        usleep(7000 + (i * 1237) % 6000);
        sndPlaySoundA((LPCSTR)small, SND_MEMORY | SND_ASYNC);
        uint64_t start = qk::sound::LastPlayTimeNs();
        for (int k = 0; k < 200 && qk::sound::FirstSoundTimeNs() == 0; k++) usleep(200);
        if (qk::sound::FirstSoundTimeNs()) latency.push_back((qk::sound::FirstSoundTimeNs() - start) / 1e6);
    }
    std::vector<double> sorted = latency;
    std::sort(sorted.begin(), sorted.end());
    printf("play call to first sound at the device (256-frame periods): median %.2f ms, max %.2f ms (target median "
           "under 6 ms)\n",
           Median(latency), sorted.back());
    sndPlaySoundA(NULL, 0);
    qk::sound::Close();

    // 3. CPU while 44.1 kHz stereo plays converted to 48 kHz.
    qk::sound::SetPreferredRate(48000);
    qk::sound::Open();
    BYTE *tone = ToneInBlock(44100 * 4 * 2, 44100);
    sndPlaySoundA((LPCSTR)tone, SND_MEMORY | SND_ASYNC | SND_LOOP);
    usleep(200000);
    double c0 = CpuSeconds();
    uint64_t w0 = NowNs();
    sleep(5);
    double cpu = CpuSeconds() - c0;
    double wall = (NowNs() - w0) / 1e9;
    sndPlaySoundA(NULL, 0);
    printf("CPU while 44.1 kHz stereo plays at a %d Hz device: %.3f%% of a core (target under 1%%)\n",
           qk::sound::OutputRate(), 100.0 * cpu / wall);
    qk::sound::Close();
    return 0;
}
