// Main window: class, start-up, message routing, the button grid and its captions,
// keys and button commands.
#ifndef QK_WINDOW_H
#define QK_WINDOW_H

#include "platform/win32.h"
#include "res/resource.h"

#define MAIN_CLASS_NAME "QKPEX"
#define MAIN_TITLE "QK Sonnerix"
#define FIRST_BUTTON_ID 1024
#define KEY_TEXT_SIZE 260

// The instance handle, kept from the main window's start-up for the whole run.
extern HINSTANCE MainInstance;
// The current status bar and the twelve slot buttons (button n has id 1024 + n).
extern HWND StatusBar;
extern HWND SlotButtons[12];

ATOM RegisterMainWindowClass(HINSTANCE instance);
int StartMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Destroys and re-creates the status bar and the twelve buttons for the current
// client size (nothing while minimised).
LRESULT RebuildButtonGrid(HWND window, WPARAM sizeType);
// Leaves slot n's two-line caption in ScratchText: its function key, widened with
// spaces to the width of its label, over the label.
void ComposeButtonCaption(int slot);
// Status bar parts 1 and 2: "LOOP: ON"/"LOOP:OFF" and "SYNC: ON"/"SYNC:OFF".
void ShowPlayModes(void);

// The rule by which every option command toggles a value: v - 1 from 1 up, else 1.
int ToggleOption(int value);
// The system menu's option commands: IDM_LOCK to IDM_REHEARSE but IDM_LOAD_BANK.
LRESULT HandleOptionCommand(HWND window, WPARAM command);

// The slot under a point of the client area (x in the low word, y in the high word),
// or -1 where there is none: the status bar, the columns right of the grid, a grid too
// small to have rows or columns.
int SlotFromPoint(HWND window, LPARAM point);
// A right-click on a slot button assigns it a file through the picker.
LRESULT HandleParentNotify(HWND window, WPARAM wParam, LPARAM lParam);

LRESULT HandleKeyDown(WPARAM virtualKey);
LRESULT HandleSystemKeyDown(void);
LRESULT HandleCommand(HWND window, WPARAM wParam);

#endif
