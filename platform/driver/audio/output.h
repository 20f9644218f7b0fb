// The desktop's sound outputs, one file each, behind one small table (output.cpp), as
// SDL's audio bootstrap table lists its backends: the keeper (keeper.cpp) tries them in
// order, or opens the one asked for by name, runs the silent clock while none plays, and
// hands the sound to whichever opens.
//
// Every output keeps the same promises:
//   - it is opened at its device's own rate and starts playing only when told (start);
//     until then it asks the engine for nothing, so that the silent clock and the output
//     never both render;
//   - a play or a stop (changed) takes effect at once, and an idle output costs nothing
//     (corked, inactive) where the sound system allows it;
//   - drain returns once the last frame of a synchronous play's sound has been heard;
//   - a lost server or device calls `lost` (from any thread), after which the keeper
//     closes the output and the silent clock takes over;
//   - changed and drain may come from the program's thread at any moment, also while the
//     keeper opens or closes the output: they never wait on an opening.
#ifndef QK_PLATFORM_DRIVER_AUDIO_OUTPUT_H
#define QK_PLATFORM_DRIVER_AUDIO_OUTPUT_H

#include <string>
#include <vector>

#include "platform/driver/driver.h"

namespace qk {
namespace audio {

// What the keeper asks an output to open.
struct Request {
    std::string wanted;          // a part of the chosen device's name; empty: the default one
    std::string connect;         // where to connect ports (JACK): names and commas, or "none"
    bool asked = false;          // this output was asked for by name
    bool awake = false;          // never corked or inactive while idle (QKSONNERIX_AUDIO_AWAKE=1)
    int channels = 2;
    int frames = 256;            // the engine's period, for outputs that pick their own
    int preferredRate = 44100;   // when the device has no rate of its own
    driver::AudioRender render = nullptr;
    void (*lost)() = nullptr;
};

struct Opened {
    int rate = 0;             // the rate the output runs at
    std::string name;         // the device's name, for the operator
    bool unmatched = false;   // a device was asked for by name and none matched
};

enum class Attempt {
    Opened,   // open, waiting for start
    Absent,   // no server of this kind: the next output may be tried
    NotYet,   // a server answered but has no output yet: tried again soon, as it is
    Hung,     // a server is there but does not answer: tried again, never passed over
};

struct Output {
    const char *name;  // as --audio-output and QKSONNERIX_AUDIO_OUTPUT name it
    bool tried;        // tried in order when no output is asked for
    Attempt (*open)(const Request &request, Opened &opened);
    void (*start)();
    void (*close)();
    void (*changed)();
    void (*drain)();
    // The devices it can play on now, as --audio-device matches them; false when its
    // server does not answer.
    bool (*devices)(std::vector<std::string> &names);
};

// The outputs in the order they are tried: the native PipeWire stream, PulseAudio (its
// own server, or PipeWire's), SDL (ALSA and the rest); JACK only when asked for.
const std::vector<const Output *> &Outputs();
const Output *OutputNamed(const std::string &name);

// The outputs themselves.
extern const Output kPipeWire, kPulse, kSdl, kJack;

// Whether `name` contains `part`, in any case: how a device is chosen by a part of its
// name, on every output.
bool NameMatches(const char *name, const std::string &part);

}  // namespace audio
}  // namespace qk

#endif
