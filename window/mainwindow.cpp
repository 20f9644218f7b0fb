#include <stdio.h>

#include "app/app.h"
#include "bank/bank.h"
#include "sound/sound.h"
#include "window/window.h"

HINSTANCE MainInstance;

#define LOCKED_STYLE (WS_SYSMENU | WS_MINIMIZEBOX)

ATOM RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "ICON_1");
    wc.hIconSm = LoadIconA(instance, "ICON_2");
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = MAIN_CLASS_NAME;
    return (ATOM)(RegisterClassExA(&wc) & 0xFFFF);
}

static int PlacementValue(LPCSTR key) {
    int value = (int)GetPrivateProfileIntA(SETTINGS_SECTION, key, -1, SETTINGS_FILE);
    return value < 0 ? CW_USEDEFAULT : value;
}

static void AppendChecked(HMENU menu, UINT id, LPCSTR text, int value) {
    AppendMenuA(menu, MF_STRING, id, text);
    CheckMenuItem(menu, id, MF_BYCOMMAND | (value ? MF_CHECKED : MF_UNCHECKED));
}

int StartMainWindow(HINSTANCE instance, int showCommand) {
    MainInstance = instance;
    int lock = ReadStartupOptions();
    int x = PlacementValue("X");
    int y = PlacementValue("Y");
    int w = PlacementValue("W");
    int h = PlacementValue("H");
    HWND window = CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_TITLE, lock ? LOCKED_STYLE : WS_OVERLAPPEDWINDOW, x, y, w,
                                  h, NULL, NULL, instance, NULL);
    if (!window) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    InitCommonControls();

    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, IDM_LOAD_BANK, "Load QK-file");
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendChecked(menu, IDM_LOOP, "Loop in memory", OptionLoop);
    AppendChecked(menu, IDM_SYNC, "Sync audio", OptionSync);
    AppendChecked(menu, IDM_AUTOPLAY, "Startup autoplay", OptionAuto);
    AppendChecked(menu, IDM_NOTIFY, "BS_NOTIFY", OptionNotify);
    AppendChecked(menu, IDM_REHEARSE, "Rehearse", OptionRehearse);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendChecked(menu, IDM_LOCK, "Freeez window", lock);
    AppendMenuA(menu, MF_STRING, IDM_HELP, "Help!");
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "About QK-pex");

    StartupPlayback();
    return 1;
}

// The window is going: its place and the last played slot are kept for the next
// start, the sound stops and every sample is released.
static LRESULT ShutDown(HWND window) {
    WINDOWPLACEMENT placement;
    placement.length = sizeof(WINDOWPLACEMENT);
    GetWindowPlacement(window, &placement);
    if (placement.showCmd != SW_MINIMIZE) {
        const RECT *r = &placement.rcNormalPosition;
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%ld", (long)r->left);
        WritePrivateProfileStringA(SETTINGS_SECTION, "X", ScratchText, SETTINGS_FILE);
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%ld", (long)r->top);
        WritePrivateProfileStringA(SETTINGS_SECTION, "Y", ScratchText, SETTINGS_FILE);
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%ld", (long)(r->right - r->left));
        WritePrivateProfileStringA(SETTINGS_SECTION, "W", ScratchText, SETTINGS_FILE);
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%ld", (long)(r->bottom - r->top));
        WritePrivateProfileStringA(SETTINGS_SECTION, "H", ScratchText, SETTINGS_FILE);
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%d", LastSlot);
        WritePrivateProfileStringA(SETTINGS_SECTION, "Last", ScratchText, SETTINGS_FILE);
    }
    StopSound();
    for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
        // GetMessageA ends the message loop on WM_QUIT, so the platform never hands it to a
        // window procedure. It stays for a WM_QUIT posted to this window and dispatched by
        // some other loop: the window then shuts down as it does when it is destroyed.
        case WM_QUIT:
            return ShutDown(window);
        case WM_SIZE:
            return RebuildButtonGrid(window, wParam);
        case WM_KEYDOWN:
            return HandleKeyDown(wParam);
        case WM_SYSKEYDOWN:
            return HandleSystemKeyDown();
        case WM_COMMAND:
            return HandleCommand(window, wParam);
        case WM_SYSCOMMAND:
            if (wParam >= IDM_LOCK && wParam <= IDM_REHEARSE && wParam != IDM_LOAD_BANK)
                return HandleOptionCommand(window, wParam);
            if (wParam == IDM_LOAD_BANK) {
                LoadBankFile(window);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_PARENTNOTIFY:
            return HandleParentNotify(window, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
