#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/app.h"
#include "sound/sound.h"

namespace {

struct SplitCase {
    const char *path, *drive, *dir, *base, *ext;
};

TEST(SplitPath, PartsOfPaths) {
    const SplitCase cases[] = {
        {"C:\\SOUNDS\\DING.WAV", "C:", "\\SOUNDS\\", "DING", ".WAV"},
        {"C:\\DING.WAV", "C:", "\\", "DING", ".WAV"},
        {"DING.WAV", "", "", "DING", ".WAV"},
        {"c:\\a\\2nd.take.wav", "c:", "\\a\\", "2nd.take", ".wav"},
        {"d:/x/drum-roll.wav", "d:", "/x/", "drum-roll", ".wav"},
        {"C:DING.WAV", "C:", "", "DING", ".WAV"},
        {"C:\\SOUNDS\\", "C:", "\\SOUNDS\\", "", ""},
        {"C:\\SOUNDS\\..", "C:", "\\SOUNDS\\..", "", ""},
        {"C:\\SOUNDS\\.", "C:", "\\SOUNDS\\.", "", ""},
        {"..", "", "..", "", ""},
        {"C:\\DIR.EXT\\NAME", "C:", "\\DIR.EXT\\", "NAME", ""},
        {"C:\\SOUNDS\\*.WAV", "C:", "\\SOUNDS\\", "*", ".WAV"},
        {".hidden", "", "", "", ".hidden"},
        {"", "", "", "", ""},
        {"C:", "C:", "", "", ""},
    };
    for (const SplitCase &c : cases) {
        char drive[PATH_PART_SIZE], dir[PATH_PART_SIZE], base[PATH_PART_SIZE], ext[PATH_PART_SIZE];
        SplitPath(c.path, drive, dir, base, ext);
        EXPECT_STREQ(drive, c.drive) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(base, c.base) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }
}

TEST(SplitPath, LongPathsStayWithinTheirParts) {
    // Only the first 260 characters count, and no part passes 255.
    std::string dir = "C:\\" + std::string(300, 'd') + "\\NAME.WAV";
    char drive[PATH_PART_SIZE], d[PATH_PART_SIZE], base[PATH_PART_SIZE], ext[PATH_PART_SIZE];
    SplitPath(dir.c_str(), drive, d, base, ext);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(d, "\\");  // the one separator within the first 260 characters
    EXPECT_EQ(strlen(base), 255u);

    std::string longName = "C:\\S\\" + std::string(400, 'n') + ".wav";
    SplitPath(longName.c_str(), drive, d, base, ext);
    EXPECT_STREQ(d, "\\S\\");
    EXPECT_EQ(strlen(base), 255u);
    EXPECT_STREQ(ext, "");  // the extension lies beyond character 260

    std::string longExt = "x." + std::string(400, 'e');
    SplitPath(longExt.c_str(), drive, d, base, ext);
    EXPECT_STREQ(base, "x");
    EXPECT_EQ(strlen(ext), 255u);
}

TEST(LabelFromPath, Labels) {
    const char *cases[][2] = {
        {"C:\\SOUNDS\\APPLAUSE_LONG.WAV", "Applause"},
        {"d:\\x\\drum-roll.wav", "Drum-rol"},
        {"c:\\a\\2nd.take.wav", "2nd.take"},
        {"C:\\SOUNDS\\", ""},
        {"clap.wav", "Clap"},
        {"C:\\VERYLONGNAME.WAV", "Verylong"},
        {"C:HORN.WAV", "Horn"},
        {"C:\\SOUNDS\\..", ""},
        {"/unix/style/BELL", "Bell"},
        {"C:\\x\\\xc4RGER.WAV", "\xc4rger"},  // only ASCII letters change case
    };
    for (auto &c : cases) {
        char label[LABEL_SIZE];
        LabelFromPath(c[0], label);
        EXPECT_STREQ(label, c[1]) << c[0];
    }
}

TEST(FitPathForMessage, ShortensInTheMiddleAndUpperCases) {
    // 44 characters: "c:\" (0-2), the letters a..z (3-28), "\" (29), the digits (30-39), ".wav".
    const char *path = "c:\\abcdefghijklmnopqrstuvwxyz\\0123456789.wav";
    ASSERT_EQ(strlen(path), 44u);
    struct Case {
        size_t outSize, maxChars;
        const char *fitted;
    } cases[] = {
        // It fits: only upper-cased.
        {64, 60, "C:\\ABCDEFGHIJKLMNOPQRSTUVWXYZ\\0123456789.WAV"},
        {64, 44, "C:\\ABCDEFGHIJKLMNOPQRSTUVWXYZ\\0123456789.WAV"},
        // One too long: a quarter of the limit (10) from the front, "...", the rest (30)
        // from the end.
        {64, 43, "C:\\ABCDEFG...LMNOPQRSTUVWXYZ\\0123456789.WAV"},
        {64, 42, "C:\\ABCDEFG...MNOPQRSTUVWXYZ\\0123456789.WAV"},
        {64, 40, "C:\\ABCDEFG...OPQRSTUVWXYZ\\0123456789.WAV"},
        {64, 39, "C:\\ABCDEF...OPQRSTUVWXYZ\\0123456789.WAV"},  // the front shrinks to 9
        {64, 12, "C:\\...89.WAV"},
        {64, 11, "C:...89.WAV"},
        {64, 9, "C:....WAV"},
        {64, 8, "C:...WAV"},  // the smallest limit that still shortens in the middle
        // Below 8 the path is simply cut.
        {64, 7, "C:\\ABCD"},
        {64, 3, "C:\\"},
        {64, 1, "C"},
        {64, 0, ""},
        // The buffer bounds the limit: 15 characters and the NUL.
        {16, 100, "C:\\...56789.WAV"},
        {16, 15, "C:\\...56789.WAV"},
        {8, 40, "C:\\ABCD"},  // 7 characters: cut
        {1, 40, ""},
    };
    for (const Case &c : cases) {
        char out[80];
        memset(out, 'G', sizeof out);
        FitPathForMessage(path, out, c.outSize, c.maxChars);
        EXPECT_STREQ(out, c.fitted) << c.outSize << " " << c.maxChars;
        for (size_t i = strlen(c.fitted) + 1; i < sizeof out; i++)
            ASSERT_EQ(out[i], 'G') << "written past the fitted text: " << c.outSize << " " << c.maxChars << " @" << i;
    }
    // No room at all: nothing is written.
    char none[4] = {'G', 'G', 'G', 'G'};
    FitPathForMessage(path, none, 0, 40);
    EXPECT_EQ(std::string(none, 4), "GGGG");

    char out[64];
    FitPathForMessage("c:\\snd\\horn.wav", out, sizeof out, 40);
    EXPECT_STREQ(out, "C:\\SND\\HORN.WAV");
    FitPathForMessage("", out, sizeof out, 40);
    EXPECT_STREQ(out, "");
}

}  // namespace
