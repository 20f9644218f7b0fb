// The program's code page, Windows-1252, against the host's UTF-8 file names.
//
// Host names cross into the program converted to cp1252, and names from the program
// are converted to UTF-8 before they reach the host. The five bytes cp1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081... as the platform's
// conversion has them, so every cp1252 string has exactly one UTF-8 form and back.
//
// A host name that is not valid UTF-8, or holds a character cp1252 has no byte for, has
// no cp1252 name: it is left out of directory listings and no name the program gives
// ever finds it. So such a file cannot be opened, and never by some other name.
#ifndef QK_PLATFORM_KERNEL32_CODEPAGE_H
#define QK_PLATFORM_KERNEL32_CODEPAGE_H

#include <stdint.h>

#include <string>

namespace qk {

uint32_t Cp1252ToUnicode(unsigned char ch);
// The cp1252 byte of a character, or -1.
int UnicodeToCp1252(uint32_t code);
std::string AnsiToUtf8(const std::string &ansi);
// False (and `ansi` untouched) when the text is not UTF-8 or cannot be said in cp1252.
bool Utf8ToAnsi(const std::string &utf8, std::string &ansi);
// Typed text: the characters cp1252 can hold, the others left out.
std::string Utf8ToAnsiDropping(const std::string &utf8);
// Case-insensitive comparison of cp1252 names, with the platform's upper-casing of the
// accented letters (é and É are one letter).
unsigned char AnsiUpper(unsigned char ch);
int AnsiCompareNoCase(const char *a, const char *b);
// The platform's order for sorted lists (collation.cpp): its locale's word sort without
// regard to case, as CompareString with NORM_IGNORECASE gives it; negative, zero or
// positive as a sorts before, with or after b.
int CompareStringNoCase(const std::string &a, const std::string &b);

}  // namespace qk

#endif
