// System cursors: one handle per standard cursor id; SetCursor keeps the current one.
#include <mutex>

#include "platform/driver/driver.h"
#include "platform/user32/user32.h"

namespace {

struct SystemCursor {
    int id;
    HICON__ handle;
};

SystemCursor g_cursors[] = {
    {32512, {0}}, {32513, {0}}, {32514, {0}}, {32515, {0}}, {32516, {0}}, {32642, {0}},
    {32643, {0}}, {32644, {0}}, {32645, {0}}, {32646, {0}}, {32648, {0}}, {32650, {0}},
};

std::mutex g_mutex;
HCURSOR g_current = &g_cursors[0].handle;

}  // namespace

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    if (hInstance || !IS_INTRESOURCE(lpCursorName)) return NULL;  // the program ships no cursors
    int id = (int)(ULONG_PTR)lpCursorName;
    for (SystemCursor &c : g_cursors)
        if (c.id == id) return &c.handle;
    return NULL;
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    HCURSOR previous;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        previous = g_current;
        g_current = hCursor;
    }
    if (previous != hCursor) qk::driver::CursorChanged(hCursor);
    return previous;
}
