// Application shell: the shared text buffer, path splitting and the settings store.
#ifndef QK_APP_H
#define QK_APP_H

#include "platform/win32.h"

// The program's entry: platform check, sample start-up, the main window, the message
// loop; gives the exit code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// One shared buffer for messages, paths read from the settings, bank-file lines and
// captions. Whoever fills it is done with it before control returns to the message loop.
#define SCRATCH_TEXT_SIZE 1024
extern char ScratchText[SCRATCH_TEXT_SIZE];

// Each part SplitPath gives holds at most 255 characters and its NUL.
#define PATH_PART_SIZE 256
#define PATH_SIZE 260

// Splits the first 260 characters of a path into drive ("C:"), directory (up to and
// including the last '\' or '/'), base name and extension (from the last '.' of the
// final part). A final part of "." or ".." counts as directory. Missing parts are "".
void SplitPath(const char *path, char *drive, char *dir, char *base, char *ext);

// Upper-cases the ASCII letters of a text in place.
void UpperCaseText(char *text);

// Copies path into out (outSize bytes), upper-cased, and shortened with "..." in the
// middle when it is longer than maxChars, so that a message built around it fits.
void FitPathForMessage(const char *path, char *out, size_t outSize, size_t maxChars);

// The settings file and its sections.
#define SETTINGS_FILE "ZELVRANT.INI"
#define SETTINGS_SECTION "QK_Pex"
#define BANK_SECTION "QK_Wav"
// The value by which the start-up read tells that an option is absent.
#define OPTION_ABSENT 1234

// Option variables, mirroring the keys "Sync", "Loop", "Auto", "Notify", "Rehearse";
// zero is off, anything else on.
extern int OptionSync;
extern int OptionLoop;
extern int OptionAuto;
extern int OptionNotify;
extern int OptionRehearse;

// Reads one option at start-up: an absent key (or one stored as 1234) is written with
// the default and the default is taken; any other value is used as stored.
int ReadStartupOption(LPCSTR key, int defaultValue);

// Reads the six options in their start-up order ("Lock", "Sync", "Loop", Loop wins over
// Sync, "Auto", the play flags, "Notify", "Rehearse") and gives the value of "Lock".
int ReadStartupOptions(void);

// Stores a sample path under a key of the settings section so that it reads back as it
// was written: the settings reader drops the blanks around a value and one pair of
// quotes, so a path that begins or ends with a blank or a quote is stored quoted.
BOOL StorePath(LPCSTR key, LPCSTR path);

#endif
