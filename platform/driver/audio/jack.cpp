// Sound through a JACK server (jackd, or PipeWire's JACK library), for studios that
// route the player into a mixer, an encoder or a recorder. Used only when asked for
// (--audio-output jack).
//
// One client, "QK Sonnerix", with two output ports that stay registered for as long as
// the server is there: JACK's clients run every period whether they play or not, and a
// client that deactivated would lose its connections. The ports are connected to the
// system's playback ports (a server that has none yet is tried again until it has), or
// where --jack-connect says, or nowhere. The client runs at
// JACK's own rate and period, rendering each period in JACK's thread straight into the
// ports' buffers, so a new sound starts in the next period.
//
// A server that goes away calls the shutdown callbacks (jackd calls both kinds,
// PipeWire's library only the plain one); the output then counts as lost, and the client
// is closed from the keeper's thread, never from the callback.
#include <jack/jack.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/driver/audio/output.h"

namespace qk {
namespace audio {
namespace {

// Asked of PipeWire's JACK library (ignored by jackd, which runs at its own period).
const char kPlayingLatency[] = "128/48000";
const size_t kMostFrames = 8192;

std::shared_mutex g_lifetime;
jack_client_t *g_client = nullptr;
jack_port_t *g_ports[2] = {nullptr, nullptr};
driver::AudioRender g_render = nullptr;
void (*g_lost)() = nullptr;
std::atomic<bool> g_live{false};
std::atomic<bool> g_reportedLoss{true};
int g_rate = 48000;
int16_t g_frames[kMostFrames * 2];
std::atomic<uint32_t> g_soundEnd{0};  // the frame time at which the last sound's last frame is heard
std::atomic<bool> g_hasEnd{false};
std::atomic<uint64_t> g_cycles{0};
std::atomic<bool> g_inCycle{false};

// JACK's messages (every failed try to reach a server prints a few) are kept off stderr,
// where the player tells each change in one line.
void Quiet(const char *) {}

void ReportLoss() {
    if (g_reportedLoss.exchange(true)) return;
    if (g_lost) g_lost();
}

void OnShutdown(void *) { ReportLoss(); }
void OnInfoShutdown(jack_status_t, const char *, void *) { ReportLoss(); }

int OnProcess(jack_nframes_t nframes, void *) {
    g_inCycle = true;
    float *out[2];
    for (int c = 0; c < 2; c++) out[c] = (float *)jack_port_get_buffer(g_ports[c], nframes);
    jack_nframes_t done = 0;
    while (done < nframes) {
        jack_nframes_t n = std::min<jack_nframes_t>(nframes - done, (jack_nframes_t)kMostFrames);
        int sound = 0;
        if (g_live.load(std::memory_order_acquire))
            sound = g_render(g_frames, (int)n, g_rate);
        else
            memset(g_frames, 0, sizeof(int16_t) * 2 * n);
        for (jack_nframes_t i = 0; i < n; i++) {
            out[0][done + i] = g_frames[2 * i] * (1.0f / 32768.0f);
            out[1][done + i] = g_frames[2 * i + 1] * (1.0f / 32768.0f);
        }
        if (sound > 0) {
            jack_latency_range_t latency = {0, 0};
            jack_port_get_latency_range(g_ports[0], JackPlaybackLatency, &latency);
            g_soundEnd = jack_last_frame_time(g_client) + done + (jack_nframes_t)sound + latency.max;
            g_hasEnd = true;
        }
        done += n;
    }
    g_cycles++;
    g_inCycle = false;
    return 0;
}

int OnRate(jack_nframes_t rate, void *) {
    g_rate = (int)rate;
    return 0;
}

void CloseLocked() {
    g_live = false;
    if (g_client) {
        jack_deactivate(g_client);
        jack_client_close(g_client);
    }
    g_client = nullptr;
    g_ports[0] = g_ports[1] = nullptr;
}

// The ports to connect to: those named (commas between them), none for "none", else the
// system's playback ports (the physical inputs), those whose name contains the chosen
// device's name part first.
std::vector<std::string> Destinations(const Request &request, bool &unmatched) {
    std::vector<std::string> names;
    unmatched = false;
    if (request.connect == "none") return names;
    if (!request.connect.empty()) {
        size_t start = 0;
        while (start <= request.connect.size()) {
            size_t comma = request.connect.find(',', start);
            if (comma == std::string::npos) comma = request.connect.size();
            if (comma > start) names.push_back(request.connect.substr(start, comma - start));
            start = comma + 1;
        }
        return names;
    }
    const char **ports = jack_get_ports(g_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    std::vector<std::string> all;
    for (const char **p = ports; p && *p; p++) all.push_back(*p);
    if (ports) jack_free(ports);
    if (!request.wanted.empty()) {
        for (const std::string &p : all)
            if (NameMatches(p.c_str(), request.wanted)) names.push_back(p);
        unmatched = names.empty();
    }
    if (names.empty()) names = all;
    if (names.size() > 2) names.resize(2);
    if (names.size() == 1) names.push_back(names[0]);  // a mono output gets both channels
    return names;
}

Attempt Open(const Request &request, Opened &opened) {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
    g_render = request.render;
    g_lost = request.lost;
    g_reportedLoss = true;
    g_hasEnd = false;
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    setenv("PIPEWIRE_LATENCY", kPlayingLatency, 0);
    jack_status_t status;
    g_client = jack_client_open("QK Sonnerix", JackNoStartServer, &status);
    if (!g_client) return Attempt::Absent;
    const char *names[2] = {"out_1", "out_2"};
    for (int c = 0; c < 2; c++) {
        g_ports[c] = jack_port_register(g_client, names[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!g_ports[c]) {
            CloseLocked();
            return Attempt::NotYet;
        }
    }
    g_rate = (int)jack_get_sample_rate(g_client);
    jack_set_process_callback(g_client, OnProcess, nullptr);
    jack_set_sample_rate_callback(g_client, OnRate, nullptr);
    jack_on_shutdown(g_client, OnShutdown, nullptr);
    jack_on_info_shutdown(g_client, OnInfoShutdown, nullptr);
    if (jack_activate(g_client) != 0) {
        CloseLocked();
        return Attempt::NotYet;
    }
    bool unmatched = false;
    std::vector<std::string> to = Destinations(request, unmatched);
    if (to.empty() && request.connect.empty()) {
        // A server without playback ports yet (PipeWire, back before its sinks): tried
        // again soon, so that the ports are connected once there is somewhere to play.
        CloseLocked();
        return Attempt::NotYet;
    }
    opened.unmatched = unmatched;
    for (size_t c = 0; c < to.size() && c < 2; c++) jack_connect(g_client, jack_port_name(g_ports[c]), to[c].c_str());
    opened.rate = g_rate;
    opened.name = to.empty() ? std::string("JACK, not connected") : "JACK: " + to[0] + (to.size() > 1 ? ", " + to[1] : "");
    g_reportedLoss = false;
    return Attempt::Opened;
}

void Start() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime);
    g_live.store(true, std::memory_order_release);
}

void Close() {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
}

// The next period renders the new sound; its end, once rendered, is found afresh.
void Changed() { g_hasEnd = false; }

void Drain() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    if (!lifetime.owns_lock() || !g_client) return;
    // The period that rendered the sound's end is done first: it tells where the end lies.
    uint64_t cycles = g_cycles.load();
    while (g_inCycle.load() && g_cycles.load() == cycles) {
        struct timespec tick = {0, 100000};
        nanosleep(&tick, nullptr);
    }
    // Frame times wrap round (after a day at 48 kHz): they are compared as differences.
    for (int waited = 0; waited < 500 && g_hasEnd && !g_reportedLoss; waited++) {
        int32_t left = (int32_t)(g_soundEnd.load() - jack_frame_time(g_client));
        if (left <= 0) return;
        struct timespec wait = {0, (long)std::min<int64_t>(std::max<int64_t>((int64_t)left * 1000000000 / g_rate, 200000),
                                                          2000000)};
        nanosleep(&wait, nullptr);
    }
}

// The ports a client can play into (audio inputs).
bool Devices(std::vector<std::string> &names) {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status;
    jack_client_t *client = jack_client_open("QK Sonnerix list", JackNoStartServer, &status);
    if (!client) return false;
    const char **ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    for (const char **p = ports; p && *p; p++) names.push_back(*p);
    if (ports) jack_free(ports);
    jack_client_close(client);
    return true;
}

}  // namespace

const Output kJack = {"jack", false, Open, Start, Close, Changed, Drain, Devices};

}  // namespace audio
}  // namespace qk
