// WinHelpA: the program's help file, found beside the program or where it was installed,
// opened by the desktop's viewer.
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/kernel32/codepage.h"
#include "platform/kernel32/dos.h"
#include "platform/user32/user32.h"

#ifndef QK_RES_DIR
#define QK_RES_DIR ""
#endif

namespace {

// A help file is looked for beside the program, in its installed share folder and in
// the sources it was built from; "NAME.HLP" is found as itself or as "NAME.html".
std::string FindHelp(const char *name) {
    std::string base = name;
    size_t slash = base.find_last_of("\\/:");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    std::string stem = base.substr(0, base.find_last_of('.'));
    std::string exe = qk::ExecutableDir();
    std::vector<std::string> dirs = {exe, exe + "/res", exe + "/../share/qksonnerix", QK_RES_DIR};
    for (const std::string &d : dirs) {
        if (d.empty()) continue;
        for (const std::string &n : {base, stem + ".html"}) {
            std::string actual;
            if (qk::FindEntryNoCase(d, n, actual)) return d + "/" + actual;
        }
    }
    return "";
}

}  // namespace

BOOL WINAPI WinHelpA(HWND hWnd, LPCSTR file, UINT command, ULONG_PTR data) {
    if (command == HELP_QUIT) return TRUE;
    if (!file) return FALSE;
    std::string path = FindHelp(file);
    if (path.empty()) {
        std::string text = std::string("Cannot find the ") + file + " file.\nThe help for this program is not installed.";
        MessageBoxA(hWnd, text.c_str(), "Help", MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    const char *keyword = (command == HELP_KEY || command == HELP_PARTIALKEY) && data ? (const char *)data : "";
    if (!qk::driver::OpenHelp(path.c_str(), keyword)) {
        // Nothing on the desktop opens the page: the user is told where it is.
        std::string text = "There is no program on this desktop that can show the help.\nThe help page is:\n\n" +
                           qk::Utf8ToAnsiDropping(path);
        MessageBoxA(hWnd, text.c_str(), "Help", MB_OK | MB_ICONINFORMATION);
        return FALSE;
    }
    return TRUE;
}
