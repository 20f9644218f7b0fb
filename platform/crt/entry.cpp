// The process entry of the stand-in. The player's own options are taken first (the table
// below; platform/driver/remote/options.h tells where they come from: the options file,
// the environment, the command line); after "--" every argument goes to the program.
// Then the driver is readied (without a display the desktop driver says so and the process
// ends with 1) and the sound device opened, then WinMain runs with the program's instance,
// no previous instance, the command line (the other arguments, joined by blanks) and
// SW_SHOWNORMAL; its result is the exit code.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/driver/remote/options.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"

#ifndef QK_VERSION
#define QK_VERSION "0"
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace {

namespace opt = qk::options;

// Every long option of the player, in the order --help lists them. A row is all a new
// option needs here; whoever uses it reads it with qk::options::Value or On.
const std::vector<opt::Option> kOptions = {
    {"audio-output", "NAME", "the sound system to play on: pipewire, pulse, sdl or jack\n"
                             "(by default the first of pipewire, pulse and sdl that answers)", opt::AnyText},
    {"audio-device", "NAME", "play on the first device whose name contains NAME\n"
                             "(case ignored; see --list-audio-devices)", opt::AnyText},
    {"jack-connect", "PORT,PORT", "on JACK, connect the two outputs to these ports\n"
                                  "(none: to nothing; by default the system's playback ports)", opt::AnyText},
    {"midi", nullptr, "open a MIDI input \"QK Sonnerix\" (notes 36 to 47 play F1 to F12,\n"
                      "48 stops) and a feedback output"},
    {"midi-connect", "NAME", "connect MIDI to every port whose name contains NAME,\n"
                             "now and whenever one appears (implies --midi)", opt::AnyText},
    {"midi-first-note", "N", "the note that plays F1 (default 36)", opt::FirstNoteNumber},
    {"midi-stop-note", "N", "the note that stops (default 48)", opt::NoteNumber},
    {"osc", "PORT", "take OSC messages on UDP port PORT (/qk/slot/N/play, /qk/stop)", opt::PortNumber},
    {"osc-bind", "ADDRESS", "the address OSC listens on (default 127.0.0.1, this machine only)",
     opt::NumericAddress},
    {"global-keys", "MODIFIERS", "F1 to F12 and the stop key with MODIFIERS work whichever\n"
                                 "program has the focus (X11): super, ctrl+shift, none, ...",
     opt::Modifiers},
    {"global-stop-key", "KEY", "the global stop key (default space), an X key name", opt::AnyText},
    {"list-audio-devices", nullptr, "list the devices of the sound output in use and exit", nullptr, true},
    {"help", nullptr, "show this help and exit", nullptr, true},
    {"version", nullptr, "show the version and exit", nullptr, true},
};

void Usage(FILE *to) {
    fprintf(to,
            "Usage: qksonnerix [OPTION]...\n"
            "A sound-cart player: twelve samples on F1..F12 and a grid of buttons.\n"
            "\n");
    opt::PrintTable(kOptions, to);
    fprintf(to,
            "\n"
            "Every option but the last three can also be kept in %s,\n"
            "one \"name = value\" a line (\"osc = 9000\", \"midi = yes\"), or set in the environment\n"
            "as QKSONNERIX_ and its name in capitals (QKSONNERIX_AUDIO_DEVICE=USB, QKSONNERIX_MIDI=1).\n"
            "The command line wins over the environment, the environment over the file.\n"
            "\n"
            "Environment:\n"
            "  QKSONNERIX_AUDIO_AWAKE      1: the sound stream never corks (goes inactive) while idle\n"
            "  QKSONNERIX_AUDIO_BUFFER_MS  what the PulseAudio stream keeps queued (60)\n"
            "  QKSONNERIX_SCALE            the whole factor the windows are shown enlarged by\n"
            "  SDL_AUDIODRIVER             the sound system to use (pulseaudio, pipewire, alsa, ...)\n"
            "\n"
            "Other arguments are passed on to the program.\n",
            opt::FilePath().c_str());
}

}  // namespace

int main(int argc, char **argv) {
    opt::Result options = opt::Load(kOptions, argc, argv, opt::FilePath());
    if (options.exitCode >= 0) return options.exitCode;
    if (opt::On("help")) {
        Usage(stdout);
        return 0;
    }
    if (opt::On("version")) {
        printf("qksonnerix %s\n", QK_VERSION);
        return 0;
    }
    std::string commandLine;
    for (const std::string &a : options.rest) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += a;
    }
    bool list = opt::On("list-audio-devices");
    std::string output = opt::Value("audio-output");
    if (!qk::driver::AudioChooseOutput(output.c_str())) {
        std::string known;
        for (const std::string &name : qk::driver::AudioOutputNames()) known += (known.empty() ? "" : ", ") + name;
        fprintf(stderr, "qksonnerix: there is no sound output called \"%s\" (there are %s)\n", output.c_str(),
                known.c_str());
        return 2;
    }
    qk::driver::AudioConnectTo(opt::Value("jack-connect").c_str());
    qk::driver::AudioChoose(opt::Value("audio-device").c_str());
    if (list) {
        std::vector<std::string> names = qk::driver::AudioDevices();
        if (names.empty()) {
            fprintf(stderr, "qksonnerix: no sound outputs found\n");
            return 1;
        }
        for (const std::string &name : names) printf("%s\n", name.c_str());
        return 0;
    }

    if (!qk::driver::Init()) return 1;
    // The sound device opens with the program, so that the first key sounds at once
    // (without a device the output is a silent clock until one appears).
    qk::sound::Open();
    int result = WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
    // What the driver started beside the program (remote input) ends before the sound does.
    qk::driver::End();
    qk::sound::Close();
    return result;
}
