// A JACK recorder for the sound tests: a client with two input ports that follows the
// ports it is given (connecting to them whenever they appear, so that it may start before
// the player) and writes what reaches it to stdout as 16-bit little-endian stereo, as
// parec writes a sink's monitor. Ends when stdout is closed, on SIGTERM or when the
// server goes.
//
//   qk_jack_record <client name> <port> <port>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace {

jack_client_t *g_client = nullptr;
jack_port_t *g_in[2];
jack_ringbuffer_t *g_ring = nullptr;
std::atomic<bool> g_connect{true};
std::atomic<bool> g_end{false};
std::atomic<unsigned> g_cycles{0};
std::string g_sources[2];

int16_t ToSample(float v) {
    float s = v * 32768.0f;
    if (s >= 32767.0f) return 32767;
    if (s <= -32768.0f) return -32768;
    return (int16_t)(s < 0 ? s - 0.5f : s + 0.5f);
}

int Process(jack_nframes_t n, void *) {
    g_cycles++;
    const float *in[2] = {(const float *)jack_port_get_buffer(g_in[0], n),
                          (const float *)jack_port_get_buffer(g_in[1], n)};
    for (jack_nframes_t i = 0; i < n; i++) {
        int16_t frame[2] = {ToSample(in[0][i]), ToSample(in[1][i])};
        if (jack_ringbuffer_write_space(g_ring) >= sizeof frame) jack_ringbuffer_write(g_ring, (const char *)frame, sizeof frame);
    }
    return 0;
}

void Registered(jack_port_id_t, int registered, void *) {
    if (registered) g_connect = true;
}

void Gone(void *) { g_end = true; }
void Stop(int) { g_end = true; }
void Quiet(const char *) {}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: qk_jack_record <client name> <port> <port>\n");
        return 2;
    }
    signal(SIGTERM, Stop);
    signal(SIGPIPE, SIG_IGN);
    jack_set_error_function(Quiet);
    g_sources[0] = argv[2];
    g_sources[1] = argv[3];
    jack_status_t status;
    g_client = jack_client_open(argv[1], JackNoStartServer, &status);
    if (!g_client) {
        fprintf(stderr, "qk_jack_record: no JACK server\n");
        return 1;
    }
    g_ring = jack_ringbuffer_create(1 << 22);
    g_in[0] = jack_port_register(g_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    g_in[1] = jack_port_register(g_client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(g_client, Process, nullptr);
    jack_set_port_registration_callback(g_client, Registered, nullptr);
    jack_on_shutdown(g_client, Gone, nullptr);
    if (!g_in[0] || !g_in[1] || jack_activate(g_client) != 0) return 1;
    char buf[4096];
    while (!g_end) {
        // Connected only once the client has run a few cycles: a connection made while
        // jackd is still bringing a just activated client into its graph can leave that
        // client never woken again (jackd 1.9.21 then reports it "not finished" every cycle).
        if (g_cycles >= 4 && g_connect.exchange(false))
            for (int c = 0; c < 2; c++) jack_connect(g_client, g_sources[c].c_str(), jack_port_name(g_in[c]));
        size_t n = jack_ringbuffer_read(g_ring, buf, sizeof buf);
        if (n == 0) {
            usleep(1000);
            continue;
        }
        if (fwrite(buf, 1, n, stdout) != n) break;
        fflush(stdout);
    }
    jack_client_close(g_client);
    return 0;
}
