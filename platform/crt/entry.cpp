// The process entry of the stand-in: the driver is readied (without a display the desktop
// driver says so and the process ends with 1) and the sound device opened, then WinMain runs with the program's
// instance, no previous instance, the command line (the arguments after the program's
// name, joined by blanks) and SW_SHOWNORMAL; its result is the exit code.
#include <string>

#include "platform/driver/driver.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

int main(int argc, char **argv) {
    if (!qk::driver::Init()) return 1;
    // The sound device opens with the program, so that the first key sounds at once
    // (without a device the output is a silent clock).
    qk::sound::Open();
    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
}
