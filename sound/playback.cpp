#include "app/app.h"
#include "sound/sound.h"

UINT PlayFlags = SND_MEMORY | SND_ASYNC;
int LastSlot;

void DerivePlayFlags(void) {
    PlayFlags = SND_MEMORY;
    if (OptionSync == 0) PlayFlags |= SND_ASYNC;
    if (OptionLoop != 0) PlayFlags |= SND_LOOP;
}

void PlaySlot(int slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return;
    sndPlaySoundA((LPCSTR)SlotTable[slot].data, PlayFlags);
    LastSlot = slot;
}

void StopSound(void) { sndPlaySoundA(NULL, PlayFlags); }

void StartupPlayback(void) {
    if (OptionRehearse) {
        // Every sample is started once, each cutting off the one before, whatever the
        // options say; the last one is stopped at once.
        for (int n = 0; n < SLOT_COUNT; n++) sndPlaySoundA((LPCSTR)SlotTable[n].data, SND_MEMORY | SND_ASYNC);
        sndPlaySoundA(NULL, 0);
    }
    if (OptionAuto) {
        int last = (int)GetPrivateProfileIntA(SETTINGS_SECTION, "Last", 0, SETTINGS_FILE);
        // A "Last" that names no slot plays nothing.
        if (last >= 0 && last < SLOT_COUNT) {
            LastSlot = last;
            PlaySlot(last);
        }
    }
}
