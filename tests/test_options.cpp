// The option commands of the system menu, through the headless driver.
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/user32/wnd.h"
#include "platform/win32.h"
#include "sound/sound.h"
#include "tests/support.h"
#include "window/window.h"

namespace {

namespace hl = qk::headless;

class Options : public StandinTest {
protected:
    // Runs the program with a settings file; `body` runs once the window waits. A program
    // that ends before its window waits fails the test.
    int RunWith(const std::string &ini, std::function<void(HWND)> body) {
        SetIni(ini);
        bool ran = false;
        hl::OnIdle([&] {
            HWND main = nullptr;
            for (qk::wnd::Window *w : qk::wnd::TopLevelWindows())
                if (w->className == "QKPEX") main = w->hwnd;
            ASSERT_NE(main, nullptr);
            body(main);
            ran = true;
        });
        int code = WinMain((HINSTANCE)0x400000, NULL, (LPSTR) "", SW_SHOWNORMAL);
        EXPECT_TRUE(ran) << "the program ended before its window waited for input";
        return code;
    }
    static void Command(HWND main, UINT id) { SendMessageA(main, WM_SYSCOMMAND, id, 0); }
    static bool Checked(HWND main, UINT id) {
        return (GetMenuState(GetSystemMenu(main, FALSE), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    static std::string StatusText(int part) {
        char buf[64] = {0};
        SendMessageA(StatusBar, SB_GETTEXTA, (WPARAM)part, (LPARAM)buf);
        return buf;
    }
    // The six options as the settings file holds them, in the menu's order.
    static std::string Keys() {
        std::string out;
        for (const char *k : {"Lock", "Sync", "Loop", "Auto", "Notify", "Rehearse"})
            out += std::string(out.empty() ? "" : " ") + k + "=" + Key(k);
        return out;
    }
    // The five option variables.
    static std::string Variables() {
        return "Sync=" + std::to_string(OptionSync) + " Loop=" + std::to_string(OptionLoop) +
               " Auto=" + std::to_string(OptionAuto) + " Notify=" + std::to_string(OptionNotify) +
               " Rehearse=" + std::to_string(OptionRehearse);
    }
    // The ids of the checked option items, each with its name.
    static std::string Checks(HWND main) {
        const struct {
            UINT id;
            const char *name;
        } items[] = {{101, "Lock"}, {104, "Sync"}, {106, "Loop"}, {107, "Auto"}, {108, "Notify"}, {109, "Rehearse"}};
        std::string out;
        for (auto &i : items)
            if (Checked(main, i.id)) out += std::string(out.empty() ? "" : " ") + i.name;
        return out;
    }
    static DWORD ButtonStyle(int n) { return (DWORD)GetWindowLongA(SlotButtons[n], GWL_STYLE); }
};

TEST(ToggleOption, Rule) {
    int cases[][2] = {{0, 1}, {1, 0}, {2, 1}, {3, 2}, {-1, 1}, {-7, 1}};
    for (auto &c : cases) EXPECT_EQ(ToggleOption(c[0]), c[1]) << c[0];
}

TEST_F(Options, LockIsWrittenAndNotedButTheFrameWaitsForTheNextStart) {
    RunWith("[QK_Pex]\nLock=0\n", [&](HWND main) {
        LONG style = GetWindowLongA(main, GWL_STYLE);
        Command(main, 101);
        EXPECT_EQ(Key("Lock"), "1");
        EXPECT_TRUE(Checked(main, 101));
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].owner, main);
        EXPECT_EQ(hl::Boxes()[0].text, "Window will be locked\nnext time you start this program");
        EXPECT_EQ(hl::Boxes()[0].caption, "NOTE:");
        EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_ICONINFORMATION);
        EXPECT_EQ(GetWindowLongA(main, GWL_STYLE), style);
        Command(main, 101);
        EXPECT_EQ(Key("Lock"), "0");
        EXPECT_FALSE(Checked(main, 101));
        ASSERT_EQ(hl::Boxes().size(), 2u);
        EXPECT_EQ(hl::Boxes()[1].text, "Window will be unlocked\nnext time you start this program");
    });
}

TEST_F(Options, AutoStepsDownFromTwo) {
    RunWith("[QK_Pex]\nAuto=2\n", [&](HWND main) {
        EXPECT_TRUE(Checked(main, 107));
        Command(main, 107);
        EXPECT_EQ(Key("Auto"), "1");
        EXPECT_TRUE(Checked(main, 107));
        EXPECT_EQ(OptionAuto, 1);
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes().back().text, "Startup autoplay enabled");
        Command(main, 107);
        EXPECT_EQ(Key("Auto"), "0");
        EXPECT_FALSE(Checked(main, 107));
        EXPECT_EQ(OptionAuto, 0);
        ASSERT_EQ(hl::Boxes().size(), 2u);
        EXPECT_EQ(hl::Boxes().back().text, "Startup autoplay disabled");
        EXPECT_EQ(hl::Boxes().back().caption, "NOTE:");
    });
}

TEST_F(Options, NotifyTakesTheFileAndRebuildsTheButtons) {
    RunWith("[QK_Pex]\nNotify=1\n", [&](HWND main) {
        HWND before = SlotButtons[0];
        EXPECT_EQ((DWORD)GetWindowLongA(before, GWL_STYLE), 0x50006F00u);
        // The key went missing from the file meanwhile: it reads as 0 and turns on.
        WritePrivateProfileStringA("QK_Pex", "Notify", NULL, "ZELVRANT.INI");
        Command(main, 108);
        EXPECT_EQ(Key("Notify"), "1");
        EXPECT_TRUE(Checked(main, 108));
        EXPECT_NE(SlotButtons[0], before);
        for (HWND b : SlotButtons) EXPECT_EQ((DWORD)GetWindowLongA(b, GWL_STYLE), 0x50006F00u);
        Command(main, 108);
        for (HWND b : SlotButtons) EXPECT_EQ((DWORD)GetWindowLongA(b, GWL_STYLE), 0x50002F00u);
        EXPECT_TRUE(hl::Boxes().empty());
    });
}

// Each stored option toggles its own key, variable and check mark, and nothing else. Every
// row gives the other options values of their own (none of them 0 or 1 where the start-up
// allows it), so a command wired to another option's key, variable or item shows.
TEST_F(Options, EachStoredOptionTogglesItselfAlone) {
    struct Case {
        const char *what;
        const char *ini;
        UINT command;
        const char *keysAfter, *variablesAfter, *checksBefore, *checksAfter;
        const char *box;  // nullptr: no box
        UINT flags;
        const char *loopText, *syncText;
        DWORD buttonsBefore, buttonsAfter;
    } cases[] = {
        {"Lock off to on", "Lock=0\nSync=7\nLoop=0\nAuto=2\nNotify=3\nRehearse=4\n", 101,
         "Lock=1 Sync=7 Loop=0 Auto=2 Notify=3 Rehearse=4", "Sync=7 Loop=0 Auto=2 Notify=3 Rehearse=4",
         "Sync Auto Notify Rehearse", "Lock Sync Auto Notify Rehearse",
         "Window will be locked\nnext time you start this program", 4, "LOOP:OFF", "SYNC: ON", 0x50006F00u,
         0x50006F00u},
        {"Lock on to off", "Lock=1\nSync=0\nLoop=5\nAuto=4\nNotify=2\nRehearse=3\n", 101,
         "Lock=0 Sync=0 Loop=5 Auto=4 Notify=2 Rehearse=3", "Sync=0 Loop=5 Auto=4 Notify=2 Rehearse=3",
         "Lock Loop Auto Notify Rehearse", "Loop Auto Notify Rehearse",
         "Window will be unlocked\nnext time you start this program", 13, "LOOP: ON", "SYNC:OFF", 0x50006F00u,
         0x50006F00u},
        {"Auto off to on", "Lock=3\nSync=0\nLoop=6\nAuto=0\nNotify=4\nRehearse=5\n", 107,
         "Lock=3 Sync=0 Loop=6 Auto=1 Notify=4 Rehearse=5", "Sync=0 Loop=6 Auto=1 Notify=4 Rehearse=5",
         "Lock Loop Notify Rehearse", "Lock Loop Auto Notify Rehearse", "Startup autoplay enabled", 13, "LOOP: ON",
         "SYNC:OFF", 0x50006F00u, 0x50006F00u},
        {"Auto on to off", "Lock=2\nSync=5\nLoop=0\nAuto=1\nNotify=3\nRehearse=4\n", 107,
         "Lock=2 Sync=5 Loop=0 Auto=0 Notify=3 Rehearse=4", "Sync=5 Loop=0 Auto=0 Notify=3 Rehearse=4",
         "Lock Sync Auto Notify Rehearse", "Lock Sync Notify Rehearse", "Startup autoplay disabled", 4, "LOOP:OFF",
         "SYNC: ON", 0x50006F00u, 0x50006F00u},
        {"Notify off to on", "Lock=4\nSync=6\nLoop=0\nAuto=2\nNotify=0\nRehearse=3\n", 108,
         "Lock=4 Sync=6 Loop=0 Auto=2 Notify=1 Rehearse=3", "Sync=6 Loop=0 Auto=2 Notify=1 Rehearse=3",
         "Lock Sync Auto Rehearse", "Lock Sync Auto Notify Rehearse", nullptr, 4, "LOOP:OFF", "SYNC: ON",
         0x50002F00u, 0x50006F00u},
        {"Notify on to off", "Lock=5\nSync=0\nLoop=2\nAuto=3\nNotify=1\nRehearse=4\n", 108,
         "Lock=5 Sync=0 Loop=2 Auto=3 Notify=0 Rehearse=4", "Sync=0 Loop=2 Auto=3 Notify=0 Rehearse=4",
         "Lock Loop Auto Notify Rehearse", "Lock Loop Auto Rehearse", nullptr, 13, "LOOP: ON", "SYNC:OFF",
         0x50006F00u, 0x50002F00u},
        {"Rehearse off to on", "Lock=2\nSync=0\nLoop=3\nAuto=4\nNotify=5\nRehearse=0\n", 109,
         "Lock=2 Sync=0 Loop=3 Auto=4 Notify=5 Rehearse=1", "Sync=0 Loop=3 Auto=4 Notify=5 Rehearse=1",
         "Lock Loop Auto Notify", "Lock Loop Auto Notify Rehearse", nullptr, 13, "LOOP: ON", "SYNC:OFF",
         0x50006F00u, 0x50006F00u},
        {"Rehearse on to off", "Lock=3\nSync=4\nLoop=0\nAuto=5\nNotify=2\nRehearse=1\n", 109,
         "Lock=3 Sync=4 Loop=0 Auto=5 Notify=2 Rehearse=0", "Sync=4 Loop=0 Auto=5 Notify=2 Rehearse=0",
         "Lock Sync Auto Notify Rehearse", "Lock Sync Auto Notify", nullptr, 4, "LOOP:OFF", "SYNC: ON",
         0x50006F00u, 0x50006F00u},
    };
    for (const Case &c : cases) {
        ResetProgram();
        RunWith(std::string("[QK_Pex]\n") + c.ini, [&](HWND main) {
            EXPECT_EQ(Checks(main), c.checksBefore) << c.what;
            EXPECT_EQ(ButtonStyle(0), c.buttonsBefore) << c.what;
            size_t boxesBefore = hl::Boxes().size();
            Command(main, c.command);
            EXPECT_EQ(Keys(), c.keysAfter) << c.what;
            EXPECT_EQ(Variables(), c.variablesAfter) << c.what;
            EXPECT_EQ(Checks(main), c.checksAfter) << c.what;
            EXPECT_EQ(PlayFlags, c.flags) << c.what;
            EXPECT_EQ(StatusText(1), c.loopText) << c.what;
            EXPECT_EQ(StatusText(2), c.syncText) << c.what;
            for (int n = 0; n < SLOT_COUNT; n++) EXPECT_EQ(ButtonStyle(n), c.buttonsAfter) << c.what << " " << n;
            if (c.box) {
                ASSERT_EQ(hl::Boxes().size(), boxesBefore + 1) << c.what;
                const hl::BoxRecord b = hl::Boxes().back();
                EXPECT_EQ(b.text, c.box) << c.what;
                EXPECT_EQ(b.caption, "NOTE:") << c.what;
                EXPECT_EQ(b.type, (UINT)MB_ICONINFORMATION) << c.what;
                EXPECT_EQ(b.owner, main) << c.what;
            } else {
                EXPECT_EQ(hl::Boxes().size(), boxesBefore) << c.what;
            }
        });
    }
}

// Sync and Loop. The other four options hold values of their own in every row, and the
// whole state is compared after each command.
TEST_F(Options, PlayModes) {
    struct Case {
        const char *what;
        const char *ini;
        UINT command;
        int answer;  // 0: no prompt expected
        const char *keysAfter, *variablesAfter, *checksAfter;
        UINT flags;
        bool stops;
        bool writes;
        const char *loopText, *syncText;
    } cases[] = {
        {"104 with Loop on, OK", "Loop=3\n", 104, IDOK, "Lock=2 Sync=1 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=1 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Sync Auto Notify Rehearse", 4, true, true, "LOOP:OFF",
         "SYNC: ON"},
        {"104 with Loop on, Cancel", "Loop=3\n", 104, IDCANCEL, "Lock=2 Sync=0 Loop=3 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=3 Auto=3 Notify=4 Rehearse=5", "Lock Loop Auto Notify Rehearse", 13, false, false, "LOOP: ON",
         "SYNC:OFF"},
        {"106 with Sync on, OK", "Sync=2\n", 106, IDOK, "Lock=2 Sync=0 Loop=1 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=1 Auto=3 Notify=4 Rehearse=5", "Lock Loop Auto Notify Rehearse", 13, false, true, "LOOP: ON",
         "SYNC:OFF"},
        {"106 with Sync on, Cancel", "Sync=2\n", 106, IDCANCEL, "Lock=2 Sync=2 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=2 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Sync Auto Notify Rehearse", 4, false, false, "LOOP:OFF",
         "SYNC: ON"},
        {"106 with both off", "Sync=0\nLoop=0\n", 106, 0, "Lock=2 Sync=0 Loop=1 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=1 Auto=3 Notify=4 Rehearse=5", "Lock Loop Auto Notify Rehearse", 13, false, true, "LOOP: ON",
         "SYNC:OFF"},
        {"106 with Loop on", "Loop=1\n", 106, 0, "Lock=2 Sync=0 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Auto Notify Rehearse", 5, true, true, "LOOP:OFF",
         "SYNC:OFF"},
        {"106 with Loop at 4 steps down", "Loop=4\n", 106, 0, "Lock=2 Sync=0 Loop=3 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=3 Auto=3 Notify=4 Rehearse=5", "Lock Loop Auto Notify Rehearse", 13, false, true, "LOOP: ON",
         "SYNC:OFF"},
        {"104 with both off", "", 104, 0, "Lock=2 Sync=1 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=1 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Sync Auto Notify Rehearse", 4, true, true, "LOOP:OFF",
         "SYNC: ON"},
        {"104 with Sync on", "Sync=1\n", 104, 0, "Lock=2 Sync=0 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=0 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Auto Notify Rehearse", 5, true, true, "LOOP:OFF",
         "SYNC:OFF"},
        {"104 with Sync at 3 steps down", "Sync=3\n", 104, 0, "Lock=2 Sync=2 Loop=0 Auto=3 Notify=4 Rehearse=5",
         "Sync=2 Loop=0 Auto=3 Notify=4 Rehearse=5", "Lock Sync Auto Notify Rehearse", 4, true, true, "LOOP:OFF",
         "SYNC: ON"},
    };
    for (const Case &c : cases) {
        ResetProgram();
        RunWith(std::string("[QK_Pex]\nLock=2\nAuto=3\nNotify=4\nRehearse=5\n") + c.ini, [&](HWND main) {
            std::string before = IniText();
            hl::ClearSounds();
            size_t boxesBefore = hl::Boxes().size();
            if (c.answer) hl::QueueAnswer(c.answer);
            Command(main, c.command);
            if (c.answer) {
                ASSERT_EQ(hl::Boxes().size(), boxesBefore + 1) << c.what;
                const hl::BoxRecord b = hl::Boxes().back();
                EXPECT_EQ(b.text, c.command == 104 ? "Sync Audio can't run in Loop-mode\n\nChoose OK to also "
                                                     "disable Loop-mode\nChoose Cancel to cancel Sync Audio"
                                                   : "Loop-mode requires A-sync Audio\n\nChoose OK to also "
                                                     "switch to A-sync Audio\nChoose Cancel to cancel Loop-mode")
                    << c.what;
                EXPECT_EQ(b.caption, "Warning") << c.what;
                EXPECT_EQ(b.type, (UINT)MB_OKCANCEL) << c.what;
                EXPECT_EQ(b.owner, main) << c.what;
            } else {
                EXPECT_EQ(hl::Boxes().size(), boxesBefore) << c.what;
            }
            EXPECT_EQ(Keys(), c.keysAfter) << c.what;
            EXPECT_EQ(Variables(), c.variablesAfter) << c.what;
            EXPECT_EQ(Checks(main), c.checksAfter) << c.what;
            EXPECT_EQ(PlayFlags, c.flags) << c.what;
            auto log = hl::Sounds();
            EXPECT_EQ(!log.empty() && log.back().image == nullptr, c.stops) << c.what;
            if (!c.writes) {
                EXPECT_EQ(IniText(), before) << c.what;
            }
            EXPECT_EQ(StatusText(1), c.loopText) << c.what;
            EXPECT_EQ(StatusText(2), c.syncText) << c.what;
        });
    }
}

TEST_F(Options, AboutAnsweredYesDoesNothing) {
    bool openAfterwards = false;
    RunWith("[QK_Pex]\n", [&](HWND main) {
        hl::QueueAnswer(IDYES);
        Command(main, 102);
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text,
                  "QK Sonnerix\nA sound-cart player for live work\n\nTwelve samples on twelve keys, ready the moment "
                  "the cue comes.\nMade for the people behind the mixing desk.\n\nYou gotta love this "
                  "program!\nWell, do you?");
        EXPECT_EQ(hl::Boxes()[0].caption, "QK Sonnerix");
        EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_YESNO);
        EXPECT_EQ(hl::Boxes()[0].owner, main);
        hl::OnIdle([&, main] { openAfterwards = IsWindow(main) != FALSE; });
    });
    EXPECT_TRUE(openAfterwards);
}

TEST_F(Options, AboutAnsweredNoEndsTheSessionAndKeepsTheSettings) {
    bool stepAfterNoRan = false;
    int code = RunWith("[QK_Pex]\nX=10\nY=20\nW=500\nH=400\nAuto=0\nRehearse=0\n", [&](HWND main) {
        PostMessageA(main, WM_KEYDOWN, VK_F4, 0);
        hl::QueueAnswer(IDNO);
        PostMessageA(main, WM_SYSCOMMAND, 102, 0);
        hl::OnIdle([&] { stepAfterNoRan = true; });
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(stepAfterNoRan);  // the program ended before waiting again
    EXPECT_EQ(hl::DropPendingSteps(), 1u);
    EXPECT_TRUE(qk::wnd::TopLevelWindows().empty());
    EXPECT_EQ(Key("W"), "500");
    EXPECT_EQ(Key("Last"), "3");
}

TEST_F(Options, HelpOpensTheTopicOfTheProgram) {
    RunWith("[QK_Pex]\n", [&](HWND main) {
        Command(main, 105);
        auto help = hl::HelpOpened();
        ASSERT_EQ(help.size(), 1u);
        EXPECT_NE(help[0].first.find("QK_AUDIO.html"), std::string::npos);
        EXPECT_EQ(help[0].second, "QK-Pex");
        EXPECT_TRUE(hl::Boxes().empty());
        // A help file that does not exist: the platform says so, nothing breaks.
        EXPECT_FALSE(WinHelpA(main, "NOWHERE.HLP", HELP_KEY, (ULONG_PTR) "x"));
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_NE(hl::Boxes()[0].text.find("NOWHERE.HLP"), std::string::npos);
    });
}

TEST_F(Options, HelpWithoutAViewerSaysWhereThePageIs) {
    RunWith("[QK_Pex]\n", [&](HWND main) {
        hl::SetHelpViewer(false);
        Command(main, 105);
        auto help = hl::HelpOpened();
        ASSERT_EQ(help.size(), 1u);
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text,
                  "There is no program on this desktop that can show the help.\nThe help page is:\n\n" + help[0].first);
        EXPECT_EQ(hl::Boxes()[0].caption, "Help");
        EXPECT_EQ(hl::Boxes()[0].type, (UINT)(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(hl::Boxes()[0].owner, main);
        EXPECT_TRUE(IsWindow(main));
    });
}

TEST_F(Options, OtherSystemCommandsReachTheDefaultProcedure) {
    RunWith("[QK_Pex]\n", [&](HWND main) {
        EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, 110, 0), 0);
        EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
        EXPECT_TRUE(IsIconic(main));
        SendMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(main));
    });
}

}  // namespace
