#include <stdio.h>

#include "app/app.h"
#include "sound/sound.h"
#include "window/window.h"

int ToggleOption(int value) { return value >= 1 ? value - 1 : 1; }

static void SetCheck(HMENU menu, UINT id, int value) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (value ? MF_CHECKED : MF_UNCHECKED));
}

static void WriteOption(LPCSTR key, int value) {
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    WritePrivateProfileStringA(SETTINGS_SECTION, key, text, SETTINGS_FILE);
}

// Lock, Auto, Notify and Rehearse toggle what the settings file holds.
static void ToggleStoredOption(HWND window, UINT id, LPCSTR key) {
    HMENU menu = GetSystemMenu(window, FALSE);
    int value = ToggleOption((int)GetPrivateProfileIntA(SETTINGS_SECTION, key, 0, SETTINGS_FILE));
    if (id == IDM_AUTOPLAY) OptionAuto = value;
    if (id == IDM_NOTIFY) OptionNotify = value;
    if (id == IDM_REHEARSE) OptionRehearse = value;
    SetCheck(menu, id, value);
    WriteOption(key, value);
    if (id == IDM_LOCK) {
        MessageBoxA(window,
                    value ? "Window will be locked\nnext time you start this program"
                          : "Window will be unlocked\nnext time you start this program",
                    "NOTE:", MB_ICONINFORMATION);
    } else if (id == IDM_AUTOPLAY) {
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "Startup autoplay %sabled", value ? "en" : "dis");
        MessageBoxA(window, ScratchText, "NOTE:", MB_ICONINFORMATION);
    } else if (id == IDM_NOTIFY) {
        // The buttons are made anew, with or without BS_NOTIFY.
        SendMessageA(window, WM_SIZE, 0, 0);
    }
}

// Sync and Loop never stand on together: switching one on while the other is on asks
// first.
static void TogglePlayMode(HWND window, int *toggled, int *other, UINT id, UINT otherId, LPCSTR key,
                           LPCSTR otherKey, UINT conflictText) {
    HMENU menu = GetSystemMenu(window, FALSE);
    *toggled = ToggleOption(*toggled);
    if (*toggled && *other) {
        LoadStringA(MainInstance, conflictText, ScratchText, SCRATCH_TEXT_SIZE);
        if (MessageBoxA(window, ScratchText, "Warning", MB_OKCANCEL) == IDCANCEL) {
            *toggled = 0;
            return;
        }
        *other = 0;
        WritePrivateProfileStringA(SETTINGS_SECTION, otherKey, "0", SETTINGS_FILE);
        SetCheck(menu, otherId, 0);
    }
    SetCheck(menu, id, *toggled);
    WriteOption(key, *toggled);
    DerivePlayFlags();
    if (!OptionLoop) StopSound();
    ShowPlayModes();
}

static void ShowAbout(HWND window) {
    LoadStringA(MainInstance, IDS_ABOUT, ScratchText, SCRATCH_TEXT_SIZE);
    if (MessageBoxA(window, ScratchText, MAIN_TITLE, MB_YESNO) == IDNO) ExitWindowsEx(EWX_SHUTDOWN, 0);
}

LRESULT HandleOptionCommand(HWND window, WPARAM command) {
    switch (command) {
        case IDM_LOCK:
            ToggleStoredOption(window, IDM_LOCK, "Lock");
            break;
        case IDM_ABOUT:
            ShowAbout(window);
            break;
        case IDM_SYNC:
            TogglePlayMode(window, &OptionSync, &OptionLoop, IDM_SYNC, IDM_LOOP, "Sync", "Loop", IDS_SYNC_IN_LOOP);
            break;
        case IDM_HELP:
            WinHelpA(window, "QK_AUDIO.HLP", HELP_KEY, (ULONG_PTR) "QK-Pex");
            break;
        case IDM_LOOP:
            TogglePlayMode(window, &OptionLoop, &OptionSync, IDM_LOOP, IDM_SYNC, "Loop", "Sync", IDS_LOOP_IN_SYNC);
            break;
        case IDM_AUTOPLAY:
            ToggleStoredOption(window, IDM_AUTOPLAY, "Auto");
            break;
        case IDM_NOTIFY:
            ToggleStoredOption(window, IDM_NOTIFY, "Notify");
            break;
        case IDM_REHEARSE:
            ToggleStoredOption(window, IDM_REHEARSE, "Rehearse");
            break;
        default:
            break;
    }
    return 0;
}
