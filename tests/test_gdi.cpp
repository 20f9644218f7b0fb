#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/gdi32/font.h"
#include "platform/gdi32/gdi32_test.h"
#include "platform/gdi32/objects.h"
#include "platform/win32.h"
#include "tests/support.h"

namespace {

using qk::gdi::FontId;

class Gdi : public StandinTest {};

SIZE Extent(HDC dc, const char *text) {
    SIZE size = {-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text, (int)strlen(text), &size));
    return size;
}

// The sum of the characters' advances, as the glyphs tell them.
LONG Advances(FontId font, const char *text) {
    LONG sum = 0;
    for (const char *p = text; *p; p++) {
        qk::gdi::Glyph g;
        EXPECT_TRUE(qk::gdi::GetGlyph(font, (unsigned char)*p, g));
        sum += g.advance;
    }
    return sum;
}

TEST_F(Gdi, TheFontsAreThere) {
    // fonts-wine is installed wherever the tests run (scripts/setup.sh).
    ASSERT_TRUE(qk::gdi::FontLoaded(FontId::System));
    ASSERT_TRUE(qk::gdi::FontLoaded(FontId::MsSansSerif8));
    EXPECT_EQ(qk::gdi::FontHeight(FontId::System), 16);
    EXPECT_EQ(qk::gdi::FontHeight(FontId::MsSansSerif8), 13);
    EXPECT_EQ(qk::gdi::FontAscent(FontId::System), 13);
    EXPECT_EQ(qk::gdi::FontAscent(FontId::MsSansSerif8), 11);
}

TEST_F(Gdi, TextIsMeasuredInTheSystemFont) {
    HDC dc = GetDC(NULL);
    ASSERT_NE(dc, nullptr);
    SIZE f1 = Extent(dc, "F1"), f12 = Extent(dc, "F12"), space = Extent(dc, " "), empty = Extent(dc, "< empty >");
    // Advances, not ink: a space is 4 pixels wide (SDL_ttf's own sizing says 15).
    EXPECT_EQ(f1.cx, 16);
    EXPECT_EQ(f12.cx, 24);
    EXPECT_EQ(space.cx, 4);
    EXPECT_EQ(empty.cx, 64);
    for (SIZE s : {f1, f12, space, empty}) EXPECT_EQ(s.cy, 16);
    EXPECT_EQ(f1.cx, Advances(FontId::System, "F1"));
    EXPECT_EQ(empty.cx, Advances(FontId::System, "< empty >"));
    EXPECT_EQ(Extent(dc, "F1 ").cx, f1.cx + space.cx);
    EXPECT_EQ(Extent(dc, "  ").cx, 2 * space.cx);
    EXPECT_EQ(Extent(dc, "F1F12").cx, f1.cx + f12.cx);
    EXPECT_EQ(ReleaseDC(NULL, dc), 1);
}

TEST_F(Gdi, TextIsMeasuredInTheDialogFont) {
    HDC dc = GetDC(NULL);
    SIZE system = Extent(dc, "< empty >");
    HGDIOBJ old = SelectObject(dc, qk::gdi::DialogFont());
    EXPECT_EQ(old, GetStockObject(SYSTEM_FONT));
    SIZE f1 = Extent(dc, "F1"), f12 = Extent(dc, "F12"), space = Extent(dc, " "), empty = Extent(dc, "< empty >");
    EXPECT_EQ(f1.cx, 12);
    EXPECT_EQ(f12.cx, 18);
    EXPECT_EQ(space.cx, 3);
    EXPECT_EQ(empty.cx, 46);
    for (SIZE s : {f1, f12, space, empty}) EXPECT_EQ(s.cy, 13);
    EXPECT_NE(empty.cx, system.cx);
    EXPECT_EQ(empty.cx, Advances(FontId::MsSansSerif8, "< empty >"));
    EXPECT_EQ(Extent(dc, "F1 ").cx, f1.cx + space.cx);
    EXPECT_EQ(Extent(dc, "  ").cx, 2 * space.cx);
    // Back to the System font.
    EXPECT_EQ(SelectObject(dc, old), qk::gdi::DialogFont());
    EXPECT_EQ(Extent(dc, "< empty >").cx, system.cx);
    // The GUI font is the same face.
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(Extent(dc, "< empty >").cx, empty.cx);
    ReleaseDC(NULL, dc);
}

TEST_F(Gdi, NoCharactersMeasureNothing) {
    // No characters have no width and no height either, in either font (as Wine set to
    // Windows 95 answers).
    HDC dc = GetDC(NULL);
    SIZE s = {-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "", 0, &s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 0);
    s = {-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, NULL, 0, &s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 0);
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "F12", 2, &s));  // counted, not NUL-terminated
    EXPECT_EQ(s.cx, 16);
    EXPECT_EQ(s.cy, 16);
    SelectObject(dc, qk::gdi::DialogFont());
    s = {-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "F12", 0, &s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 0);
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "F", 1, &s));
    EXPECT_EQ(s.cy, 13);
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "F1", -1, &s));
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "F1", 2, NULL));
    EXPECT_FALSE(GetTextExtentPoint32A(dc, NULL, 2, &s));
    ReleaseDC(NULL, dc);
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "F1", 2, &s));  // released
    EXPECT_FALSE(GetTextExtentPoint32A(NULL, "F1", 2, &s));
}

LONG AverageWidth(HGDIOBJ font) {
    HDC dc = GetDC(NULL);
    SelectObject(dc, font);
    TEXTMETRICA tm;
    memset(&tm, 0, sizeof tm);
    EXPECT_TRUE(GetTextMetricsA(dc, &tm));
    ReleaseDC(NULL, dc);
    return tm.tmAveCharWidth;
}

TEST_F(Gdi, TheAverageWidthIsTheOneInTheFontsHeader) {
    // The figures Wine set to Windows 95 reports: the header's, not the width of any one
    // letter (System's "x" is 8 wide, its "X" 9).
    EXPECT_EQ(AverageWidth(GetStockObject(SYSTEM_FONT)), 7);
    EXPECT_EQ(AverageWidth(qk::gdi::DialogFont()), 5);
    EXPECT_EQ(Extent(GetDC(NULL), "x").cx, 8);
    qk::gdi::ReleaseAllDCs();

    // The header of the face as high as the font is read; without the bitmap fonts beside
    // the wrappers (or with one that has no face of the right height) the lower-case x
    // stands for the average.
    struct {
        const char *what;
        const char *systemHeader;  // what stands in vgasys.fon's place; NULL: nothing
        const char *sansHeader;    // sserife.fon's
        LONG system, sans;
    } cases[] = {
        {"no headers", NULL, NULL, 8, 5},
        // Small Fonts has no face 16 high; Courier's 13-high face records 8.
        {"other bitmap fonts", "smalle.fon", "coure.fon", 8, 8},
        {"not a font file", "system.ttf", "ms_sans_serif.ttf", 8, 5},
        {"the real headers", "vgasys.fon", "sserife.fon", 7, 5},
    };
    int n = 0;
    for (const auto &c : cases) {
        std::string folder = root + "/fonts" + std::to_string(n++);
        WriteFile(folder + "/.keep", "");
        ASSERT_EQ(symlink("/usr/share/wine/fonts/system.ttf", (folder + "/system.ttf").c_str()), 0);
        ASSERT_EQ(symlink("/usr/share/wine/fonts/ms_sans_serif.ttf", (folder + "/ms_sans_serif.ttf").c_str()), 0);
        if (c.systemHeader) {
            std::string from = "/usr/share/wine/fonts/" + std::string(c.systemHeader);
            ASSERT_EQ(symlink(from.c_str(), (folder + "/vgasys.fon").c_str()), 0);
        }
        if (c.sansHeader) {
            std::string from = "/usr/share/wine/fonts/" + std::string(c.sansHeader);
            ASSERT_EQ(symlink(from.c_str(), (folder + "/sserife.fon").c_str()), 0);
        }
        qk::gdi::UseFontFolder(folder.c_str());
        ASSERT_TRUE(qk::gdi::FontLoaded(FontId::System)) << c.what;
        EXPECT_EQ(AverageWidth(GetStockObject(SYSTEM_FONT)), c.system) << c.what;
        EXPECT_EQ(AverageWidth(qk::gdi::DialogFont()), c.sans) << c.what;
    }
    // No font files at all: the stand-in cells' widths.
    qk::gdi::UseFontFolder((root + "/nofonts").c_str());
    EXPECT_EQ(AverageWidth(GetStockObject(SYSTEM_FONT)), 8);
    EXPECT_EQ(AverageWidth(qk::gdi::DialogFont()), 6);
    qk::gdi::UseFontFolder(NULL);
    EXPECT_EQ(AverageWidth(GetStockObject(SYSTEM_FONT)), 7);
}

TEST_F(Gdi, AnsiCharactersAndMissingGlyphs) {
    EXPECT_EQ(qk::gdi::AnsiToUnicode('A'), 0x41u);
    EXPECT_EQ(qk::gdi::AnsiToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(qk::gdi::AnsiToUnicode(0x92), 0x2019u);
    EXPECT_EQ(qk::gdi::AnsiToUnicode(0x81), 0x81u);
    EXPECT_EQ(qk::gdi::AnsiToUnicode(0xE9), 0xE9u);
    HDC dc = GetDC(NULL);
    // Every byte measures as something: a glyph of the font or its default character.
    for (int ch = 1; ch < 256; ch++) {
        char text[2] = {(char)ch, 0};
        SIZE s = Extent(dc, text);
        EXPECT_GT(s.cx, 0) << ch;
        EXPECT_EQ(s.cy, 16);
    }
    // Control characters the font lacks all measure as the same default character.
    EXPECT_EQ(Extent(dc, "\x01").cx, Extent(dc, "\x02").cx);
    EXPECT_EQ(Extent(dc, "\x01").cx, Extent(dc, "\n").cx);
    // A counted string may hold a NUL.
    SIZE s;
    EXPECT_TRUE(GetTextExtentPoint32A(dc, "a\0b", 3, &s));
    EXPECT_GT(s.cx, Extent(dc, "ab").cx);
    ReleaseDC(NULL, dc);
}

TEST_F(Gdi, GlyphsSitOnTheBaseline) {
    qk::gdi::Glyph g;
    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::System, 'F', g));
    EXPECT_EQ(g.advance, 8);
    ASSERT_NE(g.coverage, nullptr);
    EXPECT_GT(g.width, 0);
    EXPECT_EQ(g.offsetY + g.height, 0);  // the F stands on the baseline
    EXPECT_GE(g.offsetX, 0);
    EXPECT_LE(g.offsetX + g.width, g.advance);
    for (int i = 0; i < g.width * g.height; i++) EXPECT_TRUE(g.coverage[i] == 0 || g.coverage[i] == 255);
    EXPECT_EQ(g.coverage[0], 255);  // the top left of the F's stem

    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::System, 'p', g));
    EXPECT_GT(g.offsetY + g.height, 0);  // a descender

    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::System, ' ', g));
    EXPECT_EQ(g.advance, 4);
    EXPECT_EQ(g.width, 0);
    EXPECT_EQ(g.height, 0);

    // Cached: the same bytes again.
    qk::gdi::Glyph a, b;
    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::MsSansSerif8, 'Q', a));
    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::MsSansSerif8, 'Q', b));
    EXPECT_EQ(a.coverage, b.coverage);
    EXPECT_LE(-a.offsetY, qk::gdi::FontAscent(FontId::MsSansSerif8));
}

TEST_F(Gdi, WithoutTheFontFilesTextStillMeasures) {
    qk::gdi::Glyph kept;
    ASSERT_TRUE(qk::gdi::GetGlyph(FontId::System, 'W', kept));
    std::string keptBytes((const char *)kept.coverage, (size_t)(kept.width * kept.height));

    qk::gdi::UseFontFolder((root + "/nofonts").c_str());
    EXPECT_FALSE(qk::gdi::FontLoaded(FontId::System));
    HDC dc = GetDC(NULL);
    SIZE s = Extent(dc, "F12");
    EXPECT_EQ(s.cx, 24);
    EXPECT_EQ(s.cy, 16);
    SelectObject(dc, qk::gdi::DialogFont());
    EXPECT_EQ(Extent(dc, "F12").cy, 13);
    qk::gdi::Glyph g;
    EXPECT_FALSE(qk::gdi::GetGlyph(FontId::System, 'F', g));
    ReleaseDC(NULL, dc);

    // A file that is no font is no better than none.
    WriteFile(root + "/badfonts/system.ttf", "not a font at all");
    WriteFile(root + "/badfonts/ms_sans_serif.ttf", "");
    qk::gdi::UseFontFolder((root + "/badfonts").c_str());
    EXPECT_FALSE(qk::gdi::FontLoaded(FontId::System));
    EXPECT_FALSE(qk::gdi::FontLoaded(FontId::MsSansSerif8));
    EXPECT_EQ(qk::gdi::MeasureText(FontId::System, "ab", 2).cx, 16);
    EXPECT_EQ(qk::gdi::MeasureText(FontId::MsSansSerif8, "ab", 2).cx, 12);

    qk::gdi::UseFontFolder(NULL);
    EXPECT_TRUE(qk::gdi::FontLoaded(FontId::System));
    EXPECT_EQ(qk::gdi::MeasureText(FontId::System, "F12", 3).cx, 24);
    // A glyph handed out before still holds its bytes.
    EXPECT_EQ(std::string((const char *)kept.coverage, keptBytes.size()), keptBytes);
}

TEST_F(Gdi, StockObjects) {
    struct {
        int index;
        COLORREF colour;
    } brushes[] = {{WHITE_BRUSH, RGB(255, 255, 255)},
                   {LTGRAY_BRUSH, RGB(192, 192, 192)},
                   {GRAY_BRUSH, RGB(128, 128, 128)},
                   {DKGRAY_BRUSH, RGB(64, 64, 64)},
                   {BLACK_BRUSH, RGB(0, 0, 0)}};
    for (auto &b : brushes) {
        HGDIOBJ h = GetStockObject(b.index);
        ASSERT_NE(h, nullptr);
        COLORREF c = 12345;
        EXPECT_TRUE(qk::gdi::BrushColor((HBRUSH)h, c));
        EXPECT_EQ(c, b.colour) << b.index;
        EXPECT_EQ(GetStockObject(b.index), h);
    }
    COLORREF c;
    ASSERT_NE(GetStockObject(NULL_BRUSH), nullptr);
    EXPECT_FALSE(qk::gdi::BrushColor((HBRUSH)GetStockObject(NULL_BRUSH), c));
    EXPECT_EQ(GetStockObject(HOLLOW_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_FALSE(qk::gdi::BrushColor((HBRUSH)GetStockObject(SYSTEM_FONT), c));
    EXPECT_FALSE(qk::gdi::BrushColor(NULL, c));
    EXPECT_TRUE(qk::gdi::PenColor((HPEN)GetStockObject(BLACK_PEN), c));
    EXPECT_EQ(c, RGB(0, 0, 0));

    qk::gdi::FontId font;
    EXPECT_TRUE(qk::gdi::FontOf((HFONT)GetStockObject(SYSTEM_FONT), font));
    EXPECT_EQ(font, FontId::System);
    EXPECT_TRUE(qk::gdi::FontOf((HFONT)GetStockObject(DEFAULT_GUI_FONT), font));
    EXPECT_EQ(font, FontId::MsSansSerif8);
    EXPECT_TRUE(qk::gdi::FontOf(qk::gdi::DialogFont(), font));
    EXPECT_EQ(font, FontId::MsSansSerif8);
    EXPECT_FALSE(qk::gdi::FontOf((HFONT)GetStockObject(WHITE_BRUSH), font));

    // Every stock object is its own handle.
    const int all[] = {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH,    DKGRAY_BRUSH,        BLACK_BRUSH,
                       NULL_BRUSH,  WHITE_PEN,    BLACK_PEN,     NULL_PEN,            ANSI_VAR_FONT,
                       SYSTEM_FONT, DEVICE_DEFAULT_FONT,         DEFAULT_GUI_FONT};
    for (int i : all) {
        for (int j : all) {
            if (i != j) {
                EXPECT_NE(GetStockObject(i), GetStockObject(j)) << i << " " << j;
            }
        }
    }
    EXPECT_NE((HGDIOBJ)qk::gdi::DialogFont(), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(100), nullptr);
}

TEST_F(Gdi, DeviceContexts) {
    HWND someWindow = (HWND)0x1234;
    HDC a = GetDC(NULL), b = GetDC(someWindow);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(qk::gdi::LiveDCs(), 2);

    qk::gdi::DcState s;
    ASSERT_TRUE(qk::gdi::GetDcState(b, s));
    EXPECT_EQ(s.window, someWindow);
    EXPECT_EQ(s.font, FontId::System);
    EXPECT_EQ((HGDIOBJ)s.fontHandle, GetStockObject(SYSTEM_FONT));
    EXPECT_EQ((HGDIOBJ)s.brush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ((HGDIOBJ)s.pen, GetStockObject(BLACK_PEN));

    EXPECT_EQ(SelectObject(b, GetStockObject(GRAY_BRUSH)), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(b, GetStockObject(NULL_PEN)), GetStockObject(BLACK_PEN));
    ASSERT_TRUE(qk::gdi::GetDcState(b, s));
    EXPECT_EQ((HGDIOBJ)s.brush, GetStockObject(GRAY_BRUSH));
    EXPECT_EQ(s.font, FontId::System);  // the font stays
    int notAnObject;
    EXPECT_EQ(SelectObject(b, &notAnObject), nullptr);
    EXPECT_EQ(SelectObject(b, NULL), nullptr);
    EXPECT_EQ(SelectObject(NULL, GetStockObject(SYSTEM_FONT)), nullptr);

    EXPECT_EQ(ReleaseDC(someWindow, b), 1);
    EXPECT_EQ(ReleaseDC(someWindow, b), 0);  // once only
    EXPECT_FALSE(qk::gdi::GetDcState(b, s));
    // A DC taken again starts afresh.
    HDC c = GetDC(NULL);
    ASSERT_TRUE(qk::gdi::GetDcState(c, s));
    EXPECT_EQ((HGDIOBJ)s.brush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(ReleaseDC(NULL, c), 1);
    EXPECT_EQ(ReleaseDC(NULL, a), 1);
    EXPECT_EQ(qk::gdi::LiveDCs(), 0);
    EXPECT_EQ(ReleaseDC(NULL, NULL), 0);
}

}  // namespace
