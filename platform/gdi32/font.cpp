// The two fonts, from the bitmap fonts in TrueType wrappers that Debian's fonts-wine ships.
// SDL_ttf reads them without a display. Its own text sizing goes by the glyphs' ink boxes
// (a lone space in system.ttf would measure 15 pixels), so widths here are summed from the
// glyphs' advances, as GDI sums them.
#include "platform/gdi32/font.h"

#include <SDL_ttf.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi32/gdi32_test.h"

namespace qk {
namespace gdi {
namespace {

struct FontFace {
    const char *file;
    // The Windows bitmap font the wrapper was made from, shipped beside it: its header
    // holds the font's average character width, which the wrapper does not keep.
    const char *bitmapFile;
    // The stand-in cell when the file cannot be had.
    int fallbackAdvance;
    int fallbackHeight;
    int fallbackAscent;
};

// Strike 0 of each file: 16 pixels for System, 13 for MS Sans Serif (8 pt at 96 dpi).
const FontFace kFaces[] = {
    {"system.ttf", "vgasys.fon", 8, 16, 13},
    {"ms_sans_serif.ttf", "sserife.fon", 6, 13, 11},
};
const int kFaceCount = 2;

// Windows-1252 0x80 to 0x9F; 0 where the code page defines nothing.
const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

struct CachedGlyph {
    Glyph glyph;
    std::vector<uint8_t> bytes;
};

struct LoadedFont {
    bool tried = false;
    TTF_Font *font = nullptr;
    int height = 0;
    int ascent = 0;
    int advance[256] = {};
    int averageWidth = 0;  // 0: not known from a header
    std::unique_ptr<CachedGlyph> glyphs[256];
};

std::mutex g_mutex;
bool g_ttfReady = false;
bool g_ttfTried = false;
LoadedFont g_fonts[kFaceCount];
std::string g_folderOverride;  // empty: the usual places
// Whether SetAdvanceForTest changed a width since the fonts were loaded.
bool g_advanceChanged = false;

// Glyphs of fonts dropped by UseFontFolder: kept, since their bytes were handed out.
std::vector<std::unique_ptr<CachedGlyph>> g_retired;

// Folders to look in: Debian's, then one beside the executable (an installed copy).
std::vector<std::string> FontFolders() {
    if (!g_folderOverride.empty()) return {g_folderOverride};
    std::vector<std::string> folders = {"/usr/share/wine/fonts"};
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, (size_t)n);
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) folders.push_back(path.substr(0, slash) + "/../share/qksonnerix/fonts");
    }
    return folders;
}

uint16_t Word(const std::vector<uint8_t> &d, size_t at) { return at + 1 < d.size() ? (uint16_t)(d[at] | d[at + 1] << 8) : 0; }

// The average character width (dfAvgWidth) of the font resource `height` pixels high in a
// Windows font file (an NE executable holding FONT resources); 0 when there is none.
int BitmapAverageWidth(const std::string &path, int height) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<uint8_t> d;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0 && d.size() < (1u << 22)) d.insert(d.end(), buffer, buffer + n);
    fclose(f);
    if (Word(d, 0) != 0x5A4D) return 0;  // "MZ"
    size_t ne = Word(d, 0x3C) | (size_t)Word(d, 0x3E) << 16;
    if (Word(d, ne) != 0x454E) return 0;  // "NE"
    size_t table = ne + Word(d, ne + 0x24), at = table + 2;
    int shift = Word(d, table);
    if (shift > 16) return 0;
    while (at + 8 <= d.size()) {
        uint16_t type = Word(d, at), count = Word(d, at + 2);
        if (type == 0) break;
        at += 8;
        for (int i = 0; i < count && at + 12 <= d.size(); i++, at += 12) {
            if (type != 0x8008) continue;  // RT_FONT
            size_t font = (size_t)Word(d, at) << shift;
            // dfPixHeight at 0x58, dfAvgWidth at 0x5B of the font's header.
            if (font + 0x5D <= d.size() && Word(d, font + 0x58) == height) return Word(d, font + 0x5B);
        }
    }
    return 0;
}

// Loads a font on first use; g_mutex is held.
LoadedFont &Load(FontId id) {
    int index = id == FontId::System ? 0 : 1;
    LoadedFont &f = g_fonts[index];
    if (f.tried) return f;
    f.tried = true;
    const FontFace &face = kFaces[index];
    if (!g_ttfTried) {
        g_ttfTried = true;
        g_ttfReady = TTF_WasInit() > 0 || TTF_Init() == 0;
    }
    if (g_ttfReady) {
        for (const std::string &folder : FontFolders()) {
            std::string path = folder + "/" + face.file;
            if (access(path.c_str(), R_OK) != 0) continue;
            f.font = TTF_OpenFont(path.c_str(), 0);
            if (f.font) {
                if (TTF_FontHeight(f.font) > 0)
                    f.averageWidth = BitmapAverageWidth(folder + "/" + face.bitmapFile, TTF_FontHeight(f.font));
                break;
            }
        }
    }
    if (f.font && TTF_FontHeight(f.font) > 0) {
        f.height = TTF_FontHeight(f.font);
        f.ascent = TTF_FontAscent(f.font);
        for (int ch = 0; ch < 256; ch++) {
            // A character the font lacks gets the font's default glyph (glyph 0) from
            // SDL_ttf, as GDI gives the default character.
            int minX, maxX, minY, maxY, advance;
            if (TTF_GlyphMetrics32(f.font, AnsiToUnicode((unsigned char)ch), &minX, &maxX, &minY, &maxY,
                                   &advance) != 0)
                advance = 0;
            f.advance[ch] = advance;
        }
    } else {
        if (f.font) TTF_CloseFont(f.font);
        f.font = nullptr;
        f.height = face.fallbackHeight;
        f.ascent = face.fallbackAscent;
        for (int &a : f.advance) a = face.fallbackAdvance;
    }
    return f;
}

// Renders and crops one glyph; g_mutex is held and the font is loaded.
std::unique_ptr<CachedGlyph> Render(LoadedFont &f, unsigned char ch) {
    auto cached = std::make_unique<CachedGlyph>();
    Glyph &g = cached->glyph;
    g.advance = f.advance[ch];
    uint32_t code = AnsiToUnicode(ch);
    int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
    TTF_GlyphMetrics32(f.font, code, &minX, &maxX, &minY, &maxY, &advance);
    SDL_Color ink = {255, 255, 255, 255}, paper = {0, 0, 0, 255};
    SDL_Surface *s = TTF_RenderGlyph32_Shaded(f.font, code, ink, paper);
    if (!s) return cached;  // drawn as blank, still advancing
    if (s->format->BytesPerPixel == 1 && (!SDL_MUSTLOCK(s) || SDL_LockSurface(s) == 0)) {
        // Shaded glyphs are 8-bit: each byte is the coverage. The surface's left column is
        // the pen position (further left only when the glyph reaches left of it) and its
        // top row the top of the line (higher only when the glyph rises above the ascent).
        int originX = minX < 0 ? -minX : 0;
        int originY = maxY > f.ascent ? maxY - f.ascent : 0;
        const uint8_t *pixels = (const uint8_t *)s->pixels;
        int left = s->w, right = -1, top = s->h, bottom = -1;
        for (int y = 0; y < s->h; y++)
            for (int x = 0; x < s->w; x++)
                if (pixels[y * s->pitch + x]) {
                    if (x < left) left = x;
                    if (x > right) right = x;
                    if (y < top) top = y;
                    if (y > bottom) bottom = y;
                }
        if (right >= 0) {
            g.width = right - left + 1;
            g.height = bottom - top + 1;
            cached->bytes.resize((size_t)g.width * g.height);
            for (int y = 0; y < g.height; y++)
                for (int x = 0; x < g.width; x++)
                    cached->bytes[(size_t)y * g.width + x] = pixels[(top + y) * s->pitch + left + x];
            g.coverage = cached->bytes.data();
            g.offsetX = left - originX;
            g.offsetY = top - originY - f.ascent;
        }
        if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    }
    SDL_FreeSurface(s);
    return cached;
}

}  // namespace

uint32_t AnsiToUnicode(unsigned char ch) {
    if (ch >= 0x80 && ch <= 0x9F && kCp1252High[ch - 0x80]) return kCp1252High[ch - 0x80];
    return ch;
}

SIZE MeasureText(FontId font, const char *text, int len) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const LoadedFont &f = Load(font);
    SIZE size = {0, f.height};
    if (!text) return size;
    for (int i = 0; i < len; i++) size.cx += f.advance[(unsigned char)text[i]];
    return size;
}

void SetAdvanceForTest(FontId font, unsigned char ch, int advance) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Load(font);
    g_fonts[(int)font].advance[ch] = advance;
    g_advanceChanged = true;
}

int FontAverageWidth(FontId font) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const LoadedFont &f = Load(font);
    if (f.averageWidth > 0) return f.averageWidth;
    return f.advance[(unsigned char)'x'];  // no header: the lower-case x stands for it
}

int FontHeight(FontId font) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Load(font).height;
}

int FontAscent(FontId font) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Load(font).ascent;
}

bool FontLoaded(FontId font) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Load(font).font != nullptr;
}

bool GetGlyph(FontId font, unsigned char ch, Glyph &out) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadedFont &f = Load(font);
    if (!f.font) return false;
    if (!f.glyphs[ch]) f.glyphs[ch] = Render(f, ch);
    out = f.glyphs[ch]->glyph;
    return true;
}

void UseFontFolder(const char *folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string wanted = folder ? folder : "";
    // Fonts whose widths a test changed are always loaded afresh.
    if (wanted == g_folderOverride && !g_advanceChanged) return;
    g_folderOverride = wanted;
    g_advanceChanged = false;
    for (LoadedFont &f : g_fonts) {
        if (f.font) TTF_CloseFont(f.font);
        for (auto &g : f.glyphs)
            if (g) g_retired.push_back(std::move(g));
        f = LoadedFont();
    }
}

}  // namespace gdi
}  // namespace qk
