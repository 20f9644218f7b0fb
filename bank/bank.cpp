#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "bank/bank.h"
#include "picker/picker.h"
#include "sound/sound.h"
#include "window/window.h"

#define BANK_MARK "kcuF!"
#define BANK_LINE_MAX (SCRATCH_TEXT_SIZE - 1)

// Reads the next path line into ScratchText: the characters up to the line feed. FALSE
// when the list ends here (an empty line, or the end of the file met within the line).
// A line longer than ScratchText holds is read whole but kept cut, and `tooLong` says so.
static BOOL ReadPathLine(FILE *bank, BOOL *tooLong) {
    int length = 0, c;
    *tooLong = FALSE;
    while ((c = fgetc(bank)) != EOF && c != '\n') {
        if (length < BANK_LINE_MAX)
            ScratchText[length++] = (char)c;
        else
            *tooLong = TRUE;
    }
    ScratchText[length] = 0;
    return c != EOF && length > 0;
}

static void ShowError(HWND window, LPCSTR path, LPCSTR reason) {
    char shown[SCRATCH_TEXT_SIZE - 64];
    FitPathForMessage(path, shown, sizeof shown, sizeof shown - 1);
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s%s", shown, reason);
    MessageBoxA(window, ScratchText, "ERROR", MB_OK);
}

static void LoadBankLines(HWND window, FILE *bank) {
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        BOOL tooLong;
        if (!ReadPathLine(bank, &tooLong)) break;
        if (tooLong) {
            // No file has such a name; the slot keeps what it has and the next lines load.
            ShowError(window, ScratchText, "...\n\nThis path is too long!");
            continue;
        }
        if (GetFileAttributesA(ScratchText) == INVALID_FILE_ATTRIBUTES) {
            ShowError(window, ScratchText, "\n\nCan't load that file!");
            continue;
        }
        FreeSlotSample(slot);
        int result = LoadSampleIntoSlot(slot, ScratchText);
        if (result == LOAD_OUT_OF_MEMORY) break;
        if (result == LOAD_UNREADABLE) {
            // Its old sample is gone; the slot shows that it holds none, and its stored
            // path stays as it was.
            snprintf(SlotTable[slot].label, LABEL_SIZE, "%s", EMPTY_LABEL);
        } else {
            char key[16];
            snprintf(key, sizeof key, "Wave%d", slot + 1);
            StorePath(key, ScratchText);
        }
        ComposeButtonCaption(slot);
        SendMessageA(SlotButtons[slot], WM_SETTEXT, 0, (LPARAM)ScratchText);
    }
}

void LoadBankStream(HWND window, FILE *bank, LPCSTR fileName) {
    size_t got = fread(ScratchText, 1, 6, bank);
    BOOL marked = got >= 5;
    for (int i = 0; marked && i < 5; i++)
        if (ScratchText[4 - i] != BANK_MARK[i]) marked = FALSE;
    if (!marked) {
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\n\nWrong file format!", fileName);
        MessageBoxA(window, ScratchText, "ERROR", MB_OK);
        return;
    }
    LoadBankLines(window, bank);
}

void LoadBankFile(HWND window) {
    StopSound();
    char start[PATH_SIZE];
    GetPrivateProfileStringA(BANK_SECTION, "Savefile", "", start, sizeof start, SETTINGS_FILE);
    if (!start[0]) {
        char current[PATH_SIZE];
        GetCurrentDirectoryA(sizeof current, current);
        if (snprintf(start, sizeof start, "%s%s*.QK", current, strlen(current) > 3 ? "\\" : "") >= (int)sizeof start)
            start[0] = 0;
    }
    SetPickerStart(start);
    Picker.mode = PICK_MUST_EXIST;
    snprintf(Picker.title, sizeof Picker.title, "Pick QK-file to load..");
    snprintf(Picker.defaultExtension, sizeof Picker.defaultExtension, "QK");
    snprintf(Picker.filterExtension, sizeof Picker.filterExtension, "QK");
    if (RunFilePicker(MainInstance, window) != 1) return;
    UpdateWindow(window);

    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\\%s", Picker.directory, Picker.fileName);
    FILE *bank = fopen(ScratchText, "r");
    if (!bank) {
        // It exists (the picker saw to that) but cannot be read: nothing is touched.
        ShowError(window, ScratchText, "\n\nThis bank file can't be opened!");
        return;
    }
    LoadBankStream(window, bank, Picker.fileName);
    fclose(bank);
}
