// The sound engine behind sndPlaySoundA: one voice, decoded, converted to the output
// rate and to stereo on the fly in the audio thread, straight from the caller's image.
#ifndef QK_PLATFORM_WINMM_ENGINE_H
#define QK_PLATFORM_WINMM_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#include "platform/wintypes.h"

namespace qk {
namespace sound {

const int kPreferredRate = 44100;
const int kOutputChannels = 2;
const int kDeviceFrames = 256;

// The rate the next Open asks the device for (the device may choose another; the
// engine converts to whatever it gets). For measurements and tests.
void SetPreferredRate(int rate);
// The rate the output runs at now.
int OutputRate();

// Opens the output (the driver's device, or a silent clock when there is none). Safe to
// call more than once; sndPlaySoundA calls it when nothing opened it before.
void Open();
// Stops the output and forgets the voice.
void Close();

// Plays an image (or stops, for NULL) with the flags of sndPlaySoundA.
BOOL Play(const void *image, UINT flags);

// Fills `frames` interleaved stereo frames of 16-bit output at `rate` Hz. The driver
// calls this from its audio thread (or its silent clock). When the rate differs from
// the last one (the output was opened again on another device), a playing sound goes
// on from where it is, converted to the new rate.
// How many of the frames belong to a sound: 0 when none was playing as it was called,
// `frames` while one plays on, fewer when it ended within them (silence follows).
int Render(int16_t *out, int frames, int rate);

// Ends what plays, from any thread: a stop from outside the program while a synchronous
// play holds its thread ends the sound, and the play returns. Unlike Play(NULL) it never
// opens the output.
void Stop();

// Told of every change of what plays: `image` when a sound starts (by the thread that
// played it), NULL when the sound ends, is cut off or stopped (by whichever thread ends
// it: the audio thread when it plays out). Called under the engine's lock, so it only
// notes the change. NULL: nobody is told.
typedef void (*PlayWatcher)(const void *image);
void WatchPlays(PlayWatcher watcher);

// Whether a sound is playing now.
bool IsPlaying();

// Output frames rendered so far in this process (by the device or the silent clock):
// tests wait on it instead of on the wall clock.
uint64_t RenderedFrames();

// For measurements: the monotonic time (ns) of the last play call and of the first
// non-silent frame rendered after it (0 until then).
uint64_t LastPlayTimeNs();
uint64_t FirstSoundTimeNs();

}  // namespace sound
}  // namespace qk

#endif
