#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "picker/picker.h"

PickerRequest Picker;
int PickerDriveIndex = -1;

void SetPickerStart(LPCSTR startPath) {
    char drive[PATH_PART_SIZE], dir[PATH_PART_SIZE], base[PATH_PART_SIZE], ext[PATH_PART_SIZE];
    SplitPath(startPath, drive, dir, base, ext);
    // Parts too long for the request leave it empty: the picker then opens in the
    // current directory.
    if (snprintf(Picker.directory, sizeof Picker.directory, "%s%s", drive, dir) >= (int)sizeof Picker.directory)
        Picker.directory[0] = 0;
    size_t length = strlen(Picker.directory);
    if (length > 0 && (Picker.directory[length - 1] == '\\' || Picker.directory[length - 1] == '/'))
        Picker.directory[length - 1] = 0;
    if (snprintf(Picker.fileName, sizeof Picker.fileName, "%s%s", base, ext) >= (int)sizeof Picker.fileName)
        Picker.fileName[0] = 0;
}

INT_PTR RunFilePicker(HINSTANCE instance, HWND owner) {
    return DialogBoxParamA(instance, "NTFS", owner, PickerDialogProc, 0);
}

static void ListDirectories(HWND dialog) {
    WIN32_FIND_DATAA found;
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\\*.*", Picker.directory);
    HANDLE search = FindFirstFileA(ScratchText, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && strcmp(found.cFileName, ".") != 0)
            SendDlgItemMessageA(dialog, IDC_DIRECTORY_LIST, LB_ADDSTRING, 0, (LPARAM)found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static void ShowDirectoryLabel(HWND dialog) {
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s%s", Picker.directory, strlen(Picker.directory) == 2 ? "\\" : "");
    SetDlgItemTextA(dialog, IDC_DIRECTORY_LABEL, ScratchText);
}

static void ListFiles(HWND dialog) {
    WIN32_FIND_DATAA found;
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\\*.%s", Picker.directory, Picker.filterExtension);
    HANDLE search = FindFirstFileA(ScratchText, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_ADDSTRING, 0, (LPARAM)found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void RelistPicker(HWND dialog, BOOL emptyFirst) {
    if (emptyFirst) SendDlgItemMessageA(dialog, IDC_DIRECTORY_LIST, LB_RESETCONTENT, 0, 0);
    ListDirectories(dialog);
    ShowDirectoryLabel(dialog);
    if (emptyFirst) SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_RESETCONTENT, 0, 0);
    ListFiles(dialog);
}

// The text of a list's current entry in ScratchText; FALSE when there is none.
static BOOL CurrentEntry(HWND dialog, int list) {
    LRESULT index = SendDlgItemMessageA(dialog, list, LB_GETCURSEL, 0, 0);
    LRESULT length = SendDlgItemMessageA(dialog, list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (index < 0 || length < 0 || length >= SCRATCH_TEXT_SIZE) return FALSE;
    return SendDlgItemMessageA(dialog, list, LB_GETTEXT, (WPARAM)index, (LPARAM)ScratchText) != LB_ERR;
}

// The name box's text, at most 259 characters, becomes the file name.
static void TakeNameBox(HWND dialog) {
    WORD size = PICKER_TEXT_SIZE - 1;
    memcpy(Picker.fileName, &size, sizeof size);
    LRESULT length = SendDlgItemMessageA(dialog, IDC_NAME_BOX, EM_GETLINE, 0, (LPARAM)Picker.fileName);
    if (length < 0 || length > PICKER_TEXT_SIZE - 1) length = 0;
    Picker.fileName[length] = 0;
}

static void ForceDefaultExtension(void) {
    char drive[PATH_PART_SIZE], dir[PATH_PART_SIZE], base[PATH_PART_SIZE], ext[PATH_PART_SIZE];
    SplitPath(Picker.fileName, drive, dir, base, ext);
    snprintf(Picker.fileName, sizeof Picker.fileName, "%.255s.%.3s", base, Picker.defaultExtension);
}

static void OpenPicker(HWND dialog) {
    if (!SetCurrentDirectoryA(Picker.directory)) {
        GetCurrentDirectoryA(sizeof Picker.directory, Picker.directory);
        size_t length = strlen(Picker.directory);
        if (length > 0 && Picker.directory[length - 1] == '\\') Picker.directory[length - 1] = 0;
    }
    char copy[PICKER_TEXT_SIZE];
    snprintf(copy, sizeof copy, "%s", Picker.directory);
    DlgDirListComboBoxA(dialog, copy, IDC_DRIVE_BOX, 0, DDL_DRIVES | DDL_EXCLUSIVE);
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "[-%c-]", Picker.directory[0]);
    LRESULT drive = SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_FINDSTRING, 0, (LPARAM)ScratchText);
    SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_SETCURSEL, (WPARAM)drive, 0);
    PickerDriveIndex = (int)drive;
    ListDirectories(dialog);
    SendMessageA(dialog, WM_SETTEXT, 0, (LPARAM)Picker.title);
    ShowDirectoryLabel(dialog);
    ListFiles(dialog);
    SetDlgItemTextA(dialog, IDC_NAME_BOX, Picker.fileName);
    SendDlgItemMessageA(dialog, IDC_NAME_BOX, EM_SETSEL, 0, -1);
}

static void ChangeDirectory(HWND dialog) {
    if (!CurrentEntry(dialog, IDC_DIRECTORY_LIST)) return;
    size_t length = strlen(Picker.directory);
    if (ScratchText[0] == '.') {
        // Up one level: cut at the last backslash, never looking at the first or the
        // last character, so "C:\SOUNDS" becomes "C:".
        for (size_t i = length >= 2 ? length - 2 : 0; i >= 1 && length > 2; i--) {
            if (Picker.directory[i] == '\\') {
                Picker.directory[i] = 0;
                break;
            }
        }
    } else {
        // A directory that would no longer fit a path is not entered.
        size_t name = strlen(ScratchText);
        if (length + 1 + name > PICKER_TEXT_SIZE - 1) return;
        Picker.directory[length] = '\\';
        memcpy(Picker.directory + length + 1, ScratchText, name + 1);
    }
    RelistPicker(dialog, TRUE);
}

static void ChangeDrive(HWND dialog) {
    LRESULT index = SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_GETCURSEL, 0, 0);
    if (index == PickerDriveIndex) return;
    PickerDriveIndex = (int)index;
    LRESULT length = SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length < 3 || length >= SCRATCH_TEXT_SIZE) return;
    SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_GETLBTEXT, (WPARAM)index, (LPARAM)ScratchText);
    snprintf(Picker.directory, sizeof Picker.directory, "%c:", ScratchText[2]);
    RelistPicker(dialog, TRUE);
}

static INT_PTR AcceptName(HWND dialog) {
    TakeNameBox(dialog);
    if (!Picker.fileName[0]) {
        if (!(Picker.mode & PICK_EMPTY_OK)) return FALSE;
        EndDialog(dialog, 1);
        return 1;
    }
    if (Picker.mode & PICK_MUST_EXIST) {
        snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\\%s", Picker.directory, Picker.fileName);
        if (GetFileAttributesA(ScratchText) == INVALID_FILE_ATTRIBUTES) {
            snprintf(ScratchText, SCRATCH_TEXT_SIZE,
                     "%s\nThis file can't be found.\nMake sure that you specify a correct path and filename.",
                     Picker.fileName);
            MessageBoxA(dialog, ScratchText, "Error", MB_ICONWARNING);
            return FALSE;
        }
    }
    if (Picker.mode & PICK_FORCE_EXTENSION) ForceDefaultExtension();
    EndDialog(dialog, 1);
    return 1;
}

INT_PTR CALLBACK PickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    if (message == WM_INITDIALOG) {
        OpenPicker(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    int notification = HIWORD(wParam);
    switch (LOWORD(wParam)) {
        case IDC_DIRECTORY_LIST:
            if (notification == LBN_DBLCLK) ChangeDirectory(dialog);
            return FALSE;
        case IDC_DRIVE_BOX:
            ChangeDrive(dialog);
            return FALSE;
        case IDC_FILE_LIST:
            if (notification == LBN_SELCHANGE) {
                if (CurrentEntry(dialog, IDC_FILE_LIST)) {
                    SetDlgItemTextA(dialog, IDC_NAME_BOX, ScratchText);
                    SendDlgItemMessageA(dialog, IDC_NAME_BOX, EM_SETSEL, 0, -1);
                }
            } else if (notification == LBN_DBLCLK) {
                // Accepted as it stands in the name box, without the tests of OK.
                TakeNameBox(dialog);
                if (Picker.mode & PICK_FORCE_EXTENSION) ForceDefaultExtension();
                EndDialog(dialog, 1);
                return 1;
            }
            return FALSE;
        case IDC_OK:
            return AcceptName(dialog);
        case IDC_CANCEL:
        case IDCANCEL:
            EndDialog(dialog, 0);
            return FALSE;
        default:
            return FALSE;
    }
}
