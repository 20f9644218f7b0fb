// Faults from outside, through the stand-in: allocations that fail, sample files that
// change between the existence test and the read, a configuration folder that cannot
// be written, drives that lead nowhere, settings files that are not what they should be.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "bank/bank.h"
#include "picker/picker.h"
#include "platform/crt/crt_test.h"
#include "platform/kernel32/kernel32_test.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;

const char kNoMemory[] = "Not enough memory available!";

bool EndsWith(const std::string &s, const std::string &tail);

// Ways another program can change a file between the existence test and the read.
enum class Change { Removed, Unreadable, Directory, Fifo, DeviceNode, LinkToDevice };

const char *ChangeName(Change c) {
    switch (c) {
        case Change::Removed: return "removed";
        case Change::Unreadable: return "unreadable";
        case Change::Directory: return "directory";
        case Change::Fifo: return "FIFO";
        case Change::DeviceNode: return "device node";
        case Change::LinkToDevice: return "link to a device";
    }
    return "?";
}

const Change kChanges[] = {Change::Removed, Change::Unreadable, Change::Directory,
                           Change::Fifo,    Change::DeviceNode, Change::LinkToDevice};

class Faults : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        for (const char *n : {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "NEW"})
            MakeSample(std::string("SND/") + n + ".WAV");
    }
    std::string Wave(int k) { return Key(("Wave" + std::to_string(k)).c_str()); }
    // Runs `body` for each way a file can change. A file without read permission is
    // tried by a user without privileges, since root reads it all the same.
    void ForEachChange(std::function<void(Change)> body) {
        for (Change c : kChanges) {
            if (c == Change::Unreadable && geteuid() == 0)
                EXPECT_EQ(RunUnprivileged([&] { body(c); }), 0) << "without read permission";
            else
                body(c);
        }
    }
    // The program and its settings as before a first start, for a test's next round.
    void FreshStart() {
        ResetProgram();
        unlink(IniPath().c_str());
    }
    void StoreWave(int k, const std::string &path) { StoreKey(("Wave" + std::to_string(k)).c_str(), path); }
    static std::string SampleName(int n) { return std::string(1, (char)('A' + n)); }
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> t;
        for (const hl::BoxRecord &b : hl::Boxes()) t.push_back(b.text);
        return t;
    }
    static void RightClickSlot(int slot) {
        SetClientSize(400, 322);
        hl::Click(Main(), (slot % 4) * 100 + 50, (slot / 4) * 100 + 50, 1);
    }
    // Runs the program with options that play nothing at start.
    int RunQuiet(std::vector<std::function<void()>> steps) {
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
        return Run(steps);
    }
    // Assigns C:\SND\<name> to a slot through the picker, which opens in C:\SND (the
    // current directory, or where the slot's stored path lies); `beforeOk` runs just
    // before OK.
    std::vector<std::function<void()>> AssignSteps(int slot, const std::string &name,
                                                   std::function<void()> beforeOk = [] {}) {
        return {[=] {
                    SetCurrentDirectoryA("C:\\SND");
                    RightClickSlot(slot);
                },
                [=] {
                    ASSERT_NE(Dialog(), nullptr);
                    SetDlgItemTextA(Dialog(), 103, name.c_str());
                    beforeOk();
                    hl::ClickOn(GetDlgItem(Dialog(), 105));
                }};
    }
    // Loads the bank file C:\BANKS\SHOW.QK through the menu command.
    std::vector<std::function<void()>> BankSteps(std::function<void()> beforeOk = [] {}) {
        return {[] {
                    SetCurrentDirectoryA("C:\\BANKS");
                    hl::ChooseMenuItem(Main(), 103);
                },
                [=] {
                    ASSERT_NE(Dialog(), nullptr);
                    SetDlgItemTextA(Dialog(), 103, "SHOW.QK");
                    beforeOk();
                    hl::ClickOn(GetDlgItem(Dialog(), 105));
                }};
    }
    // Runs the program over a settings file: it starts, takes keys, rebuilds its grid
    // and closes, freeing what it loaded and keeping its window's place.
    void RunOverSettings(const std::string &text, const std::string &what) {
        FreshStart();
        SetIni(text);
        bool started = false;
        Run({[&] {
            started = true;
            for (int vk = VK_F1; vk <= VK_F12; vk++) hl::PressKey(vk);
            hl::ChooseMenuItem(Main(), 108);  // the grid made anew
            hl::PressKey(VK_SPACE);
        }});
        EXPECT_TRUE(started) << what;
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0) << what;
        EXPECT_NE(Key("W"), "<absent>") << what;
        EXPECT_NE(Key("Last"), "<absent>") << what;
    }
    // Toggles every option, assigns a slot and closes (in a child whose writes fail).
    // 0 when the program ran every step to the end and freed everything.
    int ProgramWhoseWritesFail() {
        int steps = 0;
        std::vector<std::function<void()>> s = {
            [&] {
                steps++;
                for (UINT id : {101u, 104u, 106u, 107u, 108u, 109u}) hl::ChooseMenuItem(Main(), id);
                hl::PressKey(VK_F1);
            },
            [&] {
                steps++;
                SetCurrentDirectoryA("C:\\SND");
                RightClickSlot(1);
            },
            [&] {
                steps++;
                if (!Dialog()) return;
                SetDlgItemTextA(Dialog(), 103, "B.WAV");
                hl::ClickOn(GetDlgItem(Dialog(), 105));
            },
            [&] {
                steps++;
                if (SlotTable[1].loaded != 1) steps = 100;
                hl::PressKey(VK_F2);
            },
        };
        Run(s);
        if (steps != 4) return 10 + steps % 100;
        return qk::GlobalLiveBlocks() == 0 ? 0 : 21;
    }
};

// ---------------------------------------------------------------- allocations

TEST_F(Faults, StartUpWithEachAllocationFailingInTurn) {
    for (int fail = 1; fail <= SLOT_COUNT + 1; fail++) {
        FreshStart();
        for (int k = 1; k <= SLOT_COUNT; k++) StoreWave(k, "C:\\SND\\" + SampleName(k - 1) + ".WAV");
        qk::FailNthGlobalAlloc(fail);
        ASSERT_TRUE(SlotStartup()) << fail;
        if (fail > SLOT_COUNT) {
            EXPECT_TRUE(hl::Boxes().empty());
            for (const Slot &s : SlotTable) EXPECT_EQ(s.loaded, 1);
        } else {
            ASSERT_EQ(BoxTexts(), std::vector<std::string>{kNoMemory}) << fail;
            EXPECT_EQ(hl::Boxes()[0].caption, "ERROR");
            for (int n = 0; n < fail - 1; n++) {
                EXPECT_EQ(SlotTable[n].loaded, 1) << fail << " " << n;
                EXPECT_STREQ(SlotTable[n].label, SampleName(n).c_str());
            }
            for (int n = fail - 1; n < SLOT_COUNT; n++) {
                EXPECT_EQ(SlotTable[n].loaded, 0) << fail << " " << n;
                EXPECT_EQ(SlotTable[n].block, nullptr);
                EXPECT_STREQ(SlotTable[n].label, "") << fail << " " << n;  // never visited
            }
            EXPECT_EQ(qk::GlobalLiveBlocks(), fail - 1);
        }
        for (int k = 1; k <= SLOT_COUNT; k++) EXPECT_EQ(Wave(k), "C:\\SND\\" + SampleName(k - 1) + ".WAV");
        EXPECT_EQ(hl::CursorLog().back(), LoadCursorA(NULL, IDC_ARROW));
        for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
    }
}

TEST_F(Faults, TheWholeProgramStartsWithEachAllocationFailingInTurn) {
    for (int fail = 1; fail <= SLOT_COUNT; fail++) {
        FreshStart();
        for (int k = 1; k <= SLOT_COUNT; k++) StoreWave(k, "C:\\SND\\" + SampleName(k - 1) + ".WAV");
        qk::FailNthGlobalAlloc(fail);
        bool ran = false;
        RunQuiet({[&] {
            ran = true;
            for (int vk = VK_F1; vk <= VK_F12; vk++) hl::PressKey(vk);
            hl::PressKey(VK_SPACE);
        }});
        EXPECT_TRUE(ran) << fail;
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNoMemory}) << fail;
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0) << fail;  // the close freed what was loaded
        for (int k = 1; k <= SLOT_COUNT; k++) EXPECT_NE(Wave(k), "");
    }
}

TEST_F(Faults, AssignmentWithEachAllocationFailingInTurn) {
    for (int fail = 1; fail <= 3; fail++) {
        FreshStart();
        StoreWave(3, "C:\\SND\\C.WAV");
        std::vector<std::string> boxes;
        int loaded = -1;
        auto steps = AssignSteps(2, "NEW.WAV", [=] { qk::FailNthGlobalAlloc(fail); });
        steps.push_back([&] {
            qk::FailNthGlobalAlloc(0);
            boxes = BoxTexts();
            loaded = SlotTable[2].loaded;
            // The program carries on: keys play, and the next assignment works.
            hl::PressKey(VK_F3);
            hl::PressKey(VK_SPACE);
        });
        for (auto &s : AssignSteps(2, "NEW.WAV")) steps.push_back(s);
        steps.push_back([&] { EXPECT_EQ(SlotTable[2].loaded, 1) << fail; });
        RunQuiet(steps);
        if (fail == 1) {
            EXPECT_EQ(boxes, std::vector<std::string>{kNoMemory});
            EXPECT_EQ(loaded, 0);
        } else {
            EXPECT_TRUE(boxes.empty()) << fail;
            EXPECT_EQ(loaded, 1);
        }
        // The assignment is kept either way: the next start loads it.
        EXPECT_EQ(Wave(3), "C:\\SND\\NEW.wav");
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
    }
}

TEST_F(Faults, ASampleLargerThanTheMemoryLeftIsRefused) {
    // The memory the system can still give, as the test sets it, against the file's size:
    // a byte short of the sample is refused; exactly the sample's size is given.
    MakeSample("SND/BIG.WAV", 4000);
    const long size = (long)std::filesystem::file_size(home + "/SND/BIG.WAV");
    const struct {
        unsigned long long available;
        bool loads;
    } kCases[] = {{(unsigned long long)size - 1, false}, {(unsigned long long)size, true}};
    for (const auto &c : kCases) {
        FreshStart();
        std::vector<std::string> boxes;
        int loaded = -1;
        std::string label;
        auto steps = AssignSteps(4, "BIG.WAV", [=] { qk::SetAvailableMemoryForTest(c.available); });
        steps.push_back([&] {
            qk::SetAvailableMemoryForTest(0);
            boxes = BoxTexts();
            loaded = SlotTable[4].loaded;
            label = SlotTable[4].label;
            hl::PressKey(VK_F5);  // the slot plays (or, empty, stops) without harm
        });
        RunQuiet(steps);
        if (c.loads) {
            EXPECT_TRUE(boxes.empty()) << c.available;
            EXPECT_EQ(loaded, 1);
            EXPECT_EQ(label, "Big");
        } else {
            EXPECT_EQ(boxes, std::vector<std::string>{kNoMemory});
            EXPECT_EQ(hl::Boxes()[0].caption, "ERROR");
            EXPECT_EQ(loaded, 0);
        }
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
    }
}

TEST_F(Faults, AFileOfManyGigabytesIsNeverRead) {
    // A sparse file four times the machine's memory, picked by mistake: the program says
    // there is not enough memory and carries on, without reading a byte of it.
    unsigned long long total = 0, available = 0;
    {
        std::ifstream meminfo("/proc/meminfo");
        std::string name;
        unsigned long long kb;
        std::string unit;
        while (meminfo >> name >> kb >> unit) {
            if (name == "MemTotal:") total = kb;
            if (name == "MemAvailable:") available = kb;
        }
    }
    ASSERT_GT(total, 0u);
    ASSERT_GT(available, 0u);
    // All the memory still available in one block: the kernel would promise it (it
    // overcommits), so only the stand-in's own check refuses it.
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, (size_t)(available * 1024)), (HGLOBAL)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    std::string path = home + "/SND/HUGE.WAV";
    int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    if (ftruncate(fd, (off_t)(total * 1024 * 4)) != 0) {
        close(fd);
        GTEST_SKIP() << "this file system holds no file that large";
    }
    close(fd);
    FreshStart();
    long reads = 0;
    std::vector<std::string> boxes;
    auto steps = AssignSteps(0, "HUGE.WAV", [&] {
        qk::SetBeforeOpenHook([&](const char *host) { reads += EndsWith(host, "/SND/HUGE.WAV"); });
    });
    steps.push_back([&] {
        boxes = BoxTexts();
        EXPECT_EQ(SlotTable[0].loaded, 0);
        EXPECT_EQ(SlotTable[0].block, nullptr);
    });
    RunQuiet(steps);
    qk::SetBeforeOpenHook(nullptr);
    unlink(path.c_str());
    EXPECT_EQ(boxes, std::vector<std::string>{kNoMemory});
    EXPECT_EQ(reads, 1);  // opened to learn its length, and no more
}

TEST_F(Faults, BankLoadingWithEachAllocationFailingInTurn) {
    std::string bank = "!Fuck\n";
    for (int n = 0; n < SLOT_COUNT; n++) bank += "C:\\SND\\" + SampleName(n) + ".WAV\n";
    WriteFile(home + "/BANKS/SHOW.QK", bank);
    for (int fail = 1; fail <= SLOT_COUNT + 1; fail++) {
        FreshStart();
        for (int k = 1; k <= SLOT_COUNT; k++) StoreWave(k, "C:\\SND\\NEW.WAV");
        std::vector<std::string> boxes, labels;
        std::vector<int> loaded;
        auto steps = BankSteps([=] { qk::FailNthGlobalAlloc(fail); });
        steps.push_back([&] {
            boxes = BoxTexts();
            for (const Slot &s : SlotTable) {
                labels.push_back(s.label);
                loaded.push_back(s.loaded);
            }
            hl::PressKey(VK_F1);
        });
        RunQuiet(steps);
        if (fail > SLOT_COUNT) {
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_EQ(boxes, std::vector<std::string>{kNoMemory}) << fail;
        }
        ASSERT_EQ(labels.size(), (size_t)SLOT_COUNT) << fail;
        ASSERT_EQ(loaded.size(), (size_t)SLOT_COUNT) << fail;
        for (int n = 0; n < SLOT_COUNT; n++) {
            std::string want = SampleName(n) + ".WAV";
            if (n < fail - 1) {  // loaded from the bank
                EXPECT_EQ(labels[n], SampleName(n)) << fail << " " << n;
                EXPECT_EQ(loaded[n], 1);
                EXPECT_EQ(Wave(n + 1), "C:\\SND\\" + want);
            } else if (n == fail - 1) {  // its old sample gone, the rest as it was
                EXPECT_EQ(labels[n], "New") << fail;
                EXPECT_EQ(loaded[n], 0) << fail;
                EXPECT_EQ(Wave(n + 1), "C:\\SND\\NEW.WAV");
            } else {  // never reached
                EXPECT_EQ(labels[n], "New") << fail << " " << n;
                EXPECT_EQ(loaded[n], 1) << fail << " " << n;
                EXPECT_EQ(Wave(n + 1), "C:\\SND\\NEW.WAV");
            }
        }
        EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
    }
}

// ---------------------------------------------------------------- files that change


// Replaces a file as another program could. A device node where mknod is not allowed
// becomes a link to the same device.
void ChangeEntry(const char *host, Change c) {
    if (c == Change::Unreadable) {
        chmod(host, 0);
        return;
    }
    unlink(host);
    switch (c) {
        case Change::Directory: mkdir(host, 0755); break;
        case Change::Fifo: mkfifo(host, 0644); break;
        case Change::DeviceNode:  // /dev/zero: a read would never end
            if (mknod(host, S_IFCHR | 0644, makedev(1, 5)) != 0 && symlink("/dev/zero", host) != 0) FAIL();
            break;
        case Change::LinkToDevice:
            if (symlink("/dev/zero", host) != 0) FAIL();
            break;
        default: break;
    }
}

bool EndsWith(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The next fopen of a file whose host path ends in `name` finds it changed.
void ChangeOnOpen(const std::string &name, Change c) {
    auto done = std::make_shared<bool>(false);
    qk::SetBeforeOpenHook([=](const char *host) {
        if (*done || !EndsWith(host, "/" + name)) return;
        *done = true;
        ChangeEntry(host, c);
    });
}


TEST_F(Faults, ASampleChangedBeforeItIsReadAtStartUp) {
    ForEachChange([&](Change c) {
        FreshStart();
        for (const char *n : {"A", "B", "C"}) MakeSample(std::string("SND/") + n + ".WAV");
        StoreWave(1, "C:\\SND\\A.WAV");
        StoreWave(2, "C:\\SND\\B.WAV");
        StoreWave(3, "C:\\SND\\C.WAV");
        ChangeOnOpen("B.WAV", c);
        ASSERT_TRUE(SlotStartup()) << ChangeName(c);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"C:\\SND\\B.WAV\n\nThis file can't be opened!"})
            << ChangeName(c);
        EXPECT_EQ(SlotTable[1].loaded, 0) << ChangeName(c);
        EXPECT_STREQ(SlotTable[1].label, "< empty >");
        EXPECT_EQ(SlotTable[0].loaded, 1) << ChangeName(c);
        EXPECT_EQ(SlotTable[2].loaded, 1) << ChangeName(c);
        EXPECT_EQ(Wave(2), "C:\\SND\\B.WAV");  // the next start tries again
        for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
        std::error_code ec;
        std::filesystem::remove_all(home + "/SND/B.WAV", ec);
    });
}

TEST_F(Faults, ASampleChangedBeforeItIsReadForAnAssignment) {
    ForEachChange([&](Change c) {
        FreshStart();
        MakeSample("SND/NEW.WAV");
        std::vector<std::string> boxes;
        int loaded = -1;
        std::string label;
        auto steps = AssignSteps(0, "NEW.WAV", [=] { ChangeOnOpen("NEW.WAV", c); });
        steps.push_back([&] {
            boxes = BoxTexts();
            loaded = SlotTable[0].loaded;
            label = SlotTable[0].label;
            hl::PressKey(VK_F1);
        });
        RunQuiet(steps);
        ASSERT_EQ(boxes.size(), 1u) << ChangeName(c);
        EXPECT_EQ(boxes[0], "C:\\SND\\NEW.WAV\n\nThis file can't be opened!");
        EXPECT_EQ(loaded, 0);
        EXPECT_EQ(label, "< empty >");
        EXPECT_EQ(Wave(1), "C:\\SND\\NEW.wav") << ChangeName(c);
        std::error_code ec;
        std::filesystem::remove_all(home + "/SND/NEW.WAV", ec);
    });
}

TEST_F(Faults, ASampleChangedBeforeItIsReadFromABank) {
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nC:\\SND\\A.WAV\nC:\\SND\\B.WAV\nC:\\SND\\C.WAV\n");
    ForEachChange([&](Change c) {
        FreshStart();
        for (const char *n : {"A", "B", "C"}) MakeSample(std::string("SND/") + n + ".WAV");
        std::vector<std::string> boxes;
        std::vector<int> loaded;
        auto steps = BankSteps([=] { ChangeOnOpen("B.WAV", c); });
        steps.push_back([&] {
            boxes = BoxTexts();
            for (const Slot &s : SlotTable) loaded.push_back(s.loaded);
        });
        RunQuiet(steps);
        ASSERT_EQ(loaded.size(), (size_t)SLOT_COUNT) << ChangeName(c);
        EXPECT_EQ(boxes, std::vector<std::string>{"C:\\SND\\B.WAV\n\nThis file can't be opened!"})
            << ChangeName(c);
        EXPECT_EQ(loaded[1], 0);
        // Stored all the same, so that the next start reports it instead of loading
        // what the slot held before.
        EXPECT_EQ(Wave(2), "C:\\SND\\B.WAV");
        EXPECT_EQ(loaded[0], 1) << ChangeName(c);
        EXPECT_EQ(loaded[2], 1) << ChangeName(c);  // the lines after it still load
        EXPECT_EQ(Wave(3), "C:\\SND\\C.WAV");
        std::error_code ec;
        std::filesystem::remove_all(home + "/SND/B.WAV", ec);
    });
}

TEST_F(Faults, ABankFileChangedBeforeItIsRead) {
    ForEachChange([&](Change c) {
        FreshStart();
        WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nC:\\SND\\A.WAV\n");
        StoreWave(1, "C:\\SND\\B.WAV");
        std::vector<std::string> boxes;
        std::string label;
        auto steps = BankSteps([=] { ChangeOnOpen("SHOW.QK", c); });
        steps.push_back([&] {
            boxes = BoxTexts();
            label = SlotTable[0].label;
        });
        RunQuiet(steps);
        EXPECT_EQ(boxes, std::vector<std::string>{"C:\\BANKS\\SHOW.QK\n\nThis bank file can't be opened!"})
            << ChangeName(c);
        EXPECT_EQ(label, "B");  // nothing touched
        EXPECT_EQ(Wave(1), "C:\\SND\\B.WAV");
        std::error_code ec;
        std::filesystem::remove_all(home + "/BANKS", ec);
    });
}

// A terminal opened without O_NOCTTY by a process without one becomes its controlling
// terminal: a sample or settings file replaced by a link to a terminal must not do that.
TEST_F(Faults, ATerminalInPlaceOfAFileNeverBecomesTheControllingTerminal) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminals";
    std::string terminal = ptsname(master);
    StoreWave(1, "C:\\SND\\A.WAV");
    for (int which = 0; which < 2; which++) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setsid();  // a session without a controlling terminal
            if (which == 0) {
                qk::SetBeforeOpenHook([&](const char *host) {
                    if (!EndsWith(host, "/A.WAV")) return;
                    unlink(host);
                    if (symlink(terminal.c_str(), host) != 0) _exit(3);
                });
                SlotStartup();
            } else {
                unlink(IniPath().c_str());
                if (symlink(terminal.c_str(), IniPath().c_str()) != 0) _exit(3);
                Key("Wave1");
            }
            int tty = open("/dev/tty", O_RDONLY | O_NOCTTY);
            _exit(tty >= 0 ? 1 : 0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << (which ? "settings" : "sample") << " " << status;
        unlink(IniPath().c_str());
        StoreWave(1, "C:\\SND\\A.WAV");
        MakeSample("SND/A.WAV");
    }
    close(master);
}

// ---------------------------------------------------------------- the configuration folder

// Runs the program in a child process with `prepare` applied there first; the child's
// exit code: 0 when the program ran its steps and ended, 77 when the fault cannot be
// made here.
int RunInChild(std::function<int()> prepare, std::function<int()> program) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        int r = prepare();
        if (r != 0) _exit(r);
        _exit(program());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

const char kOldSettings[] =
    "; the operator's settings\r\n[QK_Pex]\r\nWave1=C:\\SND\\A.WAV\r\nLock=0\r\nSync=0\r\nLoop=0\r\nAuto=0\r\n"
    "Notify=0\r\nRehearse=0\r\n";

TEST_F(Faults, AReadOnlyConfigurationFolder) {
    SetIni(kOldSettings);
    chmod(root.c_str(), 0755);
    chmod(config.c_str(), 0555);
    int r = RunInChild(
        [&] {
            if (geteuid() == 0) {
                // Root writes anywhere: run as nobody instead.
                if (setgid(65534) != 0 || setuid(65534) != 0) return 77;
            }
            if (WritePrivateProfileStringA("QK_Pex", "Probe", "1", "ZELVRANT.INI")) return 77;
            return 0;
        },
        [&] { return ProgramWhoseWritesFail(); });
    chmod(config.c_str(), 0755);
    if (r == 77) GTEST_SKIP() << "this process can write into a read-only folder";
    EXPECT_EQ(r, 0);
    EXPECT_EQ(IniText(), kOldSettings);
}

TEST_F(Faults, AFullDiskLeavesTheOldSettingsWhole) {
    SetIni(kOldSettings);
    int r = RunInChild(
        [&] {
            // No file may grow past a few bytes: every rewrite fails part-way.
            struct rlimit limit = {16, 16};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? 0 : 77;
        },
        [&] { return ProgramWhoseWritesFail(); });
    if (r == 77) GTEST_SKIP() << "no file size limit";
    EXPECT_EQ(r, 0);
    EXPECT_EQ(IniText(), kOldSettings);
    for (auto &e : std::filesystem::directory_iterator(config)) {
        std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "ZELVRANT.INI" || name == "dosdevices" || EndsWith(name, ".lock")) << name;
    }
}

// ---------------------------------------------------------------- drives

TEST_F(Faults, DriveLinksThatLeadNowhere) {
    ASSERT_EQ(symlink((root + "/nowhere").c_str(), (config + "/dosdevices/e:").c_str()), 0);
    WriteFile(root + "/plain-file", "x");
    ASSERT_EQ(symlink((root + "/plain-file").c_str(), (config + "/dosdevices/f:").c_str()), 0);
    ASSERT_EQ(symlink((config + "/dosdevices/g:").c_str(), (config + "/dosdevices/g:").c_str()), 0);  // a loop
    StoreWave(1, "E:\\SND\\A.WAV");
    StoreWave(2, "F:\\A.WAV");
    StoreWave(3, "G:\\A.WAV");
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nE:\\A.WAV\nF:\\A.WAV\nC:\\SND\\C.WAV\n");
    std::vector<std::string> drives;
    std::string directory;
    std::vector<std::string> boxes;
    RunQuiet({[&] {
                  EXPECT_EQ(hl::Boxes().size(), 3u);  // three missing files, each answered OK
                  EXPECT_FALSE(SetCurrentDirectoryA("E:\\"));
                  EXPECT_EQ(GetFileAttributesA("F:\\"), INVALID_FILE_ATTRIBUTES);
                  EXPECT_EQ(QkCrtFopen("G:\\A.WAV", "rb"), nullptr);
                  StoreWave(4, "E:\\GONE\\X.WAV");  // a stored path on the lost drive
                  SetCurrentDirectoryA("C:\\SND");
                  RightClickSlot(3);
              },
              [&] {
                  ASSERT_NE(Dialog(), nullptr);  // the picker opens all the same
                  drives = ListItems(Dialog(), 104);
                  directory = Picker.directory;
                  SetDlgItemTextA(Dialog(), 103, "D.WAV");
                  hl::ClickOn(GetDlgItem(Dialog(), 105));
              },
              [&] {
                  SetCurrentDirectoryA("C:\\BANKS");
                  hl::ChooseMenuItem(Main(), 103);
              },
              [&] {
                  ASSERT_NE(Dialog(), nullptr);
                  SetDlgItemTextA(Dialog(), 103, "SHOW.QK");
                  hl::ClickOn(GetDlgItem(Dialog(), 105));
              },
              [&] { boxes = BoxTexts(); }});
    for (const std::string &d : drives) {
        EXPECT_EQ(d.find("-e-"), std::string::npos) << d;
        EXPECT_EQ(d.find("-f-"), std::string::npos) << d;
        EXPECT_EQ(d.find("-g-"), std::string::npos) << d;
    }
    EXPECT_FALSE(drives.empty());
    EXPECT_EQ(Wave(4), "C:\\SND\\D.wav");
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[3], "E:\\A.WAV\n\nCan't load that file!");
    EXPECT_EQ(boxes[4], "F:\\A.WAV\n\nCan't load that file!");
    EXPECT_EQ(Wave(3), "C:\\SND\\C.WAV");
    for (int k = 1; k <= 2; k++) EXPECT_EQ(Wave(k), "") << k;  // emptied at the start, as answered
}

// ---------------------------------------------------------------- settings files

TEST_F(Faults, SettingsFilesOfRandomBytes) {
    std::mt19937 random(20240611);
    std::string alphabet = "[]=;\r\n \tQK_Pexwave1AutoLock0123456789";
    alphabet += '\0';
    alphabet += '\x1a';
    for (int variant = 0; variant < 3; variant++) {
        std::string text;
        for (int i = 0; i < 65536; i++) {
            unsigned r = random();
            text += variant == 0 ? (char)(r & 0xff) : alphabet[r % alphabet.size()];
        }
        if (variant == 2) text = "[QK_Pex]\r\n" + text;  // the program's own section, full of junk
        RunOverSettings(text, "random bytes " + std::to_string(variant));
    }
}

TEST_F(Faults, ASettingsFileOfTenMegabytes) {
    std::string text = "[QK_Pex]\r\nAuto=0\r\nRehearse=0\r\nWave1=C:\\SND\\A.WAV\r\n[Junk]\r\n";
    std::string line(90, 'j');
    for (int i = 0; text.size() < 10u * 1024 * 1024; i++) text += "k" + std::to_string(i) + "=" + line + "\r\n";
    RunOverSettings(text, "10 MB");
    EXPECT_GT(IniText().size(), 10u * 1024 * 1024);  // every junk line kept
    EXPECT_EQ(Key("k1000", "Junk"), line);
}

TEST_F(Faults, ASettingsFileOfVeryLongLines) {
    std::string five(5000, 'L');
    std::string text = "; " + five + "\r\n[" + five + "]\r\n" + five + "=" + five + "\r\n[QK_Pex]\r\n" +
                       "Wave1=C:\\" + five + "\\A.WAV\r\nWave2=C:\\SND\\B.WAV" + five + "\r\n" + five +
                       "\r\nLock=" + five + "\r\nX=" + five + "\r\n" + five;  // the last line without an end
    RunOverSettings(text, "long lines");
    std::string after = IniText();
    EXPECT_NE(after.find("; " + five + "\r\n"), std::string::npos);  // foreign lines kept
    EXPECT_NE(after.find("[" + five + "]\r\n"), std::string::npos);
}

}  // namespace
