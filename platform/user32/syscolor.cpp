// The system colours: the classic Windows 95 scheme, and a brush of each (gdi32 keeps the
// brushes; their colours come from here).
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/user32.h"

namespace {

// The Windows 95 scheme, by COLOR_ index.
const COLORREF kSysColours[qk::gdi::kSystemBrushCount] = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(0, 128, 128),    // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(192, 192, 192),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(192, 192, 192),  // (25)
    RGB(0, 0, 255),      // COLOR_HOTLIGHT
    RGB(0, 0, 128),      // COLOR_GRADIENTACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(0, 0, 128),      // COLOR_MENUHILIGHT
    RGB(192, 192, 192),  // COLOR_MENUBAR
};

// The brushes have their colours before the program starts.
struct SystemBrushes {
    SystemBrushes() { qk::gdi::SetSystemBrushColours(kSysColours); }
} g_systemBrushes;

}  // namespace

DWORD WINAPI GetSysColor(int nIndex) {
    if (nIndex < 0 || nIndex >= qk::gdi::kSystemBrushCount) return 0;
    return kSysColours[nIndex];
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) { return qk::gdi::SystemBrush(nIndex); }
