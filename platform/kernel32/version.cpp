#include <string.h>

#include "platform/kernel32/kernel32.h"
#include "platform/kernel32/kernel32_test.h"

namespace {
DWORD g_platform = VER_PLATFORM_WIN32_WINDOWS;
bool g_fail = false;
}  // namespace

void qk::SetReportedPlatform(unsigned long platformId, bool fail) {
    g_platform = (DWORD)platformId;
    g_fail = fail;
}

// The stand-in is a member of the Windows 95 family: platform 1, version 4.0.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (g_fail) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    memset((char *)info + sizeof(DWORD), 0, size - sizeof(DWORD));
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0x040003B6;  // the family's form: version in the high word, build 950
    info->dwPlatformId = g_platform;
    return TRUE;
}
