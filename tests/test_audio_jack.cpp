// The engine on a real JACK server (a private jackd with its dummy driver, 48 kHz, 128
// frames a period), through the desktop driver's JACK output: the output runs at JACK's
// rate, every frame of each sound reaches the ports in order and synchronous plays follow
// each other closely, and while the server is gone the silent clock keeps time until it
// is back. The test is itself a JACK client, recording what reaches the player's ports.
#include <jack/jack.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "tests/support.h"
#include "tests/waiting.h"
#include "tests/wavgen.h"

namespace {

// What reaches two input ports of a client of the test's own, as 16-bit stereo.
class PortRecording {
public:
    PortRecording() {
        jack_status_t status;
        client = jack_client_open("qk-test-recorder", JackNoStartServer, &status);
        if (!client) return;
        in[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        in[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, RecordJackPorts, this);
        jack_set_xrun_callback(client, CountXruns, this);
        jack_activate(client);
    }
    ~PortRecording() {
        if (client) jack_client_close(client);
    }
    bool Open() const { return client != nullptr; }
    // Connected only once the recorder has run a few cycles (a connection made while its
    // first cycles are still being set up can leave it never woken again), and returns once
    // the connection has been in the graph for a few more.
    bool Connect() {
        if (!WaitCycles(4)) return false;
        if (jack_connect(client, "QK Sonnerix:out_1", "qk-test-recorder:in_1") != 0 ||
            jack_connect(client, "QK Sonnerix:out_2", "qk-test-recorder:in_2") != 0)
            return false;
        return WaitCycles(cycles.load() + 4);
    }
    std::vector<int16_t> Samples() {
        std::lock_guard<std::mutex> lock(mutex);
        return samples;
    }
    // Cycles of the server that a client missed (xruns), as JACK tells every client.
    std::atomic<int> xruns{0};

private:
    // The port buffers live in JACK's shared memory, written by the player's client in its
    // own thread; the server orders the two clients' cycles with futexes in that memory,
    // which ThreadSanitizer cannot see (tests/tsan.supp names this function).
    static int RecordJackPorts(jack_nframes_t n, void *self) {
        auto *r = (PortRecording *)self;
        const float *a = (const float *)jack_port_get_buffer(r->in[0], n);
        const float *b = (const float *)jack_port_get_buffer(r->in[1], n);
        std::lock_guard<std::mutex> lock(r->mutex);
        for (jack_nframes_t i = 0; i < n; i++) {
            r->samples.push_back((int16_t)lrintf(a[i] * 32768.0f));
            r->samples.push_back((int16_t)lrintf(b[i] * 32768.0f));
        }
        r->cycles++;
        return 0;
    }
    static int CountXruns(void *self) {
        ((PortRecording *)self)->xruns++;
        return 0;
    }
    bool WaitCycles(int count) {
        return WaitUntil([&] { return cycles.load() >= count; }, "the recorder's cycles");
    }
    std::atomic<int> cycles{0};
    jack_client_t *client = nullptr;
    jack_port_t *in[2] = {nullptr, nullptr};
    std::mutex mutex;
    std::vector<int16_t> samples;
};

class JackOutput : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        name = "qk-audio-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        jack_set_error_function([](const char *) {});  // the probes of a server still starting
        ASSERT_TRUE(qk::driver::AudioChooseOutput("jack"));
    }
    void TearDown() override {
        qk::sound::Close();
        StopServer();
        qk::driver::AudioChooseOutput(nullptr);
        unsetenv("JACK_DEFAULT_SERVER");
        StandinTest::TearDown();
    }
    void StartServer() {
        server = fork();
        if (server == 0) {
            // Never outlives a test binary that crashed or was halted by a sanitizer, and ends
            // as a user stops it, taking its row out of jackd's table of the machine's servers
            // (a SIGKILL would leave the row, and eight such rows keep every later server
            // from starting). A client that died with the binary gives it EPIPE, not SIGPIPE.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            signal(SIGPIPE, SIG_IGN);
            freopen((root + "/jackd.log").c_str(), "a", stdout);
            freopen((root + "/jackd.log").c_str(), "a", stderr);
            execlp("jackd", "jackd", "-n", name.c_str(), "-d", "dummy", "-r", "48000", "-p", "128", (char *)nullptr);
            _exit(127);
        }
        ASSERT_GT(server, 0);
        bool ended = false;
        WaitUntil(
            [&] {
                if (waitpid(server, nullptr, WNOHANG) == server) return ended = true;
                jack_status_t status;
                jack_client_t *probe = jack_client_open("qk-test-probe", JackNoStartServer, &status);
                if (probe) jack_client_close(probe);
                return probe != nullptr;
            },
            "the JACK server");
        if (ended) {
            server = -1;
            FAIL() << "jackd ended: " << ReadFile(root + "/jackd.log");
        }
    }
    // As a crash would. The server leaves its row in jackd's table of the machine's servers
    // (eight at the most) until one of the same name starts: the test starts it again.
    void KillServer() { EndServer(SIGKILL); }
    // As a user stops it: the server takes its row away.
    void StopServer() { EndServer(SIGTERM); }
    void EndServer(int sig) {
        if (server <= 0) return;
        kill(server, sig);
        waitpid(server, nullptr, 0);
        server = -1;
    }
    std::string name;
    pid_t server = -1;
};

// What is wrong with three synchronous plays of `frames` each, marked mark, mark + 1 and
// mark + 2, in a recording from its frame `from`; empty when nothing is.
std::string SynchronousPlaysWrong(const std::vector<int16_t> &rec, size_t from, int16_t mark, int frames) {
    long previousEnd = -1;
    for (int n = 0; n < 3; n++) {
        int16_t m = (int16_t)(mark + n);
        long start = FindStart(rec, m, from);
        if (start < 0) return "sound " + std::to_string(m) + " never reached the ports";
        int unbroken = Unbroken(rec, start, m);
        if (unbroken != frames)
            return "sound " + std::to_string(m) + ": " + std::to_string(unbroken) + " frames unbroken of " +
                   std::to_string(frames);
        if (previousEnd >= 0 && start < previousEnd)
            return "sound " + std::to_string(m) + " began before the one before ended";
        if (previousEnd >= 0 && start - previousEnd >= 4800)
            return "sound " + std::to_string(m) + " began " + std::to_string(start - previousEnd) +
                   " frames after the one before ended";
        previousEnd = start + frames;
    }
    return "";
}

TEST_F(JackOutput, SynchronousPlaysReachThePortsWholeAndCloseTogether) {
    StartServer();
    qk::sound::Open();
    EXPECT_EQ(qk::sound::OutputRate(), 48000);
    PortRecording recording;
    ASSERT_TRUE(recording.Open());
    ASSERT_TRUE(recording.Connect());
    const int kFrames = 9600;  // 0.2 s
    // A cycle that a client missed (an xrun, which JACK tells the recorder of) breaks what
    // reaches the ports, whichever client was late; under ThreadSanitizer the player's
    // client is slow enough for one now and then. A round with an xrun in it is played
    // again, up to five rounds; a fault in a round without one, or in every round, fails.
    std::string wrong;
    int rounds = 0;
    for (int round = 0; round < 5; round++) {
        rounds = round + 1;
        int xruns = recording.xruns.load();
        size_t from = recording.Samples().size() / 2;
        int16_t mark = (int16_t)(901 + 10 * round);
        std::string sounds[3] = {CountingSound(kFrames, mark), CountingSound(kFrames, (int16_t)(mark + 1)),
                                 CountingSound(kFrames, (int16_t)(mark + 2))};
        for (const std::string &sound : sounds) ASSERT_TRUE(sndPlaySoundA(sound.c_str(), SND_MEMORY));
        WaitForFrames(4800);  // a tenth of a second of silence after the last
        wrong = SynchronousPlaysWrong(recording.Samples(), from, mark, kFrames);
        if (wrong.empty() || recording.xruns.load() == xruns) break;
    }
    EXPECT_EQ(wrong, "") << "in round " << rounds << " (" << recording.xruns.load() << " xruns in all)";
}

TEST_F(JackOutput, WhileTheServerIsGoneTheClockKeepsTimeAndTheServerIsFollowedBack) {
    StartServer();
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    testing::internal::CaptureStderr();
    KillServer();
    std::string img = MakeWav16(48000, 1, std::vector<int16_t>(9600, 3000));
    for (int i = 0; i < 3; i++) {  // the first may meet the output going, the others the silent clock
        uint64_t before = qk::sound::RenderedFrames();
        ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY)) << i;
        EXPECT_GE(qk::sound::RenderedFrames() - before, 9600u) << i;
        EXPECT_FALSE(qk::sound::IsPlaying());
    }
    StartServer();
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    PortRecording recording;
    ASSERT_TRUE(recording.Open());
    WaitUntil(
        [&] {
            recording.Connect();
            std::vector<int16_t> heard = recording.Samples();
            return std::count(heard.begin(), heard.end(), (int16_t)3000) > 0;
        },
        "the loop at the ports");
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qksonnerix: the sound output was lost; playing silently until it is back\n"
              "qksonnerix: the sound output is back (JACK: system:playback_1, system:playback_2, 48000 Hz)\n");
}

}  // namespace
