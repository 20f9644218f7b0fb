// Input that is not the focused window: MIDI, OSC and global keys. Each trigger reaches
// the program as the key it stands for, posted to the main window (WM_KEYDOWN with VK_F1
// and on for slots 1 to 12, F10 as the system key the platform makes of it, VK_SPACE to
// stop), so every option behaves as for a key. What plays goes back out to the sources
// that show it (a pad controller's lights, an OSC tablet).
//
// Triggers come on the sources' own threads; they are queued here and delivered on the
// program's thread, when the driver waits for input (Deliver). A play is not delivered
// while a box, the picker or the system menu is up, as a key would not reach the main
// window then (one stderr line says so, once a box); a stop always is, and ends the sound
// at once from the remote thread too, so a synchronous play that holds the program's
// thread returns.
#ifndef QK_PLATFORM_DRIVER_REMOTE_REMOTE_H
#define QK_PLATFORM_DRIVER_REMOTE_REMOTE_H

#include <memory>
#include <string>
#include <vector>

namespace qk {
namespace remote {

const int kSlots = 12;
const int kStop = -1;

// A trigger from a source, from any thread: a slot (0 to 11) to play, or kStop.
void Trigger(int slot);

// On the program's thread, from the driver's wait: hands the queued triggers on to the
// main window. `menuOpen`: the system menu is up (its loop calls this for its wake-ups).
// Whether it posted anything.
bool Deliver(bool menuOpen = false);

// The slot playing now, 1 to 12, or 0 when nothing plays (or nothing known: a sound the
// start-up played, before any key).
int Playing();

// A source of triggers and a taker of what plays, run by the remote thread: it polls the
// source's descriptor, calls it back when that is readable or its time has come, and
// tells it of every change.
class Source {
public:
    virtual ~Source() = default;
    // The descriptor to poll for input, or -1.
    virtual int Descriptor() { return -1; }
    virtual void Readable() {}
    // How many milliseconds until Tick wants to run, or -1 for never.
    virtual int TickIn() { return -1; }
    virtual void Tick() {}
    // What plays changed: slots 1 to 12, 0 for nothing.
    virtual void PlayingChanged(int before, int now) { (void)before, (void)now; }
    // The slots' labels (cp1252, as the buttons show them), at the start and whenever one
    // changes.
    virtual void LabelsChanged(const std::vector<std::string> &labels) { (void)labels; }
};

// Starts the remote thread with these sources (none: nothing starts); Stop ends it and
// the sources, before the sound output closes.
void Start(std::vector<std::unique_ptr<Source>> sources);
void Stop();

// For tests: whether the remote thread runs, and the triggers waiting for delivery.
bool Running();
size_t Waiting();

}  // namespace remote
}  // namespace qk

#endif
