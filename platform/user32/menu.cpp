// Menus: the system menu of a window with the platform's own entries first.
#include <string.h>

#include "platform/user32/wnd.h"

using namespace qk::wnd;

namespace {

Menu *MenuOf(HMENU h) {
    // A menu handle is the address of a window's system menu; only those exist here.
    for (Window *t : TopLevelWindows())
        if (t->systemMenu && (HMENU)t->systemMenu.get() == h) return t->systemMenu.get();
    return nullptr;
}

MenuItem *Find(Menu *m, UINT id, UINT flags) {
    if (!m) return nullptr;
    if (flags & MF_BYPOSITION) return id < m->items.size() ? &m->items[id] : nullptr;
    for (MenuItem &i : m->items)
        if (!(i.flags & MF_SEPARATOR) && i.id == id) return &i;
    return nullptr;
}

}  // namespace

Menu *qk::wnd::MenuFromHandle(HMENU h) { return MenuOf(h); }

void qk::wnd::InitSystemMenuPopup(HWND top) {
    Window *w = FromHandle(top);
    if (!w) return;
    HMENU menu = GetSystemMenu(top, FALSE);
    if (!menu) return;
    bool minimized = IsIconic(top), maximized = IsZoomed(top);
    auto grey = [&](UINT id, bool greyed) { EnableMenuItem(menu, id, MF_BYCOMMAND | (greyed ? MF_GRAYED : MF_ENABLED)); };
    grey(SC_SIZE, !(w->style & WS_THICKFRAME) || minimized || maximized);
    grey(SC_MOVE, maximized);
    grey(SC_MINIMIZE, !(w->style & WS_MINIMIZEBOX) || minimized);
    grey(SC_MAXIMIZE, !(w->style & WS_MAXIMIZEBOX) || maximized);
    grey(SC_RESTORE, !minimized && !maximized);
}

HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL revert) {
    Window *w = FromHandle(hWnd);
    if (!w || w->parent) return NULL;
    if (revert) {
        w->systemMenu.reset();
        return NULL;
    }
    if (!w->systemMenu) {
        auto m = std::make_unique<Menu>();
        bool sizable = (w->style & WS_THICKFRAME) != 0;
        bool canMax = (w->style & WS_MAXIMIZEBOX) != 0;
        bool canMin = (w->style & WS_MINIMIZEBOX) != 0;
        m->items.push_back({MF_STRING, SC_RESTORE, "&Restore"});
        m->items.push_back({MF_STRING, SC_MOVE, "&Move"});
        m->items.push_back({(UINT)(sizable ? MF_STRING : MF_GRAYED), SC_SIZE, "&Size"});
        m->items.push_back({(UINT)(canMin ? MF_STRING : MF_GRAYED), SC_MINIMIZE, "Mi&nimize"});
        m->items.push_back({(UINT)(canMax ? MF_STRING : MF_GRAYED), SC_MAXIMIZE, "Ma&ximize"});
        m->items.push_back({MF_SEPARATOR, 0, ""});
        m->items.push_back({MF_STRING, SC_CLOSE, "&Close\tAlt+F4"});
        w->systemMenu = std::move(m);
    }
    return (HMENU)w->systemMenu.get();
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT flags, UINT_PTR id, LPCSTR text) {
    Menu *m = MenuOf(hMenu);
    if (!m) return FALSE;
    MenuItem item;
    item.flags = flags & (MF_SEPARATOR | MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_POPUP);
    item.id = (flags & MF_SEPARATOR) ? 0 : id;
    item.text = (!(flags & MF_SEPARATOR) && text) ? text : "";
    m->items.push_back(item);
    return TRUE;
}

DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT id, UINT check) {
    MenuItem *i = Find(MenuOf(hMenu), id, check);
    if (!i) return (DWORD)-1;
    DWORD was = i->flags & MF_CHECKED;
    if (check & MF_CHECKED)
        i->flags |= MF_CHECKED;
    else
        i->flags &= ~MF_CHECKED;
    return was;
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT id, UINT enable) {
    MenuItem *i = Find(MenuOf(hMenu), id, enable);
    if (!i) return -1;
    BOOL was = i->flags & (MF_GRAYED | MF_DISABLED);
    i->flags = (i->flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return was;
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    Menu *m = MenuOf(hMenu);
    return m ? (int)m->items.size() : -1;
}

UINT WINAPI GetMenuState(HMENU hMenu, UINT id, UINT flags) {
    MenuItem *i = Find(MenuOf(hMenu), id, flags);
    return i ? i->flags : (UINT)-1;
}

int WINAPI GetMenuStringA(HMENU hMenu, UINT id, LPSTR buf, int max, UINT flags) {
    MenuItem *i = Find(MenuOf(hMenu), id, flags);
    if (!i) return 0;
    if (!buf || max <= 0) return (int)i->text.size();
    size_t n = i->text.size() < (size_t)max - 1 ? i->text.size() : (size_t)max - 1;
    memcpy(buf, i->text.data(), n);
    buf[n] = 0;
    return (int)n;
}

UINT WINAPI GetMenuItemID(HMENU hMenu, int pos) {
    Menu *m = MenuOf(hMenu);
    if (!m || pos < 0 || pos >= (int)m->items.size()) return (UINT)-1;
    return (UINT)m->items[pos].id;
}
