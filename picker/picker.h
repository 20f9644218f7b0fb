// The file picker: a modal dialog that chooses a directory and a file name under the
// caller's rules.
#ifndef QK_PICKER_H
#define QK_PICKER_H

#include "platform/win32.h"
#include "res/resource.h"

// PickerMode bits.
#define PICK_MUST_EXIST 1       // OK takes a non-empty name only when it exists
#define PICK_FORCE_EXTENSION 2  // the accepted name gets the default extension
#define PICK_EMPTY_OK 4         // OK with an empty name box is accepted

#define PICKER_TEXT_SIZE 260

// What a caller hands the picker and reads back. The directory never ends in a backslash:
// "C:\SOUNDS" for a directory, and a drive root as its letter and colon alone ("C:").
typedef struct PickerRequest {
    DWORD mode;
    char title[50];
    char filterExtension[4];
    char defaultExtension[4];
    char directory[PICKER_TEXT_SIZE];
    char fileName[PICKER_TEXT_SIZE];
} PickerRequest;

extern PickerRequest Picker;
// The drive box entry selected when the picker last opened or changed drive (-1: none).
extern int PickerDriveIndex;

// Runs the picker modally over `owner`; 1 when a name was accepted.
INT_PTR RunFilePicker(HINSTANCE instance, HWND owner);
// Fills the directory list, the directory label and the file list for the request's
// directory; `emptyFirst` empties both lists first (after a navigation).
void RelistPicker(HWND dialog, BOOL emptyFirst);
INT_PTR CALLBACK PickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the request's directory and file name from a starting path: the directory is
// its drive and directory less the trailing backslash, the file name its base name and
// extension.
void SetPickerStart(LPCSTR startPath);

#endif
