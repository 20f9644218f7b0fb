#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "bank/bank.h"
#include "picker/picker.h"
#include "sound/sound.h"
#include "window/window.h"

#define BANK_MARK "kcuF!"
#define BANK_LINE_MAX (SCRATCH_TEXT_SIZE - 1)

// The next character of a bank file. Carriage returns are dropped wherever they stand,
// also a lone one that the C runtime's text mode would pass on, so that every build
// reads the same lines.
static int ReadBankChar(FILE *bank) {
    int c;
    do c = fgetc(bank);
    while (c == '\r');
    return c;
}

// Reads the next path line into ScratchText: the characters up to the line feed. FALSE
// when the list ends here (an empty line, or the end of the file met within the line).
// A line longer than ScratchText holds is read whole but kept cut, and `tooLong` says so.
static BOOL ReadPathLine(FILE *bank, BOOL *tooLong) {
    int length = 0, c;
    *tooLong = FALSE;
    while ((c = ReadBankChar(bank)) != EOF && c != '\n') {
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
        // The path is kept aside: a message about the file is built in ScratchText.
        char listed[SCRATCH_TEXT_SIZE];
        snprintf(listed, sizeof listed, "%s", ScratchText);
        // A message box of an earlier line leaves the window live, so a key may have
        // started this slot's old sample since the load began.
        StopSound();
        FreeSlotSample(slot);
        int result = LoadSampleIntoSlot(slot, listed);
        if (result == LOAD_OUT_OF_MEMORY) break;
        // A listed file that exists but cannot be read is stored all the same, as a
        // right-click assignment stores it: its old sample is gone, the slot shows that
        // it holds none, and the next start reports the file instead of loading the old one.
        if (result == LOAD_UNREADABLE) snprintf(SlotTable[slot].label, LABEL_SIZE, "%s", EMPTY_LABEL);
        char key[16];
        snprintf(key, sizeof key, "Wave%d", slot + 1);
        StorePath(key, listed);
        ComposeButtonCaption(slot);
        SendMessageA(SlotButtons[slot], WM_SETTEXT, 0, (LPARAM)ScratchText);
    }
}

void LoadBankStream(HWND window, FILE *bank, LPCSTR fileName) {
    int got = 0, c;
    while (got < 6 && (c = ReadBankChar(bank)) != EOF) ScratchText[got++] = (char)c;
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
