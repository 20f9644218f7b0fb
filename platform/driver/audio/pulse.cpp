// Desktop sound on a PulseAudio server through libpulse's threaded main loop.
//
// The stream is opened corked and stays corked while nothing plays: the server asks for
// no data and the player's threads all sleep. A play (or a stop) takes the main loop's
// lock from the caller's thread, flushes what the stream holds, writes a buffer of the
// new sound and uncorks. From then on the server asks for more as it plays, and once the
// engine has been silent long enough for the last sound to have left the stream, it is
// corked again.
//
// A synchronous play ends when its sound has been heard: the stream keeps count of where
// in it each sound ends, and the play asks the server where it plays until that point
// has been played. The stream never waits for a drain to be acknowledged: a stream that
// plays silence after the sound (it never underruns, prebuf being 0) is never
// acknowledged by most sinks. Only the server's own reports count, never a guess between
// them: PipeWire's Pulse server takes a stream's data a graph cycle at a time and reports
// no sink latency, so a position guessed from the clock runs ahead of what it has taken,
// and the next play would cut off the end.
//
// Locks: the main loop's lock is always taken before the engine's (Render takes the
// engine's lock, and the engine never calls in here while it holds it).
#include "platform/driver/audio/output.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>
#include <sched.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace qk {
namespace audio {
namespace {

using driver::AudioRender;

// What the stream asks the server for: about 60 ms queued in all, topped up every third
// of that. A new sound does not wait behind the queue (it is flushed), so the queue buys
// safety under load and costs no latency; and the fewer times a second the server asks,
// the less a playing sound costs. (Measured on two busy cores: 20 ms queues had gaps,
// and asking every 5 ms cost over 1 % of a core.) QKSONNERIX_AUDIO_BUFFER_MS sets
// another length.
const int kTargetMs = 60, kFewestMs = 4, kMostMs = 1000;
// Silence written after the last sound before the stream is corked: the whole queue must
// have been played out by then, or a sound's end would wait in a corked stream.
const int kCorkAfterMs = 100;

pa_threaded_mainloop *g_loop = nullptr;
pa_context *g_context = nullptr;
pa_stream *g_stream = nullptr;
AudioRender g_render = nullptr;
void (*g_lost)() = nullptr;
int g_channels = 2, g_rate = 48000;
size_t g_frameBytes = 4;
size_t g_refill = 0;        // bytes written on a change: the stream's whole queue
uint64_t g_silentFrames = 0;  // rendered since the engine last had a sound
uint64_t g_corkAfter = 0;
bool g_corked = true;
// Never corked: the stream keeps running in silence. Corked streams let a desktop's sound
// server suspend its device after a few seconds, and waking the device again delays the
// next sound; an operator who would rather pay a little CPU for it asks for this.
bool g_awake = false;
bool g_reportedLoss = false;
bool g_raised = false;  // the main loop's thread had its priority raised
// The engine is not asked for sound until the opening writes it (what the server asks
// for before that is flushed at once; rendering it would skip that much of a sound).
bool g_live = false;
// Bytes written to the stream since it opened, and where among them the last sound
// ended (-1: no sound's end is in the stream; a flush drops what it held).
uint64_t g_written = 0;
int64_t g_soundEnd = -1;
// A wait in the opening (or a drain) gives up at this deadline: a server that accepts
// the connection but never answers (stopped, swapping) would otherwise hold it for
// libpulse's own 30 s.
pa_time_event *g_deadline = nullptr;
bool g_timedOut = false;
// A running stream is asked for data every few tens of milliseconds. When the server
// asks for none for this long, it has stopped answering (it hangs, or its machine is
// swapping): the output counts as lost, so that the silent clock keeps synchronous plays
// and loops moving and the keeper tries the server again.
const pa_usec_t kSilentServerUsec = 2 * PA_USEC_PER_SEC;
pa_time_event *g_watchdog = nullptr;
// Before a running stream is called lost, the server is asked something of its own (a
// round trip on the context): a sink that is only slow to resume does not count, a
// server that answers nothing in this time does.
const pa_usec_t kProbeUsec = PA_USEC_PER_SEC;
pa_operation *g_probe = nullptr;
bool g_probeAnswered = false;
const pa_usec_t kOpenLimitUsec = 3 * PA_USEC_PER_SEC;
// A play or a stop that came while the output was being opened (or a sound change not
// yet written): whoever takes it first writes it, once.
std::atomic<bool> g_pending{false};
// Held alone while the output is opened or closed (the globals above change then), and
// shared by the plays that write to it.
std::shared_mutex g_lifetime;

void CloseLocked();

// Sink lookup results (main loop thread, under its lock).
struct SinkQuery {
    const std::string *wanted;
    bool done;
    bool found;
    std::string name, description;
    int rate;
};

void ReportLoss() {
    if (g_reportedLoss) return;
    g_reportedLoss = true;
    if (g_lost) g_lost();
}

void OnContextState(pa_context *c, void *) {
    pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) ReportLoss();
    pa_threaded_mainloop_signal(g_loop, 0);
}

void OnStreamState(pa_stream *s, void *) {
    pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) ReportLoss();
    pa_threaded_mainloop_signal(g_loop, 0);
}

void OnSink(pa_context *, const pa_sink_info *info, int eol, void *user) {
    SinkQuery &q = *(SinkQuery *)user;
    if (eol) {
        q.done = true;
        pa_threaded_mainloop_signal(g_loop, 0);
        return;
    }
    if (!info || q.found) return;
    if (q.wanted && !NameMatches(info->description, *q.wanted) && !NameMatches(info->name, *q.wanted)) return;
    q.found = true;
    q.name = info->name ? info->name : "";
    q.description = info->description ? info->description : q.name;
    q.rate = (int)info->sample_spec.rate;
}

// Renders `bytes` into the stream (whole frames; silence until the output is live), the
// first write placed as `mode` says. True when any of it held a sound.
bool Write(size_t bytes, pa_seek_mode_t mode) {
    bool any = false;
    while (bytes >= g_frameBytes) {
        void *data = nullptr;
        size_t n = bytes;
        if (pa_stream_begin_write(g_stream, &data, &n) < 0 || !data) break;
        n -= n % g_frameBytes;
        if (n == 0) {
            pa_stream_cancel_write(g_stream);
            break;
        }
        int frames = (int)(n / g_frameBytes);
        int sound = 0;
        if (g_live)
            sound = g_render((int16_t *)data, frames, g_rate);
        else
            memset(data, 0, n);
        if (pa_stream_write(g_stream, data, n, nullptr, 0, mode) < 0) {
            pa_stream_cancel_write(g_stream);
            break;
        }
        if (sound > 0) g_soundEnd = (int64_t)(g_written + (uint64_t)sound * g_frameBytes);
        g_written += n;
        mode = PA_SEEK_RELATIVE;
        g_silentFrames = sound > 0 ? 0 : g_silentFrames + (uint64_t)frames;
        any = any || sound > 0;
        bytes -= n;
    }
    return any;
}

void ArmWatchdog(pa_usec_t after);
void FeedWatchdog();

void DropProbe() {
    if (!g_probe) return;
    pa_operation_cancel(g_probe);
    pa_operation_unref(g_probe);
    g_probe = nullptr;
}

void OnServerInfo(pa_context *, const pa_server_info *, void *) {
    // The server answers: its sink is only slow. The stream gets its allowance again.
    g_probeAnswered = true;
    FeedWatchdog();
}

void OnWatchdog(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *) {
    if (g_corked || g_reportedLoss) return;
    if (g_probe && !g_probeAnswered) {
        DropProbe();
        ReportLoss();
        return;
    }
    DropProbe();
    g_probeAnswered = false;
    g_probe = pa_context_get_server_info(g_context, OnServerInfo, nullptr);
    if (!g_probe) {
        ReportLoss();
        return;
    }
    ArmWatchdog(kProbeUsec);
}

void ArmWatchdog(pa_usec_t after) {
    if (!g_context) return;
    pa_usec_t at = pa_rtclock_now() + after;
    if (g_watchdog)
        pa_context_rttime_restart(g_context, g_watchdog, at);
    else
        g_watchdog = pa_context_rttime_new(g_context, at, OnWatchdog, nullptr);
}

// Gives a running stream the whole allowance again (a corked one needs none).
void FeedWatchdog() {
    if (!g_context) return;
    DropProbe();
    ArmWatchdog(g_corked ? 365ull * 24 * 3600 * PA_USEC_PER_SEC : kSilentServerUsec);
}

void Cork(bool cork) {
    if (g_corked == cork || (cork && g_awake)) return;
    g_corked = cork;
    pa_operation *op = pa_stream_cork(g_stream, cork ? 1 : 0, nullptr, nullptr);
    if (op) pa_operation_unref(op);
    FeedWatchdog();
}

// The output's thread gets ahead of ordinary work where the system lets it: real-time
// scheduling (below the sound server's own threads), or else a higher nice level, as a
// sound server gives its own. Neither is there for most users, and then it stays as it
// is; its work is small and bounded either way.
void RaiseThisThread() {
    struct sched_param param;
    memset(&param, 0, sizeof param);
    param.sched_priority = 4;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0) return;
    setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), -11);
}

// The server asks for more. While corked this only fills the queue once (with silence:
// nothing plays then), after which it asks no more.
void OnWrite(pa_stream *, size_t bytes, void *) {
    if (!g_raised) {
        g_raised = true;
        RaiseThisThread();
    }
    FeedWatchdog();
    Write(bytes, PA_SEEK_RELATIVE);
    if (!g_corked && g_silentFrames >= g_corkAfter) Cork(true);
}

// Drops what the stream holds (the old sound, or silence) and writes what the engine
// plays now at the front of the queue. A corked stream is uncorked first: written the
// other way round, the server would start the stream a little way into what was
// written, and a sound's first milliseconds would be lost. Under the main loop's lock.
void Refresh() {
    if (!g_stream || pa_stream_get_state(g_stream) != PA_STREAM_READY) return;
    bool wasCorked = g_corked;
    Cork(false);
    pa_operation *op = pa_stream_flush(g_stream, nullptr, nullptr);
    if (op) pa_operation_unref(op);
    g_soundEnd = -1;
    if (!Write(g_refill, PA_SEEK_RELATIVE_ON_READ) && wasCorked) Cork(true);  // nothing to play after all
}

void OnDeadline(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *) {
    g_timedOut = true;
    pa_threaded_mainloop_signal(g_loop, 0);
}

// Under the main loop's lock, with a context.
void StartDeadline(pa_usec_t usec) {
    g_timedOut = false;
    g_deadline = pa_context_rttime_new(g_context, pa_rtclock_now() + usec, OnDeadline, nullptr);
}

void StopDeadline() {
    if (g_deadline) pa_threaded_mainloop_get_api(g_loop)->time_free(g_deadline);
    g_deadline = nullptr;
    g_timedOut = false;
}

// Waits (under the main loop's lock) until `ready`, a failure or the deadline.
template <typename Ready, typename Failed>
bool WaitFor(Ready ready, Failed failed) {
    for (;;) {
        if (ready()) return true;
        if (failed() || g_timedOut) return false;
        pa_threaded_mainloop_wait(g_loop);
    }
}

// Writes the change a play or a stop asked for, unless it was written already. With the
// lifetime lock shared and the main loop's lock held. Until the stream is started the
// change waits: Start writes what plays then.
void RefreshIfPending() {
    if (g_live && g_pending.exchange(false)) Refresh();
}

bool ContextFailed() {
    pa_context_state_t s = pa_context_get_state(g_context);
    return !PA_CONTEXT_IS_GOOD(s);
}

bool FindSink(const std::string *wanted, SinkQuery &q) {
    q.wanted = wanted;
    q.done = q.found = false;
    pa_operation *op = wanted ? pa_context_get_sink_info_list(g_context, OnSink, &q)
                              : pa_context_get_sink_info_by_name(g_context, "@DEFAULT_SINK@", OnSink, &q);
    if (!op) return false;
    bool ok = WaitFor([&] { return q.done; }, ContextFailed);
    if (!ok) pa_operation_cancel(op);
    pa_operation_unref(op);
    return ok && q.found && q.rate > 0;
}

size_t MsToBytes(int ms) { return (size_t)g_rate * (size_t)ms / 1000 * g_frameBytes; }

// Opens the stream; under the main loop's lock, with the context ready.
bool OpenStream(const std::string &wanted, Opened &opened) {
    SinkQuery q;
    opened.unmatched = false;
    bool found = false;
    if (!wanted.empty()) {
        found = FindSink(&wanted, q);
        if (!found) {
            if (ContextFailed()) return false;
            opened.unmatched = true;
        }
    }
    if (!found && !FindSink(nullptr, q)) return false;
    g_rate = q.rate;
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = (uint32_t)g_rate;
    spec.channels = (uint8_t)g_channels;
    g_frameBytes = pa_frame_size(&spec);
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "production");
    g_stream = pa_stream_new_with_proplist(g_context, "QK Sonnerix", &spec, nullptr, props);
    pa_proplist_free(props);
    if (!g_stream) return false;
    pa_stream_set_state_callback(g_stream, OnStreamState, nullptr);
    pa_stream_set_write_callback(g_stream, OnWrite, nullptr);
    pa_buffer_attr attr;
    attr.maxlength = (uint32_t)-1;
    int queueMs = kTargetMs;
    const char *asked = getenv("QKSONNERIX_AUDIO_BUFFER_MS");
    char *end = nullptr;
    long ms = asked ? strtol(asked, &end, 10) : 0;
    if (asked && end != asked && *end == 0) queueMs = (int)std::min(std::max(ms, (long)kFewestMs), (long)kMostMs);
    attr.tlength = (uint32_t)MsToBytes(queueMs);
    attr.prebuf = 0;  // play at once on uncorking; an underrun never stops the stream
    attr.minreq = (uint32_t)MsToBytes(queueMs / 3);
    attr.fragsize = (uint32_t)-1;
    pa_stream_flags_t flags = (pa_stream_flags_t)(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    g_corked = true;
    g_silentFrames = 0;
    g_written = 0;
    g_soundEnd = -1;
    // The default output is left to the server, which then moves the stream along when the
    // desktop's default changes; a chosen output is asked for by name.
    if (pa_stream_connect_playback(g_stream, found ? q.name.c_str() : nullptr, &attr, flags, nullptr, nullptr) < 0)
        return false;
    bool ready = WaitFor([] { return pa_stream_get_state(g_stream) == PA_STREAM_READY; },
                         [] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(g_stream)) || ContextFailed(); });
    if (!ready) return false;
    const pa_buffer_attr *got = pa_stream_get_buffer_attr(g_stream);
    g_refill = got && got->tlength ? got->tlength : attr.tlength;
    g_refill -= g_refill % g_frameBytes;
    g_corkAfter = (uint64_t)g_rate * kCorkAfterMs / 1000 + g_refill / g_frameBytes;
    opened.rate = g_rate;
    opened.name = q.description;
    return true;
}

// The socket of the server libpulse connects to, where it is a local one: PULSE_SERVER's
// first entry, or the runtime folder's "native" socket.
std::string ServerSocket() {
    const char *server = getenv("PULSE_SERVER");
    if (server && *server) {
        std::string first(server, strcspn(server, " "));
        if (first.compare(0, 5, "unix:") == 0) return first.substr(5);
        if (!first.empty() && first[0] == '/') return first;
        return "";  // a server on the network: left to libpulse
    }
    const char *runtime = getenv("PULSE_RUNTIME_PATH");
    if (runtime && *runtime) return std::string(runtime) + "/native";
    runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/pulse/native";
    return "";
}

// A server that has stopped answering keeps its socket, and the kernel queues new
// connections on it until the queue is full; after that, a connection is refused at once
// as "try again", which libpulse cannot tell from a server that is not there.
bool SocketTakesNoMore() {
    std::string path = ServerSocket();
    struct sockaddr_un a;
    if (path.empty() || path.size() >= sizeof a.sun_path) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    memcpy(a.sun_path, path.c_str(), path.size());
    bool full = connect(fd, (struct sockaddr *)&a, sizeof a) != 0 && errno == EAGAIN;
    close(fd);
    return full;
}

Attempt Open(const Request &request, Opened &opened) {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
    g_render = request.render;
    g_lost = request.lost;
    g_channels = request.channels;
    g_reportedLoss = true;  // nothing is reported until the stream is open
    g_raised = false;
    g_live = false;
    g_awake = request.awake;
    g_loop = pa_threaded_mainloop_new();
    if (!g_loop) return Attempt::Absent;
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "QK Sonnerix");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "qksonnerix");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "qksonnerix");
    g_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(g_loop), "QK Sonnerix", props);
    pa_proplist_free(props);
    if (!g_context) {
        CloseLocked();
        return Attempt::Absent;
    }
    pa_context_set_state_callback(g_context, OnContextState, nullptr);
    // No autospawn: the desktop session owns the server; the keeper tries again later.
    if (pa_context_connect(g_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(g_loop) < 0) {
        bool hung = SocketTakesNoMore();
        CloseLocked();
        return hung ? Attempt::Hung : Attempt::Absent;
    }
    pa_threaded_mainloop_lock(g_loop);
    StartDeadline(kOpenLimitUsec);
    bool ready = WaitFor([] { return pa_context_get_state(g_context) == PA_CONTEXT_READY; }, ContextFailed);
    bool ok = ready && OpenStream(request.wanted, opened);
    // A server that answers but has no output yet (a sound server that is still starting
    // makes its sinks a moment later) is tried again soon; one that was reached but does
    // not answer, or whose socket takes no more connections, hangs.
    Attempt attempt = ok                                           ? Attempt::Opened
                      : g_timedOut || (!ready && SocketTakesNoMore()) ? Attempt::Hung
                      : ready                                      ? Attempt::NotYet
                                                                   : Attempt::Absent;
    StopDeadline();
    if (ok) g_reportedLoss = false;
    pa_threaded_mainloop_unlock(g_loop);
    if (!ok) CloseLocked();
    return attempt;
}

void Start() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime);
    if (!g_loop) return;
    pa_threaded_mainloop_lock(g_loop);
    g_live = true;
    g_pending = false;
    Refresh();  // a sound that plays on (a loop) is heard at once
    if (g_awake) Cork(false);
    pa_threaded_mainloop_unlock(g_loop);
}

void Close() {
    std::unique_lock<std::shared_mutex> lifetime(g_lifetime);
    CloseLocked();
}

void CloseLocked() {
    if (g_loop) pa_threaded_mainloop_stop(g_loop);
    if (g_stream) {
        pa_stream_set_state_callback(g_stream, nullptr, nullptr);
        pa_stream_set_write_callback(g_stream, nullptr, nullptr);
        pa_stream_disconnect(g_stream);
        pa_stream_unref(g_stream);
        g_stream = nullptr;
    }
    if (g_context) {
        pa_context_set_state_callback(g_context, nullptr, nullptr);
        pa_context_disconnect(g_context);
        pa_context_unref(g_context);
        g_context = nullptr;
    }
    if (g_loop) pa_threaded_mainloop_free(g_loop);
    g_loop = nullptr;
    g_deadline = nullptr;
    g_watchdog = nullptr;  // freed with the main loop
    g_probe = nullptr;
    g_live = false;
}

void OnDone(pa_stream *, int, void *user) {
    *(bool *)user = true;
    pa_threaded_mainloop_signal(g_loop, 0);
}

void OnTick(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *user) {
    *(bool *)user = true;
    pa_threaded_mainloop_signal(g_loop, 0);
}

bool StreamFailed() { return !PA_STREAM_IS_GOOD(pa_stream_get_state(g_stream)) || ContextFailed(); }

// How far the server has played the stream, in bytes of it, and how far it has been
// written, from a fresh report; false when none came (in time) or the stream cannot tell.
bool PlayedUpTo(int64_t &played, int64_t &written) {
    bool updated = false;
    pa_operation *op = pa_stream_update_timing_info(g_stream, OnDone, &updated);
    if (!op) return false;
    bool ok = WaitFor([&] { return updated; }, StreamFailed);
    if (!ok) pa_operation_cancel(op);
    pa_operation_unref(op);
    const pa_timing_info *t = ok ? pa_stream_get_timing_info(g_stream) : nullptr;
    if (!t || t->write_index_corrupt || t->read_index_corrupt) return false;
    // What the sink has taken but not yet played is still to come.
    played = t->read_index - (int64_t)pa_usec_to_bytes(t->sink_usec, pa_stream_get_sample_spec(g_stream));
    written = t->write_index;
    return true;
}

// Waits (under the main loop's lock) for `usec`, or less should the deadline come first.
void Sleep(pa_usec_t usec) {
    bool ticked = false;
    pa_time_event *tick = pa_context_rttime_new(g_context, pa_rtclock_now() + usec, OnTick, &ticked);
    if (!tick) return;
    WaitFor([&] { return ticked; }, StreamFailed);
    pa_threaded_mainloop_get_api(g_loop)->time_free(tick);
}
void Changed() {
    // While the output is being opened or closed (which can take a while when a server
    // hangs), a key must not wait: the opening writes the change once it is done.
    g_pending = true;
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    if (!lifetime.owns_lock() || !g_loop) return;
    pa_threaded_mainloop_lock(g_loop);
    RefreshIfPending();
    pa_threaded_mainloop_unlock(g_loop);
}

void Drain() {
    std::shared_lock<std::shared_mutex> lifetime(g_lifetime, std::try_to_lock);
    if (!lifetime.owns_lock() || !g_loop) return;
    pa_threaded_mainloop_lock(g_loop);
    if (g_stream && pa_stream_get_state(g_stream) == PA_STREAM_READY && !g_corked && g_soundEnd >= 0) {
        // The whole queue and the sink's own latency, and a little for the server's
        // reports: a server that stops answering is given up on then.
        pa_usec_t queue = pa_bytes_to_usec(g_refill, pa_stream_get_sample_spec(g_stream));
        StartDeadline(2 * queue + 250 * PA_USEC_PER_MSEC);
        for (;;) {
            int64_t played, written;
            int64_t end = g_soundEnd;
            if (end < 0 || !PlayedUpTo(played, written)) break;  // a play or a stop flushed it
            // The end's place in the server's count: as far before the server's write index
            // as it is before ours.
            int64_t at = written - (int64_t)(g_written - (uint64_t)end);
            if (played >= at || g_corked) break;
            pa_usec_t left = pa_bytes_to_usec((uint64_t)(at - played), pa_stream_get_sample_spec(g_stream));
            Sleep(std::min<pa_usec_t>(std::max<pa_usec_t>(left, 500), 20 * PA_USEC_PER_MSEC));
            if (g_timedOut) break;
        }
        StopDeadline();
    }
    pa_threaded_mainloop_unlock(g_loop);
}

// The sinks' descriptions, from a connection of its own.
bool Devices(std::vector<std::string> &names) {
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop) return false;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "QK Sonnerix");
    bool ok = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        struct Listing {
            std::vector<std::string> *names;
            bool done;
        } listing = {&names, false};
        pa_operation *op = nullptr;
        pa_usec_t until = pa_rtclock_now() + kOpenLimitUsec;
        while (!listing.done && pa_rtclock_now() < until) {
            pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (state == PA_CONTEXT_READY && !op)
                op = pa_context_get_sink_info_list(
                    context,
                    [](pa_context *, const pa_sink_info *info, int eol, void *user) {
                        Listing &l = *(Listing *)user;
                        if (eol) l.done = true;
                        else if (info) l.names->push_back(info->description ? info->description : info->name);
                    },
                    &listing);
            pa_mainloop_prepare(loop, 10000);
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
        ok = listing.done;
        if (op) {
            if (!ok) pa_operation_cancel(op);
            pa_operation_unref(op);
        }
        pa_context_disconnect(context);
    }
    if (context) pa_context_unref(context);
    pa_mainloop_free(loop);
    return ok;
}

}  // namespace

const Output kPulse = {"pulse", true, Open, Start, Close, Changed, Drain, Devices};

}  // namespace audio
}  // namespace qk
