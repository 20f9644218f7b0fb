#include <gtest/gtest.h>

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
    char out[64];
    FitPathForMessage("c:\\snd\\horn.wav", out, sizeof out, 40);
    EXPECT_STREQ(out, "C:\\SND\\HORN.WAV");

    std::string path = "c:\\" + std::string(100, 'x') + "\\end.wav";
    FitPathForMessage(path.c_str(), out, sizeof out, 40);
    EXPECT_EQ(strlen(out), 40u);
    EXPECT_EQ(std::string(out).substr(0, 3), "C:\\");
    EXPECT_EQ(std::string(out).substr(40 - 8), "\\END.WAV");
    EXPECT_NE(std::string(out).find("..."), std::string::npos);
}

}  // namespace
