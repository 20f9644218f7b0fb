// Dialogs and boxes: the file picker's "NTFS" template through DialogBoxParamA (each
// control's rectangle in the dialog's client coordinates, the initial focus, the tab order,
// what Enter, Escape, Space and the close box end it with from a given focus), what
// MessageBoxA gives for each key the program's boxes take, and where a box of a long
// message (a whole path, no blank in it) lies: on the screen, its text wrapped.
//
// Nobody presses a key: a message posted before the modal loop starts (and, where that comes
// too early, the owner's WM_ENTERIDLE) posts the key to whatever has the focus, as the
// keyboard would. On the stand-in the headless driver answers MessageBoxA from a script, so
// the box window itself (RunMessageBoxWindow, what the desktop driver shows) is run instead.
#include "tests/conformance/probe.h"

#ifndef _WIN32
#include "platform/user32/msgbox.h"
#endif

#define WM_PROBE_DRIVE (WM_USER + 0x201)
#define WM_PROBE_CHECK (WM_USER + 0x202)

// The key to press once the modal window has the focus.
struct Press {
    UINT message;  // WM_KEYDOWN, WM_CHAR, WM_CLOSE (to the modal window itself)
    WPARAM key;
};

static HWND Owner;
static Press Pending;
static BOOL Pressed;
static HWND FocusAtPress;
static HWND Modal;      // the window the key went to, while its modal loop runs
static BOOL Stayed;     // the key left it open: Enter ended it
static int Checks;      // rounds of WM_PROBE_CHECK since the key
static int FocusId;     // the control ID and text of the focus the key went to
static char FocusText[32];

static BOOL MeasureBox;  // keep the box's rectangle when the key is pressed
static RECT BoxRect;

static char Commands[512];
static size_t CommandsAt;

// The top-level window a window belongs to.
static HWND Root(HWND window) {
    HWND parent;
    while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) && (parent = GetParent(window)) != NULL)
        window = parent;
    return window;
}

// Presses the pending key when the focus is in a modal window other than the owner.
static void Drive(void) {
    if (Pressed) return;
    HWND focus = GetFocus();
    if (!focus || Root(focus) == Owner) return;
    Pressed = TRUE;
    FocusAtPress = focus;
    FocusId = GetDlgCtrlID(focus);
    FocusText[0] = 0;
    GetWindowTextA(focus, FocusText, sizeof FocusText);
    Modal = Root(focus);
    if (MeasureBox) GetWindowRect(Modal, &BoxRect);
    if (Pending.message == WM_CLOSE)
        PostMessageA(Modal, WM_CLOSE, 0, 0);
    else
        PostMessageA(focus, Pending.message, Pending.key, 1);
    // Taken after the key: a key that leaves the window open is followed by Enter.
    PostMessageA(Owner, WM_PROBE_CHECK, 0, 0);
}

static void Check(void) {
    if (!Modal || !IsWindow(Modal) || !IsWindowVisible(Modal)) return;
    // What the key itself posts (a close's command) is taken first.
    if (++Checks < 5) {
        PostMessageA(Owner, WM_PROBE_CHECK, 0, 0);
        return;
    }
    Stayed = TRUE;
    HWND focus = GetFocus();
    PostMessageA(focus ? focus : Modal, WM_KEYDOWN, VK_RETURN, 1);
}

static void Ready(UINT message, WPARAM key) {
    Pending.message = message;
    Pending.key = key;
    Pressed = FALSE;
    Stayed = FALSE;
    Checks = 0;
    FocusId = -1;
    strcpy(FocusText, "none");
    FocusAtPress = NULL;
    Modal = NULL;
}

// After the modal loop: nothing is pending any more.
static void Done(void) {
    Modal = NULL;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PROBE_DRIVE || message == WM_ENTERIDLE) {
        Drive();
        return 0;
    }
    if (message == WM_PROBE_CHECK) {
        Check();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- the "NTFS" dialog --------------------------------------------------------------------

static const int Controls[] = {103, 101, 102, 105, 106, 104};
static int FocusFirst;   // a control to focus before the key (0: leave the dialog's choice)
static BOOL Describe;    // print the layout and tab order (once)

static void DescribeDialog(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    RECT outer;
    GetWindowRect(dialog, &outer);
    Say("ntfs.client", "%ldx%ld", (long)client.right, (long)client.bottom);
    Say("ntfs.window-size", "%ldx%ld", (long)(outer.right - outer.left), (long)(outer.bottom - outer.top));
    for (int id : Controls) {
        RECT r;
        GetWindowRect(GetDlgItem(dialog, id), &r);
        MapWindowPoints(NULL, dialog, (LPPOINT)&r, 2);
        Say(K("ntfs.rect.%d", id), "%ld,%ld,%ld,%ld", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
    }
    // The two labels have no ID of their own that tells them apart: the second has 107.
    RECT r;
    GetWindowRect(GetDlgItem(dialog, 107), &r);
    MapWindowPoints(NULL, dialog, (LPPOINT)&r, 2);
    Say("ntfs.rect.107", "%ld,%ld,%ld,%ld", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
    Say("ntfs.initial-focus", "%d", GetDlgCtrlID(GetFocus()));
    char order[128] = "";
    size_t at = 0;
    HWND item = GetFocus();
    for (int i = 0; i < 8; i++) {
        item = GetNextDlgTabItem(dialog, item, FALSE);
        at += (size_t)snprintf(order + at, sizeof order - at, "%s%d", at ? " " : "", item ? GetDlgCtrlID(item) : 0);
    }
    Say("ntfs.tab-order", "%s", order);
    at = 0;
    item = GetFocus();
    for (int i = 0; i < 8; i++) {
        item = GetNextDlgTabItem(dialog, item, TRUE);
        at += (size_t)snprintf(order + at, sizeof order - at, "%s%d", at ? " " : "", item ? GetDlgCtrlID(item) : 0);
    }
    Say("ntfs.tab-order-back", "%s", order);
    Say("ntfs.first-tab-item", "%d", GetDlgCtrlID(GetNextDlgTabItem(dialog, NULL, FALSE)));
}

static INT_PTR CALLBACK NtfsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            PostMessageA(dialog, WM_PROBE_DRIVE, 0, 0);
            return TRUE;
        case WM_PROBE_DRIVE:
            if (Describe) {
                Describe = FALSE;
                DescribeDialog(dialog);
            }
            if (FocusFirst) SetFocus(GetDlgItem(dialog, FocusFirst));
            FocusFirst = 0;
            Drive();
            return TRUE;
        case WM_COMMAND: {
            // Every command the dialog gets that is not a control's notification of its own.
            WORD id = LOWORD(wParam), code = HIWORD(wParam);
            if (code != 0) return FALSE;
            HWND from = (HWND)lParam;
            CommandsAt += (size_t)snprintf(Commands + CommandsAt, sizeof Commands - CommandsAt, "%s%u/%s",
                                           CommandsAt ? " " : "", (unsigned)id,
                                           from ? (GetDlgItem(dialog, id) == from ? "own" : "other") : "none");
            if (CommandsAt >= sizeof Commands) CommandsAt = sizeof Commands - 1;
            EndDialog(dialog, 1000 + id);
            return TRUE;
        }
        default: return FALSE;
    }
}

static void RunNtfs(HINSTANCE instance, const char *name, int focus, UINT message, WPARAM key) {
    FocusFirst = focus;
    Ready(message, key);
    CommandsAt = 0;
    Commands[0] = 0;
    INT_PTR result = DialogBoxParamA(instance, "NTFS", Owner, NtfsProc, 0);
    int pressedOn = FocusId;
    Done();
    Say(K("ntfs.%s", name), "result=%ld pressed-on=%d stayed-open=%d commands=[%s]", (long)result, pressedOn,
        Stayed ? 1 : 0, Commands);
}

// ---- message boxes ------------------------------------------------------------------------

static int Box(UINT type, const char *text = "Probe text", const char *caption = "Probe") {
    PostMessageA(Owner, WM_PROBE_DRIVE, 0, 0);
#ifdef _WIN32
    return MessageBoxA(Owner, text, caption, type);
#else
    return qk::wnd::RunMessageBoxWindow(Owner, text, caption, type);
#endif
}

// The rectangle of a box with this text, answered with Enter.
static RECT MeasuredBox(const char *text, UINT type) {
    Ready(WM_KEYDOWN, VK_RETURN);
    MeasureBox = TRUE;
    memset(&BoxRect, 0, sizeof BoxRect);
    Box(type, text, "WARNING");
    Done();
    MeasureBox = FALSE;
    return BoxRect;
}

// A box about a path as long as paths get, as the program shows one: the box lies on the
// screen, and its text is wrapped (the box is taller than one of a short line).
static void RunLongBoxes(void) {
    char path[300];
    snprintf(path, sizeof path, "C:\\");
    while (strlen(path) < 255) strcat(path, "SOUNDS\\");
    strcat(path, "A.WAV");
    char text[400];
    snprintf(text, sizeof text, "%s\n\nThis file can't be found!", path);
    int screen = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    RECT shortBox = MeasuredBox("This file can't be found!", MB_ICONWARNING);
    RECT longBox = MeasuredBox(text, MB_ICONWARNING);
    int width = longBox.right - longBox.left;
    Say("box-size.long-path.within-screen", "%d", longBox.left >= 0 && longBox.right <= screen && longBox.top >= 0 &&
                                                    longBox.bottom <= screenH);
    Say("box-size.long-path.wider-than-half", "%d", width > screen / 2);
    Say("box-size.long-path.wrapped", "%d",
        (longBox.bottom - longBox.top) - (shortBox.bottom - shortBox.top) >= 3 * 13);
}

static void RunBox(const char *typeName, UINT type, const char *keyName, UINT message, WPARAM key) {
    Ready(message, key);
    int answer = Box(type);
    Done();
    Say(K("box.%s.%s", typeName, keyName), "%d stayed-open=%d focus=%s", answer, Stayed ? 1 : 0, Q(FocusText));
}

int main(void) {
    ProbeStart();
    HINSTANCE instance = GetModuleHandleA(NULL);
    RegisterProbeClass("QkProbeOwner", OwnerProc, 0, LoadCursorA(NULL, IDC_ARROW),
                       (HBRUSH)GetStockObject(BLACK_BRUSH));
    InitCommonControls();
    Owner = CreateWindowExA(0, "QkProbeOwner", "owner", WS_OVERLAPPEDWINDOW, 40, 30, 640, 480, NULL, NULL, instance,
                            NULL);
    ShowWindow(Owner, SW_SHOWNORMAL);
    UpdateWindow(Owner);

    static const struct {
        const char *name;
        int focus;
        UINT message;
        WPARAM key;
    } dialogRuns[] = {
        {"enter", 0, WM_KEYDOWN, VK_RETURN},
        {"escape", 0, WM_KEYDOWN, VK_ESCAPE},
        {"close", 0, WM_CLOSE, 0},
        {"enter-on-files", 101, WM_KEYDOWN, VK_RETURN},
        {"escape-on-files", 101, WM_KEYDOWN, VK_ESCAPE},
        {"enter-on-dirs", 102, WM_KEYDOWN, VK_RETURN},
        {"enter-on-drives", 104, WM_KEYDOWN, VK_RETURN},
        {"escape-on-drives", 104, WM_KEYDOWN, VK_ESCAPE},
        {"enter-on-ok", 105, WM_KEYDOWN, VK_RETURN},
        {"enter-on-cancel", 106, WM_KEYDOWN, VK_RETURN},
        {"escape-on-ok", 105, WM_KEYDOWN, VK_ESCAPE},
        {"space-on-cancel", 106, WM_CHAR, ' '},
    };
    Describe = TRUE;
    for (const auto &run : dialogRuns) RunNtfs(instance, run.name, run.focus, run.message, run.key);

    // The program's boxes: MB_OK (also with MB_ICONERROR, MB_ICONINFORMATION, MB_ICONWARNING),
    // MB_OKCANCEL (also with MB_ICONERROR) and MB_YESNO.
    static const struct {
        const char *name;
        UINT type;
    } types[] = {
        {"ok", MB_OK},
        {"ok-error", MB_ICONERROR},
        {"ok-information", MB_ICONINFORMATION},
        {"ok-warning", MB_ICONWARNING},
        {"okcancel", MB_OKCANCEL},
        {"okcancel-error", MB_ICONERROR | MB_OKCANCEL},
        {"yesno", MB_YESNO},
    };
    static const struct {
        const char *name;
        UINT message;
        WPARAM key;
    } keys[] = {
        {"enter", WM_KEYDOWN, VK_RETURN}, {"escape", WM_KEYDOWN, VK_ESCAPE}, {"close", WM_CLOSE, 0},
        {"space", WM_CHAR, ' '},          {"o", WM_CHAR, 'o'},               {"c", WM_CHAR, 'c'},
        {"y", WM_CHAR, 'y'},              {"n", WM_CHAR, 'n'},               {"Y", WM_CHAR, 'Y'},
        {"alt-n", WM_SYSCHAR, 'n'},
    };
    for (const auto &type : types)
        for (const auto &key : keys) RunBox(type.name, type.type, key.name, key.message, key.key);
    RunLongBoxes();
    DestroyWindow(Owner);
    return 0;
}
