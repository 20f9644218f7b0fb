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
    // Runs the program with a settings file; `body` runs once the window waits.
    int RunWith(const std::string &ini, std::function<void(HWND)> body) {
        SetIni(ini);
        hl::OnIdle([&] {
            HWND main = nullptr;
            for (qk::wnd::Window *w : qk::wnd::TopLevelWindows())
                if (w->className == "QKPEX") main = w->hwnd;
            ASSERT_NE(main, nullptr);
            body(main);
        });
        return WinMain((HINSTANCE)0x400000, NULL, (LPSTR) "", SW_SHOWNORMAL);
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
    static std::string Resource(UINT id) {
        char buf[1024];
        LoadStringA(MainInstance, id, buf, sizeof buf);
        return buf;
    }
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
        EXPECT_EQ(hl::Boxes().back().text, "Startup autoplay enabled");
        Command(main, 107);
        EXPECT_EQ(Key("Auto"), "0");
        EXPECT_FALSE(Checked(main, 107));
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

TEST_F(Options, RehearseTogglesSilently) {
    RunWith("[QK_Pex]\nRehearse=1\n", [&](HWND main) {
        Command(main, 109);
        EXPECT_EQ(Key("Rehearse"), "0");
        EXPECT_EQ(OptionRehearse, 0);
        EXPECT_FALSE(Checked(main, 109));
        EXPECT_TRUE(hl::Boxes().empty());
    });
}

TEST_F(Options, PlayModes) {
    struct Case {
        const char *what;
        const char *ini;
        UINT command;
        int answer;  // 0: no prompt expected
        int sync, loop;
        UINT flags;
        bool stops;
        bool writes;
        const char *loopText, *syncText;
    } cases[] = {
        {"104 with Loop on, OK", "[QK_Pex]\nLoop=1\n", 104, IDOK, 1, 0, 4, true, true, "LOOP:OFF", "SYNC: ON"},
        {"104 with Loop on, Cancel", "[QK_Pex]\nLoop=1\n", 104, IDCANCEL, 0, 1, 13, false, false, "LOOP: ON",
         "SYNC:OFF"},
        {"106 with Sync on, OK", "[QK_Pex]\nSync=1\n", 106, IDOK, 0, 1, 13, false, true, "LOOP: ON", "SYNC:OFF"},
        {"106 with Sync on, Cancel", "[QK_Pex]\nSync=1\n", 106, IDCANCEL, 1, 0, 4, false, false, "LOOP:OFF",
         "SYNC: ON"},
        {"106 with both off", "[QK_Pex]\n", 106, 0, 0, 1, 13, false, true, "LOOP: ON", "SYNC:OFF"},
        {"106 with Loop on", "[QK_Pex]\nLoop=1\n", 106, 0, 0, 0, 5, true, true, "LOOP:OFF", "SYNC:OFF"},
        {"104 with Loop off, on", "[QK_Pex]\n", 104, 0, 1, 0, 4, true, true, "LOOP:OFF", "SYNC: ON"},
        {"104 with Loop off, off", "[QK_Pex]\nSync=1\n", 104, 0, 0, 0, 5, true, true, "LOOP:OFF", "SYNC:OFF"},
    };
    for (const Case &c : cases) {
        ResetProgram();
        RunWith(std::string(c.ini) + "Auto=0\nRehearse=0\n", [&](HWND main) {
            std::string before = IniText();
            bool loopChecked = Checked(main, 106), syncChecked = Checked(main, 104);
            hl::ClearSounds();
            if (c.answer) hl::QueueAnswer(c.answer);
            Command(main, c.command);
            if (c.answer) {
                ASSERT_EQ(hl::Boxes().size(), 1u) << c.what;
                EXPECT_EQ(hl::Boxes()[0].text, Resource(c.command == 104 ? 2 : 3)) << c.what;
                EXPECT_EQ(hl::Boxes()[0].caption, "Warning") << c.what;
                EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_OKCANCEL) << c.what;
                EXPECT_EQ(hl::Boxes()[0].owner, main) << c.what;
            } else {
                EXPECT_TRUE(hl::Boxes().empty()) << c.what;
            }
            EXPECT_EQ(OptionSync, c.sync) << c.what;
            EXPECT_EQ(OptionLoop, c.loop) << c.what;
            EXPECT_EQ(PlayFlags, c.flags) << c.what;
            auto log = hl::Sounds();
            EXPECT_EQ(!log.empty() && log.back().image == nullptr, c.stops) << c.what;
            if (c.writes) {
                EXPECT_EQ(Key("Sync"), std::to_string(c.sync)) << c.what;
                EXPECT_EQ(Key("Loop"), std::to_string(c.loop)) << c.what;
                EXPECT_EQ(Checked(main, 104), c.sync != 0) << c.what;
                EXPECT_EQ(Checked(main, 106), c.loop != 0) << c.what;
            } else {
                EXPECT_EQ(IniText(), before) << c.what;
                EXPECT_EQ(Checked(main, 106), loopChecked) << c.what;
                EXPECT_EQ(Checked(main, 104), syncChecked) << c.what;
            }
            EXPECT_EQ(StatusText(1), c.loopText) << c.what;
            EXPECT_EQ(StatusText(2), c.syncText) << c.what;
        });
    }
}

TEST_F(Options, AboutAnsweredYesDoesNothing) {
    RunWith("[QK_Pex]\n", [&](HWND main) {
        hl::QueueAnswer(IDYES);
        Command(main, 102);
        ASSERT_EQ(hl::Boxes().size(), 1u);
        const std::string &text = hl::Boxes()[0].text;
        const std::string closing = "\n\nYou gotta love this program!\nWell, do you?";
        ASSERT_GT(text.size(), closing.size());
        EXPECT_EQ(text.substr(text.size() - closing.size()), closing);
        EXPECT_EQ(hl::Boxes()[0].caption, "QK Sonnerix");
        EXPECT_EQ(hl::Boxes()[0].type, (UINT)MB_YESNO);
        hl::OnIdle([main] { EXPECT_TRUE(IsWindow(main)); });
    });
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
