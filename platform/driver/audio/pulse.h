// Desktop sound straight to a PulseAudio server (PulseAudio itself, or PipeWire's Pulse
// server), used in place of SDL's output whenever a server answers. Owning the stream
// lets the output do what SDL cannot:
//   - cork the stream while nothing plays, so an idle player costs no CPU at all;
//   - start a new sound at once: what is queued is dropped and the new sound is written
//     from the play call itself, instead of waiting behind a period of older audio.
#ifndef QK_PLATFORM_DRIVER_SDL_PULSE_H
#define QK_PLATFORM_DRIVER_SDL_PULSE_H

#include <string>

#include "platform/driver/driver.h"

namespace qk {
namespace driver {
namespace pulse {

// Whether `name` contains `part`, in any case (how an output is chosen by a part of its
// name, here and for SDL's outputs).
bool NameMatches(const char *name, const std::string &part);

struct Opened {
    int rate;            // the stream's rate: the sink's own
    std::string name;    // the sink's description
    bool unmatched;      // a name part was asked for and no sink matched it
    bool answered;       // a server was reached (even when no stream opened on it)
    bool hung;           // a server is there but does not answer: it did not in time, or
                         // its socket takes no more connections
};

// Connects to the server and opens a corked stream on the sink whose description or
// name contains `wanted` (any case), or on the default sink when `wanted` is empty or
// matches none. `lost` is called (from the output's own thread) when the server or the
// stream goes away; the caller then calls Close. False when no server answers or no
// stream opens; nothing is left open then. The engine is not asked for sound until Start.
bool Open(const std::string &wanted, int channels, AudioRender render, void (*lost)(), Opened &opened);
// The opened stream takes the engine's sound from now on (a sound that plays on, a
// loop, is heard at once).
void Start();
void Close();
// The engine's sound changed (a play or a stop): drop what is queued and write afresh.
void Changed();
// A synchronous play's sound is rendered to its end: returns once the stream's own clock
// says its last frame has been played (or a deadline of the queue's length has passed).
void Drain();

}  // namespace pulse
}  // namespace driver
}  // namespace qk

#endif
