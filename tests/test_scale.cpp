// The desktop driver's HiDPI factor and the enlarged picture.
#include <SDL.h>

#include <gtest/gtest.h>

#include "platform/driver/sdl/scale.h"

namespace {

using qk::sdl::ChooseScale;

struct ScaleCase {
    const char *name;
    const char *override;
    const char *gdk;
    const char *resources;
    int expected;
};

TEST(Scale, FollowsTheDesktopAndTheOverride) {
    const ScaleCase cases[] = {
        {"nothing said", nullptr, nullptr, nullptr, 1},
        {"empty values", "", "", "", 1},
        {"GDK_SCALE", nullptr, "2", nullptr, 2},
        {"Xft.dpi 192", nullptr, nullptr, "Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 2},
        {"Xft.dpi 288 rounds to 3", nullptr, nullptr, "Xft.dpi: 288\n", 3},
        {"Xft.dpi 144 rounds down", nullptr, nullptr, "Xft.dpi:\t144", 1},
        {"Xft.dpi 400.5 rounds down", nullptr, nullptr, "*background: grey\nXft.dpi:\t400.5\n", 4},
        {"Xft.dpi under 96", nullptr, nullptr, "Xft.dpi:\t72\n", 1},
        {"another resource only", nullptr, nullptr, "Xft.dpiX:\t192\nXcursor.size:\t48\n", 1},
        {"GDK_SCALE before Xft.dpi", nullptr, "3", "Xft.dpi:\t192\n", 3},
        {"GDK_SCALE 1 before Xft.dpi", nullptr, "1", "Xft.dpi:\t192\n", 1},
        {"override before both", "5", "3", "Xft.dpi:\t192\n", 5},
        {"override 1 keeps the 1x look", "1", "2", "Xft.dpi:\t288\n", 1},
        {"override rounds down", "2.7", nullptr, nullptr, 2},
        {"override not a number", "big", "3", nullptr, 3},
        {"override zero", "0", nullptr, "Xft.dpi:\t192\n", 2},
        {"override negative", "-2", "4", nullptr, 4},
        {"override with trailing text", "2x", nullptr, "Xft.dpi:\t384\n", 4},
        {"GDK_SCALE not a number", nullptr, "auto", "Xft.dpi:\t288\n", 3},
        {"capped", "50", nullptr, nullptr, qk::sdl::kMaxScale},
    };
    for (const ScaleCase &c : cases) EXPECT_EQ(ChooseScale(c.override, c.gdk, c.resources), c.expected) << c.name;
}

// A picture of distinct pixels, enlarged into a surface of another pixel format.
TEST(Scale, EnlargesEachPixelIntoABlock) {
    qk::paint::Surface picture;
    picture.width = 3;
    picture.height = 2;
    picture.pixels = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0, 0xFFD0E0F0, 0xFF010203};
    for (int factor : {1, 2, 3}) {
        // One spare column and row: they stay as they were.
        int w = 3 * factor + 1, h = 2 * factor + 1;
        SDL_Surface *target = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
        ASSERT_NE(target, nullptr);
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 1, 1, 1));
        qk::sdl::EnlargeInto(picture, 3, 2, factor, target);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const Uint8 *p = (const Uint8 *)target->pixels + y * target->pitch + x * 3;
                uint32_t expected = 0x010101;
                if (x < 3 * factor && y < 2 * factor)
                    expected = picture.pixels[(size_t)(y / factor * 3 + x / factor)] & 0xFFFFFF;
                uint32_t got = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
                EXPECT_EQ(got, expected) << "factor " << factor << " at " << x << "," << y;
            }
        SDL_FreeSurface(target);
    }
}

}  // namespace
