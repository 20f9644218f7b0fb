// Dialogs from the templates of the program's resource script: DialogBoxParamA with
// its modal loop, the dialog manager's keyboard (Tab, Escape, Enter), EndDialog and the
// dialog item helpers.
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/objects.h"
#include "platform/kernel32/codepage.h"
#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {
namespace {

struct DialogState : ControlState {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HWND lastFocus = nullptr;
    int defaultId = 0;  // DM_SETDEFID's control, or the template's default push button; 0: none
};

DialogState *DialogOf(Window *w) {
    if (!w || w->className != "#32770") return nullptr;
    if (!w->control) w->control = std::make_unique<DialogState>();
    return static_cast<DialogState *>(w->control.get());
}

bool IsTabStop(Window *c) { return c->visible && c->enabled && (c->style & WS_TABSTOP); }

bool IsPushButton(Window *c) {
    if (strcasecmp(c->className.c_str(), "BUTTON") != 0) return false;
    DWORD type = c->style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Dialog units to pixels as the dialog manager converts them: value * base / units,
// rounded to the nearest pixel with halves away from zero (MulDiv's rounding).
int DialogUnits(int value, int base, int units) {
    long long p = (long long)value * base;
    return (int)(p >= 0 ? (p + units / 2) / units : -((-p + units / 2) / units));
}

bool IsDefault(const Window *c) { return (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

// Sets the focus to a dialog control as the dialog manager does: an edit control has
// its whole text selected.
void DialogFocus(HWND control) {
    SetFocus(control);
    if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageA(control, EM_SETSEL, 0, -1);
}

// The default push button after the dialog manager moved the focus to `focus`: a push
// button it moved to becomes the default one; any other control gives the default back to
// the dialog's own default button. A plain SetFocus changes nothing here, as on the
// platform, where Enter then still goes to the dialog's default.
void MoveDefault(Window *dlg, DialogState *d, HWND focus) {
    Window *want = FromHandle(focus);
    if (!want || want->parent != dlg || !IsPushButton(want)) {
        want = d->defaultId ? FromHandle(GetDlgItem(Handle(dlg), d->defaultId)) : nullptr;
        if (want && !IsPushButton(want)) want = nullptr;
    }
    std::vector<HWND> others;
    for (Window *c : dlg->children)
        if (c != want && IsPushButton(c) && IsDefault(c)) others.push_back(Handle(c));
    for (HWND h : others) SendMessageA(h, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (want && IsWindow(Handle(want)) && !IsDefault(want)) SendMessageA(Handle(want), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// The dialog manager's focus move (Tab, WM_NEXTDLGCTL).
void DialogMoveFocus(Window *dlg, HWND to) {
    DialogFocus(to);
    if (DialogState *d = DialogOf(dlg)) MoveDefault(dlg, d, to);
}

// The dialog manager's part of the keyboard; true when it took the message.
bool DialogKey(Window *dlg, const MSG &m) {
    Window *target = FromHandle(m.hwnd);
    if (!target || TopLevel(target) != dlg) return false;
    HWND dh = Handle(dlg);
    if (m.message == WM_CHAR && (m.wParam == '\t' || m.wParam == '\r' || m.wParam == 27)) {
        // The characters of the keys the dialog manager keeps for itself.
        LRESULT code = SendMessageA(m.hwnd, WM_GETDLGCODE, m.wParam, (LPARAM)&m);
        if (code & DLGC_WANTALLKEYS) return false;
        return !(m.wParam == '\t' && (code & DLGC_WANTTAB));
    }
    if (m.message != WM_KEYDOWN) return false;
    LRESULT code = SendMessageA(m.hwnd, WM_GETDLGCODE, m.wParam, (LPARAM)&m);
    switch (m.wParam) {
        case VK_TAB:
            if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) return false;
            {
                HWND next = GetNextDlgTabItem(dh, GetFocus(), GetKeyState(VK_SHIFT) < 0);
                if (next) DialogMoveFocus(dlg, next);
            }
            return true;
        case VK_ESCAPE:
            if (code & DLGC_WANTALLKEYS) return false;
            SendMessageA(dh, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dh, IDCANCEL));
            return true;
        case VK_RETURN: {
            if (code & DLGC_WANTALLKEYS) return false;
            // The focused push button when it is the default one (the dialog manager made it
            // so when it moved the focus there), else the dialog's default, else IDOK.
            Window *focus = FromHandle(GetFocus());
            if (focus && focus->parent == dlg && IsPushButton(focus) && IsDefault(focus)) {
                SendMessageA(dh, WM_COMMAND, MAKEWPARAM((WORD)focus->id, BN_CLICKED), (LPARAM)Handle(focus));
                return true;
            }
            LRESULT def = SendMessageA(dh, DM_GETDEFID, 0, 0);
            WORD id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : (WORD)IDOK;
            HWND button = GetDlgItem(dh, id);
            if (!button || IsWindowEnabled(button))
                SendMessageA(dh, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
            return true;
        }
        default:
            return false;
    }
}

std::string ClassFor(const std::string &name) {
    static const char *known[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "COMBOBOX", "SCROLLBAR"};
    for (const char *k : known)
        if (strcasecmp(name.c_str(), k) == 0) return k;
    return name;
}

}  // namespace

LRESULT CALLBACK DialogClassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window *w = FromHandle(hWnd);
    DialogState *d = DialogOf(w);
    if (d && d->proc && msg != WM_INITDIALOG) {
        INT_PTR r = d->proc(hWnd, msg, wParam, lParam);
        if (r) return r;
        if (!FromHandle(hWnd)) return 0;
    }
    switch (msg) {
        case WM_CLOSE:
            PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(hWnd, IDCANCEL));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND f = GetFocus();
                if (d && f && FromHandle(f) && TopLevel(FromHandle(f)) == w) d->lastFocus = f;
                return 0;
            }
            if (d && d->lastFocus && IsWindow(d->lastFocus)) {
                SetFocus(d->lastFocus);
                return 0;
            }
            return DefWindowProcA(hWnd, msg, wParam, lParam);
        case WM_COMMAND:
            return 0;
        case DM_GETDEFID: {
            if (!d || d->ended) return 0;
            if (d->defaultId) return MAKELONG(d->defaultId, DC_HASDEFID);
            for (Window *c : w->children)
                if (IsPushButton(c) && IsDefault(c)) return MAKELONG(c->id, DC_HASDEFID);
            return 0;
        }
        case DM_SETDEFID: {
            if (!d) return FALSE;
            d->defaultId = (int)(WORD)wParam;
            Window *want = FromHandle(GetDlgItem(hWnd, d->defaultId));
            if (want && !IsPushButton(want)) return FALSE;
            MoveDefault(w, d, Handle(want));
            return TRUE;
        }
        case WM_NEXTDLGCTL: {
            HWND to = lParam ? (HWND)wParam : GetNextDlgTabItem(hWnd, GetFocus(), wParam != 0);
            if (to) DialogMoveFocus(w, to);
            return 0;
        }
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

int ControlFont(const Window *w) {
    gdi::FontId id = gdi::FontId::System;
    if (w && w->font) gdi::FontOf((HFONT)w->font, id);
    return (int)id;
}

}  // namespace wnd
}  // namespace qk

using namespace qk::wnd;

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DialogClassProc(hDlg, msg, wParam, lParam);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND ownerHandle, DLGPROC proc,
                               LPARAM param) {
    const qk::res::DialogTemplate *t = qk::res::FindDialog(templateName);
    if (!t || !proc) {
        SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
        return -1;
    }
    Window *ownerWindow = FromHandle(ownerHandle);
    Window *owner = ownerWindow ? TopLevel(ownerWindow) : nullptr;
    HWND ownerTop = Handle(owner);

    // Dialog units from the template's font.
    bool dialogFont = (t->style & DS_SETFONT) && t->fontSize > 0;
    HFONT font = dialogFont ? qk::gdi::DialogFont() : (HFONT)GetStockObject(SYSTEM_FONT);
    qk::gdi::FontId fontId = qk::gdi::FontId::System;
    qk::gdi::FontOf(font, fontId);
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE alpha = qk::gdi::MeasureText(fontId, alphabet, 52);
    int baseX = (alpha.cx / 26 + 1) / 2;
    int baseY = qk::gdi::FontHeight(fontId);
    if (baseX <= 0) baseX = 6;
    if (baseY <= 0) baseY = 13;
    auto px = [&](int dlu) { return DialogUnits(dlu, baseX, 4); };
    auto py = [&](int dlu) { return DialogUnits(dlu, baseY, 8); };

    DWORD style = t->style & ~WS_VISIBLE;
    int l, tp, r, b;
    FrameInsets(style | WS_POPUP, t->exStyle, true, l, tp, r, b);
    int x = px(t->x), y = py(t->y);
    if (owner && !(t->style & DS_ABSALIGN)) {
        POINT o = ClientOrigin(owner);
        x += o.x;
        y += o.y;
    }
    int width = px(t->cx) + l + r, height = py(t->cy) + tp + b;
    if (!(style & (WS_CHILD | DS_CONTROL))) {
        // As the platform's dialog manager does: a dialog that would reach past the work
        // area is moved into it (its top-left corner first, should it be larger).
        int sw, sh;
        ScreenSize(sw, sh);
        if (x + width > sw) x = sw - width;
        if (y + height > sh) y = sh - height;
        if (x < 0) x = 0;
        if (y < 0) y = 0;
    }
    HWND dlg = CreateWindowExA(t->exStyle, "#32770", t->caption.c_str(), style, x, y, width, height, ownerTop, NULL,
                               instance, NULL);
    Window *dw = FromHandle(dlg);
    if (!dw) return -1;
    DialogState *d = DialogOf(dw);
    d->proc = proc;
    SendMessageA(dlg, WM_SETFONT, (WPARAM)font, FALSE);
    for (const qk::res::DialogControl &c : t->controls) {
        std::string cls = ClassFor(c.className);
        // A control's plain border becomes the sunken client edge of the three-dimensional
        // look the platform gives every dialog of a program made for it.
        DWORD cstyle = c.style | WS_CHILD, cex = c.exStyle;
        if (cstyle & WS_BORDER) {
            cstyle &= ~WS_BORDER;
            cex |= WS_EX_CLIENTEDGE;
        }
        HWND ctl = CreateWindowExA(cex, cls.c_str(), c.text.c_str(), cstyle, px(c.x), py(c.y), px(c.cx), py(c.cy),
                                   dlg, (HMENU)(INT_PTR)c.id, instance, NULL);
        if (!ctl) continue;
        SendMessageA(ctl, WM_SETFONT, (WPARAM)font, FALSE);
        // The last default push button of the template is the dialog's default one.
        Window *cw = FromHandle(ctl);
        if (cw && IsPushButton(cw) && IsDefault(cw)) {
            if (HWND before = d->defaultId ? GetDlgItem(dlg, d->defaultId) : NULL)
                SendMessageA(before, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            d->defaultId = cw->id;
        }
    }
    if (!IsWindow(dlg)) return -1;
    HWND first = GetNextDlgTabItem(dlg, NULL, FALSE);
    if (ownerTop) EnableWindow(ownerTop, FALSE);
    INT_PTR initResult = proc(dlg, WM_INITDIALOG, (WPARAM)first, param);
    if (IsWindow(dlg) && !d->ended) {
        if (t->style & WS_VISIBLE) ShowWindow(dlg, SW_SHOWNORMAL);
        if (initResult && first && IsWindow(first)) DialogFocus(first);
    }
    bool quit = false;
    int quitCode = 0;
    while (IsWindow(dlg) && !d->ended) {
        MSG m;
        if (!GetMessageA(&m, NULL, 0, 0)) {
            quit = true;
            quitCode = (int)m.wParam;
            break;
        }
        if (IsWindow(dlg) && DialogKey(dw, m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    INT_PTR result = (IsWindow(dlg) && d->ended) ? d->result : 0;
    if (ownerTop && IsWindow(ownerTop)) EnableWindow(ownerTop, TRUE);
    if (IsWindow(dlg)) DestroyWindow(dlg);
    if (ownerTop && IsWindow(ownerTop)) SetActiveWindow(ownerTop);
    if (quit) PostQuitMessage(quitCode);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR result) {
    DialogState *d = DialogOf(FromHandle(hDlg));
    if (!d) return FALSE;
    d->ended = true;
    d->result = result;
    qk::driver::Wake();
    return TRUE;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND c = GetDlgItem(hDlg, id);
    return c ? SendMessageA(c, msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int id, LPCSTR text) {
    HWND c = GetDlgItem(hDlg, id);
    return c ? (BOOL)SendMessageA(c, WM_SETTEXT, 0, (LPARAM)text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int id, LPSTR text, int max) {
    HWND c = GetDlgItem(hDlg, id);
    if (!c) {
        if (text && max > 0) text[0] = 0;
        return 0;
    }
    return (UINT)GetWindowTextA(c, text, max);
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL previous) {
    Window *dlg = FromHandle(hDlg);
    if (!dlg || dlg->children.empty()) return NULL;
    const std::vector<Window *> &kids = dlg->children;
    int n = (int)kids.size(), at = -1;
    for (int i = 0; i < n; i++)
        if (Handle(kids[i]) == hCtl) at = i;
    for (int step = 1; step <= n; step++) {
        int i = at < 0 ? (previous ? n - step : step - 1) : ((at + (previous ? -step : step)) % n + n) % n;
        if (IsTabStop(kids[i])) return Handle(kids[i]);
    }
    return hCtl;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT r) {
    Window *w = FromHandle(hDlg);
    if (!w || !r) return FALSE;
    qk::gdi::FontId id = (qk::gdi::FontId)ControlFont(w);
    SIZE alpha = qk::gdi::MeasureText(id, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52);
    int baseX = (alpha.cx / 26 + 1) / 2, baseY = qk::gdi::FontHeight(id);
    r->left = DialogUnits(r->left, baseX, 4);
    r->right = DialogUnits(r->right, baseX, 4);
    r->top = DialogUnits(r->top, baseY, 8);
    r->bottom = DialogUnits(r->bottom, baseY, 8);
    return TRUE;
}

namespace {

char AnsiLowerChar(char ch) {
    unsigned char u = (unsigned char)ch;
    if (u >= 'A' && u <= 'Z') return (char)(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return (char)(u + 32);
    if (u == 0x8A || u == 0x8C || u == 0x8E) return (char)(u + 16);
    if (u == 0x9F) return (char)0xFF;
    return ch;
}

// Where the platform puts a new entry of a directory listing: files first, then folders,
// then drives; files and folders each in the list's sort order, drives by letter.
int FileListPosition(HWND combo, const std::string &entry) {
    int min = 0, max = (int)SendMessageA(combo, CB_GETCOUNT, 0, 0);
    while (min != max) {
        int index = (min + max) / 2;
        char item[MAX_PATH + 8] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)index, 0) < (LRESULT)sizeof item)
            SendMessageA(combo, CB_GETLBTEXT, (WPARAM)index, (LPARAM)item);
        int res;
        if (item[0] == '[') {
            if (entry[0] != '[')
                res = -1;
            else if (item[1] == '-')
                res = entry[1] == '-' ? (unsigned char)entry[2] - (unsigned char)item[2] : -1;
            else
                res = entry[1] == '-' ? 1 : qk::CompareStringNoCase(entry, item);
        } else {
            res = entry[0] == '[' ? 1 : qk::CompareStringNoCase(entry, item);
        }
        if (!res) return index;
        if (res < 0)
            max = index;
        else
            min = index + 1;
    }
    return max;
}

// One listing into the combo box, as the platform's CB_DIR makes it: the folders (but ".")
// when DDL_DIRECTORY is asked for, the files (with DDL_EXCLUSIVE only those whose
// attributes are exactly the ones asked for), then the drives at the end.
void ListInto(HWND combo, UINT type, const char *pattern) {
    const DWORD kAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE;
    if (type != (DDL_DRIVES | DDL_EXCLUSIVE)) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern, &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string entry;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (!(type & DDL_DIRECTORY) || strcmp(fd.cFileName, ".") == 0) continue;
                    entry = "[" + std::string(fd.cFileName) + "]";
                } else {
                    if ((type & DDL_EXCLUSIVE) && (type & kAttributes) != (fd.dwFileAttributes & kAttributes))
                        continue;
                    entry = fd.cFileName;
                }
                SendMessageA(combo, CB_INSERTSTRING, (WPARAM)FileListPosition(combo, entry), (LPARAM)entry.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
    }
    if (type & DDL_DRIVES) {
        for (const qk::DriveInfo &d : qk::DosDrives()) {
            char item[8] = {'[', '-', (char)tolower((unsigned char)d.letter), '-', ']', 0};
            SendMessageA(combo, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)item);
        }
    }
}

}  // namespace

// As the platform does it: a path spec that is a folder becomes the current directory and
// the pattern "*"; otherwise the part before the last separator does, and the rest is the
// pattern. Files are listed by the pattern, folders (with DDL_DIRECTORY) by "*" after them;
// the caller's buffer is left holding the pattern in upper case.
int WINAPI DlgDirListComboBoxA(HWND hDlg, LPSTR pathSpec, int comboId, int staticId, UINT type) {
    std::string pattern = "*";
    bool moved = true;  // the pattern is not the caller's whole spec
    if (pathSpec && pathSpec[0] && !SetCurrentDirectoryA(pathSpec)) {
        // The folder part ends at the last separator after the drive's colon, or at the
        // character after the colon, which is then lost (the platform's own way with "C:name").
        std::string spec = pathSpec;
        size_t p = spec.find(':');
        p = p == std::string::npos ? 0 : p + 1;
        size_t slash = spec.find_last_of('\\');
        if (slash != std::string::npos && slash >= p) p = slash;
        slash = spec.find_last_of('/');
        if (slash != std::string::npos && slash >= p) p = slash;
        if (p != 0) {
            if (!SetCurrentDirectoryA(spec.substr(0, p).c_str())) return FALSE;
            pattern = p + 1 < spec.size() ? spec.substr(p + 1) : "";
        } else {
            pattern = spec;
            moved = false;
        }
    }
    HWND combo = comboId ? GetDlgItem(hDlg, comboId) : NULL;
    if (combo) {
        if (type == DDL_DRIVES) type |= DDL_EXCLUSIVE;
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        if (type & DDL_DIRECTORY) {
            if (!(type & DDL_EXCLUSIVE)) ListInto(combo, type & ~(UINT)(DDL_DIRECTORY | DDL_DRIVES), pattern.c_str());
            ListInto(combo, (type & (DDL_DIRECTORY | DDL_DRIVES)) | DDL_EXCLUSIVE, "*");
        } else {
            ListInto(combo, type, pattern.c_str());
        }
    }
    for (char &c : pattern) c = (char)qk::AnsiUpper((unsigned char)c);
    if (staticId && GetDlgItem(hDlg, staticId)) {
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        for (char *p = cwd; *p; p++) *p = AnsiLowerChar(*p);
        SetDlgItemTextA(hDlg, staticId, cwd);
    }
    if (pathSpec && (moved || pathSpec[0])) {  // the caller's spec, upper-cased or replaced
        size_t n = pattern.size() < 259 ? pattern.size() : 259;
        memcpy(pathSpec, pattern.c_str(), n);
        pathSpec[n] = 0;
    }
    return TRUE;
}
