// The whole program as a process: the stand-in's entry, WinMain and the exit code,
// in a build with the headless driver (which closes the window when it has nothing
// more to do).
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/kernel32/kernel32_test.h"
#include "tests/program.h"
#include "tests/support.h"

namespace {

class Entry : public StandinTest {
protected:
    int RunPlayer() {
        pid_t pid = fork();
        if (pid == 0) {
            execl(QK_HEADLESS_PLAYER, QK_HEADLESS_PLAYER, "ignored", "arguments", (char *)nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(Entry, RunsFromStartToExitAndKeepsItsSettings) {
    SetIni("[QK_Pex]\nLast=5\n");
    EXPECT_EQ(RunPlayer(), 0);
    std::string ini = IniText();
    for (const char *key : {"Lock=0", "Sync=0", "Loop=0", "Auto=1", "Notify=0", "Rehearse=1", "W=768", "Last=5"})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
}

TEST_F(Entry, AMissingSampleAnsweredOkIsEmptied) {
    // A missing sample is asked about; the headless box answers OK, so the run goes on
    // and the key is emptied.
    SetIni("[QK_Pex]\nWave1=C:\\GONE.WAV\n");
    EXPECT_EQ(RunPlayer(), 0);
    EXPECT_EQ(Key("Wave1"), "");
}

}  // namespace

// ---------------------------------------------------------------- start-up, in process

namespace {

namespace hl = qk::headless;

// Settings under which a start that went on would be seen: a missing sample would be
// asked about, and rehearsal and autoplay would play.
const char kSettings[] =
    "[QK_Pex]\r\nWave1=C:\\GONE.WAV\r\nWave2=C:\\SND\\A.WAV\r\nRehearse=1\r\nAuto=1\r\nLast=1\r\n";

class Startup : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        MakeSample("SND/A.WAV");
    }
};

TEST_F(Startup, AnotherPlatformIsRefused) {
    struct Case {
        const char *what;
        unsigned long platform;
        bool withSettings;
    } cases[] = {
        {"the Windows NT family", 2, true},
        {"Win32s", 0, true},
        {"a platform id not known yet", 3, true},
        {"the Windows NT family, first start", 2, false},
    };
    for (const Case &c : cases) {
        ResetProgram();
        unlink(IniPath().c_str());
        if (c.withSettings) SetIni(kSettings);
        qk::SetReportedPlatform(c.platform);
        EXPECT_EQ(RunEndingEarly(), 0) << c.what;
        ASSERT_EQ(hl::Boxes().size(), 1u) << c.what;
        EXPECT_EQ(hl::Boxes()[0].text, "Windows 95 required!") << c.what;
        EXPECT_EQ(hl::Boxes()[0].caption, "") << c.what;
        EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_OK) << c.what;
        EXPECT_EQ(hl::Boxes()[0].owner, nullptr) << c.what;
        EXPECT_EQ(IniText(), c.withSettings ? kSettings : "") << c.what;
        EXPECT_EQ(access(IniPath().c_str(), F_OK) == 0, c.withSettings) << c.what;
        EXPECT_TRUE(hl::Sounds().empty()) << c.what;
        EXPECT_TRUE(qk::wnd::TopLevelWindows().empty()) << c.what;
    }
}

TEST_F(Startup, AFailedVersionQueryEndsWithoutAWord) {
    SetIni(kSettings);
    qk::SetReportedPlatform(1, true);
    EXPECT_EQ(RunEndingEarly(), 0);
    EXPECT_TRUE(hl::Boxes().empty());
    EXPECT_EQ(IniText(), kSettings);
    EXPECT_TRUE(hl::Sounds().empty());
}

TEST_F(Startup, AClassOrWindowThatCannotBeMadeEndsTheStart) {
    struct Case {
        const char *what;
        bool failClass;
    } cases[] = {{"the class is refused", true}, {"the window is refused", false}};
    for (const Case &c : cases) {
        ResetProgram();
        SetIni("[QK_Pex]\r\nWave2=C:\\SND\\A.WAV\r\nRehearse=1\r\nAuto=1\r\nLast=1\r\n");
        if (c.failClass)
            qk::wnd::FailClassRegistration(true);
        else
            qk::wnd::FailWindowsOfClass("QKPEX");
        EXPECT_EQ(RunEndingEarly(), 0) << c.what;
        EXPECT_EQ(SlotTable[1].loaded, 1) << c.what;  // the samples were loaded before
        EXPECT_TRUE(hl::Sounds().empty()) << c.what;  // no rehearsal, no autoplay
        EXPECT_TRUE(hl::Boxes().empty()) << c.what;
        EXPECT_TRUE(qk::wnd::TopLevelWindows().empty()) << c.what;
        EXPECT_EQ(hl::SystemMenuOpened(), 0) << c.what;
        // The options were read (and their defaults written) only when creation was tried.
        EXPECT_EQ(Key("Lock"), c.failClass ? "<absent>" : "0") << c.what;
        for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
    }
}

// The rehearsal plays once the window is shown and its menu built, and before the
// autoplay; it plays asynchronously whatever the options say.
TEST_F(Startup, RehearsalThenAutoplayOnceTheWindowStands) {
    struct Case {
        const char *what;
        const char *sync;
        UINT playFlags;
    } cases[] = {{"asynchronous", "0", SND_MEMORY | SND_ASYNC}, {"Sync on", "1", SND_MEMORY}};
    for (const Case &c : cases) {
        ResetProgram();
        for (int k = 1; k <= SLOT_COUNT; k++) MakeSample("SND/S" + std::to_string(k) + ".WAV", 10 + k);
        std::string ini = "[QK_Pex]\r\nRehearse=1\r\nAuto=1\r\nLast=4\r\nLoop=0\r\nSync=" + std::string(c.sync) + "\r\n";
        for (int k = 1; k <= SLOT_COUNT; k++)
            ini += "Wave" + std::to_string(k) + "=C:\\SND\\S" + std::to_string(k) + ".WAV\r\n";
        SetIni(ini);
        struct Seen {
            const void *image;
            UINT flags;
            bool shown, menuBuilt;
        };
        std::vector<Seen> seen;
        hl::OnSound([&](const hl::SoundRecord &r) {
            HWND main = Main();
            HMENU menu = main ? GetSystemMenu(main, FALSE) : NULL;
            seen.push_back({r.image, r.flags, main && IsWindowVisible(main),
                            menu && GetMenuState(menu, 102, MF_BYCOMMAND) != (UINT)-1});
        });
        UINT flagsAtStart = 0;
        std::vector<const void *> samples;
        Run({[&] {
            flagsAtStart = PlayFlags;
            hl::OnSound(nullptr);
            for (const Slot &s : SlotTable) samples.push_back(s.data);
        }});
        ASSERT_EQ(samples.size(), (size_t)SLOT_COUNT);
        EXPECT_EQ(flagsAtStart, c.playFlags) << c.what;
        ASSERT_EQ(seen.size(), (size_t)SLOT_COUNT + 2) << c.what;
        for (int n = 0; n < SLOT_COUNT; n++) {
            EXPECT_EQ(seen[n].image, samples[n]) << c.what << " " << n;
            EXPECT_EQ(seen[n].flags, (UINT)(SND_MEMORY | SND_ASYNC)) << c.what << " " << n;
        }
        EXPECT_EQ(seen[SLOT_COUNT].image, nullptr) << c.what;  // the last one stopped
        EXPECT_EQ(seen[SLOT_COUNT].flags, 0u) << c.what;
        EXPECT_EQ(seen[SLOT_COUNT + 1].image, samples[4]) << c.what;  // Last=4
        EXPECT_EQ(seen[SLOT_COUNT + 1].flags, c.playFlags) << c.what;
        for (const Seen &s : seen) {
            EXPECT_TRUE(s.shown) << c.what;
            EXPECT_TRUE(s.menuBuilt) << c.what;
        }
    }
}

}  // namespace
