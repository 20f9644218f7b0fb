// Painting: GDI into surfaces, the classic frame and caption, the program's window as it
// looks, hit-testing, the system menu and message boxes as windows.
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/gdi32/objects.h"
#include "platform/user32/msgbox.h"
#include "platform/user32/paint.h"
#include "platform/user32/resources.h"
#include "platform/user32/wnd.h"
#include "platform/win32.h"
#include "tests/program.h"
#include "tests/support.h"
#include "window/window.h"

namespace {

namespace hl = qk::headless;
using qk::paint::Surface;

const uint32_t kFace = 0xFFC0C0C0, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey = 0xFF808080,
               kNavy = 0xFF000080;

uint32_t Px(const Surface &s, int x, int y) {
    if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0x12345678;
    return s.pixels[(size_t)y * s.width + x];
}

int Count(const Surface &s, RECT r, uint32_t colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) n += Px(s, x, y) == colour;
    return n;
}

// Writes a surface as a PNG into $QK_PAINT_DUMP when that is set (for looking at).
void Dump(const Surface &s, const char *name) {
    const char *dir = getenv("QK_PAINT_DUMP");
    if (!dir || !*dir) return;
    auto crc = [](const std::string &d) {
        uint32_t c = 0xFFFFFFFF;
        for (unsigned char b : d) {
            c ^= b;
            for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return ~c;
    };
    auto be32 = [](uint32_t v) {
        std::string o(4, 0);
        for (int i = 0; i < 4; i++) o[i] = (char)(v >> (24 - 8 * i));
        return o;
    };
    auto chunk = [&](const char *type, const std::string &data) {
        std::string body = std::string(type) + data;
        return be32((uint32_t)data.size()) + body + be32(crc(body));
    };
    std::string raw;
    for (int y = 0; y < s.height; y++) {
        raw += '\0';
        for (int x = 0; x < s.width; x++) {
            uint32_t p = Px(s, x, y);
            raw += (char)(p >> 16);
            raw += (char)(p >> 8);
            raw += (char)p;
        }
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z += (char)(at + n >= raw.size() ? 1 : 0);
        z += (char)(n & 0xFF);
        z += (char)(n >> 8);
        z += (char)(~n & 0xFF);
        z += (char)((~n >> 8) & 0xFF);
        z += raw.substr(at, n);
        if (raw.empty()) break;
    }
    z += be32((b << 16) | a);
    std::string ihdr = be32((uint32_t)s.width) + be32((uint32_t)s.height) + std::string("\x08\x02\x00\x00\x00", 5);
    std::ofstream out(std::string(dir) + "/" + name + ".png", std::ios::binary);
    out << std::string("\x89PNG\r\n\x1a\n", 8) << chunk("IHDR", ihdr) << chunk("IDAT", z) << chunk("IEND", "");
}

// A DC drawing into a surface with its origin and clip.
HDC SurfaceDc(Surface &s, POINT origin, RECT clip) {
    HDC dc = GetDC(NULL);
    qk::gdi::SurfaceTarget t;
    t.surface = &s;
    t.origin = origin;
    t.clip = clip;
    qk::gdi::SetDcTarget(dc, t);
    return dc;
}

Surface Blank(int w, int h, uint32_t colour = 0) {
    Surface s;
    s.width = w;
    s.height = h;
    s.pixels.assign((size_t)w * h, colour);
    return s;
}

// The ink of a colour in a part of a surface: its bounding box (empty when none).
RECT InkBox(const Surface &s, RECT r, uint32_t colour) {
    RECT box = {r.right, r.bottom, r.left, r.top};
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++)
            if (Px(s, x, y) == colour) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x + 1 > box.right) box.right = x + 1;
                if (y + 1 > box.bottom) box.bottom = y + 1;
            }
    return box;
}

class Paint : public ProgramTest {
protected:
    static Surface Render(HWND h) {
        Surface s;
        qk::paint::RenderTopLevel(h, s);
        return s;
    }
    // The client area's origin in a top-level window's surface.
    static POINT ClientAt(HWND h) {
        RECT w;
        GetWindowRect(h, &w);
        POINT o = qk::wnd::ClientOrigin(qk::wnd::FromHandle(h));
        return {o.x - w.left, o.y - w.top};
    }
    // A child's rectangle in its top-level window's surface.
    static RECT InSurface(HWND top, HWND child) {
        RECT r;
        GetWindowRect(child, &r);
        RECT w;
        GetWindowRect(top, &w);
        return {r.left - w.left, r.top - w.top, r.right - w.left, r.bottom - w.top};
    }
};

// ---- GDI ----

TEST_F(Paint, SystemColoursAreTheClassicOnes) {
    struct {
        int index;
        COLORREF colour;
    } colours[] = {
        {COLOR_BTNFACE, RGB(192, 192, 192)},        {COLOR_BTNSHADOW, RGB(128, 128, 128)},
        {COLOR_BTNHIGHLIGHT, RGB(255, 255, 255)},   {COLOR_3DDKSHADOW, RGB(0, 0, 0)},
        {COLOR_WINDOW, RGB(255, 255, 255)},         {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
        {COLOR_HIGHLIGHT, RGB(0, 0, 128)},          {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
        {COLOR_ACTIVECAPTION, RGB(0, 0, 128)},      {COLOR_INACTIVECAPTION, RGB(128, 128, 128)},
        {COLOR_CAPTIONTEXT, RGB(255, 255, 255)},    {COLOR_INACTIVECAPTIONTEXT, RGB(192, 192, 192)},
        {COLOR_GRAYTEXT, RGB(128, 128, 128)},       {COLOR_BTNTEXT, RGB(0, 0, 0)},
        {COLOR_MENU, RGB(192, 192, 192)},           {COLOR_MENUTEXT, RGB(0, 0, 0)},
        {COLOR_BACKGROUND, RGB(0, 128, 128)},
    };
    for (auto &c : colours) {
        EXPECT_EQ(GetSysColor(c.index), c.colour) << c.index;
        COLORREF b = 1;
        EXPECT_TRUE(qk::gdi::BrushColor(GetSysColorBrush(c.index), b));
        EXPECT_EQ(b, c.colour);
        EXPECT_TRUE(qk::gdi::BrushColor((HBRUSH)(INT_PTR)(c.index + 1), b));  // a class background
        EXPECT_EQ(b, c.colour);
    }
    EXPECT_EQ(GetSysColorBrush(-1), nullptr);
    EXPECT_EQ(GetSysColorBrush(200), nullptr);
    EXPECT_TRUE(DeleteObject(GetSysColorBrush(COLOR_BTNFACE)));  // stays
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
}

TEST_F(Paint, RectanglesEdgesAndPixelsLandInTheClip) {
    Surface s = Blank(40, 30);
    HDC dc = SurfaceDc(s, {5, 5}, {5, 5, 35, 25});
    RECT all = {-10, -10, 100, 100};
    EXPECT_TRUE(FillRect(dc, &all, (HBRUSH)(COLOR_BTNFACE + 1)));
    EXPECT_EQ(Px(s, 5, 5), kFace);
    EXPECT_EQ(Px(s, 34, 24), kFace);
    EXPECT_EQ(Px(s, 4, 5), 0u);  // outside the clip: untouched
    EXPECT_EQ(Px(s, 35, 24), 0u);
    EXPECT_EQ(Px(s, 20, 25), 0u);

    RECT r = {0, 0, 10, 10};
    EXPECT_TRUE(DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST));
    EXPECT_EQ(Px(s, 5, 5), kFace);    // outer top left: 3D light
    EXPECT_EQ(Px(s, 6, 6), kWhite);   // inner top left: highlight
    EXPECT_EQ(Px(s, 14, 14), kBlack); // outer bottom right: dark shadow
    EXPECT_EQ(Px(s, 13, 13), kGrey);  // inner bottom right: shadow
    EXPECT_EQ(Px(s, 14, 5), kBlack);  // the far corners belong to the bottom right
    EXPECT_EQ(Px(s, 5, 14), kBlack);
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.bottom, 8);
    r = {10, 0, 20, 10};
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
    EXPECT_EQ(Px(s, 15, 5), kGrey);
    EXPECT_EQ(Px(s, 16, 6), kBlack);
    EXPECT_EQ(Px(s, 24, 14), kWhite);
    EXPECT_EQ(Px(s, 23, 13), kFace);
    r = {0, 12, 10, 20};
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    EXPECT_EQ(Px(s, 5, 17), kWhite);  // soft: the highlight outside
    EXPECT_EQ(Px(s, 6, 18), kFace);

    // Pixels, frames, created brushes and pens.
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(255, 0, 0)), RGB(255, 0, 0));
    EXPECT_EQ(Px(s, 6, 6), 0xFFFF0000u);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(SetPixel(dc, -1, 0, 0), CLR_INVALID);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT f = {12, 12, 18, 18};
    EXPECT_TRUE(FrameRect(dc, &f, green));
    EXPECT_EQ(Px(s, 17, 17), 0xFF00FF00u);
    EXPECT_EQ(Px(s, 22, 22), 0xFF00FF00u);
    EXPECT_EQ(Px(s, 19, 19), kFace);  // inside the frame
    EXPECT_TRUE(DeleteObject(green));
    EXPECT_FALSE(DeleteObject(green));
    EXPECT_EQ(FillRect(dc, &f, green), 0);  // deleted

    HPEN blue = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    SelectObject(dc, blue);
    MoveToEx(dc, 20, 2, NULL);
    LineTo(dc, 25, 2);
    EXPECT_EQ(Px(s, 25, 7), 0xFF0000FFu);
    EXPECT_EQ(Px(s, 29, 7), 0xFF0000FFu);
    EXPECT_EQ(Px(s, 30, 7), kFace);  // the last point is left out
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, 20, 10, 25, 15);
    EXPECT_EQ(Px(s, 25, 15), kBlack);
    EXPECT_EQ(Px(s, 29, 19), kBlack);
    EXPECT_EQ(Px(s, 27, 17), kWhite);
    DeleteObject(blue);

    // A focus rectangle drawn twice is gone.
    Surface before = s;
    RECT fr = {2, 2, 28, 18};
    DrawFocusRect(dc, &fr);
    EXPECT_NE(s.pixels, before.pixels);
    DrawFocusRect(dc, &fr);
    EXPECT_EQ(s.pixels, before.pixels);
    InvertRect(dc, &fr);
    EXPECT_EQ(Px(s, 10, 10), 0xFF3F3F3Fu);
    ReleaseDC(NULL, dc);

    // A DC pointing nowhere takes every call.
    HDC nowhere = GetDC(NULL);
    EXPECT_TRUE(FillRect(nowhere, &all, GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(GetPixel(nowhere, 0, 0), CLR_INVALID);
    ReleaseDC(NULL, nowhere);
}

TEST_F(Paint, TextIsDrawnAsItIsMeasured) {
    Surface s = Blank(200, 80, kWhite);
    HDC dc = SurfaceDc(s, {0, 0}, {0, 0, 200, 80});
    EXPECT_EQ(SetTextColor(dc, RGB(0, 0, 0)), RGB(0, 0, 0));
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_TRUE(TextOutA(dc, 10, 10, "F1", 2));
    RECT ink = InkBox(s, {0, 0, 200, 80}, kBlack);
    // The System font's 16-pixel strike: "F" "1" "a" "b" "d" "e" "s" 8, "c" 7, "Y" 10,
    // "&" 9, a blank 4; 16 pixels high.
    const SIZE size = {16, 16};  // "F1"
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + size.cx);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.bottom, 10 + size.cy);
    EXPECT_GT(ink.right - ink.left, size.cx / 2);

    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmAscent, 13);
    EXPECT_EQ(tm.tmDescent, 3);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    SelectObject(dc, qk::gdi::DialogFont());
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent, 11);
    EXPECT_EQ(tm.tmDescent, 2);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));

    // DT_CALCRECT: the widest line, one font height per line.
    const SIZE ab = {16, 16}, cde = {23, 16};
    RECT r = {5, 5, 5, 5};
    EXPECT_EQ(DrawTextA(dc, "ab\ncde", -1, &r, DT_CALCRECT), 32);
    EXPECT_EQ(r.right - r.left, cde.cx);
    EXPECT_EQ(r.bottom - r.top, 32);
    r = {0, 0, 0, 0};
    DrawTextA(dc, "ab\r\ncde\n", -1, &r, DT_CALCRECT);
    EXPECT_EQ(r.bottom, 48);  // the text ends in a line break: an empty last line
    // Word breaks fall between words; a word too long stands alone.
    const SIZE ab_cde = {43, 16};
    r = {0, 0, ab_cde.cx - 1, 0};
    DrawTextA(dc, "ab cde", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(r.bottom, 32);
    EXPECT_EQ(r.right, cde.cx);
    r = {0, 0, ab_cde.cx, 0};
    DrawTextA(dc, "ab cde", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(r.bottom, 16);
    r = {0, 0, 1, 0};
    DrawTextA(dc, "ab cde", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(r.bottom, 32);
    // Prefixes: '&' takes no room unless DT_NOPREFIX; "&&" is one '&'.
    const SIZE yes = {26, 16}, amp = {9, 16};
    r = {0, 0, 0, 0};
    DrawTextA(dc, "&Yes", -1, &r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.right, yes.cx);
    r = {0, 0, 0, 0};
    DrawTextA(dc, "&Yes", -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(r.right, yes.cx + amp.cx);
    r = {0, 0, 0, 0};
    DrawTextA(dc, "a&&b", -1, &r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.right, 25);  // "a&b"

    // An ending cut off with "..." where the line is too long.
    r = {0, 0, 40, 0};
    DrawTextA(dc, "abcdefghijklmnop", -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(r.right, 40);
    EXPECT_GT(r.right, 20);

    // Centred, vertically centred single line, clipped to its rectangle.
    s = Blank(200, 80, kWhite);
    RECT box = {0, 0, 200, 80};
    EXPECT_EQ(DrawTextA(dc, "cde", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 32 + 16);
    ink = InkBox(s, {0, 0, 200, 80}, kBlack);
    EXPECT_GE(ink.left, (200 - cde.cx) / 2);
    EXPECT_LE(ink.right, (200 - cde.cx) / 2 + cde.cx);
    EXPECT_GE(ink.top, 32);
    EXPECT_LE(ink.bottom, 48);
    s = Blank(200, 80, kWhite);
    RECT small = {0, 0, 6, 80};
    DrawTextA(dc, "cde", -1, &small, DT_LEFT);
    EXPECT_LE(InkBox(s, {0, 0, 200, 80}, kBlack).right, 6);
    // OPAQUE fills the text's box with the background colour.
    s = Blank(200, 80, kWhite);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 128));
    TextOutA(dc, 0, 0, "ab", 2);
    EXPECT_EQ(Count(s, {0, 0, ab.cx, 16}, kNavy) + Count(s, {0, 0, ab.cx, 16}, kBlack), ab.cx * 16);
    EXPECT_EQ(Px(s, ab.cx, 0), kWhite);
    ReleaseDC(NULL, dc);
}

TEST_F(Paint, IconsScaleBothWays) {
    HICON big = LoadIconA(NULL, IDI_HAND), small = LoadIconA(instance, "ICON_2");
    const qk::res::IconImage *bigImg = qk::res::IconPixels(big), *smallImg = qk::res::IconPixels(small);
    ASSERT_NE(bigImg, nullptr);
    ASSERT_NE(smallImg, nullptr);
    ASSERT_EQ(bigImg->width, 32);
    Surface s = Blank(100, 100, kFace);
    HDC dc = SurfaceDc(s, {0, 0}, {0, 0, 100, 100});
    ASSERT_TRUE(DrawIconEx(dc, 0, 0, big, 16, 16, 0, NULL, DI_NORMAL));
    ASSERT_TRUE(DrawIcon(dc, 40, 0, big));
    ASSERT_TRUE(DrawIconEx(dc, 0, 40, small, 32, 32, 0, NULL, DI_NORMAL));
    auto expect = [&](const qk::res::IconImage *img, int sx, int sy, uint32_t got) {
        uint32_t p = img->pixels[(size_t)sy * img->width + sx];
        return (p >> 24) == 0 ? got == kFace : got == (p | 0xFF000000);
    };
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) EXPECT_TRUE(expect(bigImg, 2 * x, 2 * y, Px(s, x, y))) << x << "," << y;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) EXPECT_TRUE(expect(bigImg, x, y, Px(s, 40 + x, y)));
    int f = smallImg->width == 16 ? 2 : 1;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            EXPECT_TRUE(expect(smallImg, x * smallImg->width / 32, y * smallImg->height / 32, Px(s, x, 40 + y)));
    (void)f;
    EXPECT_FALSE(DrawIcon(dc, 0, 0, NULL));
    ReleaseDC(NULL, dc);
}

// ---- the main window ----

TEST_F(Paint, FrameAndCaptionActiveAndInactive) {
    Run({[&] {
        HWND main = Main();
        Surface s = Render(main);
        Dump(s, "main_active");
        RECT wr;
        GetWindowRect(main, &wr);
        ASSERT_EQ(s.width, wr.right - wr.left);
        ASSERT_EQ(s.height, wr.bottom - wr.top);
        int w = s.width, h = s.height;
        // A sizing border: two lines of 3D edge and two of button face.
        EXPECT_EQ(Px(s, 0, 0), kFace);
        EXPECT_EQ(Px(s, 1, 1), kWhite);
        EXPECT_EQ(Px(s, 2, 2), kFace);
        EXPECT_EQ(Px(s, 3, h / 2), kFace);
        EXPECT_EQ(Px(s, w - 1, h - 1), kBlack);
        EXPECT_EQ(Px(s, w - 2, h - 2), kGrey);
        EXPECT_EQ(Px(s, w - 1, 0), kBlack);
        EXPECT_EQ(Px(s, w - 3, h / 2), kFace);
        // The caption: dark blue, 18 rows from y = 4, then a line of button face.
        EXPECT_EQ(Px(s, w / 2, 4), kNavy);
        EXPECT_EQ(Px(s, w / 2, 21), kNavy);
        EXPECT_EQ(Px(s, w / 2, 22), kFace);
        RECT title = {26, 5, 200, 21};
        EXPECT_GT(Count(s, title, kWhite), 20);  // "QK Sonnerix"
        RECT icon = {6, 5, 22, 21};
        EXPECT_LT(Count(s, icon, kNavy), 16 * 16);
        // The client area starts below: black background under the buttons' grid.
        POINT c = ClientAt(main);
        EXPECT_EQ(c.x, 4);
        EXPECT_EQ(c.y, 23);

        SetActiveWindow(NULL);
        s = Render(main);
        Dump(s, "main_inactive");
        EXPECT_EQ(Px(s, w / 2, 4), kGrey);
        EXPECT_EQ(Count(s, title, kWhite), 0);
        EXPECT_GT(Count(s, title, kFace), 20);  // the title in light grey
        SetActiveWindow(main);
        EXPECT_EQ(Px(Render(main), w / 2, 4), kNavy);
    }});
}

struct Boxes {
    RECT close, max, min;
};
Boxes BoxesOf(int width, int frame) {
    int x = width - frame - 2 - 16;
    Boxes b;
    b.close = {x, frame + 2, x + 16, frame + 16};
    x -= 18;
    b.max = {x, frame + 2, x + 16, frame + 16};
    x -= 16;
    b.min = {x, frame + 2, x + 16, frame + 16};
    return b;
}
RECT Glyph(RECT box) { return {box.left + 2, box.top + 2, box.right - 2, box.bottom - 2}; }

TEST_F(Paint, CaptionButtonsFollowTheStyle) {
    Run({[&] {
        HWND main = Main();
        Surface s = Render(main);
        Boxes b = BoxesOf(s.width, 4);
        for (RECT box : {b.close, b.max, b.min}) {
            EXPECT_EQ(Px(s, box.left, box.top), kWhite);
            EXPECT_EQ(Px(s, box.right - 1, box.bottom - 1), kBlack);
            EXPECT_EQ(Px(s, box.right - 2, box.bottom - 2), kGrey);
            EXPECT_GT(Count(s, Glyph(box), kBlack), 6);
            EXPECT_EQ(Count(s, Glyph(box), kGrey), 0);
        }
        // Close stands apart: two pixels of caption between it and maximise.
        EXPECT_EQ(Px(s, b.close.left - 1, 10), kNavy);
        EXPECT_EQ(Px(s, b.close.left - 2, 10), kNavy);
        EXPECT_EQ(Px(s, b.min.left - 1, 10), kNavy);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMAXBUTTON), (UINT)SC_MAXIMIZE);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMINBUTTON), (UINT)SC_MINIMIZE);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTCLOSE), (UINT)SC_CLOSE);
        // Held down: pushed in.
        qk::paint::PressCaptionButton(main, HTCLOSE);
        Surface pushed = Render(main);
        EXPECT_NE(Px(pushed, b.close.left, b.close.top), kWhite);
        qk::paint::PressCaptionButton(main, HTNOWHERE);
        EXPECT_EQ(Px(Render(main), b.close.left, b.close.top), kWhite);
        // Maximised: the restore glyph.
        ShowWindow(main, SW_MAXIMIZE);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMAXBUTTON), (UINT)SC_RESTORE);
        Surface maxed = Render(main);
        Boxes mb = BoxesOf(maxed.width, 4);
        RECT maxGlyph = Glyph(b.max), restoreGlyph = Glyph(mb.max);
        EXPECT_NE(Count(maxed, restoreGlyph, kBlack), Count(s, maxGlyph, kBlack));
        ShowWindow(main, SW_RESTORE);
    }});

    // The locked frame: no sizing border, maximise greyed (as the platform shows a
    // missing box next to one that is there).
    ResetProgram();
    SetIni("[QK_Pex]\nLock=1\n");
    Run({[&] {
        HWND main = Main();
        Surface s = Render(main);
        Dump(s, "main_locked");
        EXPECT_EQ(Px(s, 2, 30), kFace);  // fixed frame: 3 pixels
        EXPECT_EQ(Px(s, 3, 3), kNavy);   // the caption begins inside them
        Boxes b = BoxesOf(s.width, 3);
        EXPECT_EQ(Px(s, b.max.left, b.max.top), kWhite);
        EXPECT_EQ(Count(s, Glyph(b.max), kBlack), 0);
        EXPECT_GT(Count(s, Glyph(b.max), kGrey), 6);
        EXPECT_GT(Count(s, Glyph(b.max), kWhite), 6);
        EXPECT_GT(Count(s, Glyph(b.min), kBlack), 6);
        EXPECT_GT(Count(s, Glyph(b.close), kBlack), 6);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMAXBUTTON), 0u);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMINBUTTON), (UINT)SC_MINIMIZE);
    }});
}

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST_F(Paint, WindowsWithoutMinimiseOrMaximiseShowCloseAlone) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PlainProc;
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = "PaintPlain";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND dlg = CreateWindowExA(0, "PaintPlain", "Plain", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 10, 10,
                               200, 100, NULL, NULL, instance, NULL);
    ASSERT_NE(dlg, nullptr);
    Surface s = Render(dlg);
    Boxes b = BoxesOf(200, 3);
    EXPECT_GT(Count(s, Glyph(b.close), kBlack), 6);
    EXPECT_EQ(Count(s, b.max, kNavy), 16 * 14);
    EXPECT_EQ(Count(s, b.min, kNavy), 16 * 14);
    EXPECT_EQ(qk::paint::HitTest(dlg, b.max.left + 8, b.max.top + 7), HTCAPTION);
    // The class background (COLOR_WINDOW + 1) fills the client area.
    EXPECT_EQ(Px(s, 100, 60), kWhite);
    // Without WS_SYSMENU: no buttons, no icon.
    HWND bare = CreateWindowExA(0, "PaintPlain", "Bare", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 200, 100, NULL,
                                NULL, instance, NULL);
    s = Render(bare);
    EXPECT_EQ(Count(s, b.close, kNavy) + Count(s, b.close, kGrey), 16 * 14);
    EXPECT_EQ(qk::paint::HitTest(bare, 8, 10), HTCAPTION);
    DestroyWindow(bare);
    DestroyWindow(dlg);
}

TEST_F(Paint, TheGridOnBlack) {
    Run({[&] {
        HWND main = Main();
        SetClientSize(403, 322);
        Surface s = Render(main);
        Dump(s, "main_grid");
        POINT c = ClientAt(main);
        // Three columns of background remain right of the grid.
        for (int y = 0; y < 302; y++)
            for (int x = 400; x < 403; x++) ASSERT_EQ(Px(s, c.x + x, c.y + y), kBlack) << x << "," << y;
        // Twelve raised buttons in four columns and three rows.
        int xs[4] = {0, 100, 200, 300}, ys[3] = {0, 100, 201};
        for (int n = 0; n < 12; n++) {
            RECT r = InSurface(main, SlotButtons[n]);
            EXPECT_EQ(r.left, c.x + xs[n % 4]) << n;
            EXPECT_EQ(r.top, c.y + ys[n / 4]) << n;
            EXPECT_EQ(Px(s, r.left, r.top), kWhite) << n;
            EXPECT_EQ(Px(s, r.left + 1, r.top + 1), kFace) << n;
            EXPECT_EQ(Px(s, r.right - 1, r.bottom - 1), kBlack) << n;
            EXPECT_EQ(Px(s, r.right - 2, r.bottom - 2), kGrey) << n;
            EXPECT_EQ(Px(s, r.left + 10, r.top + 10), kFace) << n;
            EXPECT_EQ(Px(s, r.right - 10, r.bottom - 10), kFace) << n;
        }
        // The row of background under the last row of buttons.
        EXPECT_EQ(Px(s, c.x + 50, c.y + 301), kBlack);
    }});
}

TEST_F(Paint, ButtonCaptionsAreCentredAsMeasured) {
    Run({[&] {
        HWND main = Main();
        SetClientSize(400, 322);
        Surface s = Render(main);
        // "< empty >" in the System font's 16-pixel strike: 8 + 4 + 8 + 12 + 8 + 4 + 8 + 4 + 8.
        const SIZE label = {64, 16};
        for (int n = 0; n < 12; n++) {
            RECT r = InSurface(main, SlotButtons[n]);
            RECT inside = {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
            RECT ink = InkBox(s, inside, kBlack);
            ASSERT_LT(ink.left, ink.right) << n;
            int cx2 = r.left + r.right, cy2 = r.top + r.bottom;  // twice the centre
            EXPECT_LE(abs((ink.left + ink.right) - cx2), 3) << n;
            EXPECT_LE(abs((ink.top + ink.bottom) - cy2), 8) << n;
            // Two lines of the System font, the widest as wide as the label.
            EXPECT_LE(ink.right - ink.left, label.cx) << n;
            EXPECT_GE(ink.right - ink.left, label.cx - 8) << n;
            EXPECT_LE(ink.bottom - ink.top, 32) << n;
            EXPECT_GE(ink.bottom - ink.top, 20) << n;
            int lineLeft = r.left + 3 + ((r.right - r.left - 6) - label.cx) / 2;
            EXPECT_GE(ink.left, lineLeft) << n;
            EXPECT_LE(ink.right, lineLeft + label.cx) << n;
        }
        // A focused button shows the focus rectangle; pressed, the caption moves.
        SetFocus(SlotButtons[0]);
        Surface focused = Render(main);
        RECT r = InSurface(main, SlotButtons[0]);
        RECT edge = {r.left + 3, r.top + 3, r.right - 3, r.top + 4};
        EXPECT_GT(Count(focused, edge, 0xFF3F3F3F), 30);  // every other pixel inverted
        RECT before = InkBox(s, {r.left + 5, r.top + 5, r.right - 5, r.bottom - 5}, kBlack);
        SendMessageA(SlotButtons[0], BM_SETSTATE, TRUE, 0);
        Surface pressed = Render(main);
        Dump(pressed, "main_pressed");
        RECT after = InkBox(pressed, {r.left + 5, r.top + 5, r.right - 5, r.bottom - 5}, kBlack);
        EXPECT_EQ(after.left, before.left + 1);
        EXPECT_EQ(after.top, before.top + 1);
        EXPECT_EQ(Px(pressed, r.left, r.top), kBlack);
        EXPECT_EQ(Px(pressed, r.left + 1, r.top + 1), kGrey);
        SendMessageA(SlotButtons[0], BM_SETSTATE, FALSE, 0);
        SetFocus(main);
    }});
}

TEST_F(Paint, StatusBarPartsAreSunken) {
    Run({[&] {
        HWND main = Main();
        SetClientSize(400, 322);
        Surface s = Render(main);
        RECT bar = InSurface(main, StatusBar);
        ASSERT_EQ(bar.bottom - bar.top, 20);
        EXPECT_EQ(Px(s, bar.left + 50, bar.top), kFace);
        struct {
            int left, right;
        } parts[] = {{0, 198}, {200, 298}, {300, 400}};
        for (auto &p : parts) {
            EXPECT_EQ(Px(s, bar.left + p.left, bar.top + 2), kGrey) << p.left;
            EXPECT_EQ(Px(s, bar.left + p.left + 5, bar.top + 2), kGrey) << p.left;
            EXPECT_EQ(Px(s, bar.left + p.left, bar.bottom - 2), kGrey) << p.left;
            EXPECT_EQ(Px(s, bar.left + p.right - 1, bar.bottom - 1), kWhite) << p.left;
            EXPECT_EQ(Px(s, bar.left + p.right - 1, bar.top + 5), kWhite) << p.left;
            EXPECT_EQ(Px(s, bar.left + p.left + 1, bar.top + 3), kFace) << p.left;
        }
        EXPECT_EQ(Px(s, bar.left + 198, bar.top + 10), kFace);  // the gap between parts
        // "LOOP:OFF" and "SYNC:OFF", inset in their parts, in MS Sans Serif 8.
        for (int i = 1; i <= 2; i++) {
            RECT part = {bar.left + parts[i].left + 1, bar.top + 3, bar.left + parts[i].right - 1, bar.bottom - 1};
            RECT ink = InkBox(s, part, kBlack);
            ASSERT_LT(ink.left, ink.right) << i;
            EXPECT_GE(ink.left, part.left + 2);
            EXPECT_LE(ink.left, part.left + 5);
            // "LOOP:OFF" and "SYNC:OFF" in MS Sans Serif's 13-pixel strike: L 6, O 8, P 7,
            // S 7, Y 7, N 8, C 7, ":" 3, F 6; both 52 pixels.
            const SIZE t = {52, 13};
            EXPECT_LE(ink.right - ink.left, t.cx);
            EXPECT_LE(ink.bottom - ink.top, 13);
        }
        EXPECT_EQ(Count(s, {bar.left + 2, bar.top + 3, bar.left + 196, bar.bottom - 1}, kBlack), 0);  // part 0: empty
    }});
}

TEST_F(Paint, HitTestingTheFrame) {
    Run({[&] {
        HWND main = Main();
        RECT wr;
        GetWindowRect(main, &wr);
        int w = wr.right - wr.left, h = wr.bottom - wr.top;
        Boxes b = BoxesOf(w, 4);
        struct {
            int x, y, hit;
        } cases[] = {
            {w / 2, 10, HTCAPTION},
            {w / 2, 4, HTCAPTION},
            {b.close.left + 8, b.close.top + 7, HTCLOSE},
            {b.max.left + 8, b.max.top + 7, HTMAXBUTTON},
            {b.min.left + 8, b.min.top + 7, HTMINBUTTON},
            {b.close.left - 1, b.close.top + 7, HTCAPTION},
            {12, 12, HTSYSMENU},
            {0, h / 2, HTLEFT},
            {3, h / 2, HTLEFT},
            {w - 1, h / 2, HTRIGHT},
            {w / 2, 0, HTTOP},
            {w / 2, h - 1, HTBOTTOM},
            {0, 0, HTTOPLEFT},
            {10, 0, HTTOPLEFT},
            {0, 10, HTTOPLEFT},
            {w - 1, 0, HTTOPRIGHT},
            {0, h - 1, HTBOTTOMLEFT},
            {w - 1, h - 1, HTBOTTOMRIGHT},
            {w - 2, h - 20, HTBOTTOMRIGHT},
            {w - 2, h - 30, HTRIGHT},
            {w / 2, h / 2, HTCLIENT},
            {4, 23, HTCLIENT},
            {-1, 5, HTNOWHERE},
            {w, 5, HTNOWHERE},
            {5, h, HTNOWHERE},
        };
        for (auto &c : cases) EXPECT_EQ(qk::paint::HitTest(main, c.x, c.y), c.hit) << c.x << "," << c.y;
        EXPECT_EQ(qk::paint::HitTest(NULL, 5, 5), HTNOWHERE);
        EXPECT_EQ(qk::paint::HitTest(SlotButtons[0], 5, 5), HTNOWHERE);

        // Maximised: the border no longer sizes.
        ShowWindow(main, SW_MAXIMIZE);
        GetWindowRect(main, &wr);
        EXPECT_EQ(qk::paint::HitTest(main, 0, (wr.bottom - wr.top) / 2), HTBORDER);
        ShowWindow(main, SW_RESTORE);

        // Minimised: a strip of caption with restore, maximise and close.
        ShowWindow(main, SW_MINIMIZE);
        Surface strip = Render(main);
        Dump(strip, "main_minimised");
        EXPECT_EQ(strip.width, 160);
        EXPECT_EQ(strip.height, 4 + 18 + 1 + 4);
        Boxes sb = BoxesOf(160, 4);
        EXPECT_EQ(qk::paint::HitTest(main, sb.min.left + 8, sb.min.top + 7), HTMINBUTTON);
        EXPECT_EQ(qk::paint::CaptionButtonCommand(main, HTMINBUTTON), (UINT)SC_RESTORE);
        EXPECT_EQ(qk::paint::HitTest(main, 0, 10), HTBORDER);
        EXPECT_GT(Count(strip, Glyph(sb.min), kBlack), 6);
        ShowWindow(main, SW_RESTORE);
    }});

    ResetProgram();
    SetIni("[QK_Pex]\nLock=1\n");
    Run({[&] {
        HWND main = Main();
        RECT wr;
        GetWindowRect(main, &wr);
        int w = wr.right - wr.left, h = wr.bottom - wr.top;
        Boxes b = BoxesOf(w, 3);
        struct {
            int x, y, hit;
        } cases[] = {
            {0, h / 2, HTBORDER},        {w - 1, h / 2, HTBORDER}, {w / 2, 0, HTBORDER},
            {w / 2, h - 1, HTBORDER},    {0, 0, HTBORDER},         {w / 2, 3, HTCAPTION},
            {b.max.left + 8, b.max.top + 7, HTMAXBUTTON},          {b.close.left + 8, b.close.top + 7, HTCLOSE},
            {11, 11, HTSYSMENU},         {3, 22, HTCLIENT},
        };
        for (auto &c : cases) EXPECT_EQ(qk::paint::HitTest(main, c.x, c.y), c.hit) << c.x << "," << c.y;
    }});
}

// The rows of a menu's items, found through MenuItemAt down its middle.
std::vector<std::pair<int, int>> MenuRows(HMENU menu, int width, int height, int items) {
    std::vector<std::pair<int, int>> rows((size_t)items, {-1, -1});
    for (int y = 0; y < height; y++) {
        int i = qk::paint::MenuItemAt(menu, width / 2, y);
        if (i < 0) continue;
        if (rows[(size_t)i].first < 0) rows[(size_t)i].first = y;
        rows[(size_t)i].second = y + 1;
    }
    return rows;
}

TEST_F(Paint, SystemMenuShowsItsChecks) {
    // Checked and unchecked options in a pattern no shift of one row would keep.
    SetIni("[QK_Pex]\nLoop=1\nAuto=0\nNotify=1\nRehearse=0\n");
    Run({[&] {
        HMENU menu = GetSystemMenu(Main(), FALSE);
        Surface s;
        qk::paint::RenderMenu(menu, -1, s);
        Dump(s, "sysmenu");
        ASSERT_GT(s.width, 50);
        ASSERT_GT(s.height, 100);
        EXPECT_EQ(Px(s, 0, 0), kFace);
        EXPECT_EQ(Px(s, 1, 1), kWhite);
        EXPECT_EQ(Px(s, s.width - 1, s.height - 1), kBlack);
        int count = GetMenuItemCount(menu);
        ASSERT_EQ(count, 7 + 12);  // the platform's seven and the program's twelve
        auto rows = MenuRows(menu, s.width, s.height, count);
        ASSERT_EQ(rows.size(), 19u);
        for (int i = 0; i < count; i++) {
            bool separator = GetMenuState(menu, (UINT)i, MF_BYPOSITION) & MF_SEPARATOR;
            EXPECT_EQ(rows[(size_t)i].first < 0, separator) << i;
        }
        EXPECT_EQ(qk::paint::MenuItemAt(menu, -1, rows[0].first), -1);
        EXPECT_EQ(qk::paint::MenuItemAt(menu, s.width / 2, s.height + 5), -1);
        // Check marks in the left column: "Loop in memory" and "BS_NOTIFY" only.
        auto checked = [&](const Surface &surf, int item) {
            RECT column = {3, rows[(size_t)item].first, 21, rows[(size_t)item].second};
            return Count(surf, column, kBlack) + Count(surf, column, kWhite) > 0;
        };
        const struct {
            int row;
            bool on;
            const char *item;
        } marks[] = {{8, false, "Load QK-file"}, {10, true, "Loop in memory"}, {11, false, "Sync audio"},
                     {12, false, "Startup autoplay"}, {13, true, "BS_NOTIFY"}, {14, false, "Rehearse"},
                     {16, false, "Freeez window"}, {17, false, "Help!"}, {18, false, "About QK-pex"}};
        for (auto &m : marks) EXPECT_EQ(checked(s, m.row), m.on) << m.item;
        // Every item has its text; the close item its accelerator at the right.
        for (int i = 0; i < count; i++) {
            if (rows[(size_t)i].first < 0) continue;
            RECT text = {21, rows[(size_t)i].first, s.width - 3, rows[(size_t)i].second};
            EXPECT_GT(Count(s, text, kBlack) + Count(s, text, kGrey), 5) << i;
        }
        RECT accel = {s.width / 2, rows[6].first, s.width - 3, rows[6].second};
        EXPECT_GT(Count(s, accel, kBlack), 5);
        // The highlighted item: white on dark blue.
        Surface lit;
        qk::paint::RenderMenu(menu, 13, lit);
        RECT row = {3, rows[13].first, lit.width - 3, rows[13].second};
        EXPECT_EQ(Count(lit, row, kNavy) + Count(lit, row, kWhite), (row.right - row.left) * (row.bottom - row.top));
        EXPECT_TRUE(checked(lit, 13));
        EXPECT_EQ(Count(lit, {3, rows[12].first, lit.width - 3, rows[12].second}, kNavy), 0);
        EXPECT_EQ(Count(lit, {3, rows[14].first, lit.width - 3, rows[14].second}, kNavy), 0);
    }});

    // Greyed items (the locked window cannot size or maximise): grey with a white emboss.
    ResetProgram();
    SetIni("[QK_Pex]\nLock=1\n");
    Run({[&] {
        HMENU menu = GetSystemMenu(Main(), FALSE);
        Surface s;
        qk::paint::RenderMenu(menu, -1, s);
        auto rows = MenuRows(menu, s.width, s.height, GetMenuItemCount(menu));
        ASSERT_GT(rows.size(), 2u);
        RECT size = {21, rows[2].first, s.width - 3, rows[2].second};
        EXPECT_EQ(Count(s, size, kBlack), 0);
        EXPECT_GT(Count(s, size, kGrey), 5);
        EXPECT_GT(Count(s, size, kWhite), 5);
    }});
}

// ---- message boxes as windows ----

class MessageBoxWindow : public Paint {
protected:
    // Runs a box from inside the program; `during` runs once the box waits for input.
    int Box(const char *text, UINT type, std::function<void(HWND box)> during) {
        int answer = -100;
        bool boxWaited = false;
        Run({[&] {
            HWND main = Main();
            hl::OnIdle([&, main] {
                boxWaited = true;
                HWND box = GetActiveWindow();
                ASSERT_NE(box, main);
                ASSERT_NE(box, nullptr);
                EXPECT_FALSE(IsWindowEnabled(main));
                EXPECT_EQ(GetParent(box), main);  // owned by the main window
                during(box);
            });
            answer = qk::wnd::RunMessageBoxWindow(main, text, "QK Sonnerix", type);
            EXPECT_TRUE(IsWindowEnabled(main));
            EXPECT_EQ(GetActiveWindow(), main);
            EXPECT_EQ(GetFocus(), main);
            EXPECT_EQ(qk::wnd::TopLevelWindows().size(), 1u);
        }});
        EXPECT_TRUE(boxWaited) << "the box never waited for input";
        return answer;
    }
    static HWND Button(HWND box, int id) { return GetDlgItem(box, id); }
    static void ClickButton(HWND box, int id) {
        RECT r = qk::wnd::FromHandle(Button(box, id))->rect;
        hl::Click(box, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
};

TEST_F(MessageBoxWindow, EnterChoosesTheDefaultButton) {
    EXPECT_EQ(Box("Hello", MB_OKCANCEL, [](HWND) { hl::PressKey(VK_RETURN); }), IDOK);
    ResetProgram();
    EXPECT_EQ(Box("Hello", MB_YESNOCANCEL | MB_DEFBUTTON2, [](HWND) { hl::PressKey(VK_RETURN); }), IDNO);
    ResetProgram();
    // Tab moves the focus (and the default) on; arrows too, round the row.
    EXPECT_EQ(Box("Hello", MB_OKCANCEL,
                  [](HWND box) {
                      EXPECT_EQ(GetFocus(), Button(box, IDOK));
                      hl::PressKey(VK_TAB);
                      hl::OnIdle([box] {
                          EXPECT_EQ(GetFocus(), Button(box, IDCANCEL));
                          EXPECT_EQ((DWORD)GetWindowLongA(Button(box, IDCANCEL), GWL_STYLE) & BS_TYPEMASK,
                                    (DWORD)BS_DEFPUSHBUTTON);
                          EXPECT_EQ((DWORD)GetWindowLongA(Button(box, IDOK), GWL_STYLE) & BS_TYPEMASK,
                                    (DWORD)BS_PUSHBUTTON);
                          hl::PressKey(VK_RIGHT);
                      });
                      hl::OnIdle([box] {
                          EXPECT_EQ(GetFocus(), Button(box, IDOK));
                          hl::PressKey(VK_LEFT);
                          hl::PressKey(VK_RETURN);
                      });
                  }),
              IDCANCEL);
}

// A message about a path as long as paths get lies on the screen (1024 pixels wide here),
// no wider than five eighths of it, its text broken before the backslashes; a name with no
// place to break is cut at the box's edge rather than taking the box off the screen.
TEST_F(MessageBoxWindow, LongMessagesStayOnTheScreen) {
    std::string path = "C:\\";
    while (path.size() < 250) path += "SOUNDS\\";
    path += "A.WAV";
    const struct {
        const char *what;
        std::string text;
        int lines;  // of the text, at least
    } kCases[] = {
        {"a long path", path + "\n\nThis file can't be found!", 5},
        {"a name without a place to break", std::string(300, 'W') + "\n\nThis file can't be found!", 3},
        {"a short line", "This file can't be found!", 1},
    };
    for (const auto &c : kCases) {
        RECT box = {0, 0, 0, 0}, text = {0, 0, 0, 0};
        Box(c.text.c_str(), MB_ICONWARNING, [&](HWND b) {
            GetWindowRect(b, &box);
            HWND label = GetDlgItem(b, 0xFFFF);
            ASSERT_NE(label, nullptr);
            text = qk::wnd::FromHandle(label)->rect;
            hl::PressKey(VK_RETURN);
        });
        ResetProgram();
        EXPECT_GE(box.left, 0) << c.what;
        EXPECT_LE(box.right, 1024) << c.what;
        EXPECT_LE(text.right - text.left, 1024 * 5 / 8) << c.what;
        EXPECT_GE((text.bottom - text.top) / 13, c.lines) << c.what;
    }
}

TEST_F(MessageBoxWindow, EscapeAndTheCloseBox) {
    EXPECT_EQ(Box("Hello", MB_OKCANCEL, [](HWND) { hl::PressKey(VK_ESCAPE); }), IDCANCEL);
    ResetProgram();
    EXPECT_EQ(Box("Hello", MB_OK, [](HWND) { hl::PressKey(VK_ESCAPE); }), IDOK);
    ResetProgram();
    EXPECT_EQ(Box("Hello", MB_OKCANCEL, [](HWND box) { hl::Caption(box, SC_CLOSE); }), IDCANCEL);
    ResetProgram();
    // Yes/No: neither Escape nor the (greyed) close box answers; a letter does.
    EXPECT_EQ(Box("Hello", MB_YESNO,
                  [](HWND box) {
                      EXPECT_EQ(qk::paint::CaptionButtonCommand(box, HTCLOSE), 0u);
                      hl::PressKey(VK_ESCAPE);
                      hl::Caption(box, SC_CLOSE);
                      hl::OnIdle([box] {
                          EXPECT_TRUE(IsWindow(box));
                          hl::PressKey('N');
                      });
                  }),
              IDNO);
}

TEST_F(MessageBoxWindow, ClicksOnButtons) {
    EXPECT_EQ(Box("Hello", MB_OKCANCEL, [](HWND box) { ClickButton(box, IDCANCEL); }), IDCANCEL);
    ResetProgram();
    EXPECT_EQ(Box("Hello", MB_ABORTRETRYIGNORE, [](HWND box) { ClickButton(box, IDIGNORE); }), IDIGNORE);
    ResetProgram();
    // Clicks on the disabled owner go nowhere.
    EXPECT_EQ(Box("Hello", MB_OKCANCEL,
                  [](HWND box) {
                      hl::Click(Main(), 50, 50);
                      hl::OnIdle([box] {
                          EXPECT_TRUE(IsWindow(box));
                          ClickButton(box, IDOK);
                      });
                  }),
              IDOK);
}

TEST_F(MessageBoxWindow, AQuitEndsTheBoxAndStays) {
    int code = -1;
    int answer = 0;
    code = Run({[&] {
        hl::OnIdle([] { PostQuitMessage(7); });
        answer = qk::wnd::RunMessageBoxWindow(Main(), "Hello", "QK", MB_YESNO);
        EXPECT_TRUE(IsWindowEnabled(Main()));
    }});
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(code, 7);  // the program's own loop got the quit
}

TEST_F(MessageBoxWindow, SizedToItsTextAndCentredOnItsOwner) {
    const char *text = "Sync Audio can't run in Loop-mode\n\nChoose OK to also disable Loop-mode\nChoose Cancel to "
                       "cancel Sync Audio";
    Box(text, MB_OKCANCEL | MB_ICONQUESTION, [&](HWND box) {
        Surface s = Render(box);
        Dump(s, "msgbox");
        RECT br, mr, client;
        GetWindowRect(box, &br);
        GetWindowRect(Main(), &mr);
        GetClientRect(box, &client);
        EXPECT_LE(abs((br.left + br.right) - (mr.left + mr.right)), 1);
        EXPECT_LE(abs((br.top + br.bottom) - (mr.top + mr.bottom)), 1);
        // The text's static holds the text in the dialog font: four lines of 13 pixels, the
        // widest "Choose OK to also disable Loop-mode", 180 pixels in MS Sans Serif's
        // 13-pixel strike (the other two are 165 and 176).
        HWND label = GetDlgItem(box, 0xFFFF);
        ASSERT_NE(label, nullptr);
        const RECT need = {0, 0, 180, 4 * 13};
        RECT lr;
        GetClientRect(label, &lr);
        EXPECT_GE(lr.right, need.right);
        EXPECT_GE(lr.bottom, need.bottom);
        // Everything lies inside the client area, the buttons 75 x 23 below the text.
        RECT lw = qk::wnd::FromHandle(label)->rect;
        EXPECT_GE(lw.left, 40);  // right of the icon
        EXPECT_LE(lw.right, client.right);
        for (int id : {IDOK, IDCANCEL}) {
            RECT b = qk::wnd::FromHandle(Button(box, id))->rect;
            EXPECT_EQ(b.right - b.left, 75);
            EXPECT_EQ(b.bottom - b.top, 23);
            EXPECT_GE(b.top, lw.bottom);
            EXPECT_LE(b.bottom, client.bottom);
            EXPECT_GE(b.left, 0);
            EXPECT_LE(b.right, client.right);
        }
        // Drawn: the active caption, button face, the text in black, the icon.
        POINT c = ClientAt(box);
        EXPECT_EQ(Px(s, s.width / 2, 4), kNavy);
        EXPECT_EQ(Px(s, c.x + 2, c.y + client.bottom - 2), kFace);
        RECT textInk = InkBox(s, {c.x + lw.left, c.y + lw.top, c.x + lw.right, c.y + lw.bottom}, kBlack);
        EXPECT_LT(textInk.left, textInk.right);
        EXPECT_GT(Count(s, {c.x + 11, c.y + 11, c.x + 43, c.y + 43}, kWhite), 100);  // the question's disc
        RECT ok = InSurface(box, Button(box, IDOK));
        EXPECT_EQ(Px(s, ok.left, ok.top), kBlack);  // the default button's frame
        EXPECT_GT(Count(s, ok, kBlack), 60);        // and its caption
        hl::PressKey(VK_ESCAPE);
    });
}

}  // namespace
