// Running the whole program through the headless driver.
#ifndef QK_TESTS_PROGRAM_H
#define QK_TESTS_PROGRAM_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/user32/wnd.h"
#include "platform/win32.h"
#include "sound/sound.h"
#include "tests/support.h"
#include "tests/wavgen.h"
#include "window/window.h"

class ProgramTest : public StandinTest {
protected:
    HINSTANCE instance = (HINSTANCE)0x400000;

    // Runs the program; the steps run in turn whenever it waits for input (in its own
    // loop or in a dialog's), then it is closed as a user would. A program that ends
    // before it has waited for every step fails the test.
    int Run(std::vector<std::function<void()>> steps = {}) {
        auto ran = std::make_shared<size_t>(0);
        for (auto &s : steps)
            qk::headless::OnIdle([ran, s] {
                ++*ran;
                s();
            });
        int code = WinMain(instance, NULL, (LPSTR) "", SW_SHOWNORMAL);
        EXPECT_EQ(*ran, steps.size()) << "the program ended before every scripted step ran";
        return code;
    }
    // Runs a program that must end before it ever waits for input; a step offered to it
    // must never run.
    int RunEndingEarly() {
        bool ran = false;
        qk::headless::OnIdle([&ran] { ran = true; });
        int code = WinMain(instance, NULL, (LPSTR) "", SW_SHOWNORMAL);
        EXPECT_FALSE(ran) << "the program waited for input";
        EXPECT_EQ(qk::headless::DropPendingSteps(), ran ? 0u : 1u);
        return code;
    }
    static HWND FindTop(const char *className) {
        for (qk::wnd::Window *w : qk::wnd::TopLevelWindows())
            if (w->className == className) return w->hwnd;
        return NULL;
    }
    static HWND Main() { return FindTop("QKPEX"); }
    static HWND Dialog() { return FindTop("#32770"); }
    static std::string Text(HWND h) {
        char buf[1100] = {0};
        GetWindowTextA(h, buf, sizeof buf);
        return buf;
    }
    static std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    static std::vector<std::string> ListItems(HWND dialog, int id) {
        std::vector<std::string> items;
        int n = (int)SendDlgItemMessageA(dialog, id, id == 104 ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; i++) {
            char buf[300] = {0};
            SendDlgItemMessageA(dialog, id, id == 104 ? CB_GETLBTEXT : LB_GETTEXT, (WPARAM)i, (LPARAM)buf);
            items.push_back(buf);
        }
        return items;
    }
    static std::string StatusText(int part) {
        char buf[300] = {0};
        SendMessageA(StatusBar, SB_GETTEXTA, (WPARAM)part, (LPARAM)buf);
        return buf;
    }
    // A small WAV file on C: (home) at a path relative to it, e.g. "SOUNDS/DING.WAV".
    void MakeSample(const std::string &relative, int frames = 80) {
        WriteFile(home + "/" + relative, MakeWav16(8000, 1, std::vector<int16_t>((size_t)frames, 1000)));
    }
    void StoreKey(const char *key, const std::string &value, const char *section = "QK_Pex") {
        WritePrivateProfileStringA(section, key, value.c_str(), "ZELVRANT.INI");
    }
    // Sets the main window's outer size so that its client area is cw x ch.
    static void SetClientSize(int cw, int ch) {
        RECT w, c;
        GetWindowRect(Main(), &w);
        GetClientRect(Main(), &c);
        MoveWindow(Main(), w.left, w.top, cw + (w.right - w.left) - c.right, ch + (w.bottom - w.top) - c.bottom, TRUE);
    }
    // Double-clicks entry i of a list in the open dialog.
    static void DoubleClickEntry(HWND dialog, int id, int i) {
        HWND list = GetDlgItem(dialog, id);
        int h = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
        int top = (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0);
        qk::headless::ClickIn(list, 5, (i - top) * h + h / 2);
        qk::headless::ClickIn(list, 5, (i - top) * h + h / 2, 0, true);
    }
    static int IndexOf(const std::vector<std::string> &items, const std::string &s) {
        for (size_t i = 0; i < items.size(); i++)
            if (items[i] == s) return (int)i;
        return -1;
    }
};

#endif
