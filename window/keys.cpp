#include "sound/sound.h"
#include "window/window.h"

LRESULT HandleKeyDown(WPARAM virtualKey) {
    if (virtualKey == VK_SPACE) {
        StopSound();
    } else if (virtualKey >= VK_F1 && virtualKey <= VK_F12 && virtualKey != VK_F10) {
        // F10 comes as a system key.
        PlaySlot((int)(virtualKey - VK_F1));
    }
    return 0;
}

LRESULT HandleSystemKeyDown(void) {
    // F10, Alt and every key held with Alt: slot 9. Never passed on, so Alt+F4 does
    // not close the window.
    PlaySlot(9);
    return 0;
}

LRESULT HandleCommand(HWND window, WPARAM wParam) {
    int id = LOWORD(wParam);
    if (id >= FIRST_BUTTON_ID && id < FIRST_BUTTON_ID + SLOT_COUNT) PlaySlot(id - FIRST_BUTTON_ID);
    // The keys belong to the main window, not to a button that kept the focus.
    SetFocus(window);
    return 0;
}
