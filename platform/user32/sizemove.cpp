// Moving and sizing a window from the keyboard: the system menu's Move and Size, as the
// platform has them, for an operator without a mouse.
//
//   Move: the pointer goes to the middle of the caption; each arrow key moves the window
//         (and the pointer with it) by 8 pixels.
//   Size: the pointer goes to the middle of the window; the first arrow key picks the
//         edge to move (Left the left edge, Up the top edge, ...) and puts the pointer on
//         it, an arrow across it then adds the neighbouring edge (a corner); further
//         arrows move the picked edges by 8 pixels, never below the smallest size.
//   Enter (or a mouse button) keeps the change, Escape puts the window back.
//
// The window follows every step, with WM_MOVE and WM_SIZE as a drag on the platform
// sends them, between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE. The pointer never leaves the
// work area, so the caption stays within reach. The loop runs here, in the window's own
// thread, for both drivers alike: keys and clicks are taken from the queue, every other
// message is dispatched as usual (timers, posted work, painting).
#include <algorithm>

#include "platform/driver/driver.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

const int kStep = 8;
const int kMinWidth = 112;  // the platform's smallest tracking size
const int kMinHeight = 27;
HWND g_tracking = nullptr;

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

bool IsArrow(WPARAM vk) { return vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN; }

// The sizing cursor for the picked edges (-1 left/top, 1 right/bottom, 0 none).
LPCSTR EdgeCursor(int ex, int ey) {
    if (ex && ey) return ex == ey ? IDC_SIZENWSE : IDC_SIZENESW;
    if (ex) return IDC_SIZEWE;
    if (ey) return IDC_SIZENS;
    return IDC_SIZEALL;
}

}  // namespace

HWND SizeMoveWindow() { return g_tracking; }

void TrackSizeMove(HWND h, bool size) {
    Window *w = FromHandle(h);
    if (!w || w->parent || !w->visible || w->showState != SW_SHOWNORMAL || g_tracking) return;
    if (size && !(w->style & WS_THICKFRAME)) return;
    const RECT start = w->rect;
    RECT cur = start;
    int sw, sh;
    ScreenSize(sw, sh);
    int l, t, r, b;
    FrameInsets(w->style, w->exStyle, true, l, t, r, b);
    POINT pointer;
    if (size)
        pointer = {(cur.left + cur.right) / 2, (cur.top + cur.bottom) / 2};
    else
        pointer = {(cur.left + cur.right) / 2, cur.top + l + (t - l) / 2};
    pointer.x = Clamp(pointer.x, 0, sw - 1);
    pointer.y = Clamp(pointer.y, 0, sh - 1);
    int ex = 0, ey = 0;  // the edges being sized
    auto placePointer = [&] {
        if (ex) pointer.x = ex < 0 ? cur.left : cur.right - 1;
        if (ey) pointer.y = ey < 0 ? cur.top : cur.bottom - 1;
        pointer.x = Clamp(pointer.x, 0, sw - 1);
        pointer.y = Clamp(pointer.y, 0, sh - 1);
        qk::driver::MovePointer(pointer.x, pointer.y);
    };

    g_tracking = h;
    HCURSOR oldCursor = SetCursor(LoadCursorA(NULL, IDC_SIZEALL));
    qk::driver::MovePointer(pointer.x, pointer.y);
    SendMessageA(h, WM_ENTERSIZEMOVE, 0, 0);
    bool keep = false, done = false;
    while (!done) {
        w = FromHandle(h);
        if (!w || !w->visible || w->showState != SW_SHOWNORMAL) break;
        MSG m;
        if (!GetMessageA(&m, NULL, 0, 0)) {
            // The program is ending: the quit stays for its own loop.
            PostQuitMessage((int)m.wParam);
            keep = true;
            break;
        }
        switch (m.message) {
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN: {
                if (m.wParam == VK_RETURN) {
                    keep = done = true;
                    break;
                }
                if (m.wParam == VK_ESCAPE) {
                    done = true;
                    break;
                }
                if (!IsArrow(m.wParam)) break;
                int dx = m.wParam == VK_LEFT ? -kStep : m.wParam == VK_RIGHT ? kStep : 0;
                int dy = m.wParam == VK_UP ? -kStep : m.wParam == VK_DOWN ? kStep : 0;
                if (size && ((dx && !ex) || (dy && !ey))) {
                    // An edge (or, across the one picked, a corner) is picked; nothing moves yet.
                    if (dx) ex = dx < 0 ? -1 : 1;
                    if (dy) ey = dy < 0 ? -1 : 1;
                    SetCursor(LoadCursorA(NULL, EdgeCursor(ex, ey)));
                    placePointer();
                    break;
                }
                // The pointer leads; it stays on the work area.
                POINT to = {Clamp(pointer.x + dx, 0, sw - 1), Clamp(pointer.y + dy, 0, sh - 1)};
                dx = to.x - pointer.x;
                dy = to.y - pointer.y;
                RECT next = cur;
                if (!size) {
                    next = {cur.left + dx, cur.top + dy, cur.right + dx, cur.bottom + dy};
                } else {
                    if (ex < 0) next.left = std::min(cur.left + dx, cur.right - kMinWidth);
                    if (ex > 0) next.right = std::max(cur.right + dx, cur.left + kMinWidth);
                    if (ey < 0) next.top = std::min(cur.top + dy, cur.bottom - kMinHeight);
                    if (ey > 0) next.bottom = std::max(cur.bottom + dy, cur.top + kMinHeight);
                }
                if (next.left == cur.left && next.top == cur.top && next.right == cur.right &&
                    next.bottom == cur.bottom)
                    break;
                cur = next;
                SetWindowRect(w, cur, SIZE_RESTORED);
                if (!FromHandle(h)) break;
                if (size) {
                    placePointer();
                } else {
                    pointer = to;
                    qk::driver::MovePointer(pointer.x, pointer.y);
                }
                break;
            }
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDBLCLK:
                keep = done = true;
                break;
            case WM_KEYUP:
            case WM_SYSKEYUP:
            case WM_CHAR:
            case WM_SYSCHAR:
            case WM_DEADCHAR:
            case WM_MOUSEMOVE:
            case WM_LBUTTONUP:
            case WM_RBUTTONUP:
            case WM_MBUTTONUP:
            case WM_MOUSEWHEEL:
                break;  // the keyboard and the mouse belong to the move until it ends
            default:
                DispatchMessageA(&m);
                break;
        }
    }
    g_tracking = nullptr;
    w = FromHandle(h);
    if (w && !keep && w->showState == SW_SHOWNORMAL) SetWindowRect(w, start, SIZE_RESTORED);
    SetCursor(oldCursor);
    if (FromHandle(h)) SendMessageA(h, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace wnd
}  // namespace qk
