#include "platform/driver/headless/headless.h"

#include <deque>
#include <mutex>

#include "platform/driver/driver.h"
#include "platform/crt/crt_test.h"
#include "platform/gdi32/gdi32_test.h"
#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/user32/user32.h"

namespace qk {
namespace {

std::mutex g_mutex;
std::vector<headless::BoxRecord> g_boxes;
std::deque<int> g_answers;
std::vector<HCURSOR> g_cursors;

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

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    std::lock_guard<std::mutex> lock(g_mutex);
    int answer = FirstButton(type);
    if (!g_answers.empty()) {
        answer = g_answers.front();
        g_answers.pop_front();
    }
    g_boxes.push_back({owner, text, caption, type, answer});
    return answer;
}

void CursorChanged(HCURSOR cursor) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cursors.push_back(cursor);
}

}  // namespace driver

namespace headless {

const std::vector<BoxRecord> &Boxes() { return g_boxes; }

void QueueAnswer(int answer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answers.push_back(answer);
}

const std::vector<HCURSOR> &CursorLog() { return g_cursors; }

void Reset() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_boxes.clear();
        g_answers.clear();
        g_cursors.clear();
    }
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_cursors.clear();
    }
    ResetDosNamespace();
    ResetGlobalMemory();
    SetShortReadLimit(-1);
    gdi::UseFontFolder(nullptr);
    gdi::ReleaseAllDCs();
}

}  // namespace headless
}  // namespace qk
