// The picker's controls: DlgDirListComboBoxA listings for each attribute set, list box sorting
// of mixed-case names, CB_FINDSTRING from every start index, the edit control's text limit.
// The folders C:\QKPROBE\LISTS\DIR1 and Dir2 are made by the run script.
#include "tests/conformance/probe.h"

#define ID_LIST 11
#define ID_COMBO 12
#define ID_EDIT 13
#define ID_DRIVES 14

static LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

static void ShowCombo(const char *key, HWND combo) {
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    char line[2048] = "";
    size_t at = 0;
    for (LRESULT i = 0; i < count && at < sizeof line - 1; i++) {
        char item[300] = "";
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)i, (LPARAM)item);
        at += (size_t)snprintf(line + at, sizeof line - at, "%s%s", i ? " " : "", Q(item));
    }
    Say(key, "%ld [%s]", (long)count, line);
}

static void ShowList(const char *key, HWND list) {
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    char line[2048] = "";
    size_t at = 0;
    for (LRESULT i = 0; i < count && at < sizeof line - 1; i++) {
        char item[300] = "";
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)item);
        at += (size_t)snprintf(line + at, sizeof line - at, "%s%s", i ? " " : "", Q(item));
    }
    Say(key, "%ld [%s]", (long)count, line);
}

static void DirLists(HWND top, HWND drives) {
    struct Case {
        const char *name;
        const char *spec;
        UINT type;
    };
    static const Case cases[] = {
        {"drives-exclusive", "C:\\QKPROBE\\LISTS", DDL_DRIVES | DDL_EXCLUSIVE},
        {"drives-exclusive-drive", "C:", DDL_DRIVES | DDL_EXCLUSIVE},
        {"drives-exclusive-z", "Z:\\tmp", DDL_DRIVES | DDL_EXCLUSIVE},
        {"dirs-exclusive", "C:\\QKPROBE\\LISTS\\*.*", DDL_DIRECTORY | DDL_EXCLUSIVE},
        {"dirs-and-files", "C:\\QKPROBE\\LISTS\\*.*", DDL_DIRECTORY},
        {"files", "C:\\QKPROBE\\LISTS\\*.wav", 0},
        {"drives-dirs-files", "C:\\QKPROBE\\LISTS\\*.wav", DDL_DRIVES | DDL_DIRECTORY},
        {"readonly-exclusive", "C:\\QKPROBE\\LISTS\\*.*", DDL_READONLY | DDL_EXCLUSIVE},
        {"hidden", "C:\\QKPROBE\\LISTS\\*.*", DDL_HIDDEN},
    };
    for (const Case &c : cases) {
        SetCurrentDirectoryA("C:\\QKPROBE");
        char spec[MAX_PATH];
        snprintf(spec, sizeof spec, "%s", c.spec);
        SendMessageA(drives, CB_RESETCONTENT, 0, 0);
        int result = DlgDirListComboBoxA(top, spec, ID_DRIVES, 0, c.type);
        char cwd[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof cwd, cwd);
        Say(K("dirlist.%s.result", c.name), "%d spec=%s cwd=%s", result, Q(spec), Q(cwd));
        ShowCombo(K("dirlist.%s.items", c.name), drives);
    }
}

static void Sorting(HWND list) {
    static const char *names[] = {"beta", "Alpha", "alpha", "ALPHA", "_x", "[..]", "b", "Zeta", "a.b",
                                  "a b",  "a-b",   "~t",    "10",    "9",  "[-c-]", "DING.WAV", "ding.wav",
                                  "Ding1.wav", "ding_2.wav", "ding-3.wav", "d", "co-op", "coop", "co'op",
                                  "!bang", "#hash", "&amp", "(paren", "+plus", "=eq", "\xe9", "e", "f",
                                  "\xc9mile", "emile", "\xe6" "ble", "aeble", "\xdf", "ss", "x\xb2", "x2", "$", "@at",
                                  "{b}", "a~", "a_", "A1", "a01"};
    for (const char *name : names) SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
    ShowList("listbox.sorted", list);
    LRESULT at = SendMessageA(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM)"ding");
    Say("listbox.findstring.ding", "%ld", (long)at);
    at = SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"ALPHA");
    Say("listbox.findstringexact.ALPHA", "%ld", (long)at);
}

static void FindStrings(HWND combo) {
    static const char *items[] = {"[-c-]", "[-z-]", "apple", "Apple pie", "banana", "APPLE"};
    for (const char *item : items) SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)item);
    ShowCombo("combo.sorted", combo);
    static const char *wanted[] = {"[-z-]", "[-c", "a", "APPLE", "apple p", "x", "", "c", "Z", "-"};
    for (const char *want : wanted) {
        char line[256] = "";
        size_t at = 0;
        for (int start = -1; start <= 6; start++) {
            LRESULT found = SendMessageA(combo, CB_FINDSTRING, (WPARAM)start, (LPARAM)want);
            at += (size_t)snprintf(line + at, sizeof line - at, "%s%d:%ld", start > -1 ? " " : "", start, (long)found);
        }
        Say(K("combo.findstring.%s", Q(want)), "%s", line);
        LRESULT exact = SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)want);
        Say(K("combo.findstringexact.%s", Q(want)), "%ld", (long)exact);
    }
}

static void EditLimit(HWND edit) {
    static char big[40000];
    memset(big, 'x', sizeof big - 1);
    big[sizeof big - 1] = 0;
    LRESULT set = SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)big);
    Say("edit.settext-long", "%ld %d", (long)set, GetWindowTextLengthA(edit));
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"");
    SendMessageA(edit, EM_LIMITTEXT, 5, 0);
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"123456789");
    Say("edit.limit5.settext", "%d", GetWindowTextLengthA(edit));
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"");
    for (const char *c = "abcdefgh"; *c; c++) SendMessageA(edit, WM_CHAR, (WPARAM)*c, 0);
    char text[64] = "";
    GetWindowTextA(edit, text, sizeof text);
    Say("edit.limit5.typed", "%s", Q(text));
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, EM_REPLACESEL, 0, (LPARAM)"ABCDEFGH");
    GetWindowTextA(edit, text, sizeof text);
    Say("edit.limit5.replacesel", "%s", Q(text));
    SendMessageA(edit, EM_LIMITTEXT, 0, 0);
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"");
    SendMessageA(edit, EM_REPLACESEL, 0, (LPARAM)big);
    Say("edit.limit0.replacesel-long", "%d", GetWindowTextLengthA(edit));
    // EM_GETLINE as the picker reads the name box: the size in the first WORD.
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"DING.WAV");
    char line[16];
    memset(line, '#', sizeof line);
    WORD size = 4;
    memcpy(line, &size, sizeof size);
    LRESULT got = SendMessageA(edit, EM_GETLINE, 0, (LPARAM)line);
    Say("edit.getline.4", "%ld %s", (long)got, Qn(line, 8));
    size = 15;
    memcpy(line, &size, sizeof size);
    got = SendMessageA(edit, EM_GETLINE, 0, (LPARAM)line);
    Say("edit.getline.15", "%ld %s", (long)got, Qn(line, 10));
}

// The picker's steps when the drive box picks C: while the current directory is C:\SOUNDS,
// and when it opens on "C:" (a start path in the root): what it lists through its own
// "C:\*.*" and "C:\*.wav", what the drive-relative forms would name, and where the process's
// current directory ends up. Only the folders and files the run script makes are shown.
static void ShowFound(const char *key, const char *pattern, bool directories) {
    WIN32_FIND_DATAA found;
    char line[1024] = "";
    size_t at = 0;
    int count = 0;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            bool dir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (dir != directories) continue;
            if (dir && strcmp(found.cFileName, "SOUNDS") != 0 && strcmp(found.cFileName, "JINGLES") != 0 &&
                strcmp(found.cFileName, "QKPROBE") != 0 && strcmp(found.cFileName, "..") != 0)
                continue;
            count++;
            at += (size_t)snprintf(line + at, sizeof line - at, "%s%s", at ? " " : "", Q(found.cFileName));
        } while (FindNextFileA(search, &found) && at < sizeof line - 300);
        FindClose(search);
    }
    Say(key, "%d [%s]", count, line);
}

static void ShowCurrent(const char *key) {
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    Say(key, "%s", Q(cwd));
}

static void PickerDrive(HWND top, HWND drives) {
    SetCurrentDirectoryA("C:\\SOUNDS");
    // The drive box picks C:: the picker's folder becomes "C:".
    ShowFound("picker.drive-c.folders", "C:\\*.*", true);
    ShowFound("picker.drive-c.files", "C:\\*.wav", false);
    ShowFound("picker.drive-c.relative-folders", "C:*.*", true);
    ShowFound("picker.drive-c.relative-files", "C:*.wav", false);
    ShowCurrent("picker.drive-c.cwd");
    // The picker opens on "C:".
    SetLastError(0);
    BOOL ok = SetCurrentDirectoryA("C:");
    Say("picker.open-c.setcwd", "%d error=%lu", ok ? 1 : 0, (unsigned long)GetLastError());
    ShowCurrent("picker.open-c.cwd");
    char copy[MAX_PATH] = "C:";
    SendMessageA(drives, CB_RESETCONTENT, 0, 0);
    int result = DlgDirListComboBoxA(top, copy, ID_DRIVES, 0, DDL_DRIVES | DDL_EXCLUSIVE);
    Say("picker.open-c.dirlist", "%d spec=%s", result, Q(copy));
    ShowCurrent("picker.open-c.dirlist-cwd");
    LRESULT drive = SendMessageA(drives, CB_FINDSTRING, 0, (LPARAM)"[-C-]");
    Say("picker.open-c.drive-index", "%ld", (long)drive);
    ShowFound("picker.open-c.folders", "C:\\*.*", true);
    ShowFound("picker.open-c.files", "C:\\*.wav", false);
    // Into SOUNDS and back up, as the folder list's double-clicks do.
    ShowFound("picker.sounds.folders", "C:\\SOUNDS\\*.*", true);
    ShowFound("picker.sounds.files", "C:\\SOUNDS\\*.wav", false);
    ShowCurrent("picker.end.cwd");
}

int main(void) {
    ProbeStart();
    HINSTANCE instance = GetModuleHandleA(NULL);
    RegisterProbeClass("QkProbeControls", ProbeWindowProc, 0, NULL, NULL);
    HWND top = CreateWindowExA(0, "QkProbeControls", "controls", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, NULL, NULL,
                               instance, NULL);
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOTIFY, 0, 0, 100, 100,
                                top, (HMENU)ID_LIST, instance, NULL);
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, 100, 0,
                                 100, 100, top, (HMENU)ID_COMBO, instance, NULL);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 200, 0, 100, 20, top,
                                (HMENU)ID_EDIT, instance, NULL);
    HWND drives = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, 0, 120,
                                  100, 100, top, (HMENU)ID_DRIVES, instance, NULL);
    Say("created", "%d %d %d %d %d", top != NULL, list != NULL, combo != NULL, edit != NULL, drives != NULL);
    DirLists(top, drives);
    Sorting(list);
    FindStrings(combo);
    EditLimit(edit);
    PickerDrive(top, drives);
    DestroyWindow(top);
    return 0;
}
