// The status bar "msctls_statusbar32": it lies along the bottom of its parent's client
// area at its standard height, across the full width, and shows text in parts.
#include <string.h>

#include <string>
#include <vector>

#include "platform/comctl32/comctl32.h"
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

const int kStatusHeight = 20;

struct StatusState : ControlState {
    std::vector<int> edges{-1};  // right edges of the parts; -1 runs to the right border
    std::vector<std::string> texts{""};
    std::vector<int> kinds{0};
};

StatusState *StateOf(Window *w) {
    if (!w->control) w->control = std::make_unique<StatusState>();
    return static_cast<StatusState *>(w->control.get());
}

// Places the bar along the bottom of its parent, unless it is told otherwise by its style.
void Place(Window *w) {
    if (!w->parent) return;
    RECT pc = ClientRectOf(w->parent);
    RECT r = {0, pc.bottom - kStatusHeight, pc.right, pc.bottom};
    if (r.left != w->rect.left || r.top != w->rect.top || r.right != w->rect.right || r.bottom != w->rect.bottom)
        SetWindowRect(w, r, SIZE_RESTORED);
}

// The bar: button face, each part a box sunk one pixel (raised for SBT_POPOUT, none for
// SBT_NOBORDERS) with its text inside; a tab centres what follows it, a second one puts
// the rest at the right.
void Paint(HWND hWnd, Window *w, StatusState *s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hWnd, &ps);
    RECT c = ClientRectOf(w);
    FillRect(dc, &c, GetSysColorBrush(COLOR_BTNFACE));
    SelectObject(dc, w->font ? (HGDIOBJ)w->font : (HGDIOBJ)qk::gdi::DialogFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    size_t n = s->edges.size();
    for (size_t i = 0; i < n; i++) {
        int left = i == 0 ? 0 : s->edges[i - 1];
        if (left < 0) break;  // the parts after one that runs to the border are not seen
        int right = s->edges[i] < 0 ? c.right : s->edges[i];
        bool last = i + 1 == n || s->edges[i] < 0;
        RECT box = {left, 2, last ? right : right - 2, c.bottom};
        if (box.right <= box.left) continue;
        int kind = s->kinds[i];
        if (kind & SBT_POPOUT)
            DrawEdge(dc, &box, BDR_RAISEDINNER, BF_RECT);
        else if (!(kind & SBT_NOBORDERS))
            DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
        RECT text = {box.left + 3, box.top + 1, box.right - 3, box.bottom - 1};
        const std::string &t = s->texts[i];
        size_t tab1 = t.find('\t');
        size_t tab2 = tab1 == std::string::npos ? std::string::npos : t.find('\t', tab1 + 1);
        std::string pieces[3] = {t.substr(0, tab1), "", ""};
        if (tab1 != std::string::npos) pieces[1] = t.substr(tab1 + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab1 - 1);
        if (tab2 != std::string::npos) pieces[2] = t.substr(tab2 + 1);
        const UINT align[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
        for (int k = 0; k < 3; k++)
            if (!pieces[k].empty())
                DrawTextA(dc, pieces[k].c_str(), (int)pieces[k].size(), &text,
                          align[k] | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    EndPaint(hWnd, &ps);
}

}  // namespace

LRESULT CALLBACK StatusBarProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    if (!w) return 0;
    StatusState *s = StateOf(w);
    switch (msg) {
        case WM_CREATE:
            // It places itself at once, whatever size it was given.
            {
                RECT pc = w->parent ? ClientRectOf(w->parent) : RECT{0, 0, 0, 0};
                w->rect = {0, pc.bottom - kStatusHeight, pc.right, pc.bottom};
            }
            s->texts[0] = w->text;
            return 0;
        case WM_SIZE:
            Place(w);
            return 0;
        case SB_SETPARTS: {
            int n = (int)wParam;
            if (n < 1 || n > 256 || !lParam) return FALSE;
            const int *edges = (const int *)lParam;
            s->edges.assign(edges, edges + n);
            s->texts.resize((size_t)n);
            s->kinds.resize((size_t)n);
            Invalidate(w);
            return TRUE;
        }
        case SB_GETPARTS: {
            int n = (int)s->edges.size();
            int *out = (int *)lParam;
            for (int i = 0; out && i < n && i < (int)wParam; i++) out[i] = s->edges[(size_t)i];
            return n;
        }
        case SB_SETTEXTA: {
            int part = (int)(wParam & 0xFF);
            if (part >= (int)s->texts.size()) return FALSE;
            s->texts[(size_t)part] = lParam ? (const char *)lParam : "";
            s->kinds[(size_t)part] = (int)(wParam & 0xFF00);
            Invalidate(w);
            return TRUE;
        }
        case SB_GETTEXTA: {
            int part = (int)(wParam & 0xFF);
            if (part >= (int)s->texts.size()) return 0;
            const std::string &t = s->texts[(size_t)part];
            if (lParam) memcpy((char *)lParam, t.c_str(), t.size() + 1);
            return MAKELONG(t.size(), s->kinds[(size_t)part]);
        }
        case SB_GETTEXTLENGTHA: {
            int part = (int)(wParam & 0xFF);
            if (part >= (int)s->texts.size()) return 0;
            return MAKELONG(s->texts[(size_t)part].size(), s->kinds[(size_t)part]);
        }
        case SB_GETRECT: {
            int part = (int)wParam;
            RECT *r = (RECT *)lParam;
            if (!r || part < 0 || part >= (int)s->edges.size()) return FALSE;
            RECT c = ClientRectOf(w);
            int left = part == 0 ? 0 : s->edges[(size_t)part - 1];
            int right = s->edges[(size_t)part] < 0 ? c.right : s->edges[(size_t)part];
            *r = {left, 2, right, c.bottom};
            return TRUE;
        }
        case WM_PAINT:
            Paint(hWnd, w, s);
            return 0;
        case WM_SETTEXT:
            s->texts[0] = lParam ? (const char *)lParam : "";
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

}  // namespace wnd
}  // namespace qk

// The common controls are part of the stand-in from the start; this only has to exist.
void WINAPI InitCommonControls(void) { qk::wnd::RegisterSystemClasses(); }
