// TEMPORARY message box window for the desktop driver, until the real one (with the
// classic layout and the box's icon) is merged. Delete this file and its line in
// CMakeLists.txt (QK_FALLBACK_SOURCES) then; the real platform/user32/msgbox.h replaces
// this branch's copy of it.
//
// A captioned popup holds the text and the buttons of the box's type. It runs modally:
// the owner is disabled, Enter chooses the focused (else the default) button, Escape
// chooses Cancel (or the one button of an OK box), Tab and the arrow keys move between
// the buttons, and a button's underlined letter chooses it.
#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/msgbox.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

void RegisterSystemClass(const char *name, WNDPROC proc, UINT style, HBRUSH background);

namespace {

const char kBoxClass[] = "QkMessageBox";

struct BoxState {
    int result = 0;      // 0 while the box runs
    int closeAnswer = 0; // what closing the box answers (0: it cannot be closed)
    std::vector<std::pair<int, HWND>> buttons;
};

BoxState *StateOf(HWND box) {
    Window *w = FromHandle(box);
    return w ? (BoxState *)w->userData : nullptr;
}

LRESULT CALLBACK BoxProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    BoxState *s = StateOf(hWnd);
    switch (msg) {
        case WM_COMMAND:
            if (s && HIWORD(wParam) == BN_CLICKED) s->result = LOWORD(wParam);
            return 0;
        case WM_CLOSE:
            if (s && s->closeAnswer) s->result = s->closeAnswer;
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

struct ButtonSpec {
    int id;
    const char *text;
};

std::vector<ButtonSpec> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
        case MB_YESNOCANCEL:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}};
        case MB_RETRYCANCEL:
            return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
        default:
            return {{IDOK, "OK"}};
    }
}

char MnemonicOf(const char *text) {
    const char *amp = strchr(text, '&');
    return amp && amp[1] ? (char)toupper((unsigned char)amp[1]) : 0;
}

// The button a key chooses, or 0.
int ButtonForKey(const BoxState &s, const std::vector<ButtonSpec> &specs, int vk) {
    HWND focus = GetFocus();
    if (vk == VK_RETURN) {
        for (auto &b : s.buttons)
            if (b.second == focus) return b.first;
        return s.buttons.empty() ? IDOK : s.buttons.front().first;
    }
    if (vk == VK_ESCAPE) return s.closeAnswer;
    for (const ButtonSpec &b : specs)
        if (MnemonicOf(b.text) && MnemonicOf(b.text) == vk) return b.id;
    return 0;
}

void MoveFocus(const BoxState &s, int step) {
    if (s.buttons.empty()) return;
    HWND focus = GetFocus();
    int n = (int)s.buttons.size(), at = 0;
    for (int i = 0; i < n; i++)
        if (s.buttons[(size_t)i].second == focus) at = i;
    SetFocus(s.buttons[(size_t)((at + step + n) % n)].second);
}

}  // namespace

int RunMessageBoxWindow(HWND owner, const char *text, const char *caption, UINT type) {
    RegisterSystemClass(kBoxClass, BoxProc, 0, (HBRUSH)GetStockObject(LTGRAY_BRUSH));
    std::vector<ButtonSpec> specs = ButtonsOf(type);
    BoxState state;
    for (const ButtonSpec &b : specs)
        if (b.id == IDCANCEL) state.closeAnswer = IDCANCEL;
    if (specs.size() == 1) state.closeAnswer = specs[0].id;

    // Size: the text's lines in the dialog font, the buttons in a row under it.
    const gdi::FontId font = gdi::FontId::MsSansSerif8;
    int lineH = gdi::FontHeight(font), textW = 0, lines = 1;
    {
        const char *start = text;
        for (const char *p = text;; p++) {
            if (*p == '\n' || !*p) {
                int w = gdi::MeasureText(font, start, (int)(p - start)).cx;
                if (w > textW) textW = w;
                if (!*p) break;
                lines++;
                start = p + 1;
            }
        }
    }
    const int margin = 12, buttonW = 75, buttonH = 23, gap = 6;
    int buttonsW = (int)specs.size() * buttonW + ((int)specs.size() - 1) * gap;
    int captionW = gdi::MeasureText(gdi::FontId::System, caption, (int)strlen(caption)).cx + 40;
    int clientW = textW + 2 * margin;
    if (clientW < buttonsW + 2 * margin) clientW = buttonsW + 2 * margin;
    if (clientW < captionW) clientW = captionW;
    int clientH = margin + lines * lineH + margin + buttonH + margin;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    int l, t, r, b;
    FrameInsets(style, WS_EX_DLGMODALFRAME, true, l, t, r, b);
    int width = clientW + l + r, height = clientH + t + b;

    // Centred on the owner where it shows, else on the screen.
    int sw, sh;
    ScreenSize(sw, sh);
    RECT around = {0, 0, sw, sh};
    Window *ownerWindow = FromHandle(owner);
    if (ownerWindow) ownerWindow = TopLevel(ownerWindow);
    if (ownerWindow && ownerWindow->visible && ownerWindow->showState != SW_SHOWMINIMIZED) around = ownerWindow->rect;
    int x = (around.left + around.right - width) / 2, y = (around.top + around.bottom - height) / 2;
    if (x + width > sw) x = sw - width;
    if (y + height > sh) y = sh - height;
    if (x < 0) x = 0;
    if (y < 0) y = 0;

    HWND box = CreateWindowExA(WS_EX_DLGMODALFRAME, kBoxClass, caption, style, x, y, width, height,
                               ownerWindow ? ownerWindow->hwnd : NULL, NULL, NULL, NULL);
    if (!box) return 0;
    FromHandle(box)->userData = (LONG_PTR)&state;
    HFONT dialogFont = gdi::DialogFont();
    HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE, margin, margin, clientW - 2 * margin,
                                 lines * lineH, box, NULL, NULL, NULL);
    SendMessageA(label, WM_SETFONT, (WPARAM)dialogFont, FALSE);
    int bx = (clientW - buttonsW) / 2, by = clientH - margin - buttonH;
    for (size_t i = 0; i < specs.size(); i++) {
        DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = CreateWindowExA(0, "BUTTON", specs[i].text, bs, bx, by, buttonW, buttonH, box,
                                      (HMENU)(UINT_PTR)specs[i].id, NULL, NULL);
        SendMessageA(button, WM_SETFONT, (WPARAM)dialogFont, FALSE);
        state.buttons.push_back({specs[i].id, button});
        bx += buttonW + gap;
    }

    HWND ownerHandle = Handle(ownerWindow);
    bool ownerWasEnabled = ownerWindow && ownerWindow->enabled;
    if (ownerWasEnabled) EnableWindow(ownerHandle, FALSE);
    ShowWindow(box, SW_SHOW);
    if (!state.buttons.empty()) SetFocus(state.buttons.front().second);

    bool quit = false;
    int quitCode = 0;
    MSG m;
    while (!state.result && IsWindow(box)) {
        if (!GetMessageA(&m, NULL, 0, 0)) {
            quit = true;
            quitCode = (int)m.wParam;
            break;
        }
        Window *target = FromHandle(m.hwnd);
        bool forBox = target && TopLevel(target) == FromHandle(box);
        if (forBox && m.message == WM_KEYDOWN) {
            int vk = (int)m.wParam;
            if (vk == VK_TAB || vk == VK_RIGHT || vk == VK_DOWN) {
                MoveFocus(state, GetKeyState(VK_SHIFT) < 0 && vk == VK_TAB ? -1 : 1);
                continue;
            }
            if (vk == VK_LEFT || vk == VK_UP) {
                MoveFocus(state, -1);
                continue;
            }
            int chosen = ButtonForKey(state, specs, vk);
            if (chosen) {
                state.result = chosen;
                continue;
            }
        }
        if (forBox && m.message == WM_CHAR) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    int result = state.result ? state.result : state.closeAnswer ? state.closeAnswer : specs[0].id;
    if (IsWindow(box)) FromHandle(box)->userData = 0;
    // The owner is enabled before the box goes, so that it becomes active again.
    if (ownerWasEnabled && IsWindow(ownerHandle)) EnableWindow(ownerHandle, TRUE);
    if (IsWindow(box)) DestroyWindow(box);
    if (quit) PostQuitMessage(quitCode);
    return result;
}

}  // namespace wnd
}  // namespace qk
