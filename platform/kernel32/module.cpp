#include <limits.h>
#include <unistd.h>

#include <string>

#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32.h"

namespace {
HINSTANCE__ g_program = {0};
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return &g_program;
}

std::string qk::ExecutableDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = 0;
    std::string p = buf;
    return p.substr(0, p.find_last_of('/'));
}
