// The desktop's sound output, kept: the outputs of the table (output.h) are tried in
// order, or the one asked for alone, each opened at its device's own rate, so that the
// engine's resampler is the only conversion on the way to the speaker.
//
// The output never stops the program. When no output opens, or the one in use goes away
// (a sound server restarts, an interface is unplugged), a silent clock renders in its
// place, so synchronous plays last as long as their sound and a loop moves on as if it
// were heard. The clock is a thread of its own; the keeper thread meanwhile tries to open
// an output again, at growing intervals, so that a server that takes its time to answer
// (or never answers) never holds the clock up. Once an output opens, the clock stops and
// the output goes on from where the clock was. A line on stderr tells the operator when
// the output is lost and when it is back; an output that keeps failing right after it
// opens is retried ever more slowly and told as a count now and then.
//
// Locks: the keeper thread never holds g_signalMutex while it opens, closes or renders;
// an output reports a loss by taking g_signalMutex alone. So closing an output (which may
// wait for its thread to return) cannot wait on the lock that thread wants.
#include <SDL.h>
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
#include <vector>

#include "platform/driver/audio/output.h"
#include "platform/driver/driver.h"

namespace qk {
namespace driver {
namespace {

using audio::Attempt;
using audio::Output;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The first retry comes soon after a loss; later ones further apart, but never so far
// apart that a returning server waits more than about half a second for us.
const milliseconds kFirstRetry(25), kLongestRetry(400);
// A loss that comes this soon after the output came back is a repeat of the last one (a
// stream that fails right after it opens): the retries go on growing, up to
// kLongestRepeatRetry, and repeats are told as a count at most every kRepeatReport.
const milliseconds kSettled(5000), kLongestRepeatRetry(5000), kRepeatReport(10000);

audio::Request g_request;
const Output *g_chosen = nullptr;        // asked for by name; null: the table's order
bool g_toldUnmatched = false;

// The output open now, or null (set by the keeper; read by plays and stops, whose calls
// each output makes safe against its own opening and closing).
std::atomic<const Output *> g_current{nullptr};
std::string g_deviceName;
std::atomic<int> g_rate{44100};         // the rate the output (or the clock) runs at

std::mutex g_signalMutex;
std::condition_variable g_signal;
bool g_lost = false;  // the output went away (under g_signalMutex)
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
    std::lock_guard<std::mutex> lock(g_signalMutex);
    g_lost = true;
    g_signal.notify_all();
}

// Renders silence in real time, period by period, until told to stop. Every period that
// is due is rendered, even after the machine held the thread up: the clock keeps time.
void *SilentClock(void *) {
    std::vector<int16_t> buffer((size_t)g_request.frames * (size_t)g_request.channels);
    auto next = Clock::now();
    std::unique_lock<std::mutex> lock(g_clockMutex);
    while (!g_clockStop) {
        lock.unlock();
        int rate = g_rate.load();
        auto now = Clock::now();
        while (next <= now) {
            g_request.render(buffer.data(), g_request.frames, rate);
            next += std::chrono::nanoseconds((int64_t)g_request.frames * 1000000000 / rate);
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

void TellUnmatched() {
    if (g_toldUnmatched) return;
    g_toldUnmatched = true;
    fprintf(stderr, "qksonnerix: no sound output matches \"%s\"; using the default output\n", g_request.wanted.c_str());
}

// The outputs to try: the one asked for, else the table's automatic ones in order.
// SDL_AUDIODRIVER naming other backends than PipeWire's and PulseAudio's leaves the
// choice to SDL, as it did before the player had outputs of its own.
std::vector<const Output *> Candidates() {
    if (g_chosen) return {g_chosen};
    const char *drivers = getenv("SDL_AUDIODRIVER");
    bool all = !drivers || !*drivers;
    std::vector<const Output *> out;
    for (const Output *o : audio::Outputs()) {
        if (!o->tried) continue;
        bool named = o == &audio::kSdl || (o == &audio::kPulse ? strstr(drivers ? drivers : "", "pulse") != nullptr
                                                                : strstr(drivers ? drivers : "", o->name) != nullptr);
        if (all || named) out.push_back(o);
    }
    return out;
}

void CloseOutput() {
    const Output *o = g_current.exchange(nullptr);
    if (o) o->close();
}

// Opens the first output that can be opened (not yet playing: Start hands it the
// sound). A server that answers without an output yet, or one that hangs, is the
// desktop's own: the outputs after it are not tried, it is tried again.
Attempt TryOpen() {
    {
        std::lock_guard<std::mutex> lock(g_signalMutex);
        g_lost = false;
    }
    Attempt attempt = Attempt::Absent;
    for (const Output *o : Candidates()) {
        audio::Opened opened;
        attempt = o->open(g_request, opened);
        if (attempt == Attempt::Opened) {
            if (opened.unmatched) TellUnmatched();
            g_deviceName = opened.name;
            g_rate = opened.rate;
            g_current = o;
            return attempt;
        }
        if (attempt != Attempt::Absent) return attempt;
    }
    return attempt;
}

void Start() {
    if (const Output *o = g_current.load()) o->start();
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
        if (g_current.load()) {
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
            CloseOutput();
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

void *Keeper(void *) {
    KeepOutput(g_startAccount);
    SDL_TLSCleanup();  // what SDL keeps for a thread not its own (its error text)
    return nullptr;
}

}  // namespace

void AudioChoose(const char *namePart) { g_request.wanted = namePart ? namePart : ""; }

bool AudioChooseOutput(const char *name) {
    g_chosen = nullptr;
    g_request.asked = false;
    if (!name || !*name) return true;
    g_chosen = audio::OutputNamed(name);
    g_request.asked = g_chosen != nullptr;
    return g_chosen != nullptr;
}

void AudioConnectTo(const char *ports) { g_request.connect = ports ? ports : ""; }

std::vector<std::string> AudioOutputNames() {
    std::vector<std::string> names;
    for (const Output *o : audio::Outputs()) names.push_back(o->name);
    return names;
}

std::vector<std::string> AudioDevices() {
    // The devices of the output that would be used: the first whose server answers.
    for (const Output *o : Candidates()) {
        std::vector<std::string> names;
        if (o->devices(names)) return names;
    }
    return {};
}

bool AudioOpen(int &rate, int channels, int frames, AudioRender render) {
    g_request.render = render;
    g_request.channels = channels;
    g_request.frames = frames;
    g_request.preferredRate = rate;
    g_request.lost = ReportLost;
    const char *awake = getenv("QKSONNERIX_AUDIO_AWAKE");
    g_request.awake = awake && *awake && strcmp(awake, "0") != 0;
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
    CloseOutput();
}

void AudioChanged() {
    if (const Output *o = g_current.load()) o->changed();
}

void AudioDrain() {
    if (const Output *o = g_current.load()) o->drain();
}

void SoundCalled(const void *, UINT, BOOL) {}

}  // namespace driver
}  // namespace qk
