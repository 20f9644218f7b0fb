// What the stand-in asks of a driver: the outside world of windows, input and sound.
// One driver is linked into each executable: the desktop driver (SDL) into the player,
// the headless driver into the tests.
#ifndef QK_PLATFORM_DRIVER_H
#define QK_PLATFORM_DRIVER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace qk {
namespace driver {

// Readies the driver before the program starts; false (after telling why on stderr) when
// it cannot work, for instance when there is no display to show windows on.
bool Init();

// Shows a modal message box and gives the button chosen (IDOK, IDCANCEL, ...).
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type);
// The cursor the program set (NULL hides it).
void CursorChanged(HCURSOR cursor);

// The program has ended: what the driver started beside it (remote input) stops, before
// the sound output closes.
void End();

// Windows. GetMessage calls WaitForInput when the queue is empty; the driver then
// delivers input (through qk::input) or posted work, and returns. False when it can
// deliver nothing ever again.
bool WaitForInput();
// Wakes a WaitForInput from another thread.
void Wake();
// A top-level window appeared, changed (text, size, state, visibility, contents of
// any of its children) or went away.
void WindowCreated(HWND top);
void WindowChanged(HWND top);
void WindowDestroyed(HWND top);
// The size of the desktop's work area.
void ScreenSize(int &width, int &height);
// The system menu of a top-level window is to be shown (Alt+Space, the caption icon);
// the driver lets the user choose and reports through qk::input::MenuChosen.
void ShowSystemMenu(HWND top);

// Something the user must hear of that no window of the program shows (settings that
// cannot be saved): the desktop shows it as a notification, where it has a notification
// service. `summary` is one line; `body` may hold several.
void Notify(const char *summary, const char *body);

// Puts the mouse pointer at a point of the stand-in's screen (the work area's
// coordinates), as the keyboard's move and size have it follow the window.
void MovePointer(int x, int y);

// Opens a help document (a file of the host) at the topic for a keyword; false when the
// desktop has nothing that can open it.
bool OpenHelp(const char *hostPath, const char *keyword);

// Audio. The driver pulls 16-bit interleaved frames from `render`, in periods of
// `frames`, telling the rate it wants them at (the device's; it may change when the
// output is opened again). True when the output keeps real time (a device, or a silent
// clock in its place while there is none); false when there is no clock at all
// (headless), in which case nothing is ever rendered and synchronous plays return at once.
// It returns how many of the frames belong to a sound: 0 when none was playing as it was
// called, fewer than `frames` when the sound ended within them (an output that pauses in
// silence goes by it, and one that queues ahead finds where a sound ends in its queue).
typedef int (*AudioRender)(int16_t *out, int frames, int rate);
// `rate` is what the caller prefers when the device has no rate of its own; on return it
// is what the output runs at.
bool AudioOpen(int &rate, int channels, int frames, AudioRender render);
void AudioClose();
// The device to open: the first whose name contains `namePart` (case ignored); NULL or
// "" for the default device. Called before AudioOpen.
void AudioChoose(const char *namePart);
// The sound output to use, by name (one of AudioOutputNames); NULL or "" for the first of
// the usual ones that opens. False for a name that is none of them.
bool AudioChooseOutput(const char *name);
std::vector<std::string> AudioOutputNames();
// Where an output that connects its own ports (JACK) connects them: port names separated
// by commas, "none" for nowhere; NULL or "" for the system's playback ports.
void AudioConnectTo(const char *ports);
// The names of the devices of the output in use, as AudioChoose matches them.
std::vector<std::string> AudioDevices();
// The sound just changed (a play started, or a stop): an output that queues ahead drops
// what it queued and renders afresh. Called without the engine's lock.
void AudioChanged();
// A synchronous play's sound has been rendered to its end: returns once the output has
// played out what it queued of it, so that the next play does not cut its end off.
void AudioDrain();
// Every sndPlaySoundA call, as made (the headless driver keeps a log).
void SoundCalled(const void *image, UINT flags, BOOL result);

}  // namespace driver
}  // namespace qk

#endif
