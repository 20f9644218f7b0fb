// Icons: the program's (.ico files named by its resource script) and the system's, which
// are drawn here. LoadIconA hands out one shared handle per icon, as for icons loaded from
// resources; the handles live as long as the process. DrawIconEx and DrawIcon draw them.
#include <math.h>
#include <string.h>

#include <deque>
#include <mutex>

#include "platform/gdi32/painter.h"
#include "platform/user32/resources.h"
#include "platform/user32/user32.h"

namespace qk {
namespace res {
namespace {

unsigned Read16(const unsigned char *p) { return (unsigned)p[0] | ((unsigned)p[1] << 8); }
uint32_t Read32(const unsigned char *p) { return Read16(p) | ((uint32_t)Read16(p + 2) << 16); }

// Decodes one DIB image of an icon (header, palette, colour rows, mask rows).
bool DecodeDib(const unsigned char *data, size_t size, IconImage &out) {
    if (size < 40) return false;
    uint32_t headerSize = Read32(data);
    int32_t width = (int32_t)Read32(data + 4);
    int32_t doubleHeight = (int32_t)Read32(data + 8);
    unsigned planes = Read16(data + 12);
    unsigned bpp = Read16(data + 14);
    uint32_t compression = Read32(data + 16);
    uint32_t coloursUsed = Read32(data + 32);
    if (headerSize < 40 || headerSize > size || planes != 1 || compression != 0) return false;
    if (width < 1 || width > 256 || doubleHeight < 2 || doubleHeight > 512 || doubleHeight % 2) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    const int height = doubleHeight / 2;
    size_t paletteSize = 0;
    if (bpp <= 8) {
        paletteSize = coloursUsed ? coloursUsed : (1u << bpp);
        if (paletteSize > (1u << bpp)) return false;
    }
    const size_t xorStride = (((size_t)width * bpp + 31) / 32) * 4;
    const size_t andStride = (((size_t)width + 31) / 32) * 4;
    const size_t paletteAt = headerSize;
    const size_t xorAt = paletteAt + paletteSize * 4;
    const size_t andAt = xorAt + xorStride * (size_t)height;
    if (andAt + andStride * (size_t)height > size) return false;

    bool hasAlpha = false;
    if (bpp == 32)
        for (int y = 0; y < height && !hasAlpha; y++)
            for (int x = 0; x < width; x++)
                if (data[xorAt + (size_t)y * xorStride + (size_t)x * 4 + 3]) hasAlpha = true;

    out.width = width;
    out.height = height;
    out.pixels.assign((size_t)width * height, 0);
    for (int y = 0; y < height; y++) {
        const unsigned char *row = data + xorAt + (size_t)(height - 1 - y) * xorStride;
        const unsigned char *mask = data + andAt + (size_t)(height - 1 - y) * andStride;
        for (int x = 0; x < width; x++) {
            uint32_t rgb;
            uint32_t alpha = 255;
            if (bpp <= 8) {
                unsigned bitPos = (unsigned)x * bpp;
                unsigned index = (row[bitPos / 8] >> (8 - bpp - bitPos % 8)) & ((1u << bpp) - 1);
                if (index >= paletteSize) return false;
                const unsigned char *q = data + paletteAt + index * 4;
                rgb = ((uint32_t)q[2] << 16) | ((uint32_t)q[1] << 8) | q[0];
            } else {
                const unsigned char *q = row + (size_t)x * (bpp / 8);
                rgb = ((uint32_t)q[2] << 16) | ((uint32_t)q[1] << 8) | q[0];
                if (hasAlpha) alpha = q[3];
            }
            if (!hasAlpha && (mask[x / 8] & (0x80 >> (x % 8)))) alpha = 0;
            out.pixels[(size_t)y * width + x] = alpha ? (alpha << 24) | rgb : 0;
        }
    }
    return true;
}

// The system icons, drawn in the colours of the 16-colour palette.
const uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kYellow = 0xFFFFFF00,
               kBlue = 0xFF0000FF, kNavy = 0xFF000080, kSilver = 0xFFC0C0C0, kGrey = 0xFF808080;

const char *const kQuestionMark[] = {
    "..XXXXXX..", ".XXXXXXXX.", "XXX....XXX", "XXX....XXX", ".......XXX", "......XXX.", ".....XXX..",
    "....XXX...", "....XXX...", "....XXX...", "..........", "..........", "....XXX...", "....XXX...",
};
const char *const kExclamationMark[] = {
    ".XX.", "XXXX", "XXXX", "XXXX", "XXXX", "XXXX", ".XX.", ".XX.", ".XX.",
    ".XX.", "....", "....", ".XX.", "XXXX", "XXXX", ".XX.",
};
const char *const kLetterI[] = {
    ".XX.", "XXXX", "XXXX", ".XX.", "....", "....", "XXX.", ".XX.",
    ".XX.", ".XX.", ".XX.", ".XX.", ".XX.", "XXXX",
};

template <size_t N>
void Stamp(IconImage &img, const char *const (&rows)[N], int left, int top, uint32_t colour) {
    for (size_t y = 0; y < N; y++)
        for (size_t x = 0; rows[y][x]; x++)
            if (rows[y][x] == 'X') img.pixels[(size_t)(top + (int)y) * img.width + left + (int)x] = colour;
}

// Fills a shape given by `inside` with `fill` and a one-pixel black edge.
template <typename Inside>
void Shape(IconImage &img, Inside inside, uint32_t fill) {
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            if (!inside(x, y)) continue;
            bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            img.pixels[(size_t)y * img.width + x] = edge ? kBlack : fill;
        }
}

bool InCircle(int x, int y) {
    double dx = x + 0.5 - 16.0, dy = y + 0.5 - 16.0;
    return dx * dx + dy * dy <= 14.6 * 14.6;
}

bool InTriangle(int x, int y) {
    double px = x + 0.5, py = y + 0.5;
    if (py < 3.0 || py > 29.0) return false;
    return fabs(px - 16.0) <= (py - 3.0) / 26.0 * 15.0 + 0.5;
}

bool DrawSystemIcon(int id, IconImage &img) {
    img.width = img.height = 32;
    img.pixels.assign(32 * 32, 0);
    switch (id) {
        case 32512:  // IDI_APPLICATION: a window
            Shape(img, [](int x, int y) { return x >= 2 && x <= 29 && y >= 4 && y <= 27; }, kWhite);
            for (int y = 5; y <= 8; y++)
                for (int x = 3; x <= 28; x++) img.pixels[y * 32 + x] = kNavy;
            for (int x = 3; x <= 28; x++) img.pixels[9 * 32 + x] = kBlack;
            for (int y = 6; y <= 7; y++)
                for (int x = 25; x <= 26; x++) img.pixels[y * 32 + x] = kSilver;
            for (int x = 3; x <= 29; x++) img.pixels[28 * 32 + x] = kGrey;  // shadow
            for (int y = 5; y <= 28; y++) img.pixels[y * 32 + 30] = kGrey;
            return true;
        case 32513:  // IDI_HAND: a red disc with a white cross
            Shape(img, InCircle, kRed);
            for (int y = 0; y < 32; y++)
                for (int x = 0; x < 32; x++) {
                    double dx = fabs(x + 0.5 - 16.0), dy = fabs(y + 0.5 - 16.0);
                    if (dx <= 7.5 && dy <= 7.5 && fabs(dx - dy) <= 1.5) img.pixels[y * 32 + x] = kWhite;
                }
            return true;
        case 32514:  // IDI_QUESTION
            Shape(img, InCircle, kWhite);
            Stamp(img, kQuestionMark, 11, 9, kBlue);
            return true;
        case 32515:  // IDI_EXCLAMATION: a yellow warning triangle
            Shape(img, InTriangle, kYellow);
            Stamp(img, kExclamationMark, 14, 10, kBlack);
            return true;
        case 32516:  // IDI_ASTERISK: information
            Shape(img, InCircle, kWhite);
            Stamp(img, kLetterI, 14, 9, kBlue);
            return true;
        default:
            return false;
    }
}

struct IconRecord {
    HICON__ handle;
    int systemId;     // the IDI_ number of a system icon, else 0
    size_t resource;  // the index in the script's icons of a program icon
    IconImage image;
};

std::mutex g_mutex;
std::deque<IconRecord> g_icons;  // a deque keeps every record where it is

// The size LoadIconA asks for (SM_CXICON).
const int kIconSize = 32;

}  // namespace

bool DecodeIco(const unsigned char *data, size_t size, int wantedSize, IconImage &out) {
    if (!data || size < 6 || Read16(data) != 0 || Read16(data + 2) != 1) return false;
    size_t count = Read16(data + 4);
    if (count == 0 || 6 + count * 16 > size) return false;
    long best = -1;
    int bestDistance = 0;
    unsigned bestColours = 0;
    for (size_t i = 0; i < count; i++) {
        const unsigned char *entry = data + 6 + i * 16;
        int width = entry[0] ? entry[0] : 256;
        uint32_t bytes = Read32(entry + 8), offset = Read32(entry + 12);
        if (offset > size || bytes > size - offset || bytes < 40) continue;
        if (memcmp(data + offset, "\x89PNG", 4) == 0) continue;  // compressed images: not taken
        unsigned bpp = Read16(data + offset + 14);
        unsigned colours = bpp ? bpp : entry[2];
        int distance = width > wantedSize ? width - wantedSize : wantedSize - width;
        if (best < 0 || distance < bestDistance || (distance == bestDistance && colours > bestColours)) {
            best = (long)i;
            bestDistance = distance;
            bestColours = colours;
        }
    }
    if (best < 0) return false;
    const unsigned char *entry = data + 6 + best * 16;
    IconImage image;
    if (!DecodeDib(data + Read32(entry + 12), Read32(entry + 8), image)) return false;
    out = std::move(image);
    return true;
}

const IconImage *IconPixels(HICON icon) {
    if (!icon) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (IconRecord &r : g_icons)
        if (&r.handle == icon) return &r.image;
    return nullptr;
}

}  // namespace res
}  // namespace qk

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    using namespace qk::res;
    if (!lpIconName) return NULL;
    if (!hInstance) {
        // Only the predefined icons come without a module.
        if (!IS_INTRESOURCE(lpIconName)) return NULL;
        int id = LOWORD(lpIconName);
        std::lock_guard<std::mutex> lock(g_mutex);
        for (IconRecord &r : g_icons)
            if (r.systemId == id) return &r.handle;
        IconImage image;
        if (!DrawSystemIcon(id, image)) return NULL;
        g_icons.push_back(IconRecord{{0}, id, 0, std::move(image)});
        return &g_icons.back().handle;
    }

    const Script &script = ModuleScript();
    size_t index = 0;
    while (index < script.icons.size() && !script.icons[index].name.Matches(lpIconName)) index++;
    if (index == script.icons.size()) return NULL;

    std::lock_guard<std::mutex> lock(g_mutex);
    for (IconRecord &r : g_icons)
        if (r.systemId == 0 && r.resource == index) return &r.handle;
    // The script names the file relative to itself; the build embeds it by its bare name.
    const std::string &path = script.icons[index].file;
    size_t slash = path.find_last_of("/\\");
    const EmbeddedFile *file = FindEmbeddedFile(path.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    IconImage image;
    if (!file || !DecodeIco(file->data, file->size, kIconSize, image)) return NULL;
    g_icons.push_back(IconRecord{{0}, 0, index, std::move(image)});
    return &g_icons.back().handle;
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cx, int cy, UINT, HBRUSH, UINT flags) {
    const qk::res::IconImage *img = qk::res::IconPixels(hIcon);
    if (!img || img->width <= 0 || img->height <= 0) return FALSE;
    if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? 32 : img->width;
    if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? 32 : img->height;
    if (cx < 0 || cy < 0) return FALSE;
    qk::gdi::Locked dc(hdc);
    if (!dc.state) return FALSE;
    if ((flags & DI_NORMAL) == 0) return TRUE;
    qk::gdi::Painter p(*dc.state);
    for (int y = 0; y < cy; y++) {
        int sy = y * img->height / cy;
        for (int x = 0; x < cx; x++) {
            int sx = x * img->width / cx;
            uint32_t src = img->pixels[(size_t)sy * img->width + sx];
            uint32_t alpha = src >> 24;
            if (!(flags & DI_IMAGE)) {  // the mask alone: black where the icon is
                if (alpha) p.Put(xLeft + x, yTop + y, 0xFF000000);
                continue;
            }
            if (!(flags & DI_MASK)) alpha = 255;  // the image alone, without transparency
            uint32_t *dst = p.At(xLeft + x, yTop + y);
            if (!dst || alpha == 0) continue;
            if (alpha == 255) {
                *dst = src | 0xFF000000;
                continue;
            }
            uint32_t out = 0xFF000000;
            for (int shift = 0; shift < 24; shift += 8) {
                uint32_t a = (src >> shift) & 0xFF, b = (*dst >> shift) & 0xFF;
                out |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
            }
            *dst = out;
        }
    }
    return TRUE;
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) { return DrawIconEx(hDC, X, Y, hIcon, 32, 32, 0, NULL, DI_NORMAL); }
