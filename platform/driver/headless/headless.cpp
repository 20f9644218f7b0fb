#include "platform/driver/headless/headless.h"

#include <deque>
#include <mutex>

#include "platform/driver/driver.h"
#include "platform/driver/remote/remote.h"
#include "platform/crt/crt_test.h"
#include "platform/gdi32/gdi32_test.h"
#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/user32/user32.h"
#include "platform/user32/wnd.h"
#include "platform/winmm/engine.h"

namespace qk {
namespace {

std::mutex g_mutex;
std::vector<headless::BoxRecord> g_boxes;
std::deque<int> g_answers;
std::vector<HCURSOR> g_cursors;
std::deque<std::function<void()>> g_idle;
std::vector<headless::SoundRecord> g_sounds;
std::function<void(const headless::BoxRecord &)> g_boxHook;
std::function<void(const headless::SoundRecord &)> g_soundHook;
std::vector<std::pair<std::string, std::string>> g_help;
std::vector<std::pair<std::string, std::string>> g_notifications;
bool g_helpViewer = true;
int g_closeRounds = 0;
int g_menuOpened = 0;
HWND g_menuWindow = nullptr;
POINT g_pointer = {-1, -1};

int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        default:
            return IDOK;
    }
}

}  // namespace

namespace driver {

bool Init() { return true; }

void End() { remote::Stop(); }

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    headless::BoxRecord record;
    std::function<void(const headless::BoxRecord &)> hook;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        int answer = FirstButton(type);
        if (!g_answers.empty()) {
            answer = g_answers.front();
            g_answers.pop_front();
        }
        record = {owner, text, caption, type, answer};
        g_boxes.push_back(record);
        hook = g_boxHook;
    }
    if (hook) hook(record);
    return record.answer;
}

void CursorChanged(HCURSOR cursor) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cursors.push_back(cursor);
}

bool WaitForInput() {
    // Remote triggers come first, as the desktop driver takes them when it wakes.
    if (remote::Deliver()) return true;
    if (!g_idle.empty()) {
        std::function<void()> step = std::move(g_idle.front());
        g_idle.pop_front();
        step();
        return true;
    }
    std::vector<wnd::Window *> tops = wnd::TopLevelWindows();
    if (tops.empty() || g_closeRounds >= 3) return false;
    g_closeRounds++;
    for (wnd::Window *t : tops) PostMessageA(wnd::Handle(t), WM_CLOSE, 0, 0);
    return true;
}

void Wake() {}
void WindowCreated(HWND) {}
void WindowChanged(HWND) {}
void WindowDestroyed(HWND) {}

void ScreenSize(int &width, int &height) {
    width = 1024;
    height = 768;
}

bool OpenHelp(const char *hostPath, const char *keyword) {
    g_help.push_back({hostPath, keyword});
    return g_helpViewer;
}

void MovePointer(int x, int y) { g_pointer = {x, y}; }

void Notify(const char *summary, const char *body) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_notifications.push_back({summary ? summary : "", body ? body : ""});
}

void ShowSystemMenu(HWND top) {
    g_menuOpened++;
    g_menuWindow = top;
}

}  // namespace driver

namespace headless {

std::vector<BoxRecord> Boxes() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_boxes;
}

void QueueAnswer(int answer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.push_back(answer);
}

std::vector<HCURSOR> CursorLog() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_cursors;
}

std::vector<SoundRecord> Sounds() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_sounds;
}

void ClearSounds() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sounds.clear();
}

void RecordSound(const void *image, UINT flags, BOOL result) {
    std::function<void(const SoundRecord &)> hook;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_sounds.push_back({image, flags, result});
        hook = g_soundHook;
    }
    if (hook) hook({image, flags, result});
}

void OnSound(std::function<void(const SoundRecord &)> hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_soundHook = std::move(hook);
}

void WhileBoxShown(std::function<void(const BoxRecord &)> hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_boxHook = std::move(hook);
}

void OnIdle(std::function<void()> step) { g_idle.push_back(std::move(step)); }
size_t PendingSteps() { return g_idle.size(); }
size_t DropPendingSteps() {
    size_t n = g_idle.size();
    g_idle.clear();
    return n;
}
void KeyDown(int vk) { input::Key(vk, true); }
void KeyUp(int vk) { input::Key(vk, false); }
void PressKey(int vk) {
    KeyDown(vk);
    KeyUp(vk);
}
void PressWithAlt(int vk) {
    KeyDown(VK_MENU);
    PressKey(vk);
    KeyUp(VK_MENU);
}
void Click(HWND top, int x, int y, int button, bool doubleClick) {
    input::MouseButton(top, x, y, button, true, doubleClick);
    input::MouseButton(top, x, y, button, false, false);
}
void ClickIn(HWND window, int x, int y, int button, bool doubleClick) {
    wnd::Window *w = wnd::FromHandle(window);
    if (!w) return;
    wnd::Window *top = wnd::TopLevel(w);
    POINT o = wnd::ClientOrigin(w), to = wnd::ClientOrigin(top);
    Click(wnd::Handle(top), x + o.x - to.x, y + o.y - to.y, button, doubleClick);
}
void ClickOn(HWND window, int button, bool doubleClick) {
    RECT c;
    GetClientRect(window, &c);
    ClickIn(window, c.right / 2, c.bottom / 2, button, doubleClick);
}
void WheelOn(HWND window, int delta) {
    wnd::Window *w = wnd::FromHandle(window);
    if (!w) return;
    wnd::Window *top = wnd::TopLevel(w);
    RECT c;
    GetClientRect(window, &c);
    POINT o = wnd::ClientOrigin(w), to = wnd::ClientOrigin(top);
    input::MouseWheel(wnd::Handle(top), c.right / 2 + o.x - to.x, c.bottom / 2 + o.y - to.y, delta);
}
void TypeText(const char *text) {
    for (const char *p = text; *p; p++) {
        HWND focus = GetFocus();
        if (focus) PostMessageA(focus, WM_CHAR, (WPARAM)(unsigned char)*p, 1);
    }
}
void ResizeWindow(HWND top, int width, int height) {
    RECT r;
    GetWindowRect(top, &r);
    r.right = r.left + width;
    r.bottom = r.top + height;
    input::FrameAction(top, SC_SIZE, &r);
}
void Caption(HWND top, UINT sc) { input::FrameAction(top, sc); }
void ChooseMenuItem(HWND top, UINT id) { input::MenuChosen(top, id); }
void Pump() {
    remote::Deliver();
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage((int)m.wParam);
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}
std::vector<std::pair<std::string, std::string>> HelpOpened() { return g_help; }
void SetHelpViewer(bool available) { g_helpViewer = available; }

std::vector<std::pair<std::string, std::string>> Notifications() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_notifications;
}

int SystemMenuOpened() { return g_menuOpened; }
HWND LastSystemMenuWindow() { return g_menuWindow; }
POINT PointerPosition() { return g_pointer; }

void Reset() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_boxes.clear();
        g_answers.clear();
        g_cursors.clear();
        g_boxHook = nullptr;
        g_soundHook = nullptr;
        g_notifications.clear();
    }
    g_idle.clear();
    g_help.clear();
    g_helpViewer = true;
    g_closeRounds = 0;
    g_menuOpened = 0;
    g_menuWindow = nullptr;
    g_pointer = {-1, -1};
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_cursors.clear();
    }
    wnd::ResetWindowSystem();
    ResetDosNamespace();
    ResetGlobalMemory();
    SetShortReadLimit(-1);
    FailProfileReadsAfter(-1);
    ForgetToldWriteFailures();
    SetAvailableMemoryForTest(0);
    SetBeforeOpenHook(nullptr);
    SetReportedPlatform(1);  // the Windows 95 family
    sound::Close();
    ClearSounds();
    gdi::UseFontFolder(nullptr);
    gdi::ReleaseAllDCs();
}

}  // namespace headless
}  // namespace qk
