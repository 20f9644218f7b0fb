// TEMPORARY painting for the desktop driver, until the real painting (GDI, the classic
// frame and caption, controls that paint themselves) is merged. Delete this file, its
// line in CMakeLists.txt (QK_FALLBACK_SOURCES) and msgbox_fallback.cpp then; nothing else
// refers to it.
//
// It draws plainly: a grey frame, a dark-blue caption strip with the small icon, the title
// and the caption buttons, the client area in the class background colour, and every
// visible child as a grey box with its text. Hit-testing follows the same geometry.
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "platform/comctl32/comctl32.h"
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/font.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/paint.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace paint {
namespace {

const uint32_t kFace = 0xFFC0C0C0;
const uint32_t kShadow = 0xFF808080;
const uint32_t kDark = 0xFF000000;
const uint32_t kLight = 0xFFFFFFFF;
const uint32_t kCaptionActive = 0xFF000080;
const uint32_t kCaptionInactive = 0xFF808080;
const uint32_t kHighlight = 0xFF000080;
const uint32_t kGrayText = 0xFF808080;
const int kCaptionHeight = 18;  // the strip; the line under it makes the 19 of the metrics
const int kButtonW = 16, kButtonH = 14;

struct Clip {
    int left, top, right, bottom;
};

void Fill(Surface &s, const Clip &c, int x, int y, int w, int h, uint32_t colour) {
    int x0 = x < c.left ? c.left : x, y0 = y < c.top ? c.top : y;
    int x1 = x + w > c.right ? c.right : x + w, y1 = y + h > c.bottom ? c.bottom : y + h;
    for (int yy = y0; yy < y1; yy++)
        for (int xx = x0; xx < x1; xx++) s.pixels[(size_t)yy * s.width + xx] = colour;
}

void Put(Surface &s, const Clip &c, int x, int y, uint32_t colour) {
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) s.pixels[(size_t)y * s.width + x] = colour;
}

uint32_t Blend(uint32_t under, uint32_t over, int coverage) {
    uint32_t out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (int)((under >> shift) & 0xFF), b = (int)((over >> shift) & 0xFF);
        out |= (uint32_t)((a * (255 - coverage) + b * coverage) / 255) << shift;
    }
    return out;
}

// A raised (or, pressed, sunken) box edge one pixel wide.
void Edge(Surface &s, const Clip &c, int x, int y, int w, int h, bool sunken) {
    uint32_t tl = sunken ? kDark : kLight, br = sunken ? kLight : kDark;
    Fill(s, c, x, y, w, 1, tl);
    Fill(s, c, x, y, 1, h, tl);
    Fill(s, c, x, y + h - 1, w, 1, br);
    Fill(s, c, x + w - 1, y, 1, h, br);
    if (w > 2 && h > 2 && !sunken) {
        Fill(s, c, x + 1, y + h - 2, w - 2, 1, kShadow);
        Fill(s, c, x + w - 2, y + 1, 1, h - 2, kShadow);
    }
}

// Text without '&' handling; gives the width drawn. `y` is the top of the line.
int DrawText(Surface &s, const Clip &c, gdi::FontId font, int x, int y, const char *text, int len, uint32_t colour,
             bool mnemonics = false) {
    int ascent = gdi::FontAscent(font);
    int pen = x;
    bool underlineNext = false;
    for (int i = 0; i < len; i++) {
        unsigned char ch = (unsigned char)text[i];
        if (mnemonics && ch == '&' && !underlineNext) {
            if (i + 1 < len && text[i + 1] == '&') {
                i++;
            } else {
                underlineNext = true;
                continue;
            }
        }
        gdi::Glyph g;
        if (!gdi::GetGlyph(font, ch, g)) {
            // No font file: a box per character keeps the layout visible.
            if (ch != ' ') Fill(s, c, pen + 1, y + 2, 5, ascent - 2, colour);
            pen += gdi::MeasureText(font, (const char *)&ch, 1).cx;
            continue;
        }
        for (int gy = 0; gy < g.height; gy++)
            for (int gx = 0; gx < g.width; gx++) {
                int cov = g.coverage[(size_t)gy * g.width + gx];
                if (!cov) continue;
                int px = pen + g.offsetX + gx, py = y + ascent + g.offsetY + gy;
                if (px < c.left || px >= c.right || py < c.top || py >= c.bottom) continue;
                uint32_t &dst = s.pixels[(size_t)py * s.width + px];
                dst = cov >= 255 ? colour : Blend(dst, colour, cov);
            }
        if (underlineNext) {
            Fill(s, c, pen, y + ascent + 1, g.advance, 1, colour);
            underlineNext = false;
        }
        pen += g.advance;
    }
    return pen - x;
}

int TextWidth(gdi::FontId font, const std::string &t, bool mnemonics) {
    std::string shown;
    for (size_t i = 0; i < t.size(); i++) {
        if (mnemonics && t[i] == '&') {
            if (i + 1 < t.size() && t[i + 1] == '&') shown += '&', i++;
            continue;
        }
        shown += t[i];
    }
    return gdi::MeasureText(font, shown.c_str(), (int)shown.size()).cx;
}

gdi::FontId FontOfWindow(wnd::Window *w) {
    gdi::FontId f = gdi::FontId::System;
    if (w->font) gdi::FontOf((HFONT)w->font, f);
    return f;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> out(1);
    for (char ch : text) {
        if (ch == '\n')
            out.emplace_back();
        else if (ch != '\r')
            out.back() += ch;
    }
    return out;
}

void DrawIcon(Surface &s, const Clip &c, HICON icon, int x, int y, int size) {
    const res::IconImage *img = res::IconPixels(icon);
    if (!img || img->width <= 0 || img->height <= 0) return;
    for (int yy = 0; yy < size; yy++)
        for (int xx = 0; xx < size; xx++) {
            uint32_t p = img->pixels[(size_t)(yy * img->height / size) * img->width + (xx * img->width / size)];
            if (p >> 24) Put(s, c, x + xx, y + yy, p | 0xFF000000);
        }
}

// The caption's parts, in window coordinates.
struct CaptionLayout {
    bool caption = false;
    RECT strip = {0, 0, 0, 0};
    RECT icon = {0, 0, 0, 0};
    RECT close = {0, 0, 0, 0}, maxBox = {0, 0, 0, 0}, minBox = {0, 0, 0, 0};
};

CaptionLayout LayoutCaption(wnd::Window *w) {
    CaptionLayout L;
    if ((w->style & WS_CAPTION) != WS_CAPTION) return L;
    int l, t, r, b;
    wnd::FrameInsets(w->style, w->exStyle, true, l, t, r, b);
    int width = w->rect.right - w->rect.left;
    L.caption = true;
    int top = t - kCaptionHeight - 1;
    L.strip = {l, top, width - r, top + kCaptionHeight};
    if (!(w->style & WS_SYSMENU)) return L;
    L.icon = {l + 1, top + 1, l + 1 + 16, top + 17};
    int bx = width - r - 2 - kButtonW, by = top + 2;
    L.close = {bx, by, bx + kButtonW, by + kButtonH};
    if (w->style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) {
        bx -= 2 + kButtonW;
        L.maxBox = {bx, by, bx + kButtonW, by + kButtonH};
        bx -= kButtonW;
        L.minBox = {bx, by, bx + kButtonW, by + kButtonH};
    }
    return L;
}

bool In(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void CaptionButton(Surface &s, const Clip &c, const RECT &r, int kind, bool enabled) {
    int x = r.left, y = r.top;
    Fill(s, c, x, y, kButtonW, kButtonH, kFace);
    Edge(s, c, x, y, kButtonW, kButtonH, false);
    uint32_t ink = enabled ? kDark : kGrayText;
    if (kind == 0) {  // close: a cross
        for (int i = 0; i < 7; i++) {
            Fill(s, c, x + 4 + i, y + 3 + i, 2, 1, ink);
            Fill(s, c, x + 10 - i, y + 3 + i, 2, 1, ink);
        }
    } else if (kind == 1) {  // maximise: a window
        Fill(s, c, x + 3, y + 2, 9, 2, ink);
        Fill(s, c, x + 3, y + 2, 1, 9, ink);
        Fill(s, c, x + 11, y + 2, 1, 9, ink);
        Fill(s, c, x + 3, y + 10, 9, 1, ink);
    } else if (kind == 2) {  // restore: two small windows
        Fill(s, c, x + 5, y + 2, 6, 2, ink);
        Fill(s, c, x + 10, y + 2, 1, 6, ink);
        Fill(s, c, x + 3, y + 5, 6, 2, ink);
        Fill(s, c, x + 3, y + 5, 1, 6, ink);
        Fill(s, c, x + 8, y + 5, 1, 6, ink);
        Fill(s, c, x + 3, y + 10, 6, 1, ink);
    } else {  // minimise: a bar
        Fill(s, c, x + 4, y + 9, 6, 2, ink);
    }
}

// A child and its children; (ox, oy) is where its parent's client area lies on the surface.
void DrawChild(Surface &s, const Clip &parentClip, wnd::Window *w, int ox, int oy) {
    if (!w->visible) return;
    int x = ox + w->rect.left, y = oy + w->rect.top;
    int cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
    Clip c = {x > parentClip.left ? x : parentClip.left, y > parentClip.top ? y : parentClip.top,
              x + cw < parentClip.right ? x + cw : parentClip.right,
              y + ch < parentClip.bottom ? y + ch : parentClip.bottom};
    if (c.left >= c.right || c.top >= c.bottom) return;
    gdi::FontId font = FontOfWindow(w);
    int lineHeight = gdi::FontHeight(font);
    uint32_t ink = w->enabled ? kDark : kGrayText;
    if (strcasecmp(w->className.c_str(), "msctls_statusbar32") == 0) {
        Fill(s, c, x, y, cw, ch, kFace);
        Fill(s, c, x, y, cw, 1, kLight);
        int edges[16];
        int n = (int)SendMessageA(w->hwnd, SB_GETPARTS, 16, (LPARAM)edges);
        if (n > 16) n = 16;
        int left = 0;
        for (int i = 0; i < n; i++) {
            int right = edges[i] < 0 ? cw : edges[i];
            char text[512];
            text[0] = 0;
            if (SendMessageA(w->hwnd, SB_GETTEXTLENGTHA, (WPARAM)i, 0) < (LRESULT)sizeof text)
                SendMessageA(w->hwnd, SB_GETTEXTA, (WPARAM)i, (LPARAM)text);
            Fill(s, c, x + left, y + 2, right - left - 2, 1, kShadow);
            Fill(s, c, x + left, y + 2, 1, ch - 2, kShadow);
            Fill(s, c, x + left, y + ch - 1, right - left - 2, 1, kLight);
            Fill(s, c, x + right - 3, y + 2, 1, ch - 2, kLight);
            Clip pc = {x + left + 1 > c.left ? x + left + 1 : c.left, c.top,
                       x + right - 3 < c.right ? x + right - 3 : c.right, c.bottom};
            if (pc.left < pc.right)
                DrawText(s, pc, font, x + left + 3, y + 3 + (ch - 3 - lineHeight) / 2, text, (int)strlen(text), kDark);
            left = right;
        }
    } else if (strcasecmp(w->className.c_str(), "STATIC") == 0) {
        std::vector<std::string> lines = Lines(w->text);
        for (size_t i = 0; i < lines.size(); i++)
            DrawText(s, c, font, x, y + (int)i * lineHeight, lines[i].c_str(), (int)lines[i].size(), ink);
    } else {
        bool pushed = (SendMessageA(w->hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
        bool focused = GetFocus() == w->hwnd;
        bool isDefault = (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        Fill(s, c, x, y, cw, ch, kFace);
        if (isDefault || focused) {
            Fill(s, c, x, y, cw, 1, kDark);
            Fill(s, c, x, y + ch - 1, cw, 1, kDark);
            Fill(s, c, x, y, 1, ch, kDark);
            Fill(s, c, x + cw - 1, y, 1, ch, kDark);
            Edge(s, c, x + 1, y + 1, cw - 2, ch - 2, pushed);
        } else {
            Edge(s, c, x, y, cw, ch, pushed);
        }
        std::vector<std::string> lines = Lines(w->text);
        int total = (int)lines.size() * lineHeight;
        int ty = y + (ch - total) / 2 + (pushed ? 1 : 0);
        for (size_t i = 0; i < lines.size(); i++) {
            int tw = TextWidth(font, lines[i], true);
            int tx = x + (cw - tw) / 2 + (pushed ? 1 : 0);
            DrawText(s, c, font, tx, ty + (int)i * lineHeight, lines[i].c_str(), (int)lines[i].size(), ink, true);
        }
        if (focused && cw > 8 && ch > 8) {
            for (int i = 4; i < cw - 4; i += 2) {
                Put(s, c, x + i, y + 4, kDark);
                Put(s, c, x + i, y + ch - 5, kDark);
            }
            for (int i = 4; i < ch - 4; i += 2) {
                Put(s, c, x + 4, y + i, kDark);
                Put(s, c, x + cw - 5, y + i, kDark);
            }
        }
    }
    int l, t, r, b;
    wnd::FrameInsets(w->style, w->exStyle, false, l, t, r, b);
    for (wnd::Window *child : w->children) DrawChild(s, c, child, x + l, y + t);
}

// The system menu's layout: one box per item, in menu coordinates.
struct MenuBox {
    RECT r;
    bool separator;
};
const int kMenuItemH = 18, kMenuSepH = 8, kMenuBorder = 3;

int MenuLayout(HMENU menu, std::vector<MenuBox> &boxes, int &width, int &height) {
    int n = GetMenuItemCount(menu);
    if (n < 0) n = 0;
    int textW = 0, accelW = 0;
    for (int i = 0; i < n; i++) {
        char text[256];
        GetMenuStringA(menu, (UINT)i, text, sizeof text, MF_BYPOSITION);
        std::string t = text;
        size_t tab = t.find('\t');
        int w1 = TextWidth(gdi::FontId::MsSansSerif8, t.substr(0, tab), true);
        if (w1 > textW) textW = w1;
        if (tab != std::string::npos) {
            int w2 = TextWidth(gdi::FontId::MsSansSerif8, t.substr(tab + 1), false);
            if (w2 > accelW) accelW = w2;
        }
    }
    width = kMenuBorder * 2 + 18 + textW + (accelW ? 24 + accelW : 0) + 18;
    int y = kMenuBorder;
    boxes.clear();
    for (int i = 0; i < n; i++) {
        bool sep = (GetMenuState(menu, (UINT)i, MF_BYPOSITION) & MF_SEPARATOR) != 0;
        int h = sep ? kMenuSepH : kMenuItemH;
        boxes.push_back({{kMenuBorder, y, width - kMenuBorder, y + h}, sep});
        y += h;
    }
    height = y + kMenuBorder;
    return accelW;
}

}  // namespace

void RenderTopLevel(HWND top, Surface &out) {
    wnd::Window *w = wnd::FromHandle(top);
    int width = w ? w->rect.right - w->rect.left : 1, height = w ? w->rect.bottom - w->rect.top : 1;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    out.width = width;
    out.height = height;
    out.pixels.assign((size_t)width * height, kFace);
    if (!w) return;
    Clip all = {0, 0, width, height};
    int l, t, r, b;
    wnd::FrameInsets(w->style, w->exStyle, true, l, t, r, b);
    if (l > 0) Edge(out, all, 0, 0, width, height, false);
    bool active = GetActiveWindow() == top;
    CaptionLayout cap = LayoutCaption(w);
    if (cap.caption) {
        const RECT &s = cap.strip;
        Fill(out, all, s.left, s.top, s.right - s.left, s.bottom - s.top, active ? kCaptionActive : kCaptionInactive);
        int textX = s.left + 3;
        if (w->style & WS_SYSMENU) {
            HICON icon = w->iconSmall ? w->iconSmall : w->icon;
            DrawIcon(out, all, icon, cap.icon.left, cap.icon.top, 16);
            if (icon) textX = cap.icon.right + 3;
        }
        int textRight = (w->style & WS_SYSMENU) ? (cap.minBox.left ? cap.minBox.left : cap.close.left) - 2 : s.right;
        Clip tc = {textX, s.top, textRight > textX ? textRight : textX, s.bottom};
        gdi::FontId font = gdi::FontId::System;
        DrawText(out, tc, font, textX, s.top + (kCaptionHeight - gdi::FontHeight(font)) / 2 + 1, w->text.c_str(),
                 (int)w->text.size(), kLight);
        if (w->style & WS_SYSMENU) {
            CaptionButton(out, all, cap.close, 0, true);
            if (cap.maxBox.right) {
                CaptionButton(out, all, cap.maxBox, w->showState == SW_SHOWMAXIMIZED ? 2 : 1,
                              (w->style & WS_MAXIMIZEBOX) != 0);
                CaptionButton(out, all, cap.minBox, 3, (w->style & WS_MINIMIZEBOX) != 0);
            }
        }
    }
    RECT client = wnd::ClientRectOf(w);
    COLORREF bg;
    uint32_t background = kFace;
    if (w->background && gdi::BrushColor(w->background, bg))
        background = 0xFF000000 | ((uint32_t)GetRValue(bg) << 16) | ((uint32_t)GetGValue(bg) << 8) | GetBValue(bg);
    Clip cc = {l, t, l + client.right, t + client.bottom};
    Fill(out, cc, l, t, client.right, client.bottom, background);
    for (wnd::Window *child : w->children) DrawChild(out, cc, child, l, t);
}

int HitTest(HWND top, int x, int y) {
    wnd::Window *w = wnd::FromHandle(top);
    if (!w) return HTNOWHERE;
    int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (x < 0 || y < 0 || x >= width || y >= height) return HTNOWHERE;
    int l, t, r, b;
    wnd::FrameInsets(w->style, w->exStyle, true, l, t, r, b);
    if ((w->style & WS_THICKFRAME) && w->showState == SW_SHOWNORMAL) {
        const int corner = 16;
        bool left = x < l, right = x >= width - r, topEdge = y < l, bottom = y >= height - b;
        if (topEdge || bottom) {
            if (x < corner) return topEdge ? HTTOPLEFT : HTBOTTOMLEFT;
            if (x >= width - corner) return topEdge ? HTTOPRIGHT : HTBOTTOMRIGHT;
            return topEdge ? HTTOP : HTBOTTOM;
        }
        if (left || right) {
            if (y < corner) return left ? HTTOPLEFT : HTTOPRIGHT;
            if (y >= height - corner) return left ? HTBOTTOMLEFT : HTBOTTOMRIGHT;
            return left ? HTLEFT : HTRIGHT;
        }
    }
    CaptionLayout cap = LayoutCaption(w);
    if (cap.caption && y >= cap.strip.top && y < cap.strip.bottom + 1 && x >= cap.strip.left && x < cap.strip.right) {
        if (w->style & WS_SYSMENU) {
            if (In(cap.icon, x, y) || (x >= cap.strip.left && x < cap.icon.right && y < cap.strip.bottom))
                return HTSYSMENU;
            if (In(cap.close, x, y)) return HTCLOSE;
            if (cap.maxBox.right && In(cap.maxBox, x, y)) return HTMAXBUTTON;
            if (cap.minBox.right && In(cap.minBox, x, y)) return HTMINBUTTON;
        }
        return HTCAPTION;
    }
    RECT client = wnd::ClientRectOf(w);
    if (x >= l && x < l + client.right && y >= t && y < t + client.bottom) return HTCLIENT;
    return HTBORDER;
}

void RenderMenu(HMENU menu, int highlighted, Surface &out) {
    std::vector<MenuBox> boxes;
    int width, height;
    int accelW = MenuLayout(menu, boxes, width, height);
    out.width = width;
    out.height = height;
    out.pixels.assign((size_t)width * height, kFace);
    Clip all = {0, 0, width, height};
    Edge(out, all, 0, 0, width, height, false);
    gdi::FontId font = gdi::FontId::MsSansSerif8;
    int lineH = gdi::FontHeight(font);
    for (size_t i = 0; i < boxes.size(); i++) {
        const RECT &r = boxes[i].r;
        if (boxes[i].separator) {
            int y = (r.top + r.bottom) / 2 - 1;
            Fill(out, all, r.left + 1, y, r.right - r.left - 2, 1, kShadow);
            Fill(out, all, r.left + 1, y + 1, r.right - r.left - 2, 1, kLight);
            continue;
        }
        UINT state = GetMenuState(menu, (UINT)i, MF_BYPOSITION);
        bool grayed = (state & (MF_GRAYED | MF_DISABLED)) != 0;
        bool hl = (int)i == highlighted;
        if (hl) Fill(out, all, r.left, r.top, r.right - r.left, r.bottom - r.top, kHighlight);
        uint32_t ink = hl ? kLight : grayed ? kGrayText : kDark;
        if (state & MF_CHECKED) {
            int cx = r.left + 5, cy = r.top + 5;
            for (int k = 0; k < 3; k++) Fill(out, all, cx + k, cy + 3 + k, 1, 3, ink);
            for (int k = 0; k < 4; k++) Fill(out, all, cx + 3 + k, cy + 4 - k, 1, 3, ink);
        }
        char text[256];
        GetMenuStringA(menu, (UINT)i, text, sizeof text, MF_BYPOSITION);
        std::string t = text;
        size_t tab = t.find('\t');
        std::string left = t.substr(0, tab);
        int ty = r.top + (kMenuItemH - lineH) / 2;
        if (grayed && !hl)
            DrawText(out, all, font, r.left + 19, ty + 1, left.c_str(), (int)left.size(), kLight, true);
        DrawText(out, all, font, r.left + 18, ty, left.c_str(), (int)left.size(), ink, true);
        if (tab != std::string::npos && accelW) {
            std::string accel = t.substr(tab + 1);
            int aw = TextWidth(font, accel, false);
            DrawText(out, all, font, r.right - 18 - aw, ty, accel.c_str(), (int)accel.size(), ink);
        }
    }
}

int MenuItemAt(HMENU menu, int x, int y) {
    std::vector<MenuBox> boxes;
    int width, height;
    MenuLayout(menu, boxes, width, height);
    for (size_t i = 0; i < boxes.size(); i++)
        if (In(boxes[i].r, x, y)) return boxes[i].separator ? -1 : (int)i;
    return -1;
}

}  // namespace paint
}  // namespace qk
