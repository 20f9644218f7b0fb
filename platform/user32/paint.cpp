// Painting of top-level windows and popup menus into surfaces, in the classic look: the
// frame and caption are drawn here, the client areas by the windows themselves
// (WM_ERASEBKGND, WM_PAINT) through DCs that point into the surface. Also GetDC and
// ReleaseDC, BeginPaint and EndPaint, and hit-testing of the frame.
#include "platform/user32/paint.h"

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace paint {
namespace {

using wnd::Window;

const int kCaptionBar = 18;  // the caption's own height; a line of button face follows
const int kBoxW = 16, kBoxH = 14;
const int kMinimisedWidth = 160;
const int kSmallIcon = 16;

RECT Rect(int l, int t, int r, int b) { return RECT{l, t, r, b}; }
bool Inside(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }
RECT Intersect(const RECT &a, const RECT &b) {
    RECT r = {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
              a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// Where everything of a top-level window's frame lies, in its own coordinates.
struct Geometry {
    int width = 0, height = 0;
    int frame = 0;
    bool minimised = false, maximised = false;
    bool caption = false;
    RECT captionRect = {0, 0, 0, 0};
    bool icon = false;
    RECT iconRect = {0, 0, 0, 0};
    bool closeBox = false, minBox = false, maxBox = false;  // shown
    bool closeEnabled = false, minEnabled = false, maxEnabled = false;
    RECT closeRect = {0, 0, 0, 0}, minRect = {0, 0, 0, 0}, maxRect = {0, 0, 0, 0};
    int titleLeft = 0, titleRight = 0;
    RECT client = {0, 0, 0, 0};
};

bool CloseAllowed(Window *w) {
    if (w->classStyle & CS_NOCLOSE) return false;
    if (w->systemMenu)
        for (const wnd::MenuItem &i : w->systemMenu->items)
            if (!(i.flags & MF_SEPARATOR) && i.id == SC_CLOSE) return !(i.flags & (MF_GRAYED | MF_DISABLED));
    return true;
}

Geometry Measure(Window *w) {
    Geometry g;
    int l, t, r, b;
    wnd::FrameInsets(w->style, w->exStyle, true, l, t, r, b);
    g.frame = l;
    g.minimised = w->showState == SW_SHOWMINIMIZED;
    g.maximised = w->showState == SW_SHOWMAXIMIZED;
    g.caption = (w->style & WS_CAPTION) == WS_CAPTION;
    if (g.minimised) {
        g.width = kMinimisedWidth;
        g.height = 2 * g.frame + kCaptionBar + 1;
        g.caption = true;
    } else {
        g.width = w->rect.right - w->rect.left;
        g.height = w->rect.bottom - w->rect.top;
        g.client = Rect(l, t, g.width - r, g.height - b);
        if (g.client.right < g.client.left) g.client.right = g.client.left;
        if (g.client.bottom < g.client.top) g.client.bottom = g.client.top;
    }
    if (g.width < 0) g.width = 0;
    if (g.height < 0) g.height = 0;
    if (!g.caption) return g;
    g.captionRect = Rect(g.frame, g.frame, g.width - g.frame, g.frame + kCaptionBar);
    g.titleLeft = g.frame + 3;
    g.titleRight = g.captionRect.right - 2;
    if (w->style & WS_SYSMENU) {
        int y = g.frame + 2;
        int x = g.captionRect.right - 2 - kBoxW;
        g.closeBox = true;
        g.closeEnabled = CloseAllowed(w);
        g.closeRect = Rect(x, y, x + kBoxW, y + kBoxH);
        g.titleRight = x - 2;
        bool canMin = (w->style & WS_MINIMIZEBOX) != 0, canMax = (w->style & WS_MAXIMIZEBOX) != 0;
        if (canMin || canMax) {
            // Both boxes show when either is allowed; the other one is greyed.
            x -= 2 + kBoxW;
            g.maxBox = true;
            g.maxEnabled = canMax;
            g.maxRect = Rect(x, y, x + kBoxW, y + kBoxH);
            x -= kBoxW;
            g.minBox = true;
            g.minEnabled = canMin;
            g.minRect = Rect(x, y, x + kBoxW, y + kBoxH);
            g.titleRight = x - 2;
        }
        if (!(w->exStyle & WS_EX_DLGMODALFRAME)) {
            g.icon = true;
            g.iconRect = Rect(g.frame + 2, g.frame + 1, g.frame + 2 + kSmallIcon, g.frame + 1 + kSmallIcon);
            g.titleLeft = g.iconRect.right + 3;
        }
    }
    return g;
}

HICON CaptionIcon(Window *w) {
    if (w->iconSmall) return w->iconSmall;
    if (w->icon) return w->icon;
    return LoadIconA(NULL, IDI_APPLICATION);
}

// A DC drawing anywhere on a surface, at its own coordinates.
HDC SurfaceDC(Surface &s) {
    HDC dc = GetDC(NULL);
    gdi::SurfaceTarget t;
    t.surface = &s;
    t.clip = Rect(0, 0, s.width, s.height);
    gdi::SetDcTarget(dc, t);
    return dc;
}

void Fill(HDC dc, const RECT &r, int colour) { FillRect(dc, &r, GetSysColorBrush(colour)); }

// Pixel art of the caption glyphs, 16 x 14 like their boxes.
const char *const kCloseGlyph[] = {
    "", "", "", "    ##    ##", "     ##  ##", "      ####", "       ##", "      ####", "     ##  ##", "    ##    ##",
};
const char *const kMinGlyph[] = {
    "", "", "", "", "", "", "", "", "", "    ######", "    ######",
};
const char *const kMaxGlyph[] = {
    "", "", "   #########", "   #########", "   #.......#", "   #.......#", "   #.......#",
    "   #.......#", "   #.......#", "   #.......#", "   #########",
};
const char *const kRestoreGlyph[] = {
    "", "", "     ######", "     ######", "     #....#", "   ######.#", "   ######.#",
    "   #....###", "   #....#", "   #....#", "   ######",
};

template <size_t N>
void Glyph(HDC dc, int x, int y, const char *const (&rows)[N], COLORREF ink) {
    for (size_t r = 0; r < N; r++)
        for (int c = 0; rows[r][c]; c++)
            if (rows[r][c] == '#') SetPixel(dc, x + c, y + (int)r, ink);
}

template <size_t N>
void CaptionBox(HDC dc, const RECT &box, const char *const (&glyph)[N], bool enabled, bool pushed) {
    RECT r = box;
    DrawEdge(dc, &r, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    int x = box.left + (pushed ? 1 : 0), y = box.top + (pushed ? 1 : 0);
    if (enabled) {
        Glyph(dc, x, y, glyph, GetSysColor(COLOR_BTNTEXT));
    } else {
        Glyph(dc, x + 1, y + 1, glyph, GetSysColor(COLOR_BTNHIGHLIGHT));
        Glyph(dc, x, y, glyph, GetSysColor(COLOR_GRAYTEXT));
    }
}

HWND g_pressedWindow = nullptr;
int g_pressedHit = HTNOWHERE;

void DrawFrame(Window *w, const Geometry &g, HDC dc) {
    RECT all = Rect(0, 0, g.width, g.height);
    Fill(dc, all, COLOR_BTNFACE);
    if (g.frame >= 2) {
        RECT r = all;
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    } else if (g.frame == 1) {
        FrameRect(dc, &all, GetSysColorBrush(COLOR_WINDOWFRAME));
    }
    if (!g.caption) return;
    bool active = GetActiveWindow() == wnd::Handle(w);
    Fill(dc, g.captionRect, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    if (g.icon) DrawIconEx(dc, g.iconRect.left, g.iconRect.top, CaptionIcon(w), kSmallIcon, kSmallIcon, 0, NULL, DI_NORMAL);
    if (g.titleRight > g.titleLeft && !w->text.empty()) {
        RECT tr = Rect(g.titleLeft, g.captionRect.top, g.titleRight, g.captionRect.bottom);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DrawTextA(dc, w->text.c_str(), (int)w->text.size(), &tr,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    bool pressedHere = g_pressedWindow == wnd::Handle(w);
    auto pushed = [&](int hit) { return pressedHere && g_pressedHit == hit; };
    if (g.closeBox) CaptionBox(dc, g.closeRect, kCloseGlyph, g.closeEnabled, pushed(HTCLOSE));
    if (g.maxBox) {
        if (g.maximised)
            CaptionBox(dc, g.maxRect, kRestoreGlyph, g.maxEnabled, pushed(HTMAXBUTTON));
        else
            CaptionBox(dc, g.maxRect, kMaxGlyph, g.maxEnabled, pushed(HTMAXBUTTON));
    }
    if (g.minBox) {
        if (g.minimised)
            CaptionBox(dc, g.minRect, kRestoreGlyph, true, pushed(HTMINBUTTON));
        else
            CaptionBox(dc, g.minRect, kMinGlyph, g.minEnabled, pushed(HTMINBUTTON));
    }
}

// The DCs of the windows being rendered, innermost render last.
struct Target {
    HWND window;
    gdi::SurfaceTarget target;
};
std::vector<Target> g_targets;

// Where the DCs of a window draw while it is rendered (its client area in the window's
// surface); false when it is not being rendered.
bool WindowTarget(HWND window, gdi::SurfaceTarget &target) {
    for (auto it = g_targets.rbegin(); it != g_targets.rend(); ++it)
        if (it->window == window) {
            target = it->target;
            return true;
        }
    return false;
}

struct PaintStep {
    HWND window;
    RECT windowRect;  // in the surface
    RECT visible;     // the part of it that shows
};

// Windows of a tree in painting order (each before its children, siblings oldest
// first), with where their DCs draw.
void Collect(Window *w, POINT clientOrigin, RECT clientClip, Surface &s, std::vector<PaintStep> &steps,
             std::vector<Target> &targets) {
    for (Window *c : w->children) {
        if (!c->visible) continue;
        RECT wr = Rect(clientOrigin.x + c->rect.left, clientOrigin.y + c->rect.top, clientOrigin.x + c->rect.right,
                       clientOrigin.y + c->rect.bottom);
        RECT visible = Intersect(wr, clientClip);
        int l, t, r, b;
        wnd::FrameInsets(c->style, c->exStyle, false, l, t, r, b);
        RECT cr = wnd::ClientRectOf(c);
        POINT origin = {wr.left + l, wr.top + t};
        RECT clip = Intersect(Rect(origin.x, origin.y, origin.x + cr.right, origin.y + cr.bottom), visible);
        steps.push_back({c->hwnd, wr, visible});
        gdi::SurfaceTarget target;
        target.surface = &s;
        target.origin = origin;
        target.clip = clip;
        targets.push_back({c->hwnd, target});
        Collect(c, origin, clip, s, steps, targets);
    }
}

// The border of a child window, drawn before it paints itself.
void ChildBorder(Window *c, const PaintStep &step, Surface &s) {
    if (!(c->style & (WS_BORDER | WS_DLGFRAME | WS_VSCROLL)) && !(c->exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)))
        return;
    HDC dc = GetDC(NULL);
    gdi::SurfaceTarget t;
    t.surface = &s;
    t.clip = step.visible;
    gdi::SetDcTarget(dc, t);
    RECT r = step.windowRect;
    if ((c->style & WS_CAPTION) == WS_DLGFRAME) {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        r.left++, r.top++, r.right--, r.bottom--;
    } else if (c->style & WS_BORDER) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        r.left++, r.top++, r.right--, r.bottom--;
    }
    if (c->exStyle & WS_EX_CLIENTEDGE)
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (c->exStyle & WS_EX_STATICEDGE) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    if (c->style & WS_VSCROLL) {
        // A list's rows tell where the thumb stands.
        HWND h = c->hwnd;
        int total = (int)SendMessageA(h, LB_GETCOUNT, 0, 0), first = (int)SendMessageA(h, LB_GETTOPINDEX, 0, 0);
        int rowHeight = (int)SendMessageA(h, LB_GETITEMHEIGHT, 0, 0);
        RECT client = wnd::ClientRectOf(c);
        int visible = rowHeight > 0 ? client.bottom / rowHeight : total;
        RECT bar = {r.right - wnd::ScrollBarWidth(), r.top, r.right, r.bottom};
        wnd::DrawVerticalScrollBar(dc, bar, first, visible, total);
    }
    ReleaseDC(NULL, dc);
}

void PaintWindow(HWND h) {
    Window *w = wnd::FromHandle(h);
    if (!w) return;
    HDC dc = GetDC(h);
    SendMessageA(h, WM_ERASEBKGND, (WPARAM)dc, 0);
    ReleaseDC(h, dc);
    if (!wnd::FromHandle(h)) return;
    SendMessageA(h, WM_PAINT, 0, 0);
    if ((w = wnd::FromHandle(h))) w->needsPaint = false;
}

}  // namespace

void RenderTopLevel(HWND top, Surface &out) {
    Window *w = wnd::FromHandle(top);
    out.width = out.height = 0;
    out.pixels.clear();
    if (!w || w->parent) return;
    Geometry g = Measure(w);
    out.width = g.width;
    out.height = g.height;
    out.pixels.assign((size_t)g.width * (size_t)g.height, 0xFF000000u);
    HDC dc = SurfaceDC(out);
    DrawFrame(w, g, dc);
    ReleaseDC(NULL, dc);
    if (g.minimised) return;

    // The client areas: the top window's, then every visible child's.
    std::vector<PaintStep> steps;
    std::vector<Target> targets;
    RECT clip = Intersect(g.client, Rect(0, 0, g.width, g.height));
    gdi::SurfaceTarget own;
    own.surface = &out;
    own.origin = {g.client.left, g.client.top};
    own.clip = clip;
    targets.push_back({top, own});
    steps.push_back({top, g.client, clip});
    Collect(w, own.origin, clip, out, steps, targets);

    std::vector<Target> saved = std::move(g_targets);
    g_targets = targets;
    for (const PaintStep &step : steps) {
        Window *c = wnd::FromHandle(step.window);
        if (!c || !IsWindowVisible(step.window)) continue;
        if (c->parent) ChildBorder(c, step, out);
        PaintWindow(step.window);
    }
    g_targets = std::move(saved);
}

int HitTest(HWND top, int x, int y) {
    Window *w = wnd::FromHandle(top);
    if (!w || w->parent) return HTNOWHERE;
    Geometry g = Measure(w);
    if (x < 0 || y < 0 || x >= g.width || y >= g.height) return HTNOWHERE;
    if (g.caption) {
        if (g.closeBox && Inside(g.closeRect, x, y)) return HTCLOSE;
        if (g.maxBox && Inside(g.maxRect, x, y)) return HTMAXBUTTON;
        if (g.minBox && Inside(g.minRect, x, y)) return HTMINBUTTON;
    }
    bool inFrame = x < g.frame || y < g.frame || x >= g.width - g.frame || y >= g.height - g.frame;
    if (inFrame) {
        if (!(w->style & WS_THICKFRAME) || g.minimised || g.maximised) return HTBORDER;
        // Corners reach along the edges as far as a caption button is wide.
        int corner = g.frame + GetSystemMetrics(SM_CXSIZE);
        bool left = x < corner, right = x >= g.width - corner;
        bool upper = y < corner, lower = y >= g.height - corner;
        if (y < g.frame) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        if (y >= g.height - g.frame) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        if (x < g.frame) return upper ? HTTOPLEFT : lower ? HTBOTTOMLEFT : HTLEFT;
        return upper ? HTTOPRIGHT : lower ? HTBOTTOMRIGHT : HTRIGHT;
    }
    if (g.caption && y < g.captionRect.bottom + 1) {
        if (g.icon && x < g.iconRect.right + 1) return HTSYSMENU;
        return HTCAPTION;
    }
    if (Inside(g.client, x, y)) return HTCLIENT;
    return HTNOWHERE;
}

UINT CaptionButtonCommand(HWND top, int hit) {
    Window *w = wnd::FromHandle(top);
    if (!w || w->parent) return 0;
    Geometry g = Measure(w);
    switch (hit) {
        case HTCLOSE:
            return g.closeBox && g.closeEnabled ? SC_CLOSE : 0;
        case HTMINBUTTON:
            if (!g.minBox) return 0;
            if (g.minimised) return SC_RESTORE;
            return g.minEnabled ? SC_MINIMIZE : 0;
        case HTMAXBUTTON:
            if (!g.maxBox || !g.maxEnabled) return 0;
            return g.maximised ? SC_RESTORE : SC_MAXIMIZE;
        default:
            return 0;
    }
}

void PressCaptionButton(HWND top, int hit) {
    HWND before = g_pressedWindow;
    g_pressedWindow = hit == HTNOWHERE ? nullptr : top;
    g_pressedHit = hit;
    if (before && before != top && wnd::FromHandle(before)) wnd::Invalidate(wnd::FromHandle(before));
    if (wnd::FromHandle(top)) wnd::Invalidate(wnd::FromHandle(top));
}

// ---- menus ----

namespace {

const int kMenuBorder = 3;
const int kCheckColumn = 18;
const int kRightColumn = 18;
const int kAccelGap = 16;
const int kSeparatorHeight = 9;

struct MenuLayout {
    int width = 0, height = 0;
    std::vector<RECT> items;
};

std::string WithoutPrefixes(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '&' && i + 1 < s.size()) i++;
        else if (s[i] == '&') continue;
        out += s[i];
    }
    return out;
}

void SplitAtTab(const std::string &text, std::string &label, std::string &accel) {
    size_t tab = text.find('\t');
    label = text.substr(0, tab);
    accel = tab == std::string::npos ? "" : text.substr(tab + 1);
}

int ItemHeight() {
    int h = gdi::FontHeight(gdi::FontId::MsSansSerif8) + 4;
    return h < 17 ? 17 : h;
}

MenuLayout LayOutMenu(const wnd::Menu &m) {
    MenuLayout lay;
    int widestLabel = 0, widestAccel = 0;
    for (const wnd::MenuItem &i : m.items) {
        if (i.flags & MF_SEPARATOR) continue;
        std::string label, accel;
        SplitAtTab(i.text, label, accel);
        label = WithoutPrefixes(label);
        accel = WithoutPrefixes(accel);
        int lw = gdi::MeasureText(gdi::FontId::MsSansSerif8, label.c_str(), (int)label.size()).cx;
        int aw = gdi::MeasureText(gdi::FontId::MsSansSerif8, accel.c_str(), (int)accel.size()).cx;
        if (lw > widestLabel) widestLabel = lw;
        if (aw > widestAccel) widestAccel = aw;
    }
    lay.width = 2 * kMenuBorder + kCheckColumn + widestLabel + (widestAccel ? kAccelGap + widestAccel : 0) + kRightColumn;
    int y = kMenuBorder;
    for (const wnd::MenuItem &i : m.items) {
        int h = (i.flags & MF_SEPARATOR) ? kSeparatorHeight : ItemHeight();
        lay.items.push_back(Rect(kMenuBorder, y, lay.width - kMenuBorder, y + h));
        y += h;
    }
    lay.height = y + kMenuBorder;
    return lay;
}

// The classic check mark, 7 x 7.
const char *const kCheckGlyph[] = {
    "      #", "     ##", "#   ###", "## ###", "#####", " ###", "  #",
};

}  // namespace

void RenderMenu(HMENU menu, int highlighted, Surface &out) {
    const wnd::Menu *m = wnd::MenuFromHandle(menu);
    out.width = out.height = 0;
    out.pixels.clear();
    if (!m) return;
    MenuLayout lay = LayOutMenu(*m);
    out.width = lay.width;
    out.height = lay.height;
    out.pixels.assign((size_t)lay.width * (size_t)lay.height, 0xFF000000u);
    HDC dc = SurfaceDC(out);
    RECT all = Rect(0, 0, lay.width, lay.height);
    Fill(dc, all, COLOR_MENU);
    DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
    SelectObject(dc, gdi::DialogFont());
    SetBkMode(dc, TRANSPARENT);
    for (size_t n = 0; n < m->items.size(); n++) {
        const wnd::MenuItem &item = m->items[n];
        RECT r = lay.items[n];
        if (item.flags & MF_SEPARATOR) {
            int y = (r.top + r.bottom) / 2 - 1;
            RECT line = Rect(r.left + 1, y, r.right - 1, y + 2);
            DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
            continue;
        }
        bool grayed = (item.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        bool lit = (int)n == highlighted;
        if (lit) Fill(dc, r, COLOR_HIGHLIGHT);
        std::string label, accel;
        SplitAtTab(item.text, label, accel);
        RECT text = Rect(r.left + kCheckColumn, r.top, r.right - kRightColumn, r.bottom);
        // A greyed item is embossed, unless it lies under the highlight.
        int passes = grayed && !lit ? 2 : 1;
        for (int pass = 0; pass < passes; pass++) {
            int colour = lit ? (grayed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHTTEXT) : grayed ? COLOR_GRAYTEXT : COLOR_MENUTEXT;
            int shift = 0;
            if (passes == 2 && pass == 0) {
                colour = COLOR_BTNHIGHLIGHT;
                shift = 1;
            }
            COLORREF ink = GetSysColor(colour);
            SetTextColor(dc, ink);
            RECT t = text;
            t.left += shift, t.top += shift, t.right += shift, t.bottom += shift;
            DrawTextA(dc, label.c_str(), (int)label.size(), &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            if (!accel.empty()) DrawTextA(dc, accel.c_str(), (int)accel.size(), &t, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
            if (item.flags & MF_CHECKED)
                Glyph(dc, r.left + (kCheckColumn - 7) / 2 + shift, r.top + (r.bottom - r.top - 7) / 2 + shift,
                      kCheckGlyph, ink);
        }
    }
    ReleaseDC(NULL, dc);
}

int MenuItemAt(HMENU menu, int x, int y) {
    const wnd::Menu *m = wnd::MenuFromHandle(menu);
    if (!m) return -1;
    MenuLayout lay = LayOutMenu(*m);
    for (size_t n = 0; n < lay.items.size(); n++)
        if (Inside(lay.items[n], x, y)) return (m->items[n].flags & MF_SEPARATOR) ? -1 : (int)n;
    return -1;
}

}  // namespace paint
}  // namespace qk

// A window's DC draws into the window's client area while it is rendered, and nowhere
// otherwise; the screen's DC draws nowhere until it is pointed at a surface.
HDC WINAPI GetDC(HWND hWnd) {
    qk::gdi::SurfaceTarget target;
    if (!hWnd || !qk::paint::WindowTarget(hWnd, target)) target = qk::gdi::SurfaceTarget();
    return qk::gdi::OpenDc(hWnd, target);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    (void)hWnd;
    return qk::gdi::CloseDc(hDC) ? 1 : 0;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT ps) {
    qk::wnd::Window *w = qk::wnd::FromHandle(hWnd);
    if (!w || !ps) return NULL;
    memset(ps, 0, sizeof *ps);
    ps->hdc = GetDC(hWnd);
    ps->fErase = FALSE;  // the background was erased before WM_PAINT
    ps->rcPaint = qk::wnd::ClientRectOf(w);
    w->needsPaint = false;
    return ps->hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *ps) {
    if (!ps) return FALSE;
    ReleaseDC(hWnd, ps->hdc);
    return TRUE;
}
