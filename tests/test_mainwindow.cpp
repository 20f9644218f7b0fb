// The program from WinMain to its exit, through the headless driver.
#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/gdi32/gdi32_test.h"
#include "platform/user32/wnd.h"
#include "platform/win32.h"
#include "sound/sound.h"
#include "tests/program.h"
#include "tests/support.h"
#include "tests/wavgen.h"
#include "window/window.h"

namespace {

namespace hl = qk::headless;

class MainWindow : public ProgramTest {
protected:
    static RECT ChildRect(HWND h) { return qk::wnd::FromHandle(h)->rect; }
    // Stores a sample for key number k (a short WAV in C:\SND).
    void StoreSample(int k, const std::string &name) {
        MakeSample("snd/" + name);
        StoreKey(("Wave" + std::to_string(k)).c_str(), "C:\\SND\\" + name);
    }
    // The slots played since the log was last cleared: -1 for a stop.
    static std::vector<int> Played() {
        std::vector<int> out;
        for (const hl::SoundRecord &r : hl::Sounds()) {
            int slot = -1;
            for (int n = 0; n < SLOT_COUNT; n++)
                if (r.image && r.image == SlotTable[n].data) slot = n;
            out.push_back(slot);
        }
        return out;
    }
};

TEST_F(MainWindow, FirstStartAndCloseKeepWhatTheyShould) {
    int code = Run({[&] {
        HWND main = Main();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(Text(main), "QK Sonnerix");
        EXPECT_TRUE(IsWindowVisible(main));
        EXPECT_EQ(GetFocus(), main);
        // The six options are written at once; no placement yet.
        EXPECT_EQ(IniText(), "[QK_Pex]\r\nLock=0\r\nSync=0\r\nLoop=0\r\nAuto=1\r\nNotify=0\r\nRehearse=1\r\n");
        EXPECT_EQ((DWORD)GetWindowLongA(main, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX),
                  (DWORD)(WS_THICKFRAME | WS_MAXIMIZEBOX));
        EXPECT_EQ(StatusText(1), "LOOP:OFF");
        EXPECT_EQ(StatusText(2), "SYNC:OFF");
    }});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Main(), nullptr);
    // Defaults everywhere: the platform placed the window; the close kept where.
    EXPECT_EQ(Key("X"), "22");
    EXPECT_EQ(Key("Y"), "22");
    EXPECT_EQ(Key("W"), "768");
    EXPECT_EQ(Key("H"), "576");
    EXPECT_EQ(Key("Last"), "0");
}

TEST_F(MainWindow, StoredPlacement) {
    struct Case {
        const char *ini;
        RECT expected;  // the window's rectangle
    } cases[] = {
        {"[QK_Pex]\nX=100\nY=50\nW=500\nH=300\n", {100, 50, 600, 350}},
        {"[QK_Pex]\nX=0\nY=0\nW=400\nH=300\n", {0, 0, 400, 300}},
        // A negative X leaves the position to the platform (which then takes no y either).
        {"[QK_Pex]\nX=-8\nY=40\nW=500\nH=300\n", {22, 22, 522, 322}},
        {"[QK_Pex]\nX=30\nY=-1\nW=500\nH=300\n", {30, 22, 530, 322}},
        {"[QK_Pex]\nX=30\nY=40\nW=-1\nH=300\n", {30, 40, 30 + 768, 40 + 576}},
        {"[QK_Pex]\nX=30\nY=40\nW=500\nH=-5\n", {30, 40, 530, 40 + 576}},
    };
    for (const Case &c : cases) {
        ResetProgram();
        SetIni(c.ini);
        RECT r = {};
        Run({[&] { GetWindowRect(Main(), &r); }});
        EXPECT_EQ(r.left, c.expected.left) << c.ini;
        EXPECT_EQ(r.top, c.expected.top) << c.ini;
        EXPECT_EQ(r.right, c.expected.right) << c.ini;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.ini;
    }
}

TEST_F(MainWindow, SystemMenuFollowsThePlatformsOwnEntries) {
    SetIni("[QK_Pex]\nLock=2\nLoop=1\nSync=1\nAuto=0\nNotify=1\nRehearse=0\n");
    Run({[&] {
        HWND main = Main();
        HMENU menu = GetSystemMenu(main, FALSE);
        struct { UINT id; const char *text; int checked; } appended[] = {
            {0, "", -1},         {103, "Load QK-file", 0}, {0, "", -1},
            {106, "Loop in memory", 1}, {104, "Sync audio", 0}, {107, "Startup autoplay", 0},
            {108, "BS_NOTIFY", 1},      {109, "Rehearse", 0},   {0, "", -1},
            {101, "Freeez window", 1},  {105, "Help!", 0},     {102, "About QK-pex", 0},
        };
        int count = GetMenuItemCount(menu);
        ASSERT_EQ(count, 7 + 12);
        EXPECT_EQ(GetMenuItemID(menu, 6), (UINT)SC_CLOSE);  // the platform's own come first
        for (int i = 0; i < 12; i++) {
            UINT state = GetMenuState(menu, (UINT)(7 + i), MF_BYPOSITION);
            char text[64] = {0};
            GetMenuStringA(menu, (UINT)(7 + i), text, sizeof text, MF_BYPOSITION);
            if (appended[i].checked < 0) {
                EXPECT_TRUE(state & MF_SEPARATOR) << i;
                continue;
            }
            EXPECT_EQ(GetMenuItemID(menu, 7 + i), appended[i].id) << i;
            EXPECT_STREQ(text, appended[i].text) << i;
            EXPECT_EQ((state & MF_CHECKED) != 0, appended[i].checked == 1) << appended[i].text;
        }
        // "Lock" stored as 2: the locked frame, no sizing border, no maximise box.
        DWORD style = (DWORD)GetWindowLongA(main, GWL_STYLE);
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
        EXPECT_TRUE(style & WS_MINIMIZEBOX);
        EXPECT_TRUE(style & WS_SYSMENU);
        // Loop won over Sync.
        EXPECT_EQ(PlayFlags, 13u);
        EXPECT_EQ(Key("Sync"), "0");
        EXPECT_EQ(StatusText(1), "LOOP: ON");
        EXPECT_EQ(StatusText(2), "SYNC:OFF");
        for (HWND b : SlotButtons) EXPECT_EQ((DWORD)GetWindowLongA(b, GWL_STYLE), 0x50006F00u);
    }});
}

TEST_F(MainWindow, GridGeometry) {
    Run({[&] {
        SetClientSize(400, 322);
        RECT status;
        GetClientRect(StatusBar, &status);
        ASSERT_EQ(status.bottom, 20);
        int xs[4] = {0, 100, 200, 300}, ys[3] = {0, 100, 201};
        for (int n = 0; n < SLOT_COUNT; n++) {
            RECT r = ChildRect(SlotButtons[n]);
            EXPECT_EQ(r.left, xs[n % 4]) << n;
            EXPECT_EQ(r.top, ys[n / 4]) << n;
            EXPECT_EQ(r.right - r.left, 100) << n;
            EXPECT_EQ(r.bottom - r.top, 100) << n;
            EXPECT_EQ(GetDlgCtrlID(SlotButtons[n]), 1024 + n);
        }
        RECT sr = ChildRect(StatusBar);
        EXPECT_EQ(sr.top, 302);
        int edges[3];
        ASSERT_EQ(SendMessageA(StatusBar, SB_GETPARTS, 3, (LPARAM)edges), 3);
        EXPECT_EQ(edges[0], 200);
        EXPECT_EQ(edges[1], 300);
        EXPECT_EQ(edges[2], 400);

        SetClientSize(403, 322);
        EXPECT_EQ(ChildRect(SlotButtons[3]).right, 400);  // three columns of black remain
        SendMessageA(StatusBar, SB_GETPARTS, 3, (LPARAM)edges);
        EXPECT_EQ(edges[0], 200);
        EXPECT_EQ(edges[2], 400);

        // A client area lower than the status bar: the sizes go through as computed.
        SetClientSize(400, 10);
        int rows[3] = {0, -3, -6};
        for (int n = 0; n < SLOT_COUNT; n += 4) {
            RECT r = ChildRect(SlotButtons[n]);
            EXPECT_EQ(r.top, rows[n / 4]) << n;
            EXPECT_EQ(r.bottom - r.top, -3) << n;
        }
    }});
}

// Widths in the System font's 16-pixel strike: "F" and the digits 8, a blank 4, "<" ">"
// "e" "p" "y" "A" "b" 8, "t" "i" 4, "m" "M" 12. So "< empty >" is 64 pixels wide and "F1"
// 16: six blanks on each side make the key exactly as wide.
TEST_F(MainWindow, CaptionsFitTheirLabels) {
    StoreSample(5, "mi.wav");          // "Mi", 16: as wide as "F5", no blanks
    StoreSample(6, "mii.wav");         // "Mii", 20: "F6" needs one blank a side (24)
    StoreSample(10, "mmmmmmmmm.wav");  // "Mmmmmmmm", 96: "F10" (24) needs nine (96)
    StoreSample(12, "ab.wav");         // "Ab", 16: narrower than "F12"
    StoreKey("Auto", "0");
    StoreKey("Rehearse", "0");
    std::vector<std::string> captions;
    Run({[&] {
        for (int n = 0; n < SLOT_COUNT; n++) captions.push_back(Text(SlotButtons[n]));
        // An empty label: the key alone over nothing.
        SlotTable[0].label[0] = 0;
        ComposeButtonCaption(0);
        EXPECT_STREQ(ScratchText, "F1\n");
    }});
    ASSERT_EQ(captions.size(), (size_t)SLOT_COUNT);
    EXPECT_EQ(captions[0], "      F1      \n< empty >");
    EXPECT_EQ(captions[4], "F5\nMi");
    EXPECT_EQ(captions[5], " F6 \nMii");
    EXPECT_EQ(captions[8], "      F9      \n< empty >");
    EXPECT_EQ(captions[9], "         F10         \nMmmmmmmm");
    EXPECT_EQ(captions[10], "     F11     \n< empty >");  // 24 + 5 * 8 = 64
    EXPECT_EQ(captions[11], "F12\nAb");
}

TEST_F(MainWindow, CaptionWideningAlwaysEnds) {
    // A font whose space has no width: widening could never catch up with the label.
    // The changed width lasts until the fonts are loaded again, which the stand-in's reset
    // does not do while the font folder stays the same: this test reloads them itself, so
    // that no later test in the same process measures with it.
    struct ReloadFonts {
        std::string elsewhere;
        ~ReloadFonts() {
            qk::gdi::UseFontFolder(elsewhere.c_str());
            qk::gdi::UseFontFolder(NULL);
        }
    } reload{root + "/no-fonts-here"};
    Run({[&] {
        qk::gdi::SetAdvanceForTest(qk::gdi::FontId::System, ' ', 0);
        ComposeButtonCaption(0);  // "< empty >"
        std::string caption = ScratchText;
        size_t lf = caption.find('\n');
        ASSERT_NE(lf, std::string::npos);
        EXPECT_LT(lf, (size_t)KEY_TEXT_SIZE);  // the key text stayed inside its 260 bytes
        EXPECT_EQ(caption.substr(0, lf), std::string(128, ' ') + "F1" + std::string(128, ' '));
        EXPECT_EQ(caption.substr(lf + 1), "< empty >");
        ComposeButtonCaption(11);
        EXPECT_EQ(std::string(ScratchText).find("F12"), 128u);
        EXPECT_LT(strlen(ScratchText), (size_t)SCRATCH_TEXT_SIZE);
    }});
}

TEST_F(MainWindow, KeysPlayTheirSlots) {
    for (int k = 1; k <= 12; k++) StoreSample(k, "s" + std::to_string(k) + ".wav");
    WritePrivateProfileStringA("QK_Pex", "Auto", "0", "ZELVRANT.INI");
    WritePrivateProfileStringA("QK_Pex", "Rehearse", "0", "ZELVRANT.INI");
    struct Case {
        std::function<void()> keys;
        std::vector<int> played;
        int lastSlot;
        const char *what;
    } cases[] = {
        {[] { hl::PressKey(VK_F1); }, {0}, 0, "F1"},
        {[] { hl::PressKey(VK_F9); }, {8}, 8, "F9"},
        {[] { hl::PressKey(VK_F11); }, {10}, 10, "F11"},
        {[] { hl::PressKey(VK_F12); }, {11}, 11, "F12"},
        {[] { hl::PressKey(VK_F10); }, {9}, 9, "F10 comes as a system key"},
        {[] { hl::KeyDown(VK_CONTROL); hl::PressKey(VK_F1); hl::KeyUp(VK_CONTROL); }, {0}, 0, "Ctrl+F1"},
        {[] { hl::KeyDown(VK_SHIFT); hl::PressKey(VK_F3); hl::KeyUp(VK_SHIFT); }, {2}, 2, "Shift+F3"},
        {[] { hl::KeyDown(VK_F2); hl::KeyDown(VK_F2); hl::KeyDown(VK_F2); hl::KeyUp(VK_F2); }, {1, 1, 1}, 1,
         "auto-repeat plays again"},
        {[] { hl::PressKey(VK_F5); hl::PressKey(VK_SPACE); }, {4, -1}, 4, "space stops, the last slot stays"},
        {[] { hl::PressKey('A'); hl::PressKey(VK_RETURN); }, {}, 0, "other keys do nothing"},
        {[] { hl::KeyDown(VK_MENU); hl::KeyUp(VK_MENU); }, {9}, 9, "Alt alone"},
        {[] { hl::PressWithAlt(VK_F4); }, {9, 9}, 9, "Alt+F4: twice, and the window stays"},
    };
    for (Case &c : cases) {
        ResetProgram();
        std::vector<int> played;
        int last = -1;
        bool open = false;
        Run({[&] {
                 hl::ClearSounds();
                 c.keys();
             },
             [&] {
                 played = Played();
                 last = LastSlot;
                 open = Main() != nullptr;
             }});
        EXPECT_EQ(played, c.played) << c.what;
        EXPECT_EQ(last, c.lastSlot) << c.what;
        EXPECT_TRUE(open) << c.what;
    }
}

TEST_F(MainWindow, AltSpaceOpensTheSystemMenu) {
    Run({[&] { hl::PressWithAlt(VK_SPACE); },
         [&] {
             EXPECT_EQ(hl::SystemMenuOpened(), 1);
             EXPECT_EQ(hl::LastSystemMenuWindow(), Main());
             EXPECT_EQ(LastSlot, 9);  // and the key went down as a system key
         }});
}

TEST_F(MainWindow, ButtonsPlayAndGiveTheFocusBack) {
    StoreSample(6, "six.wav");
    Run({[&] {
             SetClientSize(400, 322);
             hl::ClearSounds();
             hl::Click(Main(), 150, 150);  // slot 5
         },
         [&] {
             EXPECT_EQ(Played(), std::vector<int>{5});
             EXPECT_EQ(LastSlot, 5);
             EXPECT_EQ(GetFocus(), Main());
             hl::ClearSounds();
             // Commands with other ids play nothing, but the focus still comes back.
             SetFocus(SlotButtons[2]);
             SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(1036, BN_CLICKED), 0);
             EXPECT_EQ(GetFocus(), Main());
             SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(1023, BN_CLICKED), 0);
             EXPECT_TRUE(hl::Sounds().empty());
             EXPECT_EQ(LastSlot, 5);
             SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(1035, 0x1234), 0);  // only the id counts
             EXPECT_EQ(hl::Sounds().size(), 1u);
             EXPECT_EQ(LastSlot, 11);
             // Right and middle clicks play nothing.
             hl::ClearSounds();
             hl::Click(Main(), 150, 150, 2);
         },
         [&] { EXPECT_TRUE(Played().empty()); }});
}

TEST_F(MainWindow, NotifyButtonsPlayOnFocusChangesToo) {
    SetIni("[QK_Pex]\nNotify=1\nAuto=0\nRehearse=0\n");
    Run({[&] {
             SetClientSize(400, 322);
             hl::ClearSounds();
             hl::Click(Main(), 50, 50);  // slot 0
         },
         [&] {
             // The focus reaches the button (a play), the click (a play), the focus goes
             // back to the main window (a play).
             EXPECT_EQ(Played(), (std::vector<int>{-1, -1, -1}));
             EXPECT_EQ(hl::Sounds().size(), 3u);
             EXPECT_EQ(LastSlot, 0);
             EXPECT_EQ(GetFocus(), Main());
             hl::ClearSounds();
             // A double click on slot 2: the first click as above, then the double
             // click reported once more.
             hl::Click(Main(), 250, 50);
             hl::Click(Main(), 250, 50, 0, true);
         },
         [&] {
             EXPECT_EQ(hl::Sounds().size(), 4u);
             EXPECT_EQ(LastSlot, 2);
         }});
}

TEST_F(MainWindow, MinimiseKeepsTheGridRestoreRebuildsIt) {
    HWND before = nullptr;
    bool restored = false;
    Run({[&] {
             before = SlotButtons[0];
             hl::Caption(Main(), SC_MINIMIZE);
         },
         [&] {
             EXPECT_TRUE(IsIconic(Main()));
             EXPECT_EQ(SlotButtons[0], before);
             EXPECT_TRUE(IsWindow(before));
             hl::Caption(Main(), SC_RESTORE);
         },
         [&] {
             EXPECT_FALSE(IsIconic(Main()));
             EXPECT_NE(SlotButtons[0], before);
             EXPECT_FALSE(IsWindow(before));
             restored = true;
         }});
    EXPECT_TRUE(restored);
}

TEST_F(MainWindow, ClosingInEveryStateSavesTheRestoredPlace) {
    struct Case {
        UINT state;  // 0: normal
        const char *what;
    } cases[] = {{0, "normal"}, {SC_MAXIMIZE, "maximised"}, {SC_MINIMIZE, "minimised"}};
    for (const Case &c : cases) {
        ResetProgram();
        SetIni("[QK_Pex]\nX=40\nY=30\nW=500\nH=400\nAuto=0\nRehearse=0\n");
        Run({[&] {
                 hl::PressKey(VK_F7);
                 if (c.state) hl::Caption(Main(), c.state);
             },
             [&] { hl::Caption(Main(), SC_CLOSE); }});
        EXPECT_EQ(Key("X"), "40") << c.what;
        EXPECT_EQ(Key("Y"), "30") << c.what;
        EXPECT_EQ(Key("W"), "500") << c.what;
        EXPECT_EQ(Key("H"), "400") << c.what;
        EXPECT_EQ(Key("Last"), "6") << c.what;
    }
}

TEST_F(MainWindow, ResizingByTheFrameIsSaved) {
    SetIni("[QK_Pex]\nX=40\nY=30\nW=500\nH=400\n");
    Run({[&] { hl::ResizeWindow(Main(), 640, 480); }});
    EXPECT_EQ(Key("W"), "640");
    EXPECT_EQ(Key("H"), "480");
}

TEST_F(MainWindow, CancelAtAStartupPromptEndsWithoutAWindow) {
    WritePrivateProfileStringA("QK_Pex", "Wave1", "C:\\GONE.WAV", "ZELVRANT.INI");
    hl::QueueAnswer(IDCANCEL);
    int code = RunEndingEarly();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(qk::wnd::TopLevelWindows().empty());
    EXPECT_EQ(Key("Lock"), "<absent>");  // the window's start never ran
}

TEST_F(MainWindow, ClosingWhileALoopPlaysStopsAndFreesEverything) {
    StoreSample(1, "loop.wav");
    WritePrivateProfileStringA("QK_Pex", "Loop", "1", "ZELVRANT.INI");
    Run({[&] {
        hl::ClearSounds();
        hl::PressKey(VK_F1);
    }});
    auto log = hl::Sounds();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back().image, nullptr);  // the last call stops
    EXPECT_EQ(log.back().flags, 13u);
    for (const Slot &s : SlotTable) EXPECT_EQ(s.loaded, 0);
}

}  // namespace
