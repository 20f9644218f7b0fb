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

// System colours: the classic Windows 95 scheme.
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30
#define COLOR_DESKTOP COLOR_BACKGROUND
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_BTNHILIGHT COLOR_BTNHIGHLIGHT

// The colour of a display element; 0 for an index the platform does not know.
DWORD WINAPI GetSysColor(int nIndex);
// A brush of a system colour, owned by the system (DeleteObject leaves it alone); NULL
// for an unknown index. A class background may also be given as (HBRUSH)(COLOR_x + 1),
// which every call taking a brush understands.
HBRUSH WINAPI GetSysColorBrush(int nIndex);

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

// Drawing that user32 offers on the real system.
int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
BOOL WINAPI InvertRect(HDC hDC, const RECT *lprc);
// A dotted rectangle drawn by inverting pixels: drawn twice, it is gone.
BOOL WINAPI DrawFocusRect(HDC hDC, const RECT *lprc);

#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER (BDR_RAISEDOUTER | BDR_SUNKENOUTER)
#define BDR_INNER (BDR_RAISEDINNER | BDR_SUNKENINNER)
#define BDR_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define BDR_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_TOPRIGHT (BF_TOP | BF_RIGHT)
#define BF_BOTTOMLEFT (BF_BOTTOM | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_DIAGONAL 0x0010
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000
// The stand-in draws the straight edges; BF_DIAGONAL draws nothing.
BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_RTLREADING 0x00020000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_HIDEPREFIX 0x00100000
// Formatted text in a rectangle: lines end at '\n' (or "\r\n"), and with DT_WORDBREAK
// also where the next word would not fit; '&' underlines the next character ("&&" is one
// '&') unless DT_NOPREFIX. DT_VCENTER and DT_BOTTOM act on a DT_SINGLELINE text only.
// Gives the height of the text (with DT_VCENTER or DT_BOTTOM: from the rectangle's top
// to the bottom of the text); with DT_CALCRECT nothing is drawn and the rectangle is
// made to hold the text.
int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format);

#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_COMPAT 0x0004
#define DI_DEFAULTSIZE 0x0008
// An icon scaled to cx x cy (0: the icon's own size, or SM_CXICON with DI_DEFAULTSIZE).
BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                       HBRUSH hbrFlickerFreeDraw, UINT diFlags);
// An icon at 32 x 32.
BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon);

#endif
