// The window tree of the stand-in, shared by user32, comctl32 and the drivers.
// Everything here runs on the program's one thread.
#ifndef QK_PLATFORM_USER32_WND_H
#define QK_PLATFORM_USER32_WND_H

#include <memory>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "platform/user32/user32.h"

namespace qk {
namespace wnd {

struct ControlState {
    virtual ~ControlState() = default;
};

struct MenuItem {
    UINT flags;  // MF_SEPARATOR, MF_CHECKED, MF_GRAYED, ...
    UINT_PTR id;
    std::string text;
};

struct Menu {
    std::vector<MenuItem> items;
};

struct Window {
    HWND hwnd = nullptr;  // handles are never reused
    std::string className;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    Window *parent = nullptr;  // child windows
    Window *owner = nullptr;   // owned top-level windows (dialogs)
    std::vector<Window *> children;  // in creation (z) order
    RECT rect = {0, 0, 0, 0};        // window rectangle: screen (top-level) or parent client
    RECT normalRect = {0, 0, 0, 0};  // top-level: the restored rectangle
    int showState = SW_SHOWNORMAL;   // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    bool visible = false;
    bool enabled = true;
    bool destroying = false;
    bool needsPaint = false;
    bool needsSize = false;  // a hidden top-level window hears of its size when first shown
    HICON icon = nullptr;
    HICON iconSmall = nullptr;
    HBRUSH background = nullptr;
    UINT classStyle = 0;
    LONG_PTR userData = 0;
    void *font = nullptr;
    std::unique_ptr<Menu> systemMenu;
    std::unique_ptr<ControlState> control;
};

Window *FromHandle(HWND h);  // NULL when h names no live window
Menu *MenuFromHandle(HMENU h);  // NULL when h names no live menu
// Greys the system menu's standard items as the window's state allows, as the platform does
// each time the menu is shown: Restore only when minimised or maximised, Move not when
// maximised, Size only with a sizing frame and in the normal state, Minimize and Maximize only
// with their box and not in that state already.
void InitSystemMenuPopup(HWND top);
inline HWND Handle(Window *w) { return w ? w->hwnd : nullptr; }
Window *TopLevel(Window *w);
// Live top-level windows, oldest first.
std::vector<Window *> TopLevelWindows();
// The deepest visible, enabled child of `top` at a point of its client area (or top).
Window *ChildAt(Window *top, POINT clientPt, POINT *local);

// Frame metrics of a style: the client rectangle inside a window rectangle.
RECT ClientRectOf(const Window *w);
// Width of the frame left and right, and the heights above and below the client area.
void FrameInsets(DWORD style, DWORD exStyle, bool topLevel, int &left, int &top, int &right, int &bottom);
// The client rectangle's origin in screen coordinates.
POINT ClientOrigin(const Window *w);

// Moves and sizes a window with the messages the platform sends; sends WM_SIZE with
// `sizeType` for a top-level window whose size or state changed.
void SetWindowRect(Window *w, const RECT &r, WPARAM sizeType, bool forceSize = false);

// The system menu's Move (size false) and Size: the arrow keys move or size the window
// until Enter keeps or Escape undoes the change (sizemove.cpp). Returns when it ends.
void TrackSizeMove(HWND top, bool size);
// The window being moved or sized that way, or NULL.
HWND SizeMoveWindow();

// The virtual screen (work area) size.
void ScreenSize(int &width, int &height);

// Built-in window classes, registered on first use.
void RegisterSystemClasses();
// Registers one class of the system's own (CS_GLOBALCLASS, kept by ResetWindowSystem).
void RegisterSystemClass(const char *name, WNDPROC proc, UINT style, HBRUSH background);
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StatusBarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);

// The vertical scroll bar (scroll.cpp). Its width, GetSystemMetrics(SM_CXVSCROLL), is the
// width of every scroll bar and of the combo box's arrow button.
int ScrollBarWidth();
// Draws a classic vertical scroll bar in r (arrows and track) with a thumb for `first`
// of `total` rows where `visible` fit (no thumb when everything fits).
void DrawVerticalScrollBar(HDC dc, RECT r, int first, int visible, int total);
// The rows a click at y on a scroll bar `height` pixels high scrolls by: one up or down on
// its arrows, else a page of `page` rows towards the click (above or below the middle).
int ScrollBarClick(int y, int height, int page);

// A control tells its parent what happened: WM_COMMAND with the control's id and the
// notification code, the control's handle in lParam (nothing for a control without parent).
void NotifyParent(Window *w, WORD code);

// The font a control draws and measures with: the one set by WM_SETFONT, else System.
int ControlFont(const Window *w);  // a qk::gdi::FontId value

// Destroys every window, forgets the program's classes and empties the queue. For tests.
void ResetWindowSystem();
// Empties the message queue and forgets the quit and the shutdown asked for (message.cpp).
void ResetMessages();
// Drops a window that is going from the focus, the activation, the capture and the queue
// (message.cpp).
void ForgetWindow(Window *w);
// Ends the session as a shutdown does, when the program next waits for a message: every
// top-level window is asked (WM_QUERYENDSESSION), told (WM_ENDSESSION) and destroyed.
void RequestShutdown();
// Start-up faults for tests: RegisterClassExA fails; CreateWindowExA fails for windows of
// one class (nullptr: none). ResetWindowSystem turns both off.
void FailClassRegistration(bool on);
void FailWindowsOfClass(const char *className);

// Paint bookkeeping: marks a window (and its top-level window) for repainting.
void Invalidate(Window *w);

}  // namespace wnd

// Input as the desktop delivers it, turned into the platform's messages here, once for
// every driver.
namespace input {

// A key going down (with auto-repeat as repeated downs) or up.
void Key(int vk, bool down);
// Characters typed, in cp1252, as the desktop's keyboard layout or input method made
// them; each reaches the focus as WM_CHAR. Once a driver delivers typed text this way
// (TextFromDesktop), TranslateMessage makes characters only for the keys that have no
// text of their own: Enter, Escape, Backspace, Tab, Ctrl+letter, and Alt+key (WM_SYSCHAR).
void Text(const char *cp1252);
void TextFromDesktop(bool on);
// A mouse button at a point of a top-level window's client area.
// button: 0 left, 1 right, 2 middle.
void MouseButton(HWND top, int x, int y, int button, bool down, bool doubleClick);
void MouseMove(HWND top, int x, int y);
// The mouse wheel turned with the pointer at a point of a top-level window's client area:
// `delta` in WHEEL_DELTA units per notch, positive away from the user. It reaches the
// window under the pointer (or the one that captured the mouse) as WM_MOUSEWHEEL.
void MouseWheel(HWND top, int x, int y, int delta);
// Caption and frame actions of a top-level window: SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE,
// SC_CLOSE, or a new size (SC_SIZE) or position (SC_MOVE) given in r.
void FrameAction(HWND top, UINT sc, const RECT *r = nullptr);
// The system menu's item chosen.
void MenuChosen(HWND top, UINT id);

}  // namespace input
}  // namespace qk

#endif
