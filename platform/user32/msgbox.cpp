#include "platform/driver/driver.h"
#include "platform/user32/user32.h"

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    // The platform shows "Error" when no caption is given.
    return qk::driver::ShowMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
}
