// Device contexts and stock objects. A DC is a small record of what is selected into it;
// the drivers draw through it.
#include <deque>
#include <mutex>

#include "platform/gdi32/gdi32.h"
#include "platform/gdi32/gdi32_test.h"
#include "platform/gdi32/objects.h"
#include "platform/kernel32/kernel32.h"

namespace qk {
namespace gdi {
namespace {

enum class Kind { None, Brush, Pen, Font };

struct GdiObject {
    Kind kind;
    COLORREF colour;  // CLR_INVALID: hollow brush, null pen
    FontId font;
};

// Indexed by the stock object number.
GdiObject g_stock[] = {
    {Kind::Brush, RGB(255, 255, 255), FontId::System},  // WHITE_BRUSH
    {Kind::Brush, RGB(192, 192, 192), FontId::System},  // LTGRAY_BRUSH
    {Kind::Brush, RGB(128, 128, 128), FontId::System},  // GRAY_BRUSH
    {Kind::Brush, RGB(64, 64, 64), FontId::System},     // DKGRAY_BRUSH
    {Kind::Brush, RGB(0, 0, 0), FontId::System},        // BLACK_BRUSH
    {Kind::Brush, CLR_INVALID, FontId::System},         // NULL_BRUSH
    {Kind::Pen, RGB(255, 255, 255), FontId::System},    // WHITE_PEN
    {Kind::Pen, RGB(0, 0, 0), FontId::System},          // BLACK_PEN
    {Kind::Pen, CLR_INVALID, FontId::System},           // NULL_PEN
    {Kind::None, 0, FontId::System},                    // (no object 9)
    {Kind::None, 0, FontId::System},                    // OEM_FIXED_FONT
    {Kind::None, 0, FontId::System},                    // ANSI_FIXED_FONT
    {Kind::Font, 0, FontId::MsSansSerif8},              // ANSI_VAR_FONT
    {Kind::Font, 0, FontId::System},                    // SYSTEM_FONT
    {Kind::Font, 0, FontId::System},                    // DEVICE_DEFAULT_FONT
    {Kind::None, 0, FontId::System},                    // DEFAULT_PALETTE
    {Kind::None, 0, FontId::System},                    // SYSTEM_FIXED_FONT
    {Kind::Font, 0, FontId::MsSansSerif8},              // DEFAULT_GUI_FONT
};
const int kStockCount = (int)(sizeof g_stock / sizeof g_stock[0]);

// The font dialogs create from their template's FONT statement.
GdiObject g_dialogFont = {Kind::Font, 0, FontId::MsSansSerif8};

const GdiObject *ObjectOf(const void *handle) {
    if (handle == &g_dialogFont) return &g_dialogFont;
    for (const GdiObject &o : g_stock)
        if (handle == &o) return o.kind == Kind::None ? nullptr : &o;
    return nullptr;
}

struct DcRecord {
    HDC__ handle;
    bool taken;
    DcState state;
};

std::mutex g_mutex;
std::deque<DcRecord> g_dcs;  // records stay where they are; released ones are reused

DcRecord *RecordOf(HDC dc) {
    for (DcRecord &r : g_dcs)
        if (&r.handle == dc && r.taken) return &r;
    return nullptr;
}

}  // namespace

bool BrushColor(HBRUSH brush, COLORREF &colour) {
    const GdiObject *o = ObjectOf(brush);
    if (!o || o->kind != Kind::Brush || o->colour == CLR_INVALID) return false;
    colour = o->colour;
    return true;
}

bool PenColor(HPEN pen, COLORREF &colour) {
    const GdiObject *o = ObjectOf(pen);
    if (!o || o->kind != Kind::Pen || o->colour == CLR_INVALID) return false;
    colour = o->colour;
    return true;
}

bool FontOf(HFONT handle, FontId &font) {
    const GdiObject *o = ObjectOf(handle);
    if (!o || o->kind != Kind::Font) return false;
    font = o->font;
    return true;
}

HFONT DialogFont() { return (HFONT)&g_dialogFont; }

bool GetDcState(HDC dc, DcState &state) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(dc);
    if (!r) return false;
    state = r->state;
    return true;
}

void ReleaseAllDCs() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (DcRecord &r : g_dcs) r.taken = false;
}

int LiveDCs() {
    std::lock_guard<std::mutex> lock(g_mutex);
    int n = 0;
    for (const DcRecord &r : g_dcs) n += r.taken ? 1 : 0;
    return n;
}

}  // namespace gdi
}  // namespace qk

using namespace qk::gdi;

HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || i >= kStockCount || g_stock[i].kind == Kind::None) return NULL;
    return &g_stock[i];
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    const GdiObject *o = ObjectOf(h);
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(hdc);
    if (!r || !o) return NULL;
    DcState &s = r->state;
    HGDIOBJ previous = NULL;
    switch (o->kind) {
        case Kind::Font:
            previous = s.fontHandle;
            s.fontHandle = (HFONT)h;
            s.font = o->font;
            break;
        case Kind::Brush:
            previous = s.brush;
            s.brush = (HBRUSH)h;
            break;
        case Kind::Pen:
            previous = s.pen;
            s.pen = (HPEN)h;
            break;
        case Kind::None:
            break;
    }
    return previous;
}

HDC WINAPI GetDC(HWND hWnd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = nullptr;
    for (DcRecord &free : g_dcs)
        if (!free.taken) {
            r = &free;
            break;
        }
    if (!r) {
        g_dcs.push_back(DcRecord{});
        r = &g_dcs.back();
    }
    r->taken = true;
    r->state.window = hWnd;
    r->state.font = FontId::System;
    r->state.fontHandle = (HFONT)&g_stock[SYSTEM_FONT];
    r->state.brush = (HBRUSH)&g_stock[WHITE_BRUSH];
    r->state.pen = (HPEN)&g_stock[BLACK_PEN];
    return &r->handle;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    (void)hWnd;
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(hDC);
    if (!r) return 0;
    r->taken = false;
    return 1;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    DcState state;
    if (!psizl || c < 0 || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!GetDcState(hdc, state)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *psizl = MeasureText(state.font, lpString, c);
    return TRUE;
}
