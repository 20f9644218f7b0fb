// The remote input the options ask for: MIDI (--midi, --midi-connect), OSC (--osc) and
// global keys (--global-keys), each started as a source of the remote thread.
#include <stdio.h>
#include <stdlib.h>

#include "platform/driver/remote/options.h"
#include "platform/driver/remote/sources.h"

namespace qk {
namespace remote {

void StartFromOptions(bool wayland) {
    std::vector<std::unique_ptr<Source>> sources;
    std::string connect = options::Value("midi-connect");
    if (options::On("midi") || !connect.empty()) {
        std::string first = options::Value("midi-first-note"), stop = options::Value("midi-stop-note");
        if (auto midi = StartMidi(connect, first.empty() ? 36 : atoi(first.c_str()), stop.empty() ? 48 : atoi(stop.c_str())))
            sources.push_back(std::move(midi));
    }
    std::string port = options::Value("osc");
    if (!port.empty()) {
        if (auto osc = StartOsc(port, options::Value("osc-bind"))) sources.push_back(std::move(osc));
    }
    std::string keys = options::Value("global-keys");
    if (!keys.empty()) {
        if (wayland)
            fprintf(stderr,
                    "qksonnerix: no global keys under Wayland, where a program cannot take keys from the others; "
                    "run the player through XWayland (without SDL_VIDEODRIVER=wayland), or bind keys in the "
                    "desktop's own shortcut settings to OSC commands (see the manual page)\n");
        else if (auto global = StartGlobalKeys(keys, options::Value("global-stop-key")))
            sources.push_back(std::move(global));
    }
    Start(std::move(sources));
}

}  // namespace remote
}  // namespace qk
