// A JACK MIDI client for the remote tests and the benchmark: what a pad controller is to
// the player. It has an output port "midi_out" and an input port "midi_in".
//
//   jack_midi_peer NAME
//
// Reads commands from stdin, one a line: "send B1 B2 [B3]" (hexadecimal bytes) sends one
// MIDI message in the next cycle; "quit" ends. Writes to stdout, one a line:
//   ready                 the client is active
//   sent NS               a message went out, at CLOCK_MONOTONIC nanoseconds NS (taken in
//                         the cycle that wrote it)
//   in B1 B2 B3           a message came in on midi_in (hexadecimal, as sent)
// The server is the one JACK_DEFAULT_SERVER names; none running ends it with exit code 1.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

struct Event {
    uint8_t size;
    uint8_t bytes[3];
    uint64_t ns;
};

jack_port_t *g_out = nullptr, *g_in = nullptr;
jack_ringbuffer_t *g_toSend = nullptr, *g_sent = nullptr, *g_heard = nullptr;
std::atomic<bool> g_done{false};

uint64_t NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

int Process(jack_nframes_t frames, void *) {
    void *out = jack_port_get_buffer(g_out, frames);
    jack_midi_clear_buffer(out);
    Event e;
    while (jack_ringbuffer_read_space(g_toSend) >= sizeof e) {
        jack_ringbuffer_read(g_toSend, (char *)&e, sizeof e);
        if (jack_midi_event_write(out, 0, e.bytes, e.size) == 0) {
            e.ns = NowNs();
            jack_ringbuffer_write(g_sent, (const char *)&e, sizeof e);
        }
    }
    void *in = jack_port_get_buffer(g_in, frames);
    uint32_t n = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < n; i++) {
        jack_midi_event_t m;
        if (jack_midi_event_get(&m, in, i) != 0 || m.size == 0 || m.size > 3) continue;
        Event h = {(uint8_t)m.size, {0, 0, 0}, 0};
        memcpy(h.bytes, m.buffer, m.size);
        jack_ringbuffer_write(g_heard, (const char *)&h, sizeof h);
    }
    return 0;
}

// Prints what the process callback noted, until the end.
void Report() {
    while (!g_done) {
        Event e;
        bool any = false;
        while (jack_ringbuffer_read_space(g_sent) >= sizeof e) {
            jack_ringbuffer_read(g_sent, (char *)&e, sizeof e);
            printf("sent %llu\n", (unsigned long long)e.ns);
            any = true;
        }
        while (jack_ringbuffer_read_space(g_heard) >= sizeof e) {
            jack_ringbuffer_read(g_heard, (char *)&e, sizeof e);
            printf("in");
            for (int i = 0; i < e.size; i++) printf(" %02x", e.bytes[i]);
            printf("\n");
            any = true;
        }
        if (any) fflush(stdout);
        usleep(1000);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: jack_midi_peer NAME\n");
        return 2;
    }
    jack_status_t status;
    jack_client_t *client = jack_client_open(argv[1], JackNoStartServer, &status);
    if (!client) {
        fprintf(stderr, "jack_midi_peer: no JACK server (status 0x%x)\n", (unsigned)status);
        return 1;
    }
    g_toSend = jack_ringbuffer_create(64 * sizeof(Event));
    g_sent = jack_ringbuffer_create(64 * sizeof(Event));
    g_heard = jack_ringbuffer_create(256 * sizeof(Event));
    g_out = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    g_in = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!g_out || !g_in || !g_toSend || !g_sent || !g_heard) return 1;
    jack_set_process_callback(client, Process, nullptr);
    if (jack_activate(client) != 0) return 1;
    printf("ready\n");
    fflush(stdout);
    std::thread reporter(Report);
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        if (strncmp(line, "quit", 4) == 0) break;
        if (strncmp(line, "send ", 5) != 0) continue;
        Event e = {0, {0, 0, 0}, 0};
        char *p = line + 5;
        while (e.size < 3) {
            char *end;
            unsigned long b = strtoul(p, &end, 16);
            if (end == p) break;
            e.bytes[e.size++] = (uint8_t)b;
            p = end;
        }
        if (e.size) jack_ringbuffer_write(g_toSend, (const char *)&e, sizeof e);
    }
    g_done = true;
    reporter.join();
    jack_client_close(client);
    return 0;
}
