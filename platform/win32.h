// The program's one platform include. On Windows this is the SDK; everywhere else the
// stand-in's own declarations, with the real names, types and values.
#ifndef QK_PLATFORM_WIN32_H
#define QK_PLATFORM_WIN32_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <commctrl.h>
#include <stdio.h>
#else
#include "platform/wintypes.h"
#include "platform/kernel32/kernel32.h"
#include "platform/user32/user32.h"
#include "platform/winmm/winmm.h"
#include "platform/comctl32/comctl32.h"
#include "platform/gdi32/gdi32.h"
#include "platform/crt/crt.h"
#endif

#endif
