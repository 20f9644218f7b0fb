// Build tool: turns the text pixel art of an icon (res/icon_*.txt, the format mkicon
// reads) into a PNG for the Linux desktop (menus, task bars, the icon theme).
//
//   mkpng <art.txt> <out.png> [size]
//
// With a size (a whole multiple of the art's), every pixel of the art becomes a square
// block of pixels: the icon is enlarged without smoothing, so it stays as sharp as drawn.
//
// The PNG is 8-bit RGBA, its image data in stored (uncompressed) deflate blocks: the
// icons are tiny, and this needs no library.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

// The standard 16-colour palette, as red, green, blue.
const uint8_t kPalette[16][3] = {
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

int ColourOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c == '.') return -1;
    return -2;
}

bool ReadArt(const char *path, std::vector<std::vector<int>> &rows) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "mkpng: cannot open %s\n", path);
        return false;
    }
    std::string line;
    bool ok = true;
    for (int ch = fgetc(f);; ch = fgetc(f)) {
        if (ch != EOF && ch != '\n') {
            if (ch != '\r') line += (char)ch;
            continue;
        }
        if (!line.empty() && line[0] != '#') {
            std::vector<int> row;
            for (char c : line) {
                int colour = ColourOf(c);
                if (colour == -2) ok = false;
                row.push_back(colour);
            }
            rows.push_back(row);
        }
        line.clear();
        if (ch == EOF) break;
    }
    fclose(f);
    if (!ok || rows.empty()) {
        fprintf(stderr, "mkpng: %s is no icon art\n", path);
        return false;
    }
    for (const auto &r : rows)
        if (r.size() != rows.size()) {
            fprintf(stderr, "mkpng: %s is not square\n", path);
            return false;
        }
    return true;
}

uint32_t Crc(const uint8_t *data, size_t n, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

void PutBE(std::vector<uint8_t> &out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

void Chunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data) {
    PutBE(out, (uint32_t)data.size());
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBE(out, Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
}

std::vector<uint8_t> MakePng(const std::vector<std::vector<int>> &rows, uint32_t factor) {
    const uint32_t size = (uint32_t)rows.size() * factor;
    std::vector<uint8_t> raw;  // each row: filter type 0, then RGBA pixels
    for (uint32_t y = 0; y < size; y++) {
        raw.push_back(0);
        for (uint32_t x = 0; x < size; x++) {
            int c = rows[y / factor][x / factor];
            if (c < 0) {
                raw.insert(raw.end(), {0, 0, 0, 0});
            } else {
                raw.insert(raw.end(), {kPalette[c][0], kPalette[c][1], kPalette[c][2], 0xFF});
            }
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};  // zlib header: deflate, no preset dictionary
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back((uint8_t)(n & 0xFF));
        z.push_back((uint8_t)(n >> 8));
        z.push_back((uint8_t)(~n & 0xFF));
        z.push_back((uint8_t)((~n >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + (long)at, raw.begin() + (long)(at + n));
        at += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    PutBE(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBE(header, size);
    PutBE(header, size);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: mkpng <art.txt> <out.png> [size]\n");
        return 2;
    }
    std::vector<std::vector<int>> rows;
    if (!ReadArt(argv[1], rows)) return 1;
    uint32_t factor = 1;
    if (argc == 4) {
        char *end = nullptr;
        unsigned long size = strtoul(argv[3], &end, 10);
        if (!end || *end || size == 0 || size > 1024 || size % rows.size() != 0) {
            fprintf(stderr, "mkpng: %s is no whole multiple of the art's %zu pixels\n", argv[3], rows.size());
            return 2;
        }
        factor = (uint32_t)(size / rows.size());
    }
    std::vector<uint8_t> png = MakePng(rows, factor);
    std::string temp = std::string(argv[2]) + ".tmp";
    FILE *f = fopen(temp.c_str(), "wb");
    bool ok = f && fwrite(png.data(), 1, png.size(), f) == png.size();
    if (f) ok = (fclose(f) == 0) && ok;
    if (!ok || rename(temp.c_str(), argv[2]) != 0) {
        fprintf(stderr, "mkpng: cannot write %s\n", argv[2]);
        remove(temp.c_str());
        return 1;
    }
    return 0;
}
