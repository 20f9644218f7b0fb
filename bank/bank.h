// Bank files: up to twelve slot assignments loaded in one step.
#ifndef QK_BANK_H
#define QK_BANK_H

#include <stdio.h>

#include "platform/win32.h"

// The "Load QK-file" command: stops playback, lets the operator pick a bank file and
// loads every path it lists into its slot.
void LoadBankFile(HWND window);

// Reads a bank file opened in text mode: its mark (the wrong one is reported as the
// wrong format of `fileName`), then every path it lists into its slot, as the command
// does. The caller closes the file.
void LoadBankStream(HWND window, FILE *bank, LPCSTR fileName);

#endif
