// winmm of the stand-in: sndPlaySoundA.
#ifndef QK_PLATFORM_WINMM_H
#define QK_PLATFORM_WINMM_H

#include "platform/wintypes.h"

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010

// With SND_MEMORY the sound is a whole WAV file image in the caller's memory, which is
// read while it plays. NULL stops. Without SND_ASYNC the call returns when the sound
// has ended; SND_LOOP (with SND_ASYNC) repeats it until the next play or a stop.
BOOL WINAPI sndPlaySoundA(LPCSTR pszSound, UINT fuSound);

#endif
