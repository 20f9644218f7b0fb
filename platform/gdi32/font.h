// The stand-in's two fonts, for gdi32, user32 and the drivers: "System" (buttons and every
// window without a font of its own) and "MS Sans Serif" 8 pt (dialog templates, message
// boxes). Text is measured as GDI measures it: the sum of the characters' advance widths,
// one font height high. Both drivers measure and draw with this code, so what fits as
// measured fits as drawn. Not part of the program's API.
#ifndef QK_PLATFORM_GDI32_FONT_H
#define QK_PLATFORM_GDI32_FONT_H

#include <stdint.h>

#include "platform/wintypes.h"

namespace qk {
namespace gdi {

enum class FontId { System, MsSansSerif8 };

// Width and height of `len` ANSI (Windows-1252) characters. A character the font lacks
// measures as the font's default character. Without the font file a fixed cell stands in
// (8 x 16 for System, 6 x 13 for MS Sans Serif), so measuring always works.
SIZE MeasureText(FontId font, const char *text, int len);
int FontHeight(FontId font);
// The average character width GetTextMetricsA reports: the value the font's designer
// recorded in its header, not a figure measured from its glyphs.
int FontAverageWidth(FontId font);
// Pixels from the top of a line to the baseline.
int FontAscent(FontId font);

// One character's image for drawing.
struct Glyph {
    int advance = 0;  // how far the pen moves on
    // The inked part of the character: `width` x `height` coverage bytes, top row first,
    // 0 = background, 255 = full ink; 0 x 0 (and no bytes) for a blank character.
    int width = 0;
    int height = 0;
    const uint8_t *coverage = nullptr;
    // Where the bitmap's top left pixel goes: offsetX right of the pen position, offsetY
    // below the baseline (negative: above it).
    int offsetX = 0;
    int offsetY = 0;
};

// The glyph of one ANSI character; false when the font file could not be loaded. The
// bytes are cached and stay valid for the life of the process.
bool GetGlyph(FontId font, unsigned char ch, Glyph &out);

// Whether the font's file was found and opened (it is loaded on first use).
bool FontLoaded(FontId font);

// The Unicode code point of a Windows-1252 byte (0x81, 0x8D, 0x8F, 0x90 and 0x9D, which
// the code page leaves undefined, keep their own value).
uint32_t AnsiToUnicode(unsigned char ch);

}  // namespace gdi
}  // namespace qk

#endif
