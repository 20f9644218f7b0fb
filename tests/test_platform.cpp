// Behaviour of the stand-in that the program can observe, as the real platform has it.
#include <string.h>

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
    // Not shown yet, its placement already says normal.
    WINDOWPLACEMENT placement;
    placement.length = sizeof placement;
    ASSERT_TRUE(GetWindowPlacement(top, &placement));
    EXPECT_EQ(placement.showCmd, (UINT)SW_SHOWNORMAL);
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

LRESULT CALLBACK Plain(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcA(h, msg, w, l); }

HWND MakeParent() {
    WNDCLASSEXA wc;
    memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Plain;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "QkControlsParent";
    RegisterClassExA(&wc);
    return CreateWindowExA(0, "QkControlsParent", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

std::vector<std::string> Items(HWND box, bool combo) {
    std::vector<std::string> out;
    LRESULT n = SendMessageA(box, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; i++) {
        char text[300] = "";
        SendMessageA(box, combo ? CB_GETLBTEXT : LB_GETTEXT, (WPARAM)i, (LPARAM)text);
        out.push_back(text);
    }
    return out;
}

// A sorted list orders as the platform's locale sort does without regard to case: punctuation
// before digits before letters, hyphens and apostrophes weighing only when all else is equal,
// accented letters after their plain ones; items equal but for case go before the equal item
// the search meets.
TEST_F(Platform, SortedListsOrderAsThePlatformsLocaleSort) {
    HWND top = MakeParent();
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_SORT, 0, 0, 100, 100, top, (HMENU)11,
                                GetModuleHandleA(NULL), NULL);
    for (const char *name : {"beta", "Alpha", "alpha", "ALPHA", "_x", "[..]", "b", "Zeta", "a.b", "a b", "a-b", "~t",
                             "10", "9", "[-c-]", "DING.WAV", "ding.wav", "Ding1.wav", "ding_2.wav", "ding-3.wav", "d",
                             "co-op", "coop", "\xe9", "e", "f"})
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
    EXPECT_EQ(Items(list, false),
              (std::vector<std::string>{"[..]", "[-c-]", "_x", "~t", "10", "9", "a b", "a.b", "a-b", "alpha", "ALPHA",
                                        "Alpha", "b", "beta", "coop", "co-op", "d", "ding.wav", "DING.WAV",
                                        "ding_2.wav", "Ding1.wav", "ding-3.wav", "e", "\xe9", "f", "Zeta"}));
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM)"ding"), 17);
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"ALPHA"), 9);  // equal but for case
    EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM)""), LB_ERR);
    DestroyWindow(top);
}

// CB_FINDSTRING: an empty text finds nothing; a prefix also matches after the "[-" of a drive.
TEST_F(Platform, ComboSearchesAsThePlatformDoes) {
    HWND top = MakeParent();
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST | CBS_SORT, 0, 0, 100, 100, top,
                                 (HMENU)12, GetModuleHandleA(NULL), NULL);
    for (const char *item : {"[-c-]", "[-z-]", "apple", "Apple pie", "banana"})
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)item);
    ASSERT_EQ(Items(combo, true), (std::vector<std::string>{"[-c-]", "[-z-]", "apple", "Apple pie", "banana"}));
    struct Case {
        const char *text;
        int start;
        LRESULT found;
    } cases[] = {
        {"", -1, CB_ERR}, {"", 2, CB_ERR}, {"z", -1, 1}, {"C", 3, 0}, {"[-c", -1, 0}, {"apple p", 0, 3}, {"x", -1, CB_ERR},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SendMessageA(combo, CB_FINDSTRING, (WPARAM)c.start, (LPARAM)c.text), c.found) << c.text << c.start;
    DestroyWindow(top);
}

// A limited edit control takes as much of a replacement as fits; EM_GETLINE ends the line
// with a NUL when the buffer has room for one.
TEST_F(Platform, EditLimitAndGetLineAsThePlatformHasThem) {
    HWND top = MakeParent();
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 20, top, (HMENU)13,
                                GetModuleHandleA(NULL), NULL);
    SendMessageA(edit, EM_LIMITTEXT, 5, 0);
    for (const char *c = "abcdefgh"; *c; c++) SendMessageA(edit, WM_CHAR, (WPARAM)*c, 0);
    char text[64] = "";
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "abcde");
    SendMessageA(edit, EM_SETSEL, 1, 3);
    SendMessageA(edit, EM_REPLACESEL, 0, (LPARAM)"XYZW");
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "aXYde");
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, EM_REPLACESEL, 0, (LPARAM)"ABCDEFGH");
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "ABCDE");

    SendMessageA(edit, EM_LIMITTEXT, 0, 0);
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"DING.WAV");
    char line[16];
    memset(line, '#', sizeof line);
    WORD size = 15;
    memcpy(line, &size, sizeof size);
    EXPECT_EQ(SendMessageA(edit, EM_GETLINE, 0, (LPARAM)line), 8);
    EXPECT_EQ(std::string(line, 10), std::string("DING.WAV\0#", 10));
    memset(line, '#', sizeof line);
    size = 8;
    memcpy(line, &size, sizeof size);
    EXPECT_EQ(SendMessageA(edit, EM_GETLINE, 0, (LPARAM)line), 8);
    EXPECT_EQ(std::string(line, 9), "DING.WAV#");  // no room: no NUL
    DestroyWindow(top);
}

// DlgDirListComboBoxA lists as the platform does: files first, then the folders without
// "[.]", then the drives; the caller's spec is left holding the pattern in upper case.
TEST_F(Platform, DirectoryListingsAsThePlatformMakesThem) {
    MakeDirs(home + "/LISTS/DIR1");
    MakeDirs(home + "/LISTS/Dir2");
    for (const char *f : {"a.wav", "B.WAV", "c.txt"}) WriteFile(home + "/LISTS/" + f, "x");
    HWND top = MakeParent();
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST | CBS_SORT, 0, 0, 100, 100, top,
                                 (HMENU)14, GetModuleHandleA(NULL), NULL);
    ASSERT_NE(combo, nullptr);
    struct Case {
        const char *spec;
        UINT type;
        const char *after;
        std::vector<std::string> items;  // without the drives
    } cases[] = {
        {"C:\\LISTS\\*.*", DDL_DIRECTORY, "*.*", {"a.wav", "B.WAV", "c.txt", "[..]", "[DIR1]", "[Dir2]"}},
        {"C:\\LISTS\\*.*", DDL_DIRECTORY | DDL_EXCLUSIVE, "*.*", {"[..]", "[DIR1]", "[Dir2]"}},
        {"C:\\LISTS\\*.wav", 0, "*.WAV", {"a.wav", "B.WAV"}},
        {"C:\\LISTS\\*.wav", DDL_DRIVES | DDL_DIRECTORY, "*.WAV", {"a.wav", "B.WAV", "[..]", "[DIR1]", "[Dir2]"}},
        {"C:\\LISTS", DDL_DRIVES | DDL_EXCLUSIVE, "*", {}},
    };
    for (const Case &c : cases) {
        SetCurrentDirectoryA("C:\\");
        char spec[MAX_PATH];
        snprintf(spec, sizeof spec, "%s", c.spec);
        EXPECT_EQ(DlgDirListComboBoxA(top, spec, 14, 0, c.type), TRUE) << c.spec;
        EXPECT_STREQ(spec, c.after) << c.spec;
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        EXPECT_STREQ(cwd, "C:\\LISTS") << c.spec;
        std::vector<std::string> items = Items(combo, true), drives;
        while (!items.empty() && items.back().rfind("[-", 0) == 0) {
            drives.insert(drives.begin(), items.back());
            items.pop_back();
        }
        EXPECT_EQ(items, c.items) << c.spec;
        EXPECT_EQ(!drives.empty(), (c.type & DDL_DRIVES) != 0) << c.spec;
        if (!drives.empty()) {
            EXPECT_EQ(drives[0], "[-c-]");
        }
    }
    DestroyWindow(top);
}

TEST_F(Platform, SmallFacts) {
    // Blanks before a written value are not kept, those after it are (and reading drops them).
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "  12 ", "ZELVRANT.INI"));
    EXPECT_EQ(IniText(), "[S]\r\nK=12 \r\n");
    EXPECT_EQ(GetPrivateProfileIntA("S", "K", 5, "ZELVRANT.INI"), 12u);
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
