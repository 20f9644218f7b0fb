// The process entry of the stand-in. The player's own options are taken first:
//   --help, --version             print and end
//   --list-audio-devices          prints the sound outputs, one a line, and ends
//   --audio-output NAME           the sound system: pipewire, pulse, sdl or jack (or =NAME;
//                                 QKSONNERIX_AUDIO_OUTPUT when the option is not given)
//   --audio-device NAME           plays on the first device whose name contains NAME
//                                 (or =NAME; the environment's QKSONNERIX_AUDIO_DEVICE
//                                 when the option is not given)
//   --jack-connect PORT,PORT      where JACK's two outputs connect ("none": nowhere)
//   --                            everything after it goes to the program
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
#include "platform/win32.h"
#include "platform/winmm/engine.h"

#ifndef QK_VERSION
#define QK_VERSION "0"
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace {

void Usage(FILE *to) {
    fprintf(to,
            "Usage: qksonnerix [OPTION]...\n"
            "A sound-cart player: twelve samples on F1..F12 and a grid of buttons.\n"
            "\n"
            "  --audio-output NAME     the sound system to play on: pipewire, pulse, sdl or jack\n"
            "                          (by default the first of pipewire, pulse, sdl that answers)\n"
            "  --audio-device NAME     play on the first device whose name contains NAME\n"
            "                          (case ignored; see --list-audio-devices)\n"
            "  --jack-connect PORT,PORT  on JACK, connect the two outputs to these ports\n"
            "                          (\"none\": to nothing; by default the system's playback ports)\n"
            "  --list-audio-devices    list the devices of the sound output in use and exit\n"
            "  --help                  show this help and exit\n"
            "  --version               show the version and exit\n"
            "\n"
            "Environment:\n"
            "  QKSONNERIX_AUDIO_OUTPUT     the sound system, when --audio-output is not given\n"
            "  QKSONNERIX_AUDIO_DEVICE     the sound device, when --audio-device is not given\n"
            "  QKSONNERIX_AUDIO_AWAKE      1: the PulseAudio stream never corks while idle\n"
            "  QKSONNERIX_AUDIO_BUFFER_MS  what the PulseAudio stream keeps queued (60)\n"
            "  SDL_AUDIODRIVER             the sound system to use (pulseaudio, pipewire, alsa, ...)\n"
            "\n"
            "Other arguments are passed on to the program.\n");
}

}  // namespace

int main(int argc, char **argv) {
    std::string commandLine;
    const char *device = getenv("QKSONNERIX_AUDIO_DEVICE");
    const char *output = getenv("QKSONNERIX_AUDIO_OUTPUT");
    const char *connect = nullptr;
    bool list = false, ownOptions = true;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (ownOptions) {
            if (strcmp(a, "--") == 0) {
                ownOptions = false;
                continue;
            }
            if (strcmp(a, "--help") == 0) {
                Usage(stdout);
                return 0;
            }
            if (strcmp(a, "--version") == 0) {
                printf("qksonnerix %s\n", QK_VERSION);
                return 0;
            }
            if (strcmp(a, "--list-audio-devices") == 0) {
                list = true;
                continue;
            }
            if (strcmp(a, "--audio-device") == 0) {
                if (i + 1 >= argc) {
                    fprintf(stderr, "qksonnerix: --audio-device needs the name of a sound output\n");
                    return 2;
                }
                device = argv[++i];
                continue;
            }
            if (strncmp(a, "--audio-device=", 15) == 0) {
                device = a + 15;
                continue;
            }
            if (strcmp(a, "--audio-output") == 0 || strcmp(a, "--jack-connect") == 0) {
                if (i + 1 >= argc) {
                    fprintf(stderr, "qksonnerix: %s needs a value\n", a);
                    return 2;
                }
                (a[2] == 'a' ? output : connect) = argv[++i];
                continue;
            }
            if (strncmp(a, "--audio-output=", 15) == 0) {
                output = a + 15;
                continue;
            }
            if (strncmp(a, "--jack-connect=", 15) == 0) {
                connect = a + 15;
                continue;
            }
        }
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += a;
    }
    if (!qk::driver::AudioChooseOutput(output)) {
        std::string known;
        for (const std::string &name : qk::driver::AudioOutputNames()) known += (known.empty() ? "" : ", ") + name;
        fprintf(stderr, "qksonnerix: there is no sound output called \"%s\" (there are %s)\n", output, known.c_str());
        return 2;
    }
    qk::driver::AudioConnectTo(connect);
    qk::driver::AudioChoose(device);
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
    qk::sound::Close();
    return result;
}
