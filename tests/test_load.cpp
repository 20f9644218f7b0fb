// Load: two running copies against one settings file, a burst of key presses, a
// window resized over and over. Nothing lost, nothing garbled, memory and windows flat.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>

#include "platform/gdi32/gdi32_test.h"
#include "platform/kernel32/kernel32_test.h"
#include "tests/program.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocator (its header is not on every compiler's path).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace {

namespace hl = qk::headless;

// Bytes of heap in use now (the sanitizer's own heap when it replaces malloc).
size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

size_t CountWindows(qk::wnd::Window *w) {
    size_t n = 1;
    for (qk::wnd::Window *c : w->children) n += CountWindows(c);
    return n;
}

// Every live window: the top-level ones and all their descendants.
size_t LiveWindows() {
    size_t n = 0;
    for (qk::wnd::Window *t : qk::wnd::TopLevelWindows()) n += CountWindows(t);
    return n;
}

// Heap growth allowed over a whole run: far less than what a leak per press or per
// resize would add up to over thousands of them.
const size_t kHeapSlack = 64 * 1024;

class Load : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
    }
};

TEST_F(Load, TwoCopiesAgainstOneSettingsFileLoseNothing) {
    const int kChanges = 1000, kOwnKeys = 40;
    const UINT toggles[] = {107, 108, 109, 101};  // Auto, Notify, Rehearse, Lock
    SetIni("; kept by hand: do not lose\r\n[QK_Pex]\r\nAuto=0\r\nRehearse=0\r\n");
    pid_t children[2];
    for (int c = 0; c < 2; c++) {
        fflush(nullptr);
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            // Each copy runs the program: half its changes are option toggles through
            // the system menu, half are its own keys written as the program writes.
            int failed = 0, done = 0;
            Run({[&] {
                char section[16], key[16], value[32];
                snprintf(section, sizeof section, "Copy%d", c);
                for (int i = 0; i < kChanges; i++) {
                    if (i % 2) {
                        hl::ChooseMenuItem(Main(), toggles[(i / 2) % 4]);
                        hl::Pump();
                    } else {
                        snprintf(key, sizeof key, "K%d", (i / 2) % kOwnKeys);
                        snprintf(value, sizeof value, "%d-%d", c, i);
                        failed += !WritePrivateProfileStringA(section, key, value, "ZELVRANT.INI");
                    }
                    done++;
                }
            }});
            _exit(failed ? 1 : done == kChanges ? 0 : 2);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    // Each copy's own keys hold the last value it wrote.
    for (int c = 0; c < 2; c++) {
        std::string section = "Copy" + std::to_string(c);
        for (int k = 0; k < kOwnKeys; k++) {
            int last = -1;
            for (int i = 0; i < kChanges; i += 2)
                if ((i / 2) % kOwnKeys == k) last = i;
            EXPECT_EQ(Key(("K" + std::to_string(k)).c_str(), section.c_str()),
                      std::to_string(c) + "-" + std::to_string(last))
                << section << " K" << k;
        }
    }
    // The shared options are whole values; what the closes wrote is there.
    for (const char *key : {"Lock", "Auto", "Notify", "Rehearse", "Sync", "Loop"})
        EXPECT_TRUE(Key(key) == "0" || Key(key) == "1") << key << "=" << Key(key);
    for (const char *key : {"X", "Y", "W", "H", "Last"}) EXPECT_NE(Key(key), "<absent>") << key;
    // Every line is a known one, each key once in its section, the foreign line first.
    std::istringstream text(IniText());
    std::string line, section;
    std::set<std::string> seen;
    bool first = true;
    int lines = 0;
    while (std::getline(text, line)) {
        lines++;
        ASSERT_FALSE(line.empty()) << "a line without its CR";
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        if (first) {
            EXPECT_EQ(line, "; kept by hand: do not lose");
        }
        first = false;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = line;
            EXPECT_TRUE(section == "[QK_Pex]" || section == "[Copy0]" || section == "[Copy1]") << section;
            continue;
        }
        size_t eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << "garbled: " << line;
        EXPECT_TRUE(seen.insert(section + line.substr(0, eq)).second) << "twice: " << section << line;
    }
    EXPECT_EQ(seen.size(), 2u * kOwnKeys + 11u);  // 40 + 40 own keys, 6 options, X Y W H Last
    EXPECT_GT(lines, 80);
}

TEST_F(Load, TenThousandKeyPressesLeaveMemoryFlat) {
    for (int k = 1; k <= SLOT_COUNT; k++) {
        std::string name = "SND/S" + std::to_string(k) + ".WAV";
        MakeSample(name, 200 + 10 * k);
        StoreKey(("Wave" + std::to_string(k)).c_str(), "C:\\" + name);
    }
    const int keys[] = {VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F11, VK_F12, VK_SPACE};
    size_t heapBefore = 0, heapAfter = 0, windowsBefore = 0, windowsAfter = 0;
    long blocksBefore = 0, blocksAfter = 0;
    int loops = 0, plays = 0;
    OptionLoop = 0;
    auto burst = [&](int presses) {
        for (int i = 0; i < presses; i++) {
            if (i % 1000 == 500) hl::ChooseMenuItem(Main(), 106);  // looping on, then off again
            if (i % 7 == 3)
                hl::PressWithAlt('X');  // slot 10 through the system keys
            else
                hl::PressKey(keys[i % 12]);
            if (i % 100 == 99) {
                hl::Pump();
                for (const hl::SoundRecord &s : hl::Sounds()) {
                    loops += s.image && s.flags == (SND_MEMORY | SND_ASYNC | SND_LOOP) && s.result;
                    plays += s.image && s.result;
                }
                hl::ClearSounds();  // the driver's log is the test's, not the program's
            }
        }
        hl::Pump();
    };
    Run({[&] {
             burst(1000);  // everything the burst needs is made once
             heapBefore = HeapInUse();
             windowsBefore = LiveWindows();
             blocksBefore = qk::GlobalLiveBlocks();
             burst(10000);
             heapAfter = HeapInUse();
             windowsAfter = LiveWindows();
             blocksAfter = qk::GlobalLiveBlocks();
         }});
    EXPECT_EQ(blocksBefore, SLOT_COUNT);
    EXPECT_EQ(blocksAfter, blocksBefore);
    EXPECT_EQ(windowsAfter, windowsBefore);
    EXPECT_LT(heapAfter, heapBefore + kHeapSlack) << heapBefore << " -> " << heapAfter;
    EXPECT_GT(plays, 9000);
    EXPECT_GT(loops, 1000);
    EXPECT_EQ(qk::GlobalLiveBlocks(), 0);  // the close freed every sample
}

TEST_F(Load, AThousandResizesLeaveWindowsAndMemoryFlat) {
    size_t heapBefore = 0, heapAfter = 0, windowsBefore = 0, windowsAfter = 0;
    int dcsBefore = 0, dcsAfter = 0;
    HWND buttonBefore = nullptr, buttonAfter = nullptr;
    RECT last = {0, 0, 0, 0};
    auto resize = [&](int times) {
        for (int i = 0; i < times; i++) {
            hl::ResizeWindow(Main(), 200 + (i * 37) % 600, 150 + (i * 53) % 450);
            if (i % 100 == 50) hl::Caption(Main(), i % 200 == 50 ? SC_MAXIMIZE : SC_RESTORE);
            hl::Pump();
        }
        hl::Caption(Main(), SC_RESTORE);
        hl::Pump();
    };
    Run({[&] {
        resize(100);
        heapBefore = HeapInUse();
        windowsBefore = LiveWindows();
        dcsBefore = qk::gdi::LiveDCs();
        buttonBefore = SlotButtons[0];
        resize(1000);
        buttonAfter = SlotButtons[0];
        GetWindowRect(Main(), &last);
        heapAfter = HeapInUse();
        windowsAfter = LiveWindows();
        dcsAfter = qk::gdi::LiveDCs();
    }});
    EXPECT_EQ(windowsBefore, 1u + 1u + SLOT_COUNT);  // the main window, its status bar, the buttons
    EXPECT_EQ(windowsAfter, windowsBefore);
    EXPECT_EQ(dcsAfter, dcsBefore);
    EXPECT_NE(buttonAfter, buttonBefore);  // the grid was made anew
    EXPECT_EQ(last.right - last.left, 200 + (999 * 37) % 600);
    EXPECT_LT(heapAfter, heapBefore + kHeapSlack) << heapBefore << " -> " << heapAfter;
}

}  // namespace
