#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "picker/picker.h"
#include "sound/sound.h"
#include "window/window.h"

int SlotFromPoint(HWND window, LPARAM point) {
    RECT client, status;
    GetClientRect(window, &client);
    GetClientRect(StatusBar, &status);
    int gridHeight = client.bottom - status.bottom;
    int rowHeight = gridHeight / 3;
    int columnWidth = client.right / 4;
    // A grid too small to hold a row or a column has no slot under any point.
    if (rowHeight <= 0 || columnWidth <= 0) return -1;
    unsigned x = LOWORD(point), y = HIWORD(point);
    unsigned row = y / (unsigned)rowHeight, column = x / (unsigned)columnWidth;
    // The status bar lies in row 3, the right-most W mod 4 pixels in column 4.
    if (row > 2 || column > 3) return -1;
    return (int)(row * 4 + column);
}

static void ShowSlotCaption(int slot) {
    ComposeButtonCaption(slot);
    SendMessageA(SlotButtons[slot], WM_SETTEXT, 0, (LPARAM)ScratchText);
}

static void AssignSlot(HWND window, int slot) {
    char key[16], stored[PATH_SIZE];
    snprintf(key, sizeof key, "Wave%d", slot + 1);
    GetPrivateProfileStringA(SETTINGS_SECTION, key, "", stored, sizeof stored, SETTINGS_FILE);
    if (!stored[0]) {
        char current[PATH_SIZE];
        GetCurrentDirectoryA(sizeof current, current);
        // A current directory too long for the pattern opens the picker without one.
        if (snprintf(stored, sizeof stored, "%s%s*.WAV", current, strlen(current) > 3 ? "\\" : "") >=
            (int)sizeof stored)
            stored[0] = 0;
    }
    SetPickerStart(stored);
    Picker.mode = PICK_MUST_EXIST | PICK_FORCE_EXTENSION | PICK_EMPTY_OK;
    snprintf(Picker.defaultExtension, sizeof Picker.defaultExtension, "wav");
    snprintf(Picker.title, sizeof Picker.title, "Pick WAV-file to assign...");
    snprintf(Picker.filterExtension, sizeof Picker.filterExtension, "wav");
    if (RunFilePicker(MainInstance, window) != 1) return;

    SendMessageA(StatusBar, SB_SETTEXTA, 0, (LPARAM) "Loading file...");
    UpdateWindow(window);
    if (Picker.fileName[0])
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\\%s", Picker.directory, Picker.fileName);
    else
        ScratchText[0] = 0;
    StorePath(key, ScratchText);
    if (SlotTable[slot].loaded) {
        StopSound();
        FreeSlotSample(slot);
    }
    if (!Picker.fileName[0] || GetFileAttributesA(ScratchText) == INVALID_FILE_ATTRIBUTES) {
        snprintf(SlotTable[slot].label, LABEL_SIZE, "%s", EMPTY_LABEL);
        WritePrivateProfileStringA(SETTINGS_SECTION, key, "", SETTINGS_FILE);
    } else {
        int result = LoadSampleIntoSlot(slot, ScratchText);
        if (result == LOAD_OUT_OF_MEMORY) return;
        // A file that exists but cannot be read: the slot has no sample, and says so.
        if (result == LOAD_UNREADABLE) snprintf(SlotTable[slot].label, LABEL_SIZE, "%s", EMPTY_LABEL);
    }
    ShowSlotCaption(slot);
    SendMessageA(StatusBar, SB_SETTEXTA, 0, (LPARAM) "");
}

LRESULT HandleParentNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WM_RBUTTONDOWN) return 0;
    int slot = SlotFromPoint(window, lParam);
    if (slot >= 0) AssignSlot(window, slot);
    return 0;
}
