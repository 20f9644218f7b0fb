// Sound on a PipeWire server through a stream of its own (libpipewire-0.3), the way
// today's desktops play.
//
// While a sound plays, the stream asks the graph for a small quantum (128 frames at
// 48 kHz, 2.7 ms), and renders each cycle's frames in the graph's own thread, straight
// into the buffer the graph plays next: there is no queue, so a key waits one short cycle
// at most. Once the engine has been silent for a while the stream is made inactive: the
// node asks for nothing, the graph goes back to the quantum the desktop's other programs
// ask for (or stops), and no thread of ours wakes up. A play makes it active again.
//
// The stream takes the graph's own rate (no rate is asked for), so the engine's
// resampler is the only conversion. A synchronous play waits until the graph's clock has
// passed the frame where its sound ended. A server that goes away (an error on the core,
// a stream no longer connected) or one that stops running the graph and no longer
// answers a round trip counts as lost.
//
// Locks: the lifetime lock is taken alone by the keeper's opening and closing, and shared
// by plays and stops, which never wait for it. The thread loop's lock is taken inside it.
// The graph's thread takes only the engine's lock (in the render).
#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>
#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <pthread.h>
#include <sched.h>
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

// The quantum asked for while a sound plays.
const char kPlayingLatency[] = "128/48000";
// Silence after the last sound before the stream goes inactive.
const int kInactiveAfterMs = 100;
// The opening gives up at this deadline: a server that accepts the connection but never
// answers (stopped, swapping) would otherwise hold it.
const int kOpenLimitMs = 3000;
// An active stream the graph has not run for this long, on a server that then does not
// answer a round trip within kProbeMs, has stopped answering.
const int kSilentServerMs = 2000, kProbeMs = 1000;

uint64_t NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

struct Sink {
    uint32_t id;
    std::string name, description;
};

std::shared_mutex g_lifetime;
pw_thread_loop *g_loop = nullptr;
pw_context *g_context = nullptr;
pw_core *g_core = nullptr;
pw_registry *g_registry = nullptr;
pw_metadata *g_metadata = nullptr;
pw_stream *g_stream = nullptr;
spa_hook g_coreListener, g_registryListener, g_metadataListener, g_streamListener;
spa_source *g_watchdog = nullptr;

driver::AudioRender g_render = nullptr;
void (*g_lost)() = nullptr;
int g_channels = 2;
std::atomic<int> g_rate{0};
std::atomic<bool> g_live{false};     // the engine is asked for sound
std::atomic<bool> g_active{false};   // the stream is active (under the loop's lock)
bool g_awake = false;                // never made inactive (QKSONNERIX_AUDIO_AWAKE)
bool g_reportedLoss = true;

// Opening (under the loop's lock).
bool g_failed = false;       // the core or the stream failed
bool g_answered = false;     // the server answered a round trip
int g_syncSeq = -1;
bool g_formatKnown = false;
std::vector<Sink> g_sinks;
std::string g_defaultSink;   // node.name of the desktop's default sink

// The graph's thread.
std::atomic<uint64_t> g_silentFrames{0};
std::atomic<int64_t> g_soundEnd{-1};     // the graph tick at which the last sound's last frame is heard
std::atomic<uint64_t> g_lastCycleNs{0};  // when the graph last ran the stream
std::atomic<uint64_t> g_cycles{0};
std::atomic<bool> g_inCycle{false};
std::atomic<int> g_realtime{-1};  // the graph's thread runs at real-time priority: 1, not: 0, not yet known: -1

// The watchdog's round trip (loop thread).
int g_probeSeq = -1;
uint64_t g_probeSentNs = 0;

void ReportLoss() {
    if (g_reportedLoss) return;
    g_reportedLoss = true;
    if (g_lost) g_lost();
}

void OnCoreDone(void *, uint32_t id, int seq) {
    if (id != PW_ID_CORE) return;
    if (seq == g_syncSeq) g_answered = true;
    if (seq == g_probeSeq) g_probeSeq = -1;  // answered
    pw_thread_loop_signal(g_loop, false);
}

void OnCoreError(void *, uint32_t id, int, int, const char *) {
    if (id != PW_ID_CORE) return;  // an error about one of our objects: the stream tells its own
    g_failed = true;
    ReportLoss();
    pw_thread_loop_signal(g_loop, false);
}

pw_core_events CoreEvents() {
    pw_core_events e;
    memset(&e, 0, sizeof e);
    e.version = PW_VERSION_CORE_EVENTS;
    e.done = OnCoreDone;
    e.error = OnCoreError;
    return e;
}
const pw_core_events kCoreEvents = CoreEvents();

// The "default" metadata tells the desktop's default sink: {"name": "<node.name>"}.
int OnMetadataProperty(void *, uint32_t, const char *key, const char *, const char *value) {
    if (!key || strcmp(key, "default.audio.sink") != 0) return 0;
    g_defaultSink.clear();
    // The one value of the object: the text between the quotes after "name":.
    const char *at = value ? strstr(value, "\"name\"") : nullptr;
    if (at) at = strchr(at + 6, ':');
    if (at) at = strchr(at, '"');
    if (at) {
        const char *end = strchr(at + 1, '"');
        if (end) g_defaultSink.assign(at + 1, (size_t)(end - at - 1));
    }
    return 0;
}

pw_metadata_events MetadataEvents() {
    pw_metadata_events e;
    memset(&e, 0, sizeof e);
    e.version = PW_VERSION_METADATA_EVENTS;
    e.property = OnMetadataProperty;
    return e;
}
const pw_metadata_events kMetadataEvents = MetadataEvents();

void OnGlobal(void *, uint32_t id, uint32_t, const char *type, uint32_t, const spa_dict *props) {
    if (!props) return;
    if (strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        const char *cls = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
        if (!cls || strcmp(cls, "Audio/Sink") != 0) return;
        const char *name = spa_dict_lookup(props, PW_KEY_NODE_NAME);
        const char *description = spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION);
        g_sinks.push_back({id, name ? name : "", description ? description : name ? name : ""});
    } else if (strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 && !g_metadata) {
        const char *name = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
        if (!name || strcmp(name, "default") != 0) return;
        g_metadata = (pw_metadata *)pw_registry_bind(g_registry, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0);
        if (g_metadata) pw_metadata_add_listener(g_metadata, &g_metadataListener, &kMetadataEvents, nullptr);
    }
}

void OnGlobalRemove(void *, uint32_t id) {
    g_sinks.erase(std::remove_if(g_sinks.begin(), g_sinks.end(), [id](const Sink &s) { return s.id == id; }),
                  g_sinks.end());
}

pw_registry_events RegistryEvents() {
    pw_registry_events e;
    memset(&e, 0, sizeof e);
    e.version = PW_VERSION_REGISTRY_EVENTS;
    e.global = OnGlobal;
    e.global_remove = OnGlobalRemove;
    return e;
}
const pw_registry_events kRegistryEvents = RegistryEvents();

void OnStreamState(void *, pw_stream_state, pw_stream_state state, const char *error) {
    if (state == PW_STREAM_STATE_ERROR || (state == PW_STREAM_STATE_UNCONNECTED && error)) {
        g_failed = true;
        ReportLoss();
    }
    pw_thread_loop_signal(g_loop, false);
}

void OnParamChanged(void *, uint32_t id, const spa_pod *param) {
    if (id != SPA_PARAM_Format || !param) return;
    spa_audio_info_raw info;
    memset(&info, 0, sizeof info);
    if (spa_format_audio_raw_parse(param, &info) < 0 || info.rate == 0) return;
    g_rate = (int)info.rate;
    g_formatKnown = true;
    pw_thread_loop_signal(g_loop, false);
}

// Runs in the loop's thread (under its lock), asked for by the graph's thread.
int Deactivate(spa_loop *, bool, uint32_t, const void *, size_t, void *) {
    if (g_stream && g_active && !g_awake && g_silentFrames.load() >= (uint64_t)g_rate.load() * kInactiveAfterMs / 1000) {
        pw_stream_set_active(g_stream, false);
        g_active = false;
    }
    return 0;
}

// One graph cycle, in the graph's thread: this cycle's frames straight into the buffer.
void OnProcess(void *) {
    g_inCycle = true;
    if (g_realtime.load(std::memory_order_relaxed) < 0) {
        int policy;
        sched_param param;
        pthread_getschedparam(pthread_self(), &policy, &param);
        policy &= ~SCHED_RESET_ON_FORK;
        g_realtime = policy == SCHED_FIFO || policy == SCHED_RR ? 1 : 0;
        pw_thread_loop_signal(g_loop, false);
    }
    pw_buffer *b = pw_stream_dequeue_buffer(g_stream);
    if (b) {
        spa_data &d = b->buffer->datas[0];
        uint32_t stride = (uint32_t)(2 * g_channels);
        if (d.data && d.maxsize >= stride) {
            uint32_t frames = d.maxsize / stride;
            if (b->requested && b->requested < frames) frames = (uint32_t)b->requested;
            int sound = 0;
            if (g_live.load(std::memory_order_acquire))
                sound = g_render((int16_t *)d.data, (int)frames, g_rate.load(std::memory_order_relaxed));
            else
                memset(d.data, 0, (size_t)frames * stride);
            d.chunk->offset = 0;
            d.chunk->stride = (int32_t)stride;
            d.chunk->size = frames * stride;
            if (sound > 0) {
                pw_time t;
                memset(&t, 0, sizeof t);
                pw_stream_get_time_n(g_stream, &t, sizeof t);
                g_soundEnd = t.ticks + sound + (t.delay > 0 ? t.delay : 0);
                g_silentFrames = 0;
            } else if (g_silentFrames.fetch_add(frames) + frames >= (uint64_t)g_rate.load() * kInactiveAfterMs / 1000 &&
                       !g_awake) {
                pw_loop_invoke(pw_thread_loop_get_loop(g_loop), Deactivate, 0, nullptr, 0, false, nullptr);
            }
        }
        pw_stream_queue_buffer(g_stream, b);
    }
    g_lastCycleNs = NowNs();
    g_cycles++;
    g_inCycle = false;
}

pw_stream_events StreamEvents() {
    pw_stream_events e;
    memset(&e, 0, sizeof e);
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = OnStreamState;
    e.param_changed = OnParamChanged;
    e.process = OnProcess;
    return e;
}
const pw_stream_events kStreamEvents = StreamEvents();

// Every half second, in the loop's thread: an active stream the graph has stopped running
// asks the server whether it is there; no answer in time is a loss.
void OnWatchdog(void *, uint64_t) {
    if (!g_active || g_reportedLoss || !g_core) return;
    uint64_t now = NowNs();
    if (g_probeSeq >= 0) {
        if (now - g_probeSentNs > (uint64_t)kProbeMs * 1000000) {
            g_probeSeq = -1;
            ReportLoss();
        }
        return;
    }
    if (now - g_lastCycleNs.load() > (uint64_t)kSilentServerMs * 1000000) {
        g_probeSeq = pw_core_sync(g_core, PW_ID_CORE, 0);
        g_probeSentNs = now;
    }
}

// Waits (under the loop's lock) until `ready`, a failure or the deadline.
template <typename Ready>
bool WaitFor(Ready ready, uint64_t deadlineNs) {
    while (!ready()) {
        if (g_failed) return false;
        uint64_t now = NowNs();
        if (now >= deadlineNs) return false;
        struct timespec abstime;
        pw_thread_loop_get_time(g_loop, &abstime, (int64_t)(deadlineNs - now));
        pw_thread_loop_timed_wait_full(g_loop, &abstime);
    }
    return true;
}

void CloseLocked() {
    g_live = false;
    if (g_loop) pw_thread_loop_stop(g_loop);
    if (g_stream) pw_stream_destroy(g_stream);
    g_stream = nullptr;
    if (g_metadata) pw_proxy_destroy((pw_proxy *)g_metadata);
    g_metadata = nullptr;
    if (g_registry) pw_proxy_destroy((pw_proxy *)g_registry);
    g_registry = nullptr;
    if (g_core) pw_core_disconnect(g_core);
    g_core = nullptr;
    if (g_context) pw_context_destroy(g_context);
    g_context = nullptr;
    if (g_loop) pw_thread_loop_destroy(g_loop);
    g_loop = nullptr;
    g_watchdog = nullptr;
    g_active = false;
    g_sinks.clear();
    g_defaultSink.clear();
}

// Connects to the server and learns its sinks and its default one (under the loop's
// lock). Absent when no PipeWire server is there.
Attempt Connect(uint64_t deadline) {
    static bool initialised = false;
    if (!initialised) {
        pw_init(nullptr, nullptr);
        initialised = true;
    }
    g_failed = g_answered = g_formatKnown = false;
    g_syncSeq = g_probeSeq = -1;
    g_loop = pw_thread_loop_new("qk-pipewire", nullptr);
    if (!g_loop) return Attempt::Absent;
    pw_thread_loop_lock(g_loop);  // held on return, whatever it returns, while g_loop is there
    // The real-time client configuration: the graph's thread is raised where the system
    // allows it, as PipeWire's own players are.
    g_context = pw_context_new(pw_thread_loop_get_loop(g_loop),
                               pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!g_context) return Attempt::Absent;
    if (pw_thread_loop_start(g_loop) < 0) return Attempt::Absent;
    g_core = pw_context_connect(g_context, nullptr, 0);
    if (!g_core) return errno == EAGAIN ? Attempt::Hung : Attempt::Absent;  // a full queue of connections hangs
    pw_core_add_listener(g_core, &g_coreListener, &kCoreEvents, nullptr);
    g_registry = pw_core_get_registry(g_core, PW_VERSION_REGISTRY, 0);
    if (g_registry) pw_registry_add_listener(g_registry, &g_registryListener, &kRegistryEvents, nullptr);
    // A round trip: the server answers, and the globals it has are all announced.
    g_syncSeq = pw_core_sync(g_core, PW_ID_CORE, 0);
    if (!WaitFor([] { return g_answered; }, deadline)) return g_failed ? Attempt::Absent : Attempt::Hung;
    // The default sink's metadata comes once bound: one more round trip.
    g_answered = false;
    g_syncSeq = pw_core_sync(g_core, PW_ID_CORE, 0);
    if (!WaitFor([] { return g_answered; }, deadline)) return g_failed ? Attempt::Absent : Attempt::Hung;
    return Attempt::Opened;
}

const Sink *SinkNamed(const std::string &nodeName) {
    for (const Sink &s : g_sinks)
        if (s.name == nodeName) return &s;
    return nullptr;
}

Attempt Open(const Request &request, Opened &opened) {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
    g_render = request.render;
    g_lost = request.lost;
    g_channels = request.channels;
    g_reportedLoss = true;  // nothing is reported until the stream is open
    g_live = false;
    g_soundEnd = -1;
    g_silentFrames = 0;
    g_awake = request.awake;
    uint64_t deadline = NowNs() + (uint64_t)kOpenLimitMs * 1000000;
    Attempt connected = Connect(deadline);
    if (connected != Attempt::Opened) {
        if (g_loop) pw_thread_loop_unlock(g_loop);
        CloseLocked();
        return connected;
    }
    // A server without a sink yet (its session manager still starting) is tried again soon.
    if (g_sinks.empty()) {
        pw_thread_loop_unlock(g_loop);
        CloseLocked();
        return Attempt::NotYet;
    }
    const Sink *chosen = nullptr;
    if (!request.wanted.empty()) {
        for (const Sink &s : g_sinks)
            if (!chosen && (NameMatches(s.description.c_str(), request.wanted) || NameMatches(s.name.c_str(), request.wanted)))
                chosen = &s;
        opened.unmatched = !chosen;
    }
    const Sink *shown = chosen ? chosen : SinkNamed(g_defaultSink);
    opened.name = shown ? shown->description : g_sinks.front().description;

    pw_properties *props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Production",
        PW_KEY_APP_NAME, "QK Sonnerix", PW_KEY_APP_ID, "qksonnerix", PW_KEY_APP_ICON_NAME, "qksonnerix",
        PW_KEY_NODE_NAME, "qksonnerix", PW_KEY_NODE_DESCRIPTION, "QK Sonnerix", PW_KEY_NODE_LATENCY,
        kPlayingLatency, nullptr);
    // The default output is left to the session manager, which then moves the stream along
    // when the desktop's default changes; a chosen one is asked for by name, and kept.
    if (chosen) pw_properties_set(props, PW_KEY_TARGET_OBJECT, chosen->name.c_str());
    g_stream = pw_stream_new(g_core, "QK Sonnerix", props);
    if (!g_stream) {
        pw_thread_loop_unlock(g_loop);
        CloseLocked();
        return Attempt::NotYet;
    }
    pw_stream_add_listener(g_stream, &g_streamListener, &kStreamEvents, nullptr);
    uint8_t pod[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(pod, sizeof pod);
    spa_audio_info_raw info;
    memset(&info, 0, sizeof info);
    info.format = SPA_AUDIO_FORMAT_S16;
    info.channels = (uint32_t)g_channels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;  // no rate: the graph's own
    const spa_pod *params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    // Connected active: the format (and with it the graph's rate) is agreed only for a
    // node that runs. It plays silence until started, and goes inactive soon after.
    g_realtime = -1;
    uint32_t flags = PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS;
    if (chosen) flags |= PW_STREAM_FLAG_DONT_RECONNECT;
    g_active = true;
    bool ok = pw_stream_connect(g_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, (pw_stream_flags)flags, params, 1) == 0 &&
              WaitFor([] { return g_formatKnown; }, deadline);
    // Linked but never given a format: a session manager that does not link streams yet.
    Attempt attempt = ok ? Attempt::Opened : g_failed ? Attempt::Absent : Attempt::NotYet;
    // A graph cycle of a few milliseconds holds only where the graph's thread runs ahead of
    // ordinary work: without real-time priority (no RTKit, no rights of its own) a busy
    // machine would break the sound up. Then the Pulse stream, which keeps a queue, plays
    // instead; only a stream asked for by name plays all the same.
    if (ok && !request.asked && WaitFor([] { return g_realtime.load() >= 0; }, deadline) && g_realtime == 0) {
        ok = false;
        attempt = Attempt::Absent;
    }
    if (ok) {
        opened.rate = g_rate;
        g_lastCycleNs = NowNs();
        g_watchdog = pw_loop_add_timer(pw_thread_loop_get_loop(g_loop), OnWatchdog, nullptr);
        struct timespec half = {0, 500000000};
        if (g_watchdog) pw_loop_update_timer(pw_thread_loop_get_loop(g_loop), g_watchdog, &half, &half, false);
        g_reportedLoss = false;
    }
    pw_thread_loop_unlock(g_loop);
    if (!ok) CloseLocked();
    return attempt;
}

void Activate() {
    if (g_active || !g_stream) return;
    g_lastCycleNs = NowNs();  // the watchdog counts from here
    pw_stream_set_active(g_stream, true);
    g_active = true;
}

void Start() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime);
    if (!g_loop) return;
    pw_thread_loop_lock(g_loop);
    g_silentFrames = 0;
    g_live.store(true, std::memory_order_release);
    Activate();  // a sound that plays on (a loop) is heard at once; silence soon makes it inactive again
    pw_thread_loop_unlock(g_loop);
}

void Close() {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
}

void Changed() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    if (!lifetime.owns_lock() || !g_loop || !g_live) return;
    g_silentFrames = 0;
    g_soundEnd = -1;
    if (g_active) return;  // the next cycle renders the new sound
    pw_thread_loop_lock(g_loop);
    Activate();
    pw_thread_loop_unlock(g_loop);
}

void Drain() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    if (!lifetime.owns_lock() || !g_stream) return;
    // The cycle that rendered the sound's end is done first: it tells where the end lies.
    uint64_t cycles = g_cycles.load();
    while (g_inCycle.load() && g_cycles.load() == cycles) {
        struct timespec tick = {0, 100000};
        nanosleep(&tick, nullptr);
    }
    uint64_t deadline = NowNs() + 250000000ull;
    for (;;) {
        int64_t end = g_soundEnd.load();
        if (end < 0 || !g_active || g_reportedLoss) return;
        pw_time t;
        memset(&t, 0, sizeof t);
        if (pw_stream_get_time_n(g_stream, &t, sizeof t) < 0 || t.rate.denom == 0) return;
        // Where the graph's clock stands now, from its last cycle.
        uint64_t now = NowNs();
        int64_t since = now > (uint64_t)t.now ? (int64_t)(now - (uint64_t)t.now) : 0;
        int64_t at = t.ticks + since * (int64_t)t.rate.denom / ((int64_t)t.rate.num * 1000000000);
        if (at >= end || now >= deadline) return;
        int64_t leftNs = (end - at) * (int64_t)t.rate.num * 1000000000 / (int64_t)t.rate.denom;
        struct timespec wait = {0, (long)std::min<int64_t>(std::max<int64_t>(leftNs, 200000), 2000000)};
        nanosleep(&wait, nullptr);
    }
}

// The sinks' descriptions, from a connection of its own.
bool Devices(std::vector<std::string> &names) {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    bool own = lifetime.owns_lock() && !g_loop;
    if (!own) return false;
    Attempt connected = Connect(NowNs() + (uint64_t)kOpenLimitMs * 1000000);
    bool ok = connected == Attempt::Opened;
    if (ok)
        for (const Sink &s : g_sinks) names.push_back(s.description);
    if (g_loop) pw_thread_loop_unlock(g_loop);
    CloseLocked();
    return ok;
}

}  // namespace

const Output kPipeWire = {"pipewire", true, Open, Start, Close, Changed, Drain, Devices};

}  // namespace audio
}  // namespace qk
