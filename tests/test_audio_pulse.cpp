// The engine on a real PulseAudio server (a private one, with a null sink at 48 kHz),
// through the desktop driver's own stream: the output runs at the sink's rate, every
// frame of a sound reaches the sink in order, the stream is corked while nothing plays,
// and while the server is gone the silent clock keeps time, so synchronous plays last
// their length.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "tests/support.h"
#include "tests/waiting.h"
#include "tests/wavgen.h"

namespace {

class PulseOutput : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        dir = root + "/pulse";
        socketPath = dir + "/native";
        MakeDirs(dir + "/runtime");
        WriteFile(dir + "/server.pa",
                  "load-module module-null-sink sink_name=qk_main rate=48000\n"
                  "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socketPath + "\n"
                  "set-default-sink qk_main\n");
        WriteFile(dir + "/client.conf", "autospawn = no\n");
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir + "/runtime").c_str(), 1);
    }
    void TearDown() override {
        qk::sound::Close();
        KillServer();
        unsetenv("PULSE_SERVER");
        unsetenv("QKSONNERIX_AUDIO_AWAKE");
        unsetenv("QKSONNERIX_AUDIO_BUFFER_MS");
        StandinTest::TearDown();
    }
    // pulseaudio -n with the sink and a socket of its own; returns once it accepts clients.
    void StartServer() {
        server = fork();
        if (server == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test binary that crashed
            int log = open((dir + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(log, 1);
            dup2(log, 2);
            setenv("HOME", dir.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
            setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
            unsetenv("DISPLAY");
            execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--log-target=stderr", "-F", (dir + "/server.pa").c_str(), (char *)nullptr);
            _exit(127);
        }
        ASSERT_GT(server, 0);
        WaitUntil([&] { return Accepts(); }, "the sound server");
    }
    bool Accepts() {
        int status;
        if (waitpid(server, &status, WNOHANG) == server) {
            ADD_FAILURE() << "the sound server ended: " << ReadFile(dir + "/server.log");
            server = -1;
            return true;
        }
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", socketPath.c_str());
        bool ok = connect(fd, (struct sockaddr *)&a, sizeof a) == 0;
        close(fd);
        return ok;
    }
    void KillServer() {
        if (server <= 0) return;
        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
        server = -1;
        unlink(socketPath.c_str());
    }
    // What `pactl list sink-inputs` says of our stream's "Corked:" line ("yes", "no"),
    // or "" when there is no stream.
    std::string Corked() {
        FILE *p = popen("pactl list sink-inputs 2>/dev/null", "r");
        if (!p) return "";
        std::string out;
        char line[512];
        while (fgets(line, sizeof line, p)) {
            const char *at = strstr(line, "Corked: ");
            if (at) out = std::string(at + 8, strcspn(at + 8, "\n"));
        }
        pclose(p);
        return out;
    }
    // The "Buffer Latency:" pactl reports for our stream, in microseconds (-1: none).
    long BufferLatency() {
        FILE *p = popen("pactl list sink-inputs 2>/dev/null", "r");
        if (!p) return -1;
        long usec = -1;
        char line[512];
        while (fgets(line, sizeof line, p)) {
            const char *at = strstr(line, "Buffer Latency: ");
            if (at) usec = atol(at + 16);
        }
        pclose(p);
        return usec;
    }
    std::string dir, socketPath;
    pid_t server = -1;
};

// Records the sink's monitor (16-bit stereo at 48 kHz) from a parec of its own.
class MonitorRecording {
public:
    MonitorRecording() {
        pipe = popen("exec parec --raw --format=s16le --channels=2 --rate=48000 --latency-msec=5 -d qk_main.monitor",
                     "r");
        if (pipe) reader = std::thread([this] { Read(); });
    }
    ~MonitorRecording() {
        if (pipe) {
            system("pkill -TERM -P $PPID -x parec >/dev/null 2>&1 || true");
        }
        if (reader.joinable()) reader.join();
        if (pipe) pclose(pipe);
    }
    size_t Frames() {
        std::lock_guard<std::mutex> lock(mutex);
        return samples.size() / 2;
    }
    std::vector<int16_t> Samples() {
        std::lock_guard<std::mutex> lock(mutex);
        return samples;
    }

private:
    void Read() {
        int16_t buffer[1024];
        size_t got;
        while ((got = fread(buffer, sizeof(int16_t), 1024, pipe)) > 0) {
            std::lock_guard<std::mutex> lock(mutex);
            samples.insert(samples.end(), buffer, buffer + got);
        }
    }
    FILE *pipe = nullptr;
    std::thread reader;
    std::mutex mutex;
    std::vector<int16_t> samples;
};

// A 48 kHz stereo sound whose every frame is told apart by its left sample (1, 2, 3, ...),
// its right sample naming the sound, so that the sink's monitor shows where each frame went.
std::string CountingSound(int frames, int16_t mark) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames; i++) {
        s.push_back((int16_t)(i + 1));
        s.push_back(mark);
    }
    return MakeWav16(48000, 2, s);
}

// Where in the recording the sound named `mark` begins (its frame 1), or -1.
long FindStart(const std::vector<int16_t> &rec, int16_t mark, size_t from = 0) {
    for (size_t f = from; f + 1 < rec.size() / 2 + 1 && 2 * f + 1 < rec.size(); f++)
        if (rec[2 * f] == 1 && rec[2 * f + 1] == mark) return (long)f;
    return -1;
}

// How many frames of the sound named `mark` follow each other unbroken from `start`.
int Unbroken(const std::vector<int16_t> &rec, long start, int16_t mark) {
    int n = 0;
    for (size_t f = (size_t)start; 2 * f + 1 < rec.size(); f++, n++)
        if (rec[2 * f] != (int16_t)(n + 1) || rec[2 * f + 1] != mark) break;
    return n;
}

TEST_F(PulseOutput, TheOutputRunsAtTheSinksRate) {
    StartServer();
    qk::sound::Open();
    EXPECT_EQ(qk::sound::OutputRate(), 48000);
}

TEST_F(PulseOutput, ASynchronousPlayWhileTheServerIsGoneLastsItsLength) {
    StartServer();
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    KillServer();
    // 0.3 s at 44.1 kHz: 14400 frames of the 48 kHz output.
    std::string img = MakeWav16(44100, 1, std::vector<int16_t>(13230, 3000));
    for (int i = 0; i < 3; i++) {  // the first may meet the device going, the others the silent clock
        uint64_t before = qk::sound::RenderedFrames();
        ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY)) << i;
        EXPECT_GE(qk::sound::RenderedFrames() - before, 14400u) << i;
        EXPECT_FALSE(qk::sound::IsPlaying());
    }
    // The clock goes on at the device's rate, and a sound comes back with the server.
    StartServer();
    std::string loop = MakeWav16(44100, 1, std::vector<int16_t>(4410, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForFrames(48000);
    EXPECT_TRUE(qk::sound::IsPlaying());
    EXPECT_EQ(qk::sound::OutputRate(), 48000);
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));  // before the loop's memory goes
}

TEST_F(PulseOutput, EveryFrameOfEachSoundReachesTheSinkInOrder) {
    StartServer();
    MonitorRecording monitor;
    // A new recording of an idle sink gets its first data only after a while.
    WaitUntil([&] { return monitor.Frames() > 0; }, "the monitor's first data");
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    const int kFrames = 6000;  // 125 ms: longer than the stream's queue
    std::string first = CountingSound(kFrames, 111), second = CountingSound(kFrames, 222);
    std::string third = CountingSound(kFrames, 333), loop = CountingSound(kFrames, 444);
    std::string before = CountingSound(kFrames, 555);

    // Two synchronous plays, one straight after the other, from a corked stream; then
    // another play after the stream was corked again: each whole, the end included (the
    // second play must not cut off what the stream still held of the first).
    ASSERT_TRUE(sndPlaySoundA(before.c_str(), SND_MEMORY));
    ASSERT_TRUE(sndPlaySoundA(first.c_str(), SND_MEMORY));
    WaitUntil([&] { return Corked() == "yes"; }, "the stream to be corked");
    ASSERT_TRUE(sndPlaySoundA(second.c_str(), SND_MEMORY | SND_ASYNC));
    // A play while a loop plays cuts in: the loop's queue is dropped, and the new sound
    // follows whole.
    WaitUntil([&] { return !qk::sound::IsPlaying(); }, "the second sound's end");
    WaitUntil([&] { return Corked() == "yes"; }, "the second sound to be heard out");
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForFrames(kFrames * 2);
    ASSERT_TRUE(sndPlaySoundA(third.c_str(), SND_MEMORY | SND_ASYNC));
    WaitUntil([&] { return !qk::sound::IsPlaying(); }, "the third sound's end");
    WaitUntil([&] { return Corked() == "yes"; }, "the stream to be corked again");
    size_t heard = monitor.Frames();
    WaitUntil([&] { return monitor.Frames() >= heard + 4800; }, "the monitor to catch up");

    std::vector<int16_t> rec = monitor.Samples();
    struct Case {
        int16_t mark;
        int whole;
    } cases[] = {{555, kFrames}, {111, kFrames}, {222, kFrames}, {333, kFrames}};
    long after = 0;
    for (const Case &c : cases) {
        long start = FindStart(rec, c.mark, (size_t)after);
        ASSERT_GE(start, 0) << "sound " << c.mark << " never began at the sink";
        EXPECT_EQ(Unbroken(rec, start, c.mark), c.whole) << "sound " << c.mark << " at " << start;
        after = start;
    }
    // The loop was heard, then cut short where the third sound began.
    long loopStart = FindStart(rec, 444);
    long thirdStart = FindStart(rec, 333);
    ASSERT_GE(loopStart, 0);
    EXPECT_LT(loopStart, thirdStart);
    EXPECT_GE(thirdStart - loopStart, kFrames * 2 - 48);
    EXPECT_EQ(Unbroken(rec, loopStart, 444), kFrames) << "the loop's first pass";
}

TEST_F(PulseOutput, AStreamKeptAwakeIsNeverCorked) {
    setenv("QKSONNERIX_AUDIO_AWAKE", "1", 1);
    StartServer();
    qk::sound::Open();
    WaitUntil([&] { return Corked() == "no"; }, "the stream to run");
    std::string sound = MakeWav16(48000, 1, std::vector<int16_t>(2400, 3000));
    ASSERT_TRUE(sndPlaySoundA(sound.c_str(), SND_MEMORY));
    // Well past the time a stream is corked after its last sound.
    WaitForFrames(48000);
    EXPECT_EQ(Corked(), "no");
}

TEST_F(PulseOutput, TheStreamIsCorkedOnlyWhileNothingPlays) {
    StartServer();
    qk::sound::Open();
    WaitUntil([&] { return Corked() != ""; }, "the stream");
    EXPECT_EQ(Corked(), "yes") << "before any sound";
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    EXPECT_EQ(Corked(), "no") << "while a loop plays";
    WaitForFrames(48000);
    EXPECT_EQ(Corked(), "no") << "a second later";
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    WaitUntil([&] { return Corked() == "yes"; }, "the stream to be corked after the stop");
    // A refused image stops what plays, and leaves the stream corked.
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    EXPECT_EQ(Corked(), "no");
    EXPECT_FALSE(sndPlaySoundA("not a sound at all", SND_MEMORY | SND_ASYNC));
    WaitUntil([&] { return Corked() == "yes"; }, "the stream to be corked after a refused image");
}

TEST_F(PulseOutput, TheQueueIsAsLongAsAsked) {
    struct Case {
        const char *asked;
        long least, most;  // the stream's buffer latency, in microseconds
    } cases[] = {
        {nullptr, 30000, 60000},  // 60 ms in all, part of it the sink's own
        {"200", 100000, 200000},
        {"2", 1000, 5000},        // no fewer than 4 ms
        {"lots", 30000, 60000},   // not a number: the usual length
    };
    StartServer();
    for (const Case &c : cases) {
        if (c.asked) setenv("QKSONNERIX_AUDIO_BUFFER_MS", c.asked, 1);
        else unsetenv("QKSONNERIX_AUDIO_BUFFER_MS");
        qk::sound::Open();
        WaitUntil([&] { return BufferLatency() >= 0; }, "the stream");
        long usec = BufferLatency();
        EXPECT_GE(usec, c.least) << (c.asked ? c.asked : "(not set)");
        EXPECT_LE(usec, c.most) << (c.asked ? c.asked : "(not set)");
        qk::sound::Close();
        WaitUntil([&] { return BufferLatency() < 0; }, "the stream to go");
    }
}

TEST_F(PulseOutput, AServerThatStopsAnsweringCountsAsLost) {
    StartServer();
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForFrames(4800);
    // The server hangs: it keeps its socket but answers nothing.
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    // A synchronous play still ends after its length, on the silent clock (played from a
    // thread of its own, so that a hang fails the test instead of stopping it).
    std::string sound = MakeWav16(48000, 1, std::vector<int16_t>(9600, 3000));
    std::atomic<bool> returned{false};
    uint64_t before = qk::sound::RenderedFrames();
    std::thread player([&] {
        sndPlaySoundA(sound.c_str(), SND_MEMORY);
        returned = true;
    });
    bool ended = WaitUntil([&] { return returned.load(); }, "the synchronous play to end");
    if (!ended) kill(server, SIGCONT);  // lets the play end, so the thread can be joined
    player.join();
    EXPECT_GE(qk::sound::RenderedFrames() - before, 9600u);
    // The server answers again: the loop is heard on it (a recording made from now on
    // hears only a stream that runs now).
    ASSERT_EQ(kill(server, SIGCONT), 0);
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    MonitorRecording monitor;
    WaitUntil(
        [&] {
            std::vector<int16_t> heard = monitor.Samples();
            return std::count(heard.begin(), heard.end(), (int16_t)3000) > 0;
        },
        "the loop at the sink");
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));  // before the sounds' memory goes
}

}  // namespace
