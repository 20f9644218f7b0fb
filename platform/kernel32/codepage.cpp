#include "platform/kernel32/codepage.h"

namespace qk {
namespace {

// 0x80..0x9F; the undefined bytes stand for themselves.
const uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

uint32_t Cp1252ToUnicode(unsigned char ch) { return ch >= 0x80 && ch <= 0x9F ? kHigh[ch - 0x80] : ch; }

int UnicodeToCp1252(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return (int)code;
    for (int i = 0; i < 32; i++)
        if (kHigh[i] == code) return 0x80 + i;
    return -1;
}

std::string AnsiToUtf8(const std::string &ansi) {
    std::string out;
    for (unsigned char ch : ansi) {
        uint32_t u = Cp1252ToUnicode(ch);
        if (u < 0x80) {
            out += (char)u;
        } else if (u < 0x800) {
            out += (char)(0xC0 | (u >> 6));
            out += (char)(0x80 | (u & 0x3F));
        } else {
            out += (char)(0xE0 | (u >> 12));
            out += (char)(0x80 | ((u >> 6) & 0x3F));
            out += (char)(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool Utf8ToAnsi(const std::string &utf8, std::string &ansi) {
    std::string out;
    const unsigned char *p = (const unsigned char *)utf8.data(), *end = p + utf8.size();
    while (p < end) {
        uint32_t code;
        int more;
        if (*p < 0x80) {
            code = *p;
            more = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            code = *p & 0x1F;
            more = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            code = *p & 0x0F;
            more = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            code = *p & 0x07;
            more = 3;
        } else {
            return false;
        }
        if (end - p <= more) return false;
        for (int i = 1; i <= more; i++) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        // Overlong forms are not UTF-8.
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (code < kMin[more]) return false;
        p += 1 + more;
        int b = UnicodeToCp1252(code);
        if (b < 0 || b == 0) return false;
        out += (char)b;
    }
    ansi = out;
    return true;
}

std::string Utf8ToAnsiDropping(const std::string &utf8) {
    std::string out, one;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t n = 1;
        while (i + n < utf8.size() && ((unsigned char)utf8[i + n] & 0xC0) == 0x80) n++;
        if (Utf8ToAnsi(utf8.substr(i, n), one)) out += one;
        i += n;
    }
    return out;
}

unsigned char AnsiUpper(unsigned char ch) {
    if (ch >= 'a' && ch <= 'z') return (unsigned char)(ch - 32);
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return (unsigned char)(ch - 32);
    switch (ch) {
        case 0x9A:  // š
            return 0x8A;
        case 0x9C:  // œ
            return 0x8C;
        case 0x9E:  // ž
            return 0x8E;
        case 0xFF:  // ÿ
            return 0x9F;
        default:
            return ch;
    }
}

int AnsiCompareNoCase(const char *a, const char *b) {
    for (;; a++, b++) {
        int ca = AnsiUpper((unsigned char)*a), cb = AnsiUpper((unsigned char)*b);
        if (ca != cb || !ca) return ca - cb;
    }
}

}  // namespace qk
