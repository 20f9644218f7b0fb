// Bank files: up to twelve slot assignments loaded in one step.
#ifndef QK_BANK_H
#define QK_BANK_H

#include "platform/win32.h"

// The "Load QK-file" command: stops playback, lets the operator pick a bank file and
// loads every path it lists into its slot.
void LoadBankFile(HWND window);

#endif
