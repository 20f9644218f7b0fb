// Window classes and windows: creation and destruction with the platform's messages,
// showing, rectangles, placement and frame metrics.
#include <string.h>
#include <strings.h>

#include <map>
#include <unordered_map>

#include "platform/driver/driver.h"
#include "platform/kernel32/kernel32.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

struct ClassInfo {
    WNDCLASSEXA wc;
    std::string name;
    std::string menuName;
    ATOM atom;
};

struct NoCase {
    bool operator()(const std::string &a, const std::string &b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

std::map<std::string, ClassInfo, NoCase> g_classes;
ATOM g_nextAtom = 0xC000;
std::unordered_map<uintptr_t, Window *> g_windows;
std::vector<Window *> g_topLevel;
uintptr_t g_nextHandle = 0x10020;
int g_cascade = 0;

const int kCaption = 19;     // caption bar and the line under it
const int kSizeFrame = 4;    // sizing border
const int kFixedFrame = 3;   // dialog frame
const int kMinTrackW = 112, kMinTrackH = 27;

ClassInfo *FindClass(const char *name) {
    if (!name) return nullptr;
    if (IS_INTRESOURCE(name)) {
        for (auto &c : g_classes)
            if (c.second.atom == (ATOM)(ULONG_PTR)name) return &c.second;
        return nullptr;
    }
    auto it = g_classes.find(name);
    return it == g_classes.end() ? nullptr : &it->second;
}

void Unlink(Window *w) {
    if (w->parent) {
        auto &c = w->parent->children;
        for (size_t i = 0; i < c.size(); i++)
            if (c[i] == w) {
                c.erase(c.begin() + (long)i);
                break;
            }
    } else {
        for (size_t i = 0; i < g_topLevel.size(); i++)
            if (g_topLevel[i] == w) {
                g_topLevel.erase(g_topLevel.begin() + (long)i);
                break;
            }
    }
}

}  // namespace

Window *FromHandle(HWND h) {
    auto it = g_windows.find((uintptr_t)h);
    return it == g_windows.end() ? nullptr : it->second;
}

Window *TopLevel(Window *w) {
    while (w && w->parent) w = w->parent;
    return w;
}

std::vector<Window *> TopLevelWindows() { return g_topLevel; }

void ScreenSize(int &width, int &height) { driver::ScreenSize(width, height); }

void FrameInsets(DWORD style, DWORD exStyle, bool topLevel, int &left, int &top, int &right, int &bottom) {
    int frame = 0;
    if (topLevel) {
        if (style & WS_THICKFRAME)
            frame = kSizeFrame;
        else if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
            frame = kFixedFrame;
        else if (style & WS_BORDER)
            frame = 1;
    } else {
        if ((style & WS_CAPTION) == WS_DLGFRAME) frame = kFixedFrame;
        else if (style & WS_BORDER) frame = 1;
        if (exStyle & WS_EX_CLIENTEDGE) frame += 2;
        if (exStyle & WS_EX_STATICEDGE) frame += 1;
    }
    left = right = top = bottom = frame;
    // A vertical scroll bar takes its width from the client area's right side.
    if (!topLevel && (style & WS_VSCROLL)) right += ScrollBarWidth();
    if ((style & WS_CAPTION) == WS_CAPTION) top += kCaption;
}

RECT ClientRectOf(const Window *w) {
    int l, t, r, b;
    FrameInsets(w->style, w->exStyle, w->parent == nullptr, l, t, r, b);
    RECT rc = {0, 0, (w->rect.right - w->rect.left) - l - r, (w->rect.bottom - w->rect.top) - t - b};
    if (w->parent == nullptr && w->showState == SW_SHOWMINIMIZED) rc.right = rc.bottom = 0;
    if (rc.right < 0) rc.right = 0;
    if (rc.bottom < 0) rc.bottom = 0;
    return rc;
}

POINT ClientOrigin(const Window *w) {
    int l, t, r, b;
    FrameInsets(w->style, w->exStyle, w->parent == nullptr, l, t, r, b);
    POINT p = {w->rect.left + l, w->rect.top + t};
    if (w->parent) {
        POINT o = ClientOrigin(w->parent);
        p.x += o.x;
        p.y += o.y;
    }
    return p;
}

Window *ChildAt(Window *top, POINT pt, POINT *local) {
    Window *w = top;
    for (;;) {
        Window *hit = nullptr;
        // The last created child lies on top.
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
            Window *c = *it;
            if (!c->visible) continue;
            if (pt.x >= c->rect.left && pt.x < c->rect.right && pt.y >= c->rect.top && pt.y < c->rect.bottom) {
                hit = c;
                break;
            }
        }
        if (!hit) break;
        int l, t, r, b;
        FrameInsets(hit->style, hit->exStyle, false, l, t, r, b);
        pt.x -= hit->rect.left + l;
        pt.y -= hit->rect.top + t;
        w = hit;
    }
    if (local) *local = pt;
    return w;
}

void Invalidate(Window *w) {
    if (!w) return;
    w->needsPaint = true;
    Window *top = TopLevel(w);
    if (top && top->visible) qk::driver::WindowChanged(Handle(top));
}

void SetWindowRect(Window *w, const RECT &r, WPARAM sizeType, bool forceSize) {
    HWND h = Handle(w);
    RECT old = w->rect;
    bool moved = old.left != r.left || old.top != r.top;
    bool sized = (old.right - old.left) != (r.right - r.left) || (old.bottom - old.top) != (r.bottom - r.top);
    w->rect = r;
    if (!w->parent && w->showState == SW_SHOWNORMAL) w->normalRect = r;
    if (moved || sized || forceSize) SendMessageA(h, WM_WINDOWPOSCHANGED, 0, 0);
    if (!FromHandle(h)) return;
    if (moved) {
        POINT o = {0, 0};
        if (!w->parent) o = ClientOrigin(w);
        else {
            int l, t, rr, b;
            FrameInsets(w->style, w->exStyle, false, l, t, rr, b);
            o = {r.left + l, r.top + t};
        }
        SendMessageA(h, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
    }
    if (!FromHandle(h)) return;
    if (sized || forceSize) {
        w->needsSize = false;
        RECT c = ClientRectOf(w);
        SendMessageA(h, WM_SIZE, sizeType, MAKELPARAM(c.right, c.bottom));
    }
    if (FromHandle(h)) Invalidate(w);
}

}  // namespace wnd
}  // namespace qk

using namespace qk::wnd;

namespace qk {
namespace wnd {
namespace {
bool g_failRegistration = false;
std::string g_failClass;
}  // namespace
void FailClassRegistration(bool on) { g_failRegistration = on; }
void FailWindowsOfClass(const char *className) { g_failClass = className ? className : ""; }
}  // namespace wnd
}  // namespace qk

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc) {
    RegisterSystemClasses();
    if (qk::wnd::g_failRegistration) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IS_INTRESOURCE(wc->lpszClassName) || g_classes.count(wc->lpszClassName)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    ClassInfo ci;
    ci.wc = *wc;
    ci.name = wc->lpszClassName;
    ci.wc.lpszClassName = nullptr;
    ci.wc.lpszMenuName = nullptr;
    ci.atom = g_nextAtom++;
    g_classes[ci.name] = ci;
    return ci.atom;
}

namespace qk {
namespace wnd {
// Registers a class of the stand-in itself (controls).
void RegisterSystemClass(const char *name, WNDPROC proc, UINT style, HBRUSH background) {
    if (g_classes.count(name)) return;
    ClassInfo ci;
    memset(&ci.wc, 0, sizeof ci.wc);
    ci.wc.cbSize = sizeof(WNDCLASSEXA);
    ci.wc.style = style | CS_GLOBALCLASS;
    ci.wc.lpfnWndProc = proc;
    ci.wc.hbrBackground = background;
    ci.wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    ci.name = name;
    ci.atom = g_nextAtom++;
    g_classes[name] = ci;
}
}  // namespace wnd
}  // namespace qk

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID param) {
    RegisterSystemClasses();
    if (!qk::wnd::g_failClass.empty() && !IS_INTRESOURCE(className) && className &&
        strcasecmp(className, qk::wnd::g_failClass.c_str()) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    ClassInfo *ci = FindClass(className);
    if (!ci) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return NULL;
    }
    Window *parent = FromHandle(parentHandle);
    if ((style & WS_CHILD) && !parent) {
        SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
        return NULL;
    }
    auto *w = new Window;
    w->hwnd = (HWND)g_nextHandle;
    g_nextHandle += 4;
    w->className = ci->name;
    w->proc = ci->wc.lpfnWndProc;
    w->classStyle = ci->wc.style;
    w->background = ci->wc.hbrBackground;
    w->icon = ci->wc.hIcon;
    w->iconSmall = ci->wc.hIconSm;
    w->exStyle = exStyle;
    w->instance = instance;
    w->text = windowName && !IS_INTRESOURCE(windowName) ? windowName : "";
    bool child = (style & WS_CHILD) != 0;
    if (child) {
        w->parent = parent;
        w->id = (UINT_PTR)menu;
    } else {
        w->owner = parent ? TopLevel(parent) : nullptr;
        // An overlapped window always has a caption and clips its siblings.
        if (!(style & WS_POPUP)) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    }
    bool visible = (style & WS_VISIBLE) != 0;
    w->style = style & ~WS_VISIBLE;

    if (!child) {
        int sw, sh;
        ScreenSize(sw, sh);
        if (!(style & WS_POPUP)) {
            bool defaultPos = x == CW_USEDEFAULT;
            int cascade = 22 * (1 + g_cascade % 8);
            if (defaultPos || y == CW_USEDEFAULT) g_cascade++;
            if (defaultPos) {
                x = cascade;
                y = cascade;
            } else if (y == CW_USEDEFAULT) {
                y = cascade;
            }
            if (width == CW_USEDEFAULT) {
                width = sw * 3 / 4;
                height = sh * 3 / 4;
            } else if (height == CW_USEDEFAULT) {
                height = sh * 3 / 4;
            }
            if (width < kMinTrackW) width = kMinTrackW;
            if (height < kMinTrackH) height = kMinTrackH;
        } else {
            if (x == CW_USEDEFAULT) x = y = 0;
            if (width == CW_USEDEFAULT) width = height = 0;
        }
    } else {
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
    }
    w->rect = {x, y, x + width, y + height};
    w->normalRect = w->rect;
    g_windows[(uintptr_t)w->hwnd] = w;
    if (child)
        parent->children.push_back(w);
    else
        g_topLevel.push_back(w);
    HWND h = w->hwnd;
    if (!child) qk::driver::WindowCreated(h);

    struct {
        LPVOID lpCreateParams;
        HINSTANCE hInstance;
        HMENU hMenu;
        HWND hwndParent;
        int cy, cx, y, x;
        LONG style;
        LPCSTR lpszName, lpszClass;
        DWORD dwExStyle;
    } cs = {param, instance, menu, parentHandle, height, width, y, x, (LONG)style, windowName, className, exStyle};
    if (!SendMessageA(h, WM_NCCREATE, 0, (LPARAM)&cs) || !FromHandle(h)) {
        if (FromHandle(h)) DestroyWindow(h);
        return NULL;
    }
    if (SendMessageA(h, WM_CREATE, 0, (LPARAM)&cs) == -1 || !FromHandle(h)) {
        if (FromHandle(h)) DestroyWindow(h);
        return NULL;
    }
    // A child hears of its size and place with its creation; a top-level window when it is
    // first shown.
    if (child) {
        RECT c = ClientRectOf(w);
        SendMessageA(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
        if (!FromHandle(h)) return NULL;
        SendMessageA(h, WM_MOVE, 0, MAKELPARAM(w->rect.left, w->rect.top));
        if (!FromHandle(h)) return NULL;
    } else {
        w->needsSize = true;
    }
    if (child && !(exStyle & WS_EX_NOPARENTNOTIFY)) {
        for (Window *p = w->parent; p; p = p->parent) {
            SendMessageA(Handle(p), WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, (WORD)w->id), (LPARAM)h);
            if (!FromHandle(h) || (p->exStyle & WS_EX_NOPARENTNOTIFY) || !p->parent) break;
        }
    }
    if (!FromHandle(h)) return NULL;
    if (visible) {
        if (child) {
            w->style |= WS_VISIBLE;
            w->visible = true;
            Invalidate(w);
        } else {
            ShowWindow(h, SW_SHOW);
        }
    }
    return FromHandle(h) ? h : NULL;
}

namespace {

void SendDestroy(Window *w) {
    HWND h = Handle(w);
    SendMessageA(h, WM_DESTROY, 0, 0);
    // Children get theirs after their parent.
    std::vector<Window *> kids = w->children;
    for (Window *c : kids)
        if (FromHandle(Handle(c))) SendDestroy(c);
}

void FreeTree(Window *w) {
    std::vector<Window *> kids = w->children;
    for (Window *c : kids) FreeTree(c);
    SendMessageA(Handle(w), WM_NCDESTROY, 0, 0);
    Unlink(w);
    g_windows.erase((uintptr_t)w->hwnd);
    delete w;
}

bool Contains(Window *root, Window *w) {
    for (; w; w = w->parent)
        if (w == root) return true;
    return false;
}

}  // namespace

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    Window *parent = w->parent;
    if (parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY)) {
        for (Window *p = parent; p; p = p->parent) {
            SendMessageA(Handle(p), WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, (WORD)w->id), (LPARAM)hWnd);
            if ((p->exStyle & WS_EX_NOPARENTNOTIFY) || !p->parent) break;
        }
    }
    // Owned windows (dialogs, boxes) go first.
    for (Window *t : TopLevelWindows())
        if (t->owner == w && FromHandle(Handle(t))) DestroyWindow(Handle(t));
    if (!FromHandle(hWnd)) return TRUE;
    if (w->visible && !parent) {
        w->visible = false;
        w->style &= ~WS_VISIBLE;
    }
    ForgetWindow(w);
    SendDestroy(w);
    if (!FromHandle(hWnd)) return TRUE;
    bool top = parent == nullptr;
    if (parent) Invalidate(parent);
    FreeTree(w);
    if (top) qk::driver::WindowDestroyed(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return FromHandle(hWnd) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    for (Window *w = FromHandle(hWnd); w; w = w->parent)
        if (!w->visible) return FALSE;
    return FromHandle(hWnd) != nullptr;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    return w && w->enabled;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL enable) {
    Window *w = FromHandle(hWnd);
    if (!w) return FALSE;
    bool was = !w->enabled;
    if (w->enabled != (enable != 0)) {
        w->enabled = enable != 0;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        if (!enable) {
            HWND f = GetFocus();
            if (f && Contains(w, FromHandle(f))) SetFocus(NULL);
        }
        SendMessageA(hWnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        Invalidate(w);
    }
    return was;
}

HWND WINAPI GetParent(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    if (!w) return NULL;
    return w->parent ? Handle(w->parent) : Handle(w->owner);
}

HWND WINAPI GetDlgItem(HWND hDlg, int id) {
    Window *w = FromHandle(hDlg);
    if (!w) return NULL;
    for (Window *c : w->children)
        if ((int)c->id == id) return Handle(c);
    return NULL;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    return w && w->parent ? (int)w->id : 0;
}

BOOL WINAPI ShowWindow(HWND hWnd, int cmd) {
    Window *w = FromHandle(hWnd);
    if (!w) return FALSE;
    BOOL wasVisible = w->visible;
    if (w->parent) {
        bool show = cmd != SW_HIDE;
        if (show != w->visible) {
            w->visible = show;
            if (show) w->style |= WS_VISIBLE;
            else w->style &= ~WS_VISIBLE;
            SendMessageA(hWnd, WM_SHOWWINDOW, show, 0);
            Invalidate(w->parent);
        }
        return wasVisible;
    }
    int state = w->showState;
    bool show = true;
    switch (cmd) {
        case SW_HIDE:
            show = false;
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            state = SW_SHOWMINIMIZED;
            break;
        case SW_SHOWMAXIMIZED:
            state = SW_SHOWMAXIMIZED;
            break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            state = SW_SHOWNORMAL;
            break;
        default:  // SW_SHOW, SW_SHOWNA, SW_SHOWNOACTIVATE: as it is
            break;
    }
    if (!show) {
        if (w->visible) {
            SendMessageA(hWnd, WM_SHOWWINDOW, FALSE, 0);
            w->visible = false;
            w->style &= ~WS_VISIBLE;
            qk::driver::WindowChanged(hWnd);
        }
        return wasVisible;
    }
    if (!w->visible) {
        SendMessageA(hWnd, WM_SHOWWINDOW, TRUE, 0);
        if (!FromHandle(hWnd)) return wasVisible;
        w->visible = true;
        w->style |= WS_VISIBLE;
    }
    if (w->needsSize && state == w->showState) {
        w->needsSize = false;
        RECT c = ClientRectOf(w);
        SendMessageA(hWnd, WM_SIZE, state == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                     MAKELPARAM(c.right, c.bottom));
        if (!FromHandle(hWnd)) return wasVisible;
        POINT o = ClientOrigin(w);
        SendMessageA(hWnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
        if (!FromHandle(hWnd)) return wasVisible;
    }
    w->needsSize = false;
    if (state != w->showState) {
        int sw, sh;
        ScreenSize(sw, sh);
        w->showState = state;
        w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
        if (state == SW_SHOWMINIMIZED) {
            w->style |= WS_MINIMIZE;
            SendMessageA(hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
            qk::driver::WindowChanged(hWnd);
        } else if (state == SW_SHOWMAXIMIZED) {
            w->style |= WS_MAXIMIZE;
            int l, t, r, b;
            FrameInsets(w->style, w->exStyle, true, l, t, r, b);
            // The frame lies just outside the work area, the caption inside it.
            RECT full = {-l, -(t - kCaption), sw + r, sh + b};
            SetWindowRect(w, full, SIZE_MAXIMIZED, true);
        } else {
            SetWindowRect(w, w->normalRect, SIZE_RESTORED, true);
        }
    }
    if (!FromHandle(hWnd)) return wasVisible;
    if (cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE && state != SW_SHOWMINIMIZED)
        SetActiveWindow(hWnd);
    if (FromHandle(hWnd)) Invalidate(w);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    if (!w) return FALSE;
    if (w->needsPaint && IsWindowVisible(hWnd)) {
        SendMessageA(hWnd, WM_PAINT, 0, 0);
        if (FromHandle(hWnd)) w->needsPaint = false;
    }
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *, BOOL) {
    Window *w = FromHandle(hWnd);
    if (!w) return FALSE;
    Invalidate(w);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT r) {
    Window *w = FromHandle(hWnd);
    if (!w || !r) return FALSE;
    *r = ClientRectOf(w);
    return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    Window *a = from ? FromHandle(from) : nullptr;
    Window *b = to ? FromHandle(to) : nullptr;
    if ((from && !a) || (to && !b)) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    POINT oa = a ? ClientOrigin(a) : POINT{0, 0};
    POINT ob = b ? ClientOrigin(b) : POINT{0, 0};
    LONG dx = oa.x - ob.x, dy = oa.y - ob.y;
    for (UINT i = 0; points && i < count; i++) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return (int)MAKELONG((WORD)(SHORT)dx, (WORD)(SHORT)dy);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT r) {
    Window *w = FromHandle(hWnd);
    if (!w || !r) return FALSE;
    *r = w->rect;
    if (w->parent) {
        POINT o = ClientOrigin(w->parent);
        r->left += o.x;
        r->right += o.x;
        r->top += o.y;
        r->bottom += o.y;
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL) {
    Window *w = FromHandle(hWnd);
    if (!w) return FALSE;
    RECT r = {x, y, x + width, y + height};
    if (!w->parent && w->showState != SW_SHOWNORMAL) {
        w->normalRect = r;  // takes effect on restore
        return TRUE;
    }
    SetWindowRect(w, r, SIZE_RESTORED);
    return TRUE;
}

BOOL WINAPI IsIconic(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    return w && !w->parent && w->showState == SW_SHOWMINIMIZED;
}

BOOL WINAPI IsZoomed(HWND hWnd) {
    Window *w = FromHandle(hWnd);
    return w && !w->parent && w->showState == SW_SHOWMAXIMIZED;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR buf, int max) {
    if (!buf || max <= 0) return 0;
    return (int)SendMessageA(hWnd, WM_GETTEXT, (WPARAM)max, (LPARAM)buf);
}

int WINAPI GetWindowTextLengthA(HWND hWnd) { return (int)SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0); }

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR text) { return (BOOL)SendMessageA(hWnd, WM_SETTEXT, 0, (LPARAM)text); }

LONG WINAPI GetWindowLongA(HWND hWnd, int index) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    switch (index) {
        case GWL_STYLE:
            return (LONG)(w->style | (w->visible ? WS_VISIBLE : 0));
        case GWL_EXSTYLE:
            return (LONG)w->exStyle;
        case GWL_ID:
            return (LONG)w->id;
        case GWL_USERDATA:
            return (LONG)w->userData;
        default:
            return 0;
    }
}

BOOL WINAPI GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT *wp) {
    Window *w = FromHandle(hWnd);
    if (!w || !wp) return FALSE;
    wp->flags = 0;
    // The state, shown or hidden alike (a window created hidden is normal), as the platform has it.
    wp->showCmd = w->parent ? SW_SHOWNORMAL : (UINT)w->showState;
    wp->ptMinPosition = {-1, -1};
    wp->ptMaxPosition = {-1, -1};
    wp->rcNormalPosition = w->parent ? w->rect : w->normalRect;
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    int sw, sh;
    ScreenSize(sw, sh);
    switch (index) {
        case SM_CXSCREEN:
            return sw;
        case SM_CYSCREEN:
            return sh;
        case SM_CYCAPTION:
            return kCaption;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return kFixedFrame;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return kSizeFrame;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
            return 16;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CXSIZE:
        case SM_CYSIZE:
            return 18;
        case SM_CYMENU:
            return 19;
        default:
            return 0;
    }
}

namespace qk {
namespace wnd {

void ResetWindowSystem() {
    g_failRegistration = false;
    g_failClass.clear();
    for (Window *t : TopLevelWindows())
        if (FromHandle(Handle(t))) DestroyWindow(Handle(t));
    for (auto it = g_classes.begin(); it != g_classes.end();) {
        if (it->second.wc.style & CS_GLOBALCLASS)
            ++it;
        else
            it = g_classes.erase(it);
    }
    g_cascade = 0;
    ResetMessages();
}
}  // namespace wnd
}  // namespace qk
