// Device contexts, stock and created objects, and the brushes of the system colours. A DC
// is a small record of what is selected into it and where it draws (draw.cpp does the
// drawing); user32's GetDC and ReleaseDC take and give back the records.
#include <string.h>

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
    int penStyle;
    int penWidth;
    bool live;  // created objects: not yet deleted
};

// Indexed by the stock object number.
GdiObject g_stock[] = {
    {Kind::Brush, RGB(255, 255, 255), FontId::System, 0, 1, true},  // WHITE_BRUSH
    {Kind::Brush, RGB(192, 192, 192), FontId::System, 0, 1, true},  // LTGRAY_BRUSH
    {Kind::Brush, RGB(128, 128, 128), FontId::System, 0, 1, true},  // GRAY_BRUSH
    {Kind::Brush, RGB(64, 64, 64), FontId::System, 0, 1, true},     // DKGRAY_BRUSH
    {Kind::Brush, RGB(0, 0, 0), FontId::System, 0, 1, true},        // BLACK_BRUSH
    {Kind::Brush, CLR_INVALID, FontId::System, 0, 1, true},         // NULL_BRUSH
    {Kind::Pen, RGB(255, 255, 255), FontId::System, 0, 1, true},    // WHITE_PEN
    {Kind::Pen, RGB(0, 0, 0), FontId::System, 0, 1, true},          // BLACK_PEN
    {Kind::Pen, CLR_INVALID, FontId::System, 5, 1, true},           // NULL_PEN
    {Kind::None, 0, FontId::System, 0, 1, true},                    // (no object 9)
    {Kind::None, 0, FontId::System, 0, 1, true},                    // OEM_FIXED_FONT
    {Kind::None, 0, FontId::System, 0, 1, true},                    // ANSI_FIXED_FONT
    {Kind::Font, 0, FontId::MsSansSerif8, 0, 1, true},              // ANSI_VAR_FONT
    {Kind::Font, 0, FontId::System, 0, 1, true},                    // SYSTEM_FONT
    {Kind::Font, 0, FontId::System, 0, 1, true},                    // DEVICE_DEFAULT_FONT
    {Kind::None, 0, FontId::System, 0, 1, true},                    // DEFAULT_PALETTE
    {Kind::None, 0, FontId::System, 0, 1, true},                    // SYSTEM_FIXED_FONT
    {Kind::Font, 0, FontId::MsSansSerif8, 0, 1, true},              // DEFAULT_GUI_FONT
};
const int kStockCount = (int)(sizeof g_stock / sizeof g_stock[0]);

// The font dialogs create from their template's FONT statement.
GdiObject g_dialogFont = {Kind::Font, 0, FontId::MsSansSerif8, 0, 1, true};

// The brushes of the system colours, coloured by user32 (SetSystemBrushColours).
GdiObject g_sysBrushes[kSystemBrushCount];

// Brushes and pens the program made; records stay where they are, deleted ones are
// reused.
std::deque<GdiObject> g_created;

const GdiObject *ObjectOf(const void *handle) {
    if (!handle) return nullptr;
    uintptr_t value = (uintptr_t)handle;
    if (value >= 1 && value <= (uintptr_t)kSystemBrushCount) return &g_sysBrushes[value - 1];
    if (handle == &g_dialogFont) return &g_dialogFont;
    for (const GdiObject &o : g_stock)
        if (handle == &o) return o.kind == Kind::None ? nullptr : &o;
    for (const GdiObject &o : g_sysBrushes)
        if (handle == &o) return &o;
    for (const GdiObject &o : g_created)
        if (handle == &o) return o.live ? &o : nullptr;
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

bool PenShape(HPEN pen, int &style, int &width) {
    const GdiObject *o = ObjectOf(pen);
    if (!o || o->kind != Kind::Pen) return false;
    style = o->penStyle;
    width = o->penWidth < 1 ? 1 : o->penWidth;
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

void SetSystemBrushColours(const COLORREF (&colours)[kSystemBrushCount]) {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (int i = 0; i < kSystemBrushCount; i++) g_sysBrushes[i] = {Kind::Brush, colours[i], FontId::System, 0, 1, true};
}

HBRUSH SystemBrush(int index) {
    if (index < 0 || index >= kSystemBrushCount) return NULL;
    return (HBRUSH)&g_sysBrushes[index];
}

bool GetDcState(HDC dc, DcState &state) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(dc);
    if (!r) return false;
    state = r->state;
    return true;
}

bool SetDcTarget(HDC dc, const SurfaceTarget &target) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(dc);
    if (!r) return false;
    r->state.target = target;
    return true;
}

std::mutex &DcTableMutex() { return g_mutex; }

DcState *LockedDcState(HDC dc) {
    DcRecord *r = RecordOf(dc);
    return r ? &r->state : nullptr;
}

HDC OpenDc(HWND window, const SurfaceTarget &target) {
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
    r->state.window = window;
    r->state.font = FontId::System;
    r->state.fontHandle = (HFONT)&g_stock[SYSTEM_FONT];
    r->state.brush = (HBRUSH)&g_stock[WHITE_BRUSH];
    r->state.pen = (HPEN)&g_stock[BLACK_PEN];
    r->state.target = target;
    r->state.textColour = RGB(0, 0, 0);
    r->state.bkColour = RGB(255, 255, 255);
    r->state.bkMode = OPAQUE;
    r->state.position = {0, 0};
    return &r->handle;
}

bool CloseDc(HDC dc) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(dc);
    if (!r) return false;
    r->taken = false;
    return true;
}

void FontMetrics(FontId font, LONG &internalLeading, LONG &weight) {
    // System: 16 pixels with 3 of leading, bold; MS Sans Serif 8: 13 with 2, regular.
    internalLeading = font == FontId::System ? 3 : 2;
    weight = font == FontId::System ? 700 : 400;
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
    // No characters measure nothing, not even a line's height.
    if (c == 0) *psizl = SIZE{0, 0};
    else *psizl = MeasureText(state.font, lpString, c);
    return TRUE;
}

namespace {

GdiObject *NewObject() {
    for (GdiObject &o : g_created)
        if (!o.live) return &o;
    g_created.push_back(GdiObject{});
    return &g_created.back();
}

}  // namespace

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    std::lock_guard<std::mutex> lock(g_mutex);
    GdiObject *o = NewObject();
    *o = {Kind::Brush, color & 0xFFFFFF, FontId::System, 0, 1, true};
    return (HBRUSH)o;
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) return NULL;
    std::lock_guard<std::mutex> lock(g_mutex);
    GdiObject *o = NewObject();
    // Only a solid pen keeps a width; the styled ones are one pixel wide.
    int width = (iStyle == PS_SOLID || iStyle == PS_INSIDEFRAME) && cWidth > 1 ? cWidth : 1;
    *o = {Kind::Pen, iStyle == PS_NULL ? CLR_INVALID : (color & 0xFFFFFF), FontId::System, iStyle, width, true};
    return (HPEN)o;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (GdiObject &o : g_created)
        if (ho == &o) {
            if (!o.live) return FALSE;
            o.live = false;
            return TRUE;
        }
    // Stock objects and system brushes stay; deleting them is allowed and does nothing.
    return ObjectOf(ho) != nullptr;
}

namespace {

template <typename T, typename F>
T WithDc(HDC hdc, T failed, F f) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DcRecord *r = RecordOf(hdc);
    if (!r) return failed;
    return f(r->state);
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    return WithDc(hdc, (COLORREF)CLR_INVALID, [&](DcState &s) {
        COLORREF old = s.textColour;
        s.textColour = color & 0xFFFFFF;
        return old;
    });
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    return WithDc(hdc, (COLORREF)CLR_INVALID, [](DcState &s) { return s.textColour; });
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    return WithDc(hdc, (COLORREF)CLR_INVALID, [&](DcState &s) {
        COLORREF old = s.bkColour;
        s.bkColour = color & 0xFFFFFF;
        return old;
    });
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    return WithDc(hdc, (COLORREF)CLR_INVALID, [](DcState &s) { return s.bkColour; });
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    return WithDc(hdc, 0, [&](DcState &s) {
        int old = s.bkMode;
        s.bkMode = mode;
        return old;
    });
}

int WINAPI GetBkMode(HDC hdc) {
    return WithDc(hdc, 0, [](DcState &s) { return s.bkMode; });
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return WithDc(hdc, FALSE, [&](DcState &s) {
        if (lppt) *lppt = s.position;
        s.position = {x, y};
        return TRUE;
    });
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
    if (!tm) return FALSE;
    DcState state;
    if (!GetDcState(hdc, state)) return FALSE;
    memset(tm, 0, sizeof *tm);
    FontId f = state.font;
    tm->tmHeight = FontHeight(f);
    tm->tmAscent = FontAscent(f);
    tm->tmDescent = tm->tmHeight - tm->tmAscent;
    FontMetrics(f, tm->tmInternalLeading, tm->tmWeight);
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = FontAverageWidth(f);
    LONG widest = 0;
    for (int ch = 32; ch < 256; ch++) {
        char c = (char)ch;
        LONG w = MeasureText(f, &c, 1).cx;
        if (w > widest) widest = w;
    }
    tm->tmMaxCharWidth = widest;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 32;
    tm->tmLastChar = 255;
    tm->tmDefaultChar = 128;
    tm->tmBreakChar = 32;
    tm->tmPitchAndFamily = 0x20 | 0x01;  // FF_SWISS, variable pitch
    tm->tmCharSet = 0;                   // ANSI_CHARSET
    return TRUE;
}
