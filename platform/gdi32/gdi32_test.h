// Test hooks of gdi32. Not part of the program's API.
#ifndef QK_PLATFORM_GDI32_TEST_H
#define QK_PLATFORM_GDI32_TEST_H

#include "platform/gdi32/font.h"

namespace qk {
namespace gdi {

// Looks for the font files in this folder only (NULL: the usual places again). Loaded
// fonts are dropped and load again on next use; glyphs handed out stay valid.
void UseFontFolder(const char *folder);
// Gives one character of a font another advance width until the fonts are next
// reloaded (UseFontFolder), as a font with odd metrics would have.
void SetAdvanceForTest(FontId font, unsigned char ch, int advance);
// Releases every device context still taken.
void ReleaseAllDCs();
// Device contexts taken and not released.
int LiveDCs();

}  // namespace gdi
}  // namespace qk

#endif
