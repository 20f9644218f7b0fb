// The engine on a real PulseAudio server (a private one, with a null sink at 48 kHz),
// through the desktop driver's own stream: the output runs at the sink's rate, every
// frame of a sound reaches the sink in order, the stream is corked while nothing plays,
// and while the server is gone the silent clock keeps time, so synchronous plays last
// their length.
#include <errno.h>
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
                  "load-module module-null-sink sink_name=qk_other rate=48000\n"
                  "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socketPath + "\n"
                  "load-module module-cli-protocol-unix socket=" + dir + "/cli\n"
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
    // A command to the server's command line interface (its own socket); true when it
    // answered without an error.
    bool Command(const std::string &line) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", (dir + "/cli").c_str());
        if (connect(fd, (struct sockaddr *)&a, sizeof a) != 0) {
            close(fd);
            return false;
        }
        // The end of what is sent ends the session ("exit" would end the server).
        std::string sent = line + "\n";
        bool ok = write(fd, sent.data(), sent.size()) == (ssize_t)sent.size();
        shutdown(fd, SHUT_WR);
        std::string answer;
        char buf[512];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) answer.append(buf, (size_t)n);
        close(fd);
        return ok && answer.find("No ") == std::string::npos && answer.find("rror") == std::string::npos;
    }
    std::string dir, socketPath;
    pid_t server = -1;
};

// Records the sink's monitor (16-bit stereo at 48 kHz) from a parec of its own, ended by
// its process id when the recording goes.
class MonitorRecording {
public:
    explicit MonitorRecording(const char *source = "qk_main.monitor") {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        recorder = fork();
        if (recorder == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(fds[1], 1);
            execlp("parec", "parec", "--raw", "--format=s16le", "--channels=2", "--rate=48000", "--latency-msec=5",
                   "-d", source, (char *)nullptr);
            _exit(127);
        }
        close(fds[1]);
        if (recorder < 0) {
            close(fds[0]);
            return;
        }
        input = fds[0];
        reader = std::thread([this] { Read(); });
    }
    ~MonitorRecording() {
        if (recorder > 0) {
            kill(recorder, SIGTERM);
            waitpid(recorder, nullptr, 0);
        }
        if (reader.joinable()) reader.join();
        if (input >= 0) close(input);
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
        size_t pending = 0;  // bytes of a sample cut by a short read
        unsigned char *bytes = (unsigned char *)buffer;
        for (;;) {
            ssize_t got = read(input, bytes + pending, sizeof buffer - pending);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;
            size_t total = pending + (size_t)got, whole = total / sizeof(int16_t);
            {
                std::lock_guard<std::mutex> lock(mutex);
                samples.insert(samples.end(), buffer, buffer + whole);
            }
            pending = total - whole * sizeof(int16_t);
            if (pending) bytes[0] = bytes[whole * sizeof(int16_t)];
        }
    }
    pid_t recorder = -1;
    int input = -1;
    std::thread reader;
    std::mutex mutex;
    std::vector<int16_t> samples;
};

// Waits until a sample of `level` is heard at the sink's monitor, recorded from now on.
void WaitForLevelAtSink(int16_t level, const char *what) {
    MonitorRecording monitor;
    WaitUntil(
        [&] {
            std::vector<int16_t> heard = monitor.Samples();
            return std::count(heard.begin(), heard.end(), level) > 0;
        },
        what);
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
    WaitForLevelAtSink(3000, "the loop at the sink");
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));  // before the sounds' memory goes
}

// Two synchronous plays back to back, as Sync audio plays two keys pressed at once: the
// second sound starts at the sink right after the first one's last frame, counted in the
// monitor's frames, and the first is whole (the second never cuts its end off).
TEST_F(PulseOutput, SynchronousPlaysFollowEachOtherWithoutAGap) {
    StartServer();
    MonitorRecording monitor;
    WaitUntil([&] { return monitor.Frames() > 0; }, "the monitor's first data");
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    const int kFrames = 14400;  // 0.3 s
    std::string sounds[4] = {CountingSound(kFrames, 701), CountingSound(kFrames, 702), CountingSound(kFrames, 703),
                             CountingSound(kFrames, 704)};
    for (const std::string &sound : sounds) ASSERT_TRUE(sndPlaySoundA(sound.c_str(), SND_MEMORY));
    WaitUntil([&] { return Corked() == "yes"; }, "the last sound to be heard out");
    size_t heard = monitor.Frames();
    WaitUntil([&] { return monitor.Frames() >= heard + 4800; }, "the monitor to catch up");
    std::vector<int16_t> rec = monitor.Samples();
    long previousEnd = -1;
    for (int n = 0; n < 4; n++) {
        int16_t mark = (int16_t)(701 + n);
        long start = FindStart(rec, mark);
        ASSERT_GE(start, 0) << "sound " << mark << " never began at the sink";
        EXPECT_EQ(Unbroken(rec, start, mark), kFrames) << "sound " << mark;
        if (previousEnd >= 0) {
            long gap = start - previousEnd;
            EXPECT_GE(gap, 0) << "sound " << mark << " began before the one before it ended";
            EXPECT_LT(gap, 4800) << "sound " << mark << " began " << gap << " frames after the one before ended";
        }
        previousEnd = start + kFrames;
    }
}

// A server that hangs (stopped: its socket is there, nothing answers): the output counts
// as lost, and while the keeper tries the server again (each try waits for an answer that
// does not come) the silent clock keeps every synchronous play to its length, counted in
// the frames the clock renders. The server is not given up for another output: once it
// answers again, the stream is back on it.
TEST_F(PulseOutput, AServerThatHangsNeverHoldsTheClockUp) {
    StartServer();
    qk::sound::Open();
    ASSERT_EQ(qk::sound::OutputRate(), 48000);
    testing::internal::CaptureStderr();
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    // The stream no longer runs; once the output counts as lost, the clock renders.
    uint64_t stalled = qk::sound::RenderedFrames();
    bool clock = WaitUntil([&] { return qk::sound::RenderedFrames() > stalled + 4800; }, "the silent clock");
    const int kFrames = 4800;  // 0.1 s
    std::string sound = MakeWav16(48000, 1, std::vector<int16_t>(kFrames, 3000));
    // Played from a thread of its own, so that a hang fails the test instead of stopping it.
    std::atomic<bool> done{false};
    std::vector<uint64_t> rendered;
    std::thread player([&] {
        // Over 4 s: through tries of the server that each wait for its answer.
        for (int i = 0; clock && i < 40; i++) {
            uint64_t before = qk::sound::RenderedFrames();
            sndPlaySoundA(sound.c_str(), SND_MEMORY);
            rendered.push_back(qk::sound::RenderedFrames() - before);
        }
        done = true;
    });
    bool ended = WaitUntil([&] { return done.load(); }, "the synchronous plays to end");
    ASSERT_EQ(kill(server, SIGCONT), 0);
    if (!ended) kill(server, SIGCONT);
    player.join();
    ASSERT_EQ(rendered.size(), clock ? 40u : 0u);
    // The period a play starts in, and the one it ends in.
    const uint64_t kPeriod = qk::sound::kDeviceFrames;
    for (size_t i = 0; i < rendered.size(); i++) {
        EXPECT_GE(rendered[i], (uint64_t)kFrames) << "play " << i;
        EXPECT_LE(rendered[i], (uint64_t)kFrames + 2 * kPeriod) << "play " << i;
    }
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForLevelAtSink(3000, "the loop at the sink");
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "qksonnerix: the sound output was lost; playing silently until it is back\n"
              "qksonnerix: the sound server does not answer; trying it again until it does\n"
              "qksonnerix: the sound output is back (Null Output, 48000 Hz)\n");
}

// The sink inputs of the server, by index.
std::vector<std::string> SinkInputs() {
    std::vector<std::string> ids;
    FILE *p = popen("pactl list short sink-inputs 2>/dev/null", "r");
    if (!p) return ids;
    char line[512];
    while (fgets(line, sizeof line, p)) ids.push_back(std::string(line, strcspn(line, "\t\n")));
    pclose(p);
    return ids;
}

// A stream that fails right after it opens, over and over (here the server kills it as
// soon as it is there): the loss is told once, and so is the output's return; the losses
// that follow are retried ever more slowly and told as a count.
TEST_F(PulseOutput, AnOutputThatKeepsFailingIsRetriedEverMoreSlowly) {
    StartServer();
    testing::internal::CaptureStderr();
    qk::sound::Open();
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    const int kKills = 8;
    std::vector<uint64_t> appeared;  // the frames rendered when each stream came
    std::string last;
    for (int kill = 0; kill < kKills; kill++) {
        std::vector<std::string> now;
        bool came = WaitUntil(
            [&] {
                now = SinkInputs();
                return now.size() == 1 && now[0] != last;
            },
            "the stream to open again");
        if (!came) break;
        appeared.push_back(qk::sound::RenderedFrames());
        last = now[0];
        ASSERT_TRUE(Command("kill-sink-input " + last)) << last;
    }
    ASSERT_EQ(appeared.size(), (size_t)kKills);
    // After the first loss the stream comes back soon; after each loss that follows, later:
    // the six waits from the second stream to the eighth double from 50 ms (3.15 s in all),
    // the last alone 1.6 s.
    uint64_t repeats = appeared.back() - appeared[1];
    uint64_t lastWait = appeared.back() - appeared[kKills - 2];
    EXPECT_GT(repeats, 3u * 48000u) << "six repeats came back within " << repeats / 48 << " ms";
    EXPECT_GT(lastWait, 72000u) << "the last came back after " << lastWait / 48 << " ms";
    // The stream now stays: the count of the repeats is told within the next 10 s.
    WaitUntil([&] { return SinkInputs().size() == 1; }, "the stream to stay");
    WaitForFrames(11 * 48000);
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    std::string err = testing::internal::GetCapturedStderr();
    std::vector<std::string> lines;
    for (size_t at = 0; at < err.size();) {
        size_t end = err.find('\n', at);
        lines.push_back(err.substr(at, end - at));
        at = end == std::string::npos ? err.size() : end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << err;
    EXPECT_EQ(lines[0], "qksonnerix: the sound output was lost; playing silently until it is back");
    EXPECT_EQ(lines[1], "qksonnerix: the sound output is back (Null Output, 48000 Hz)");
    const std::string head = "qksonnerix: the sound output was lost 7 more times in the last ";
    EXPECT_EQ(lines[2].compare(0, head.size(), head), 0) << lines[2];
    long seconds = atol(lines[2].c_str() + head.size());
    EXPECT_EQ(lines[2], head + std::to_string(seconds) + " s");
    EXPECT_GE(seconds, 10);
}

// A sink that stops asking for data while the server itself answers (suspended, as a
// desktop suspends a device another program took): the stream is only slow, not lost.
TEST_F(PulseOutput, ASinkThatIsOnlySlowIsNotCountedLost) {
    StartServer();
    testing::internal::CaptureStderr();
    qk::sound::Open();
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    std::vector<std::string> before;
    WaitUntil([&] { return (before = SinkInputs()).size() == 1; }, "the stream");
    ASSERT_TRUE(Command("suspend-sink qk_main 1"));
    // Four seconds by the server's own clock, on a sink that runs: longer than a running
    // stream may go without a request before the server is asked whether it is there.
    {
        MonitorRecording other("qk_other.monitor");
        WaitUntil([&] { return other.Frames() >= 4u * 48000u; }, "four seconds at the other sink");
    }
    ASSERT_TRUE(Command("suspend-sink qk_main 0"));
    WaitForLevelAtSink(3000, "the loop at the sink again");
    EXPECT_EQ(SinkInputs(), before) << "the stream was opened again";
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A socket that takes no more connections (a hung server whose queue of new connections
// is full: every connection is refused at once, as if no server were there) is still the
// desktop's server: the player says so once, plays on the silent clock, and takes the
// server as soon as one answers there.
TEST_F(PulseOutput, AServerWhoseSocketTakesNoMoreIsWaitedFor) {
    // A listener that never accepts, its one place in the queue taken.
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(bind(listener, (struct sockaddr *)&a, sizeof a), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    int queued = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(queued, (struct sockaddr *)&a, sizeof a);
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    errno = 0;
    ASSERT_NE(connect(probe, (struct sockaddr *)&a, sizeof a), 0);
    ASSERT_EQ(errno, EAGAIN) << "this system queues more connections than asked";
    close(probe);

    testing::internal::CaptureStderr();
    qk::sound::Open();
    std::string sound = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    uint64_t before = qk::sound::RenderedFrames();
    ASSERT_TRUE(sndPlaySoundA(sound.c_str(), SND_MEMORY));
    // 0.1 s at the clock's rate (the one preferred, with no device to follow).
    EXPECT_GE(qk::sound::RenderedFrames() - before, (uint64_t)qk::sound::OutputRate() / 10);
    WaitForFrames(48000);  // a second of tries
    // The server comes, at the same socket.
    close(queued);
    close(listener);
    unlink(socketPath.c_str());
    StartServer();
    std::string loop = MakeWav16(48000, 1, std::vector<int16_t>(4800, 3000));
    ASSERT_TRUE(sndPlaySoundA(loop.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForLevelAtSink(3000, "the loop at the sink");
    ASSERT_TRUE(sndPlaySoundA(nullptr, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qksonnerix: no sound output yet; playing silently until one appears\n"
              "qksonnerix: the sound server does not answer; trying it again until it does\n"
              "qksonnerix: the sound output is back (Null Output, 48000 Hz)\n");
}

}  // namespace
