// Windows and messages: what a window of the main window's class and styles receives from
// CreateWindowExA, ShowWindow, a resize, minimise, restore, maximise, SC_CLOSE and
// DestroyWindow (filtered to the messages the program handles or passes on), the placement in
// each state, the system menu's standard items in each state once it has been opened, and the
// status bar's client rectangle.
#include "tests/conformance/probe.h"

static char Log[2048];
static size_t LogAt;

static void Record(const char *text) {
    LogAt += (size_t)snprintf(Log + LogAt, sizeof Log - LogAt, "%s%s", LogAt ? " " : "", text);
    if (LogAt >= sizeof Log) LogAt = sizeof Log - 1;
}

static LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char text[64];
    switch (message) {
        case WM_CREATE: Record("CREATE"); break;
        case WM_SIZE:
            snprintf(text, sizeof text, "SIZE(%lu)", (unsigned long)wParam);
            Record(text);
            break;
        case WM_SHOWWINDOW:
            snprintf(text, sizeof text, "SHOWWINDOW(%lu)", (unsigned long)wParam);
            Record(text);
            break;
        case WM_SYSCOMMAND:
            snprintf(text, sizeof text, "SYSCOMMAND(%04lx)", (unsigned long)(wParam & 0xFFF0));
            Record(text);
            break;
        case WM_CLOSE: Record("CLOSE"); break;
        case WM_DESTROY: Record("DESTROY"); break;
        case WM_COMMAND: Record("COMMAND"); break;
        case WM_INITMENUPOPUP:
            // A modal system menu is about to show: two Escapes then close the popup and end
            // the menu mode once it is up. (A menu that is not modal sends no such message.)
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case WM_PARENTNOTIFY:
            snprintf(text, sizeof text, "PARENTNOTIFY(%u)", (unsigned)LOWORD(wParam));
            Record(text);
            break;
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void Pump(void) {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static void Step(const char *name) {
    Pump();
    Say(K("messages.%s", name), "[%s]", Log);
    LogAt = 0;
    Log[0] = 0;
}

static void Placement(const char *name, HWND window) {
    WINDOWPLACEMENT wp;
    memset(&wp, 0, sizeof wp);
    wp.length = sizeof wp;
    BOOL ok = GetWindowPlacement(window, &wp);
    Say(K("placement.%s", name), "%d show=%u normal=%ld,%ld,%ld,%ld iconic=%d zoomed=%d", ok ? 1 : 0,
        (unsigned)wp.showCmd, (long)wp.rcNormalPosition.left, (long)wp.rcNormalPosition.top,
        (long)wp.rcNormalPosition.right, (long)wp.rcNormalPosition.bottom, IsIconic(window) ? 1 : 0,
        IsZoomed(window) ? 1 : 0);
}

static void SystemMenu(const char *name, HWND window) {
    // Opened as Alt+Space would, then read once it has closed again.
    SendMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    Pump();
    LogAt = 0;
    Log[0] = 0;
    HMENU menu = GetSystemMenu(window, FALSE);
    static const struct {
        const char *name;
        UINT id;
    } items[] = {{"restore", SC_RESTORE}, {"move", SC_MOVE},         {"size", SC_SIZE},
                 {"minimize", SC_MINIMIZE}, {"maximize", SC_MAXIMIZE}, {"close", SC_CLOSE}};
    char line[256] = "";
    size_t at = 0;
    for (const auto &item : items) {
        UINT state = GetMenuState(menu, item.id, MF_BYCOMMAND);
        at += (size_t)snprintf(line + at, sizeof line - at, "%s%s=%s", at ? " " : "", item.name,
                               state == (UINT)-1 ? "none" : (state & MF_GRAYED) ? "grey" : "on");
    }
    Say(K("sysmenu.%s", name), "%s", line);
}

static HWND Create(HINSTANCE instance, DWORD style) {
    return CreateWindowExA(0, "QkProbeMain", "probe", style, 40, 30, 320, 240, NULL, NULL, instance, NULL);
}

int main(void) {
    ProbeStart();
    HINSTANCE instance = GetModuleHandleA(NULL);
    RegisterProbeClass("QkProbeMain", ProbeWindowProc, CS_VREDRAW | CS_HREDRAW, LoadCursorA(NULL, IDC_ARROW),
                       (HBRUSH)GetStockObject(BLACK_BRUSH));

    HWND window = Create(instance, WS_OVERLAPPEDWINDOW);
    Step("create");
    Placement("created", window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    Step("show");
    Placement("shown", window);
    SystemMenu("normal", window);
    MoveWindow(window, 40, 30, 360, 260, TRUE);
    Step("resize");
    Placement("resized", window);
    ShowWindow(window, SW_MINIMIZE);
    Step("minimize");
    Placement("minimized", window);
    SystemMenu("minimized", window);
    ShowWindow(window, SW_RESTORE);
    Step("restore-from-minimized");
    ShowWindow(window, SW_MAXIMIZE);
    Step("maximize");
    Placement("maximized", window);
    SystemMenu("maximized", window);
    ShowWindow(window, SW_RESTORE);
    Step("restore-from-maximized");
    Placement("restored", window);
    SystemMenu("restored", window);

    InitCommonControls();
    HWND status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window, NULL, instance,
                                  NULL);
    RECT r = {0, 0, 0, 0};
    GetClientRect(status, &r);
    RECT parent = {0, 0, 0, 0};
    GetClientRect(window, &parent);
    Say("statusbar.client", "%ld,%ld,%ld,%ld parent-width-matches=%d", (long)r.left, (long)r.top, (long)r.right,
        (long)r.bottom, r.right == parent.right ? 1 : 0);
    Step("statusbar");

    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Step("sc-close");
    Say("after-close.iswindow", "%d", IsWindow(window) ? 1 : 0);

    HWND locked = Create(instance, WS_SYSMENU | WS_MINIMIZEBOX);
    ShowWindow(locked, SW_SHOWNORMAL);
    Step("locked-create-show");
    SystemMenu("locked", locked);
    DestroyWindow(locked);
    Step("destroy");
    return 0;
}
