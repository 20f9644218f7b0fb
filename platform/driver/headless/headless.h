// The headless driver: no display and no sound device. Tests script its answers and
// read what the program showed.
#ifndef QK_PLATFORM_HEADLESS_H
#define QK_PLATFORM_HEADLESS_H

#include <functional>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace qk {
namespace headless {

struct BoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    int answer;
};

// Message boxes shown so far, oldest first (a copy, taken under the driver's lock, as are
// CursorLog and Sounds).
std::vector<BoxRecord> Boxes();
// Answers for the next message boxes, in order. When none is queued a box is answered
// with its first button (OK, Yes, Abort, Retry).
void QueueAnswer(int answer);
// Runs while each message box is up, before its answer is given, as the box's own
// message loop would: input injected there reaches the windows the box leaves enabled
// once `Pump` delivers it (a box without an owner leaves every window enabled).
void WhileBoxShown(std::function<void(const BoxRecord &)> hook);
// Every cursor the program set, in order.
std::vector<HCURSOR> CursorLog();

// Steps run one at a time whenever the program waits for input (its message queue is
// empty). When no step is left, every top-level window is sent WM_CLOSE, as a user
// closing the program would; if windows still remain after that, the wait reports
// that no input will ever come.
void OnIdle(std::function<void()> step);
// Scripted steps still waiting: the program ended before it waited for them.
size_t PendingSteps();
// Drops the steps still waiting, for a test whose program is meant to end before them;
// how many there were.
size_t DropPendingSteps();
// Input as the desktop delivers it.
void KeyDown(int vk);
void KeyUp(int vk);
void PressKey(int vk);                       // down and up
void PressWithAlt(int vk);                   // Alt down, the key, Alt up
void Click(HWND top, int x, int y, int button = 0, bool doubleClick = false);
// A click at a point of any window's client area (a control, say), or at its centre.
void ClickIn(HWND window, int x, int y, int button = 0, bool doubleClick = false);
void ClickOn(HWND window, int button = 0, bool doubleClick = false);
// The mouse wheel turned by `delta` (WHEEL_DELTA a notch, positive away from the user)
// with the pointer at the centre of a window.
void WheelOn(HWND window, int delta);
// Text typed on the keyboard, as characters to the focus window.
void TypeText(const char *text);
void ResizeWindow(HWND top, int width, int height);  // by its frame
void Caption(HWND top, UINT sc);             // SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE
void ChooseMenuItem(HWND top, UINT id);      // from the system menu
// Runs the queued messages until none is left, as the program's loop would (remote
// triggers that came are delivered first, as a wait delivers them).
void Pump();
// How often a system menu was opened, and for which window last.
int SystemMenuOpened();
HWND LastSystemMenuWindow();
// Where the stand-in last put the mouse pointer ((-1,-1): never).
POINT PointerPosition();

// Help documents opened (host path, keyword), oldest first.
std::vector<std::pair<std::string, std::string>> HelpOpened();
// Whether the desktop has something that opens help pages (it has, until a test says not).
void SetHelpViewer(bool available);

// Desktop notifications shown so far (summary, body), oldest first.
std::vector<std::pair<std::string, std::string>> Notifications();

// Every sndPlaySoundA call so far, oldest first (image pointer, flags, result).
struct SoundRecord {
    const void *image;
    UINT flags;
    BOOL result;
};
std::vector<SoundRecord> Sounds();
void ClearSounds();
// Runs at each sndPlaySoundA call, once it is logged.
void OnSound(std::function<void(const SoundRecord &)> hook);
void RecordSound(const void *image, UINT flags, BOOL result);

// Puts the whole stand-in back to its state at process start (drive table and current
// directory re-read from the environment, allocation faults off, logs empty, fonts from
// the usual places, no device context taken).
void Reset();

}  // namespace headless
}  // namespace qk

#endif
