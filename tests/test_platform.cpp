// Behaviour of the stand-in that the program can observe, as the real platform has it.
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support.h"

namespace {

class Platform : public StandinTest {};

std::vector<UINT> g_seen;

LRESULT CALLBACK Recorder(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_SIZE || msg == WM_MOVE || msg == WM_SHOWWINDOW ||
        msg == WM_ACTIVATE || msg == WM_SETFOCUS || msg == WM_PARENTNOTIFY)
        g_seen.push_back(msg);
    return DefWindowProcA(h, msg, w, l);
}

TEST_F(Platform, AHiddenWindowHearsOfItsSizeWhenFirstShown) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Recorder;
    wc.lpszClassName = "RECORDER";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    g_seen.clear();
    HWND top = CreateWindowExA(0, "RECORDER", "t", WS_OVERLAPPEDWINDOW, 10, 10, 200, 150, NULL, NULL, NULL, NULL);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    g_seen.clear();
    ShowWindow(top, SW_SHOWNORMAL);
    ASSERT_GE(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0], (UINT)WM_SHOWWINDOW);
    EXPECT_EQ(g_seen[1], (UINT)WM_SIZE);
    EXPECT_EQ(g_seen[2], (UINT)WM_MOVE);
    // A child hears of it with its creation, and its parent hears of the child.
    g_seen.clear();
    HWND child = CreateWindowExA(0, "RECORDER", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, (HMENU)7, NULL, NULL);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_PARENTNOTIFY}));
    DestroyWindow(top);
}

// The system menu's standard items follow the window's state each time the menu opens
// (checked on Wine set to Windows 95 by tests/conformance/windows.cpp).
TEST_F(Platform, TheSystemMenuGreysItsItemsByTheWindowsState) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "SYSMENUSTATES";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    struct Case {
        DWORD style;
        int show;  // 0: left as shown normally
        const char *expected;  // restore move size minimize maximize, 1 = greyed
    };
    const Case cases[] = {
        {WS_OVERLAPPEDWINDOW, 0, "10000"},
        {WS_OVERLAPPEDWINDOW, SW_MAXIMIZE, "01101"},
        {WS_OVERLAPPEDWINDOW, SW_MINIMIZE, "00110"},
        {WS_SYSMENU | WS_MINIMIZEBOX, 0, "10101"},
        {WS_SYSMENU | WS_MINIMIZEBOX, SW_MINIMIZE, "00111"},
    };
    const UINT ids[] = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE};
    for (const Case &c : cases) {
        HWND top = CreateWindowExA(0, "SYSMENUSTATES", "t", c.style, 10, 10, 200, 150, NULL, NULL, NULL, NULL);
        ASSERT_NE(top, nullptr);
        ShowWindow(top, SW_SHOWNORMAL);
        // Maximised first, so the minimised rows come from another state than the normal one.
        if (c.show) ShowWindow(top, c.show);
        SendMessageA(top, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        HMENU menu = GetSystemMenu(top, FALSE);
        std::string got;
        for (UINT id : ids) got += (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) ? '1' : '0';
        EXPECT_EQ(got, c.expected) << "style " << std::hex << c.style << " show " << c.show;
        // Back to normal and opened again: the states follow.
        if (c.show) {
            ShowWindow(top, SW_RESTORE);
            SendMessageA(top, WM_SYSCOMMAND, SC_KEYMENU, ' ');
            got.clear();
            for (UINT id : ids) got += (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) ? '1' : '0';
            EXPECT_EQ(got, (c.style & WS_THICKFRAME) ? "10000" : "10101");
        }
        DestroyWindow(top);
    }
}

TEST_F(Platform, SmallFacts) {
    // Blanks round a written value are not kept.
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "  12 ", "ZELVRANT.INI"));
    EXPECT_EQ(IniText(), "[S]\r\nK=12\r\n");
    // The family's build number carries the version in its high word.
    OSVERSIONINFOA v;
    v.dwOSVersionInfoSize = sizeof v;
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwBuildNumber, 0x040003B6u);
    // A successful attribute query leaves the last error as it was.
    SetLastError(1234);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(GetSystemMetrics(SM_CYMENU), 19);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
}

}  // namespace
