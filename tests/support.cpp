#include "tests/support.h"

#include <grp.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/win32.h"
#include "sound/sound.h"
#include "window/window.h"

namespace fs = std::filesystem;

void StandinTest::SetUp() {
    std::string tmpl = (fs::temp_directory_path() / "qk-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    root = buf.data();
    home = root + "/home";
    config = root + "/config/qksonnerix";
    driveD = root + "/media";
    MakeDirs(home);
    MakeDirs(driveD);
    MakeDirs(config + "/dosdevices");
    ASSERT_EQ(symlink(home.c_str(), (config + "/dosdevices/c:").c_str()), 0);
    ASSERT_EQ(symlink(driveD.c_str(), (config + "/dosdevices/d:").c_str()), 0);
    ASSERT_EQ(symlink("/", (config + "/dosdevices/z:").c_str()), 0);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ASSERT_EQ(chdir(home.c_str()), 0);
    ResetProgram();
}

// Steps a test scripted that never ran mean the program ended early: the checks in them
// were never made.
static void CheckEveryStepRan() {
    size_t pending = qk::headless::PendingSteps();
    if (pending) ADD_FAILURE() << pending << " scripted step(s) never ran: the program ended before it waited for them";
}

void StandinTest::ResetProgram() {
    CheckEveryStepRan();
    qk::headless::Reset();
    for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
    // The program's globals as at process start.
    memset(SlotTable, 0, sizeof SlotTable);
    memset(ScratchText, 0, sizeof ScratchText);
    OptionSync = OptionLoop = OptionAuto = OptionNotify = OptionRehearse = 0;
    PlayFlags = SND_MEMORY | SND_ASYNC;
    LastSlot = 0;
    MainInstance = nullptr;
    StatusBar = nullptr;
    memset(SlotButtons, 0, sizeof SlotButtons);
}

void StandinTest::TearDown() {
    CheckEveryStepRan();
    qk::headless::Reset();  // windows go while their world still exists
    for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
    if (chdir("/") != 0) { /* nothing to do */ }
    std::error_code ec;
    // Undo any permission a test took away, so that the tree can go.
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0755);
    }
    chmod(root.c_str(), 0755);
    fs::remove_all(root, ec);
}

std::string StandinTest::IniPath(const std::string &name) const { return config + "/" + name; }

void StandinTest::MakeDirs(const std::string &path) { fs::create_directories(path); }

void StandinTest::WriteFile(const std::string &path, const std::string &bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string StandinTest::ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string StandinTest::Key(const char *key, const char *section) {
    char buf[1100];
    DWORD n = GetPrivateProfileStringA(section, key, "<absent>", buf, sizeof buf, "ZELVRANT.INI");
    return std::string(buf, n);
}

int StandinTest::RunUnprivileged(std::function<void()> check) {
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (geteuid() == 0) {
            const uid_t nobody = 65534;
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
                 it.increment(ec))
                if (lchown(it->path().c_str(), nobody, nobody) != 0) _exit(90);
            if (lchown(root.c_str(), nobody, nobody) != 0) _exit(90);
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(91);
            if (geteuid() == 0 || setuid(0) == 0) _exit(92);  // privileges really gone
        }
        check();
        fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
