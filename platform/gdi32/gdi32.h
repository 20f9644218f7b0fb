// gdi32 of the stand-in: device contexts, stock objects, pens and brushes, lines and text.
// A window's DC comes from user32 (GetDC), as on the real system.
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

// Width and height of c characters in the DC's font: the characters' advance widths added
// up, the font's height high (also for c = 0).
BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);

// Brushes and pens of the program's own. DeleteObject frees them (and ignores stock
// objects); an object selected into a DC should not be deleted.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
BOOL WINAPI DeleteObject(HGDIOBJ ho);

// Text colours and the background mode of a DC (a new DC: black on white, OPAQUE).
#define TRANSPARENT 1
#define OPAQUE 2
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetTextColor(HDC hdc);
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetBkColor(HDC hdc);
int WINAPI SetBkMode(HDC hdc, int mode);
int WINAPI GetBkMode(HDC hdc);

// Lines and shapes, drawn with the DC's pen (and, for Rectangle, filled with its brush).
// Lines leave out their last point; Rectangle covers left..right-1, top..bottom-1.
BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI LineTo(HDC hdc, int x, int y);
BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
// The colour set, or CLR_INVALID outside the DC's drawing area.
COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF WINAPI GetPixel(HDC hdc, int x, int y);

// Text: drawn from (x, y) as its top left corner, in the DC's font and text colour, on a
// box of the background colour when the mode is OPAQUE.
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA, *PTEXTMETRICA, *LPTEXTMETRICA;
BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm);

#endif
