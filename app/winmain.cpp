#include "app/app.h"
#include "sound/sound.h"
#include "window/window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    (void)previous;
    (void)commandLine;
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(&version)) return 0;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) {
        MessageBoxA(NULL, "Windows 95 required!", "", MB_OK);
        return 0;
    }
    if (!SlotStartup()) return 0;
    if (RegisterMainWindowClass(instance) == 0) return 0;
    if (!StartMainWindow(instance, showCommand)) return 0;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
