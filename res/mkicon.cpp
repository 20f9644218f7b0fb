// Build tool: turns the text pixel art of an icon (res/icon_*.txt) into a 16-colour .ico
// file, so that no binary image has to be kept in the sources.
//
//   mkicon <art.txt> <out.ico>
//
// The art is one line per pixel row, one character per pixel: '0'-'9' and 'a'-'f' name a
// colour of the standard 16-colour palette (the order of the palette below), '.' is a
// transparent pixel. Lines starting with '#' and empty lines are comments. Every row must
// be as wide as the image is high, from 1 to 255 pixels.
//
// The file holds one image: ICONDIR, one ICONDIRENTRY, then the image as a DIB: a
// BITMAPINFOHEADER whose height counts both masks (twice the image height), the 16-entry
// palette, the 4-bit colour (XOR) rows and the 1-bit transparency (AND) rows, both bottom
// row first and each row padded to 4 bytes.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// Blue, green, red, reserved: the order of an RGBQUAD.
const uint8_t kPalette[16][4] = {
    {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0xC0, 0xC0, 0xC0, 0},
    {0x80, 0x80, 0x80, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0},
};

const int kTransparent = -1;

int ColourOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c == '.') return kTransparent;
    return -2;
}

void Put16(std::vector<uint8_t> &out, unsigned v) {
    out.push_back((uint8_t)(v & 0xFF));
    out.push_back((uint8_t)((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t> &out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool ReadArt(const char *path, std::vector<std::vector<int>> &rows) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "mkicon: cannot open %s\n", path);
        return false;
    }
    std::string line;
    int lineNo = 0;
    bool ok = true;
    for (int ch = fgetc(f);; ch = fgetc(f)) {
        if (ch != EOF && ch != '\n') {
            if (ch != '\r') line += (char)ch;
            continue;
        }
        lineNo++;
        if (!line.empty() && line[0] != '#') {
            std::vector<int> row;
            for (char c : line) {
                int colour = ColourOf(c);
                if (colour == -2) {
                    fprintf(stderr, "%s:%d: '%c' is not a palette colour\n", path, lineNo, c);
                    ok = false;
                }
                row.push_back(colour);
            }
            rows.push_back(row);
        }
        line.clear();
        if (ch == EOF) break;
    }
    fclose(f);
    if (!ok) return false;
    size_t n = rows.size();
    if (n < 1 || n > 255) {
        fprintf(stderr, "%s: an icon is 1 to 255 rows high, not %zu\n", path, n);
        return false;
    }
    for (size_t y = 0; y < n; y++) {
        if (rows[y].size() != n) {
            fprintf(stderr, "%s: pixel row %zu is %zu wide; the icon is %zu x %zu\n", path, y + 1,
                    rows[y].size(), n, n);
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> MakeIco(const std::vector<std::vector<int>> &rows) {
    const uint32_t size = (uint32_t)rows.size();
    const uint32_t xorStride = ((size * 4 + 31) / 32) * 4;
    const uint32_t andStride = ((size + 31) / 32) * 4;
    const uint32_t imageBytes = 40 + 16 * 4 + xorStride * size + andStride * size;

    std::vector<uint8_t> out;
    // ICONDIR
    Put16(out, 0);  // reserved
    Put16(out, 1);  // type: icon
    Put16(out, 1);  // one image
    // ICONDIRENTRY
    out.push_back((uint8_t)size);  // width
    out.push_back((uint8_t)size);  // height
    out.push_back(16);             // colours in the palette
    out.push_back(0);              // reserved
    Put16(out, 1);                 // planes
    Put16(out, 4);                 // bits per pixel
    Put32(out, imageBytes);
    Put32(out, 6 + 16);  // the image follows the directory
    // BITMAPINFOHEADER
    Put32(out, 40);
    Put32(out, size);
    Put32(out, size * 2);  // colour rows and mask rows
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);  // BI_RGB
    Put32(out, xorStride * size + andStride * size);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (const auto &entry : kPalette) out.insert(out.end(), entry, entry + 4);
    // Colour rows, bottom first, two pixels a byte, high nibble first. Transparent pixels
    // are black here and set in the mask, which lets the background show through.
    for (uint32_t y = size; y-- > 0;) {
        std::vector<uint8_t> row(xorStride, 0);
        for (uint32_t x = 0; x < size; x++) {
            int c = rows[y][x];
            uint8_t nibble = (uint8_t)(c == kTransparent ? 0 : c);
            row[x / 2] |= (x % 2 == 0) ? (uint8_t)(nibble << 4) : nibble;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    // Mask rows, bottom first, most significant bit first; 1 = transparent.
    for (uint32_t y = size; y-- > 0;) {
        std::vector<uint8_t> row(andStride, 0);
        for (uint32_t x = 0; x < size; x++)
            if (rows[y][x] == kTransparent) row[x / 8] |= (uint8_t)(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: mkicon <art.txt> <out.ico>\n");
        return 2;
    }
    std::vector<std::vector<int>> rows;
    if (!ReadArt(argv[1], rows)) return 1;
    std::vector<uint8_t> ico = MakeIco(rows);
    std::string temp = std::string(argv[2]) + ".tmp";
    FILE *f = fopen(temp.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "mkicon: cannot write %s\n", temp.c_str());
        return 1;
    }
    bool ok = fwrite(ico.data(), 1, ico.size(), f) == ico.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(temp.c_str(), argv[2]) != 0) {
        fprintf(stderr, "mkicon: cannot write %s\n", argv[2]);
        remove(temp.c_str());
        return 1;
    }
    return 0;
}
