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
