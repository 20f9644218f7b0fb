// The process entry of the stand-in: WinMain with the program's instance, no previous
// instance, the command line (the arguments after the program's name, joined by
// blanks) and SW_SHOWNORMAL; its result is the exit code.
#include <string>

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

int main(int argc, char **argv) {
    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
}
