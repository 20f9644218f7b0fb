#include <stdio.h>
#include <string.h>

#include "app/app.h"
#include "sound/sound.h"
#include "window/window.h"

HWND StatusBar;
HWND SlotButtons[SLOT_COUNT];

#define BUTTON_STYLE (WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE)

static char KeyText[KEY_TEXT_SIZE];

// KeyText = pad, "F" and the key number, pad: the same run of spaces on both sides.
static void SetKeyText(int key, int padLength) {
    char number[16];
    int numberLength = snprintf(number, sizeof number, "F%d", key);
    memset(KeyText, ' ', (size_t)padLength);
    memcpy(KeyText + padLength, number, (size_t)numberLength);
    memset(KeyText + padLength + numberLength, ' ', (size_t)padLength);
    KeyText[2 * padLength + numberLength] = 0;
}

void ComposeButtonCaption(int slot) {
    const char *label = SlotTable[slot].label;
    int key = slot + 1;
    int padLength = 0;
    SetKeyText(key, padLength);
    HDC dc = GetDC(StatusBar);
    for (;;) {
        SIZE keySize, labelSize;
        GetTextExtentPoint32A(dc, KeyText, (int)strlen(KeyText), &keySize);
        GetTextExtentPoint32A(dc, label, (int)strlen(label), &labelSize);
        if (keySize.cx >= labelSize.cx) break;
        // Widen by one space on each side. The key text never outgrows its buffer, so a
        // font whose space has no width still ends here.
        if (2 * (padLength + 1) + (int)strlen("F12") > KEY_TEXT_SIZE - 1) break;
        padLength++;
        SetKeyText(key, padLength);
    }
    ReleaseDC(StatusBar, dc);
    snprintf(ScratchText, SCRATCH_TEXT_SIZE, "%s\n%s", KeyText, label);
}

void ShowPlayModes(void) {
    SendMessageA(StatusBar, SB_SETTEXTA, 1, (LPARAM)(OptionLoop ? "LOOP: ON" : "LOOP:OFF"));
    SendMessageA(StatusBar, SB_SETTEXTA, 2, (LPARAM)(OptionSync ? "SYNC: ON" : "SYNC:OFF"));
}

LRESULT RebuildButtonGrid(HWND window, WPARAM sizeType) {
    if (sizeType == SIZE_MINIMIZED) return 0;
    DestroyWindow(StatusBar);
    StatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window, NULL,
                                MainInstance, NULL);
    RECT client, status;
    GetClientRect(window, &client);
    GetClientRect(StatusBar, &status);
    int usable = client.bottom - status.bottom;
    int edges[3];
    for (int i = 0; i < 3; i++) edges[i] = (status.right / 4) * (i + 2);
    SendMessageA(StatusBar, SB_SETPARTS, 3, (LPARAM)edges);
    ShowPlayModes();

    DWORD style = BUTTON_STYLE | (OptionNotify ? BS_NOTIFY : 0);
    int width = client.right / 4;
    int height = usable / 3;
    for (int n = 0; n < SLOT_COUNT; n++) {
        DestroyWindow(SlotButtons[n]);
        int x = (n % 4) * width;
        int y = n < 4 ? 0 : n < 8 ? usable / 3 : (2 * usable) / 3;
        ComposeButtonCaption(n);
        SlotButtons[n] = CreateWindowExA(0, "BUTTON", ScratchText, style, x, y, width, height, window,
                                         (HMENU)(UINT_PTR)(FIRST_BUTTON_ID + n), MainInstance, NULL);
    }
    return 0;
}
