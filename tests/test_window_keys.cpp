// The keyboard's move and size of a window (the system menu's Move and Size), and the
// list box's mouse wheel and typed letters: the stand-in's own logic, shared by both
// drivers, driven here through the headless one.
#include <string>
#include <vector>

#include "platform/driver/headless/headless.h"
#include "platform/user32/paint.h"
#include "platform/user32/wnd.h"
#include "platform/win32.h"
#include "tests/program.h"
#include "tests/support.h"

namespace {

namespace hl = qk::headless;

struct Seen {
    UINT msg;
    RECT rect;  // the window's rectangle when it came
};
std::vector<Seen> g_seen;
std::vector<WPARAM> g_keys;  // keys going down and characters (the Enter that ends a move comes up after it)
std::vector<std::pair<int, WORD>> g_notes;  // (control id, notification)

LRESULT CALLBACK Recorder(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_ENTERSIZEMOVE || msg == WM_EXITSIZEMOVE || msg == WM_MOVE || msg == WM_SIZE) {
        RECT r;
        GetWindowRect(h, &r);
        g_seen.push_back({msg, r});
    }
    if (msg == WM_KEYDOWN || msg == WM_CHAR || msg == WM_SYSKEYDOWN) g_keys.push_back(w);
    if (msg == WM_COMMAND) g_notes.push_back({(int)LOWORD(w), HIWORD(w)});
    return DefWindowProcA(h, msg, w, l);
}

class WindowKeys : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        g_seen.clear();
        g_keys.clear();
        g_notes.clear();
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Recorder;
        wc.lpszClassName = "KEYSRECORDER";
        ASSERT_NE(RegisterClassExA(&wc), 0);
    }
    HWND Top(int x, int y, int w, int h, DWORD style = WS_OVERLAPPEDWINDOW) {
        HWND top = CreateWindowExA(0, "KEYSRECORDER", "t", style, x, y, w, h, NULL, NULL, NULL, NULL);
        EXPECT_NE(top, nullptr);
        ShowWindow(top, SW_SHOWNORMAL);
        g_seen.clear();
        return top;
    }
    static RECT WindowRect(HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        return r;
    }
    // The system menu's item chosen, then the steps, each when the move waits for input.
    static void Choose(HWND top, UINT sc, std::vector<std::function<void()>> steps) {
        for (auto &s : steps) hl::OnIdle(s);
        hl::ChooseMenuItem(top, sc);
        hl::Pump();
        EXPECT_EQ(hl::PendingSteps(), 0u) << "the move ended before every step ran";
        hl::DropPendingSteps();
    }
    // Where the pointer is on the window, as its hit-test code.
    static int PointerHit(HWND top) {
        POINT p = hl::PointerPosition();
        RECT r = WindowRect(top);
        return qk::paint::HitTest(top, p.x - r.left, p.y - r.top);
    }
};

bool Same(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Str(const RECT &r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST_F(WindowKeys, MoveFollowsTheArrowsAndEnterKeepsIt) {
    HWND top = Top(100, 80, 400, 300);
    std::vector<std::string> during;
    std::vector<int> hits;
    Choose(top, SC_MOVE, {[&] {
                              // The pointer waits on the caption.
                              hits.push_back(PointerHit(top));
                              hl::PressKey(VK_RIGHT);
                          },
                          [&] {
                              during.push_back(Str(WindowRect(top)));
                              hl::PressKey(VK_RIGHT);
                              hl::PressKey(VK_RIGHT);
                              hl::PressKey(VK_DOWN);
                          },
                          [&] {
                              during.push_back(Str(WindowRect(top)));
                              hits.push_back(PointerHit(top));
                              hl::TypeText("x");
                              hl::PressKey(VK_UP);
                              hl::PressKey(VK_LEFT);
                              hl::PressKey(VK_RETURN);
                          }});
    EXPECT_EQ(hits, (std::vector<int>{HTCAPTION, HTCAPTION}));
    EXPECT_EQ(during, (std::vector<std::string>{"108,80,508,380", "124,88,524,388"}));
    EXPECT_EQ(Str(WindowRect(top)), "116,80,516,380");
    // The window heard of each step between the enter and exit messages; the keys were the move's.
    ASSERT_GE(g_seen.size(), 2u);
    EXPECT_EQ(g_seen.front().msg, (UINT)WM_ENTERSIZEMOVE);
    EXPECT_EQ(g_seen.back().msg, (UINT)WM_EXITSIZEMOVE);
    int moves = 0;
    for (const Seen &s : g_seen) moves += s.msg == WM_MOVE;
    EXPECT_EQ(moves, 6);
    EXPECT_TRUE(g_keys.empty()) << g_keys.size() << " keys reached the window";
    // The pointer ends where the caption is.
    EXPECT_EQ(PointerHit(top), HTCAPTION);
    DestroyWindow(top);
}

TEST_F(WindowKeys, EscapePutsTheWindowBack) {
    struct Case {
        UINT sc;
        std::vector<int> keys;
    };
    const Case cases[] = {
        {SC_MOVE, {VK_LEFT, VK_LEFT, VK_UP}},
        {SC_SIZE, {VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN}},
        {SC_SIZE, {VK_UP, VK_UP, VK_UP}},
    };
    for (const Case &c : cases) {
        HWND top = Top(200, 150, 320, 240);
        RECT start = WindowRect(top);
        bool changed = false;
        Choose(top, c.sc, {[&] {
                               for (int k : c.keys) hl::PressKey(k);
                           },
                           [&] {
                               changed = !Same(WindowRect(top), start);
                               hl::PressKey(VK_ESCAPE);
                           }});
        EXPECT_TRUE(changed) << c.sc;
        EXPECT_EQ(Str(WindowRect(top)), Str(start)) << c.sc;
        ASSERT_FALSE(g_seen.empty());
        EXPECT_EQ(g_seen.back().msg, (UINT)WM_EXITSIZEMOVE);
        // The program heard of the way back before the move ended.
        EXPECT_TRUE(Same(g_seen.back().rect, start));
        DestroyWindow(top);
        g_seen.clear();
    }
}

TEST_F(WindowKeys, SizePicksAnEdgeThenACornerAndKeepsTheSmallestSize) {
    HWND top = Top(100, 100, 400, 300);
    std::vector<int> hits;
    std::vector<std::string> rects;
    auto note = [&] {
        hits.push_back(PointerHit(top));
        rects.push_back(Str(WindowRect(top)));
    };
    Choose(top, SC_SIZE, {[&] {
                              note();  // in the middle, nothing picked
                              hl::PressKey(VK_RIGHT);
                          },
                          [&] {
                              note();  // the right edge picked, nothing moved
                              hl::PressKey(VK_RIGHT);
                              hl::PressKey(VK_RIGHT);
                          },
                          [&] {
                              note();
                              hl::PressKey(VK_DOWN);
                          },
                          [&] {
                              note();  // the corner picked
                              hl::PressKey(VK_UP);
                              hl::PressKey(VK_LEFT);
                          },
                          [&] {
                              note();
                              hl::PressKey(VK_RETURN);
                          }});
    EXPECT_EQ(hits, (std::vector<int>{HTCLIENT, HTRIGHT, HTRIGHT, HTBOTTOMRIGHT, HTBOTTOMRIGHT}));
    EXPECT_EQ(rects, (std::vector<std::string>{"100,100,500,400", "100,100,500,400", "100,100,516,400",
                                               "100,100,516,400", "100,100,508,392"}));
    EXPECT_EQ(Str(WindowRect(top)), "100,100,508,392");
    // The left edge pushed right stops at the smallest width; the window's WM_SIZE says so.
    Choose(top, SC_SIZE, {[&] {
                              hl::PressKey(VK_LEFT);
                              for (int i = 0; i < 60; i++) hl::PressKey(VK_RIGHT);
                              hl::PressKey(VK_RETURN);
                          }});
    RECT r = WindowRect(top);
    EXPECT_EQ(r.right, 508);
    EXPECT_EQ(r.right - r.left, 112);
    DestroyWindow(top);
}

TEST_F(WindowKeys, ThePointerAndTheCaptionStayOnTheWorkArea) {
    int sw = GetSystemMetrics(SM_CXSCREEN);
    HWND top = Top(-150, 80, 400, 300);  // the caption's middle is 50 pixels from the left edge
    Choose(top, SC_MOVE, {[&] {
                              for (int i = 0; i < 20; i++) hl::PressKey(VK_LEFT);
                              hl::PressKey(VK_RETURN);
                          }});
    EXPECT_EQ(Str(WindowRect(top)), "-200,80,200,380");
    EXPECT_EQ(hl::PointerPosition().x, 0);
    DestroyWindow(top);
    top = Top(sw - 260, 80, 400, 300);  // the middle 60 pixels from the right edge
    Choose(top, SC_MOVE, {[&] {
                              for (int i = 0; i < 20; i++) hl::PressKey(VK_RIGHT);
                              hl::PressKey(VK_RETURN);
                          }});
    EXPECT_EQ(WindowRect(top).left, sw - 260 + 59);
    EXPECT_EQ(hl::PointerPosition().x, sw - 1);
    DestroyWindow(top);
}

TEST_F(WindowKeys, NothingToMoveOrSize) {
    struct Case {
        const char *what;
        DWORD style;
        int show;
        UINT sc;
    };
    const Case cases[] = {
        {"a maximised window", WS_OVERLAPPEDWINDOW, SW_SHOWMAXIMIZED, SC_MOVE},
        {"a maximised window's size", WS_OVERLAPPEDWINDOW, SW_SHOWMAXIMIZED, SC_SIZE},
        {"a minimised window", WS_OVERLAPPEDWINDOW, SW_SHOWMINIMIZED, SC_MOVE},
        {"a fixed frame's size", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, SW_SHOWNORMAL, SC_SIZE},
    };
    for (const Case &c : cases) {
        HWND top = Top(100, 100, 300, 200, c.style);
        ShowWindow(top, c.show);
        RECT before = WindowRect(top);
        g_seen.clear();
        hl::ChooseMenuItem(top, c.sc);
        hl::PressKey(VK_RIGHT);
        hl::PressKey(VK_RETURN);
        hl::Pump();
        EXPECT_TRUE(Same(WindowRect(top), before)) << c.what;
        for (const Seen &s : g_seen) EXPECT_NE(s.msg, (UINT)WM_ENTERSIZEMOVE) << c.what;
        // The keys went to the window as usual.
        EXPECT_FALSE(g_keys.empty()) << c.what;
        g_keys.clear();
        DestroyWindow(top);
    }
}

// ---- list boxes ----

class ListBoxes : public WindowKeys {
protected:
    HWND parent = nullptr;
    HWND List(const std::vector<const char *> &items, DWORD style, int height) {
        parent = Top(50, 50, 400, 400);
        HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | style, 10, 10,
                                    200, height, parent, (HMENU)101, NULL, NULL);
        EXPECT_NE(list, nullptr);
        for (const char *i : items) SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)i);
        return list;
    }
    static std::string Selected(HWND list) {
        int i = (int)SendMessageA(list, LB_GETCARETINDEX, 0, 0);
        char buf[300] = {0};
        if (SendMessageA(list, LB_GETSEL, (WPARAM)i, 0) <= 0) return "<none>";
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)buf);
        return buf;
    }
    static int SelectedCount(HWND list) {
        int n = 0, count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; i++) n += SendMessageA(list, LB_GETSEL, (WPARAM)i, 0) > 0;
        return n;
    }
};

TEST_F(ListBoxes, ALetterSelectsTheNextItemStartingWithIt) {
    HWND list = List({"charlie.wav", "bravo.wav", "[sounds]", "alpha.wav", "[..]", "Beta.wav", "[-c-]", "delta.wav"},
                     LBS_NOTIFY | LBS_SORT | LBS_EXTENDEDSEL, 200);
    SetFocus(list);
    struct Row {
        char typed;
        const char *selected;
        bool notified;
    };
    const Row rows[] = {
        {'b', "Beta.wav", true},     {'B', "bravo.wav", true},   {'b', "Beta.wav", true},  // wraps round
        {'c', "charlie.wav", true},  {'c', "[-c-]", true},       // a drive by its letter
        {'s', "[sounds]", true},     {'[', "[..]", true},        {'[', "[-c-]", true},
        {'z', "[-c-]", false},       // nothing starts with it: the selection stays
        {'d', "delta.wav", true},    {'d', "delta.wav", false},  // the only one: it stays chosen
        {'.', "[..]", true},         {'A', "alpha.wav", true},
    };
    for (const Row &r : rows) {
        g_notes.clear();
        char text[2] = {r.typed, 0};
        hl::TypeText(text);
        hl::Pump();
        EXPECT_EQ(Selected(list), r.selected) << r.typed;
        EXPECT_EQ(SelectedCount(list), 1) << r.typed;
        bool notified = g_notes.size() == 1 && g_notes[0] == std::make_pair(101, (WORD)LBN_SELCHANGE);
        EXPECT_EQ(notified, r.notified) << r.typed;
    }
    // The same rule finds entries for LB_FINDSTRING.
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM) "SO"), 2);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM) "C-"), 1);
    DestroyWindow(parent);
}

TEST_F(ListBoxes, TheWheelScrollsThreeRowsANotch) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; i++) names.push_back("item" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    std::vector<const char *> items;
    for (auto &n : names) items.push_back(n.c_str());
    int rowHeight = 0;
    HWND list = List(items, LBS_NOTIFY | LBS_SORT, 100);
    rowHeight = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_GT(rowHeight, 0);
    RECT c;
    GetClientRect(list, &c);
    int visible = c.bottom / rowHeight;
    ASSERT_GT(visible, 2);
    ASSERT_LT(visible, 20);
    SendMessageA(list, LB_SETCURSEL, 5, 0);
    HWND button = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE, 250, 10, 80, 24, parent, (HMENU)102,
                                  NULL, NULL);
    SetFocus(button);  // the wheel goes where the pointer is, not to the focus
    struct Row {
        int delta;
        int top;
    };
    const Row rows[] = {
        {-WHEEL_DELTA, 3},      {-WHEEL_DELTA, 6},  {WHEEL_DELTA, 3},  {-2 * WHEEL_DELTA, 9},
        {-WHEEL_DELTA / 3, 10},  // a third of a notch: one row
        {-WHEEL_DELTA / 6, 10},  {-WHEEL_DELTA / 6, 11},  // halves of a row add up
        {WHEEL_DELTA * 10, 0},   // stops at the top
        {-WHEEL_DELTA * 40, 40 - visible},  // and at the bottom
    };
    for (const Row &r : rows) {
        g_notes.clear();
        hl::WheelOn(list, r.delta);
        hl::Pump();
        EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), r.top) << r.delta;
        EXPECT_TRUE(g_notes.empty()) << r.delta;
    }
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 5);  // the wheel scrolls, it does not select
    EXPECT_EQ(GetFocus(), button);
    // Over a window that does not scroll, the wheel reaches its parent and changes nothing.
    hl::WheelOn(button, -WHEEL_DELTA);
    hl::Pump();
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 40 - visible);
    DestroyWindow(parent);
}

// ---- the player's own window ----

class PlayerKeys : public ProgramTest {};

TEST_F(PlayerKeys, TheMainWindowMovedAndSizedFromTheKeyboardKeepsItsPlacement) {
    SetIni("[QK_Pex]\r\nAuto=0\r\nX=120\r\nY=90\r\nW=500\r\nH=360\r\n");
    Run({[] { hl::ChooseMenuItem(Main(), SC_MOVE); },
         [] {
             hl::PressKey(VK_RIGHT);
             hl::PressKey(VK_RIGHT);
             hl::PressKey(VK_DOWN);
             hl::PressKey(VK_RETURN);
         },
         [] { hl::ChooseMenuItem(Main(), SC_SIZE); },
         [] {
             hl::PressKey(VK_DOWN);  // the bottom edge
             hl::PressKey(VK_DOWN);
             hl::PressKey(VK_DOWN);
             hl::PressKey(VK_DOWN);
             hl::PressKey(VK_RETURN);
         },
         [] { hl::ChooseMenuItem(Main(), SC_MOVE); },
         [] {
             hl::PressKey(VK_LEFT);
             hl::PressKey(VK_ESCAPE);  // undone
         }});
    EXPECT_EQ(Key("X"), "136");
    EXPECT_EQ(Key("Y"), "98");
    EXPECT_EQ(Key("W"), "500");
    EXPECT_EQ(Key("H"), "384");
    // No key played a slot while the window moved (the only call is the stop at the end).
    for (const hl::SoundRecord &s : hl::Sounds()) EXPECT_EQ(s.image, nullptr);
}

}  // namespace
