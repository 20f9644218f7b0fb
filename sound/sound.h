// Sound bank: the twelve sample slots, loading and freeing samples, their labels.
#ifndef QK_SOUND_H
#define QK_SOUND_H

#include "platform/win32.h"

#define SLOT_COUNT 12
#define LABEL_SIZE 10
#define EMPTY_LABEL "< empty >"

typedef struct Slot {
    HGLOBAL block;           // the sample's memory; NULL when the slot holds no sample
    BYTE *data;              // the block's locked address, handed to the sound calls
    INT loaded;              // 1 exactly when block must be freed
    char label[LABEL_SIZE];  // shown on the slot's button
} Slot;

extern Slot SlotTable[SLOT_COUNT];

// What LoadSampleIntoSlot did.
#define LOAD_LOADED 0
#define LOAD_OUT_OF_MEMORY 1
#define LOAD_UNREADABLE 2

// Start-up before any window: asks about stored samples that are missing, then
// preloads every stored sample under the wait cursor. FALSE when the operator chose
// Cancel at a missing-file prompt.
BOOL SlotStartup(void);

// Reads a whole file into an empty slot. On LOAD_OUT_OF_MEMORY and LOAD_UNREADABLE the
// operator has been told, the slot holds no sample and its label is unchanged.
int LoadSampleIntoSlot(int slot, LPCSTR path);

// Releases the slot's sample, if any. Playback must have been stopped before.
void FreeSlotSample(int slot);

// The short label of a path: its base name, at most 8 characters, lower case with an
// upper-case first letter. label must hold 9 bytes.
void LabelFromPath(LPCSTR path, char *label);

// The flags word of every play and stop, from the Sync and Loop options:
// 5 (memory, async), 4 (memory: the call returns when the sound has ended) or
// 13 (memory, async, loop).
extern UINT PlayFlags;
// The slot played last, 0..11; saved as "Last" when the window closes.
extern int LastSlot;

void DerivePlayFlags(void);
// Plays a slot with PlayFlags (a slot without a sample only stops) and makes it the
// last played one.
void PlaySlot(int slot);
void StopSound(void);
// After the main window is shown: the rehearsal of all twelve slots, then the
// autoplay of the last played slot.
void StartupPlayback(void);

#endif
