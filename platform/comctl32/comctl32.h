// comctl32 of the stand-in: the status bar.
#ifndef QK_PLATFORM_COMCTL32_H
#define QK_PLATFORM_COMCTL32_H

#include "platform/wintypes.h"

void WINAPI InitCommonControls(void);

#define STATUSCLASSNAMEA "msctls_statusbar32"
#define SB_SETTEXTA (0x0400 + 1)
#define SB_GETTEXTA (0x0400 + 2)
#define SB_GETTEXTLENGTHA (0x0400 + 3)
#define SB_SETPARTS (0x0400 + 4)
#define SB_GETPARTS (0x0400 + 6)
#define SB_GETBORDERS (0x0400 + 7)
#define SB_SETMINHEIGHT (0x0400 + 8)
#define SB_SIMPLE (0x0400 + 9)
#define SB_GETRECT (0x0400 + 10)
#define SBT_NOBORDERS 0x0100
#define SBT_POPOUT 0x0200

// Common control styles (the status bar's).
#define CCS_TOP 0x00000001L
#define CCS_NOMOVEY 0x00000002L
#define CCS_BOTTOM 0x00000003L
#define CCS_NORESIZE 0x00000004L
#define CCS_NOPARENTALIGN 0x00000008L
#define CCS_ADJUSTABLE 0x00000020L
#define CCS_NODIVIDER 0x00000040L
#define SBARS_SIZEGRIP 0x0100

#endif
