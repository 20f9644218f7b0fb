// The remote input's sources, each in a file of its own (osc.cpp, midi.cpp,
// globalkeys.cpp), started from the options in force (start.cpp). A source that cannot
// start says why on stderr and gives NULL; the player runs on without it.
#ifndef QK_PLATFORM_DRIVER_REMOTE_SOURCES_H
#define QK_PLATFORM_DRIVER_REMOTE_SOURCES_H

#include <memory>
#include <string>

#include "platform/driver/remote/remote.h"

namespace qk {
namespace remote {

// OSC on a UDP port, bound to `address` (127.0.0.1 when "").
std::unique_ptr<Source> StartOsc(const std::string &port, const std::string &address);

// MIDI: an input port and a feedback output; with `connect` not "", both are connected to
// every port whose name contains it, now and whenever one appears. Notes firstNote to
// firstNote + 11 play the slots, stopNote stops.
std::unique_ptr<Source> StartMidi(const std::string &connect, int firstNote, int stopNote);

// Global keys on X11: F1 to F12 and `stopKey` (an X key name) with `modifiers`
// ("super", "ctrl+shift", "none", ...) grabbed on the root window.
std::unique_ptr<Source> StartGlobalKeys(const std::string &modifiers, const std::string &stopKey);

// Every source the options ask for, started; the remote thread runs them. Under SDL's
// native Wayland driver there is no global grab: that is said once instead.
void StartFromOptions(bool wayland);

}  // namespace remote
}  // namespace qk

#endif
