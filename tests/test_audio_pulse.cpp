// The engine on a real PulseAudio server (a private one, with a null sink at 48 kHz),
// through SDL's PulseAudio backend: the output runs at the sink's rate, and while the
// server is gone the silent clock keeps time, so synchronous plays last their length.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
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
    std::string dir, socketPath;
    pid_t server = -1;
};

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
}

}  // namespace
