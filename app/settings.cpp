#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "sound/sound.h"

int OptionSync;
int OptionLoop;
int OptionAuto;
int OptionNotify;
int OptionRehearse;

int ReadStartupOption(LPCSTR key, int defaultValue) {
    int value = (int)GetPrivateProfileIntA(SETTINGS_SECTION, key, OPTION_ABSENT, SETTINGS_FILE);
    if (value == OPTION_ABSENT) {
        char text[16];
        snprintf(text, sizeof text, "%d", defaultValue);
        WritePrivateProfileStringA(SETTINGS_SECTION, key, text, SETTINGS_FILE);
        value = defaultValue;
    }
    return value;
}

int ReadStartupOptions(void) {
    int lock = ReadStartupOption("Lock", 0);
    OptionSync = ReadStartupOption("Sync", 0);
    OptionLoop = ReadStartupOption("Loop", 0);
    if (OptionLoop && OptionSync) {
        // Looping and synchronous playback never stand on together: Loop wins.
        OptionSync = 0;
        WritePrivateProfileStringA(SETTINGS_SECTION, "Sync", "0", SETTINGS_FILE);
    }
    OptionAuto = ReadStartupOption("Auto", 1);
    DerivePlayFlags();
    OptionNotify = ReadStartupOption("Notify", 0);
    OptionRehearse = ReadStartupOption("Rehearse", 1);
    return lock;
}

static BOOL IsBlank(char c) { return c == ' ' || c == '\t'; }

BOOL StorePath(LPCSTR key, LPCSTR path) {
    size_t length = strlen(path);
    BOOL changesOnReading = length > 0 && (IsBlank(path[0]) || IsBlank(path[length - 1]) ||
                                           (length >= 2 && (path[0] == '"' || path[0] == '\'') &&
                                            path[length - 1] == path[0]));
    if (!changesOnReading) return WritePrivateProfileStringA(SETTINGS_SECTION, key, path, SETTINGS_FILE);
    char quoted[SCRATCH_TEXT_SIZE + 2];
    snprintf(quoted, sizeof quoted, "\"%s\"", path);
    return WritePrivateProfileStringA(SETTINGS_SECTION, key, quoted, SETTINGS_FILE);
}
