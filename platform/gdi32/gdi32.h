// gdi32 of the stand-in: device contexts, stock objects and text measuring. GetDC and
// ReleaseDC belong to user32 on the real system; they are declared here with the DCs.
#ifndef QK_PLATFORM_GDI32_H
#define QK_PLATFORM_GDI32_H

#include "platform/wintypes.h"

// Colours
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFF

// Stock objects (GetStockObject). The stand-in has no fixed-pitch font and no palette:
// OEM_FIXED_FONT, ANSI_FIXED_FONT, SYSTEM_FIXED_FONT, DEFAULT_PALETTE, DC_BRUSH and
// DC_PEN give NULL.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

HGDIOBJ WINAPI GetStockObject(int i);
// Selects a font, brush or pen into a DC and gives the one it replaces; NULL for anything
// else.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);

// Device contexts: a new DC has the System font, the white brush and the black pen.
// GetDC(NULL) gives a DC of the screen.
HDC WINAPI GetDC(HWND hWnd);
// 1 when the DC was released, 0 when it was no DC taken with GetDC.
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);

// Width and height of c characters in the DC's font: the characters' advance widths added
// up, the font's height high (also for c = 0).
BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);

#endif
