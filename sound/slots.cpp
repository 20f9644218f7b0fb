#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "sound/sound.h"

Slot SlotTable[SLOT_COUNT];

void LabelFromPath(LPCSTR path, char *label) {
    char drive[PATH_PART_SIZE], dir[PATH_PART_SIZE], base[PATH_PART_SIZE], ext[PATH_PART_SIZE];
    SplitPath(path, drive, dir, base, ext);
    int i = 0;
    for (; i < 8 && base[i]; i++) {
        char c = base[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        label[i] = c;
    }
    label[i] = 0;
    if (label[0] >= 'a' && label[0] <= 'z') label[0] = (char)(label[0] - 'a' + 'A');
}

static void SetLabel(int slot, const char *text) {
    snprintf(SlotTable[slot].label, LABEL_SIZE, "%s", text);
}

// A file that exists but cannot be read (a directory, no permission, gone since it was
// found, not a regular file) leaves the slot without a sample.
static void ReportUnreadable(LPCSTR path) {
    static const char reason[] = "\n\nThis file can't be opened!";
    char shown[SCRATCH_TEXT_SIZE - sizeof reason + 1];
    FitPathForMessage(path, shown, sizeof shown, sizeof shown - 1);
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s%s", shown, reason);
    MessageBoxA(NULL, ScratchText, "ERROR", MB_ICONERROR);
}

int LoadSampleIntoSlot(int slot, LPCSTR path) {
    Slot *s = &SlotTable[slot];
    FILE *file = fopen(path, "rb");
    if (!file) {
        ReportUnreadable(path);
        return LOAD_UNREADABLE;
    }
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length < 0 || fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        ReportUnreadable(path);
        return LOAD_UNREADABLE;
    }
    s->block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, (size_t)length);
    if (!s->block) {
        MessageBoxA(NULL, "Not enough memory available!", "ERROR", MB_ICONERROR);
        fclose(file);
        return LOAD_OUT_OF_MEMORY;
    }
    s->data = (BYTE *)GlobalLock(s->block);
    if (s->data && length > 0) {
        size_t got = fread(s->data, 1, (size_t)length, file);
        // A file that shrank while it was read: the rest of the block is silence, never
        // whatever the memory held before.
        if (got < (size_t)length) memset(s->data + got, 0, (size_t)length - got);
    }
    fclose(file);
    LabelFromPath(path, s->label);
    s->loaded = 1;
    return LOAD_LOADED;
}

void FreeSlotSample(int slot) {
    Slot *s = &SlotTable[slot];
    if (s->loaded == 1) {
        GlobalUnlock(s->block);
        GlobalFree(s->block);
    }
    s->block = NULL;
    s->data = NULL;
    s->loaded = 0;
}

// Pass 1: every stored path that does not exist is either emptied (OK) or ends the
// start-up (Cancel).
static BOOL ValidateStoredSamples(void) {
    char key[16];
    for (int k = 1; k <= SLOT_COUNT; k++) {
        snprintf(key, sizeof key, "Wave%d", k);
        GetPrivateProfileStringA(SETTINGS_SECTION, key, "", ScratchText, SCRATCH_TEXT_SIZE, SETTINGS_FILE);
        if (!ScratchText[0] || GetFileAttributesA(ScratchText) != INVALID_FILE_ATTRIBUTES) continue;

        char tail[160];
        int tailLength = snprintf(tail, sizeof tail,
                                  ":\nThis file is missing!\nChoose OK to assign < empty > to button %d"
                                  "\nChoose Cancel to stop QK_Pex from loading",
                                  k);
        char shown[SCRATCH_TEXT_SIZE - sizeof tail];
        FitPathForMessage(ScratchText, shown, sizeof shown, SCRATCH_TEXT_SIZE - 1 - (size_t)tailLength);
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s%s", shown, tail);
        if (MessageBoxA(NULL, ScratchText, "WARNING", MB_ICONERROR | MB_OKCANCEL) == IDCANCEL) return FALSE;
        WritePrivateProfileStringA(SETTINGS_SECTION, key, "", SETTINGS_FILE);
    }
    return TRUE;
}

// Pass 2: every stored sample is read into memory, under the wait cursor.
static void PreloadStoredSamples(void) {
    char key[16];
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    for (int n = 0; n < SLOT_COUNT; n++) {
        snprintf(key, sizeof key, "Wave%d", n + 1);
        GetPrivateProfileStringA(SETTINGS_SECTION, key, "", ScratchText, SCRATCH_TEXT_SIZE, SETTINGS_FILE);
        if (!ScratchText[0]) {
            SetLabel(n, EMPTY_LABEL);
            SlotTable[n].loaded = 0;
            continue;
        }
        int result = LoadSampleIntoSlot(n, ScratchText);
        if (result == LOAD_OUT_OF_MEMORY) break;  // later slots stay unvisited; their keys keep their paths
        if (result == LOAD_UNREADABLE) SetLabel(n, EMPTY_LABEL);  // the key stays: the next start tries again
    }
    SetCursor(previous);
}

BOOL SlotStartup(void) {
    if (!ValidateStoredSamples()) return FALSE;
    PreloadStoredSamples();
    return TRUE;
}
