// A PipeWire recorder for the sound benchmark: records a sink's monitor through PipeWire
// itself, at a quantum of its own asking, and writes each cycle's frames to stdout at once
// as 16-bit little-endian stereo (pw-record buffers its output, which would blur when a
// sound arrived). Ends when stdout is closed, on SIGTERM or when the server goes.
//
//   qk_pw_record <sink node name> <frames a cycle>
#include <pipewire/pipewire.h>
#include <signal.h>
#include <spa/param/audio/format-utils.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

pw_main_loop *g_loop = nullptr;
pw_context *g_context = nullptr;
pw_core *g_core = nullptr;
pw_stream *g_stream = nullptr;

void OnProcess(void *) {
    pw_buffer *b = pw_stream_dequeue_buffer(g_stream);
    if (!b) return;
    spa_data &d = b->buffer->datas[0];
    if (d.data && d.chunk->size) {
        const char *p = (const char *)d.data + d.chunk->offset;
        size_t left = d.chunk->size;
        while (left) {
            ssize_t n = write(1, p, left);
            if (n <= 0) {
                pw_main_loop_quit(g_loop);
                break;
            }
            p += n;
            left -= (size_t)n;
        }
    }
    pw_stream_queue_buffer(g_stream, b);
}

void OnState(void *, pw_stream_state, pw_stream_state state, const char *) {
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) pw_main_loop_quit(g_loop);
}

void Quit(void *, int) { pw_main_loop_quit(g_loop); }

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: qk_pw_record <sink node name> <frames a cycle>\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    pw_init(&argc, &argv);
    g_loop = pw_main_loop_new(nullptr);
    pw_loop_add_signal(pw_main_loop_get_loop(g_loop), SIGTERM, Quit, nullptr);
    std::string latency = std::string(argv[2]) + "/48000";
    pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Music", PW_KEY_NODE_NAME, "qk-recorder",
                                             PW_KEY_TARGET_OBJECT, argv[1], PW_KEY_STREAM_CAPTURE_SINK, "true",
                                             PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
    pw_stream_events events;
    memset(&events, 0, sizeof events);
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = OnProcess;
    events.state_changed = OnState;
    spa_hook listener;
    // The real-time client configuration, as the player's: the recorder must not be the one
    // that drops out on a busy machine.
    g_context = pw_context_new(pw_main_loop_get_loop(g_loop),
                               pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    g_core = g_context ? pw_context_connect(g_context, nullptr, 0) : nullptr;
    if (!g_core) return 1;
    g_stream = pw_stream_new(g_core, "qk-recorder", props);
    if (!g_stream) return 1;
    pw_stream_add_listener(g_stream, &listener, &events, nullptr);
    uint8_t pod[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(pod, sizeof pod);
    spa_audio_info_raw info;
    memset(&info, 0, sizeof info);
    info.format = SPA_AUDIO_FORMAT_S16;
    info.channels = 2;
    info.rate = 48000;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod *params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    if (pw_stream_connect(g_stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                          (pw_stream_flags)(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                            PW_STREAM_FLAG_RT_PROCESS),
                          params, 1) < 0)
        return 1;
    pw_main_loop_run(g_loop);
    pw_stream_destroy(g_stream);
    pw_core_disconnect(g_core);
    pw_context_destroy(g_context);
    pw_main_loop_destroy(g_loop);
    pw_deinit();
    return 0;
}
