// Message boxes: MessageBoxA goes through the driver (which may answer from a script or
// show the box as a window); RunMessageBoxWindow builds and runs that window.
#include "platform/user32/msgbox.h"

#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/wnd.h"

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    // The platform shows "Error" when no caption is given.
    return qk::driver::ShowMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
}

namespace qk {
namespace wnd {
namespace {

const char kBoxClass[] = "QkMessageBox";
const int kMargin = 11;
const int kButtonW = 75, kButtonH = 23, kButtonGap = 6;
const int kIconSize = 32;
const int kIconGap = 13;

struct BoxState {
    std::vector<int> ids;
    std::vector<HWND> buttons;
    int escape = 0;  // the answer of Escape and the close box; 0: none
    int answer = 0;
    bool done = false;
};

const char *Label(int id) {
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDABORT:
            return "&Abort";
        case IDRETRY:
            return "&Retry";
        case IDIGNORE:
            return "&Ignore";
        case IDYES:
            return "&Yes";
        case IDNO:
            return "&No";
        default:
            return "";
    }
}

void ButtonsOf(UINT type, std::vector<int> &ids, int &escape) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            ids = {IDOK, IDCANCEL};
            escape = IDCANCEL;
            break;
        case MB_ABORTRETRYIGNORE:
            ids = {IDABORT, IDRETRY, IDIGNORE};
            escape = 0;
            break;
        case MB_YESNOCANCEL:
            ids = {IDYES, IDNO, IDCANCEL};
            escape = IDCANCEL;
            break;
        case MB_YESNO:
            ids = {IDYES, IDNO};
            escape = 0;
            break;
        case MB_RETRYCANCEL:
            ids = {IDRETRY, IDCANCEL};
            escape = IDCANCEL;
            break;
        default:
            ids = {IDOK};
            escape = IDOK;
            break;
    }
}

LPCSTR IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONASTERISK:
            return IDI_ASTERISK;
        default:
            return nullptr;
    }
}

BoxState *StateOf(HWND box) {
    Window *w = FromHandle(box);
    return w ? (BoxState *)w->userData : nullptr;
}

void Choose(BoxState *s, int id) {
    if (!s || s->done) return;
    s->answer = id;
    s->done = true;
}

LRESULT CALLBACK BoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    BoxState *s = StateOf(hWnd);
    switch (msg) {
        case WM_COMMAND:
            if (s && HIWORD(wParam) == BN_CLICKED)
                for (int id : s->ids)
                    if (id == (int)LOWORD(wParam)) Choose(s, id);
            return 0;
        case WM_CLOSE:
            // The close box, Alt+F4: as Escape; the box itself goes when the loop ends.
            if (s && s->escape) Choose(s, s->escape);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

int FocusedButton(const BoxState &s) {
    HWND f = GetFocus();
    for (size_t i = 0; i < s.buttons.size(); i++)
        if (s.buttons[i] == f) return (int)i;
    return -1;
}

// The focused push button is the default one, as in a dialog.
void FocusButton(BoxState &s, int index) {
    int n = (int)s.buttons.size();
    if (n == 0) return;
    index = ((index % n) + n) % n;
    for (int i = 0; i < n; i++)
        SendMessageA(s.buttons[(size_t)i], BM_SETSTYLE, i == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    SetFocus(s.buttons[(size_t)index]);
}

bool InBox(HWND box, HWND h) {
    for (Window *w = FromHandle(h); w; w = w->parent)
        if (w->hwnd == box) return true;
    return false;
}

// The keys a dialog takes for itself; true when the message was used up.
bool DialogKey(HWND box, BoxState &s, const MSG &m, int defaultIndex) {
    if (!InBox(box, m.hwnd)) return false;
    if (m.message == WM_KEYDOWN) {
        int focused = FocusedButton(s);
        switch (m.wParam) {
            case VK_RETURN:
                Choose(&s, s.ids[(size_t)(focused >= 0 ? focused : defaultIndex)]);
                return true;
            case VK_ESCAPE:
                if (s.escape) Choose(&s, s.escape);
                return true;
            case VK_TAB:
                FocusButton(s, (focused < 0 ? defaultIndex : focused) + (GetKeyState(VK_SHIFT) < 0 ? -1 : 1));
                return true;
            case VK_RIGHT:
            case VK_DOWN:
                FocusButton(s, (focused < 0 ? defaultIndex : focused) + 1);
                return true;
            case VK_LEFT:
            case VK_UP:
                FocusButton(s, (focused < 0 ? defaultIndex : focused) - 1);
                return true;
            default:
                break;
        }
    }
    if (m.message == WM_CHAR || (m.message == WM_SYSCHAR && m.wParam != ' ')) {
        // A button's underlined letter, with or without Alt.
        int ch = tolower((int)(unsigned char)m.wParam);
        for (size_t i = 0; i < s.ids.size(); i++) {
            const char *label = Label(s.ids[i]);
            const char *amp = label;
            while (*amp && *amp != '&') amp++;
            if (*amp == '&' && amp[1] && tolower((unsigned char)amp[1]) == ch) {
                Choose(&s, s.ids[i]);
                return true;
            }
        }
        return m.message == WM_CHAR;
    }
    return false;
}

}  // namespace

int RunMessageBoxWindow(HWND owner, const char *text, const char *caption, UINT type) {
    RegisterSystemClasses();
    RegisterSystemClass(kBoxClass, BoxProc, CS_SAVEBITS, (HBRUSH)(COLOR_BTNFACE + 1));
    if (!text) text = "";
    if (!caption) caption = "Error";
    Window *ownerWindow = TopLevel(FromHandle(owner));
    owner = Handle(ownerWindow);

    BoxState state;
    ButtonsOf(type, state.ids, state.escape);
    int defaultIndex = (int)((type & MB_DEFMASK) >> 8);
    if (defaultIndex >= (int)state.ids.size()) defaultIndex = 0;
    LPCSTR iconName = IconOf(type);
    HICON icon = iconName ? LoadIconA(NULL, iconName) : NULL;

    // The text's size in the dialog font, wrapped to at most five eighths of the screen. A
    // word too long for that (a name without a place to break) is cut at the box's edge
    // rather than taking the box off the screen.
    int sw, sh;
    ScreenSize(sw, sh);
    int textLeft = icon ? kMargin + kIconSize + kIconGap : kMargin + 2;
    int widest = sw * 5 / 8 - textLeft - kMargin;
    HDC dc = GetDC(NULL);
    SelectObject(dc, gdi::DialogFont());
    RECT tr = {0, 0, widest, 0};
    DrawTextA(dc, text, -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SIZE title;
    GetTextExtentPoint32A(dc, caption, (int)strlen(caption), &title);
    ReleaseDC(NULL, dc);
    int tw = tr.right - tr.left, th = tr.bottom - tr.top;
    if (tw > widest) tw = widest;

    int textTop = kMargin;
    if (icon && th < kIconSize) textTop += (kIconSize - th) / 2;
    int contentBottom = textTop + th;
    if (icon && kMargin + kIconSize > contentBottom) contentBottom = kMargin + kIconSize;
    int n = (int)state.ids.size();
    int buttonsW = n * kButtonW + (n - 1) * kButtonGap;
    int buttonsY = contentBottom + 12;
    int clientW = textLeft + tw + kMargin;
    if (buttonsW + 2 * kMargin > clientW) clientW = buttonsW + 2 * kMargin;
    // Room for the caption's text and its close box, within the screen.
    if (title.cx + 30 > clientW) clientW = title.cx + 30;
    if (clientW > sw - 2 * kMargin) clientW = sw - 2 * kMargin;
    int clientH = buttonsY + kButtonH + kMargin;

    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = WS_EX_DLGMODALFRAME;
    int l, t, r, b;
    FrameInsets(style, exStyle, true, l, t, r, b);
    int width = clientW + l + r, height = clientH + t + b;
    RECT around = {0, 0, sw, sh};
    if (ownerWindow) around = ownerWindow->rect;
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    if (x + width > sw) x = sw - width;
    if (y + height > sh) y = sh - height;
    if (x < 0) x = 0;
    if (y < 0) y = 0;

    HWND box = CreateWindowExA(exStyle, kBoxClass, caption, style, x, y, width, height, owner, NULL, NULL, NULL);
    if (!box) return 0;
    Window *bw = FromHandle(box);
    bw->userData = (LONG_PTR)&state;
    HFONT font = gdi::DialogFont();
    SendMessageA(box, WM_SETFONT, (WPARAM)font, FALSE);
    // A dialog's system menu: Move and Close.
    HMENU menu = GetSystemMenu(box, FALSE);
    if (Menu *m = MenuFromHandle(menu)) {
        std::vector<MenuItem> kept;
        for (const MenuItem &i : m->items)
            if (i.id == SC_MOVE || i.id == SC_CLOSE) kept.push_back(i);
        m->items = kept;
    }
    if (!state.escape) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);

    if (icon) {
        HWND iconControl = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_ICON, kMargin, kMargin, kIconSize,
                                           kIconSize, box, (HMENU)(UINT_PTR)20, NULL, NULL);
        SendMessageA(iconControl, STM_SETICON, (WPARAM)icon, 0);
    }
    HWND textControl = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textLeft,
                                       textTop, tw, th, box, (HMENU)(UINT_PTR)0xFFFF, NULL, NULL);
    SendMessageA(textControl, WM_SETFONT, (WPARAM)font, FALSE);
    int bx = (clientW - buttonsW) / 2;
    for (int i = 0; i < n; i++) {
        DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = CreateWindowExA(0, "BUTTON", Label(state.ids[(size_t)i]), bs, bx, buttonsY, kButtonW, kButtonH,
                                      box, (HMENU)(UINT_PTR)state.ids[(size_t)i], NULL, NULL);
        SendMessageA(button, WM_SETFONT, (WPARAM)font, FALSE);
        state.buttons.push_back(button);
        bx += kButtonW + kButtonGap;
    }

    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(box, SW_SHOWNORMAL);
    if (IsWindow(box)) FocusButton(state, defaultIndex);

    int answer = IDCANCEL;
    while (!state.done) {
        if (!IsWindow(box)) break;  // destroyed under the box (its owner went)
        MSG m;
        BOOL got = GetMessageA(&m, NULL, 0, 0);
        if (got <= 0) {
            // A quit ends the box and is left for the program's own loop.
            PostQuitMessage(got == 0 ? (int)m.wParam : 0);
            break;
        }
        if (IsWindow(box) && DialogKey(box, state, m, defaultIndex)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (state.done) answer = state.answer;

    if (owner && IsWindow(owner) && ownerWasEnabled) EnableWindow(owner, TRUE);
    if (Window *w = FromHandle(box)) {
        w->userData = 0;
        // The owner is active again before the box goes, so the focus returns to it.
        if (owner && IsWindow(owner) && IsWindowVisible(owner)) SetActiveWindow(owner);
        DestroyWindow(box);
    }
    return answer;
}

}  // namespace wnd
}  // namespace qk
