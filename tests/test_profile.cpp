#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/driver/headless/headless.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/win32.h"
#include "tests/support.h"

namespace {

class Profile : public StandinTest {};

const char *kIni = "ZELVRANT.INI";

std::string Get(const char *section, const char *key, const char *def = "<def>", DWORD size = 1024,
                const char *file = kIni) {
    char buf[2048];
    GetPrivateProfileStringA(section, key, def, buf, size, file);
    return buf;
}

TEST_F(Profile, ReadsThePlatformsWay) {
    SetIni(
        "; settings\n"
        "[qk_pex]\n"
        "  Wave1 =  C:\\SOUNDS\\DING.WAV  \n"
        "SYNC=1\r\n"
        "X=-8\n"
        "Y= 40 \n"
        "Empty=\n"
        "Quoted=\"with blanks \"\n"
        "junk line without equals\n"
        "[ Other ]\n"
        "Sync=7\n");
    EXPECT_EQ(Get("QK_Pex", "wave1"), "C:\\SOUNDS\\DING.WAV");
    EXPECT_EQ(Get("QK_PEX", "Sync"), "1");
    EXPECT_EQ(Get("other", "SYNC"), "7");
    EXPECT_EQ(Get("QK_Pex", "Empty"), "");
    EXPECT_EQ(Get("QK_Pex", "Quoted"), "with blanks ");
    EXPECT_EQ(Get("QK_Pex", "Missing"), "<def>");
    EXPECT_EQ(Get("Nowhere", "Sync"), "<def>");
    EXPECT_EQ(Get("QK_Pex", "Missing", "dflt   "), "dflt");  // the default loses trailing blanks

    // Cut to the buffer size less one, with the count of what was copied.
    char small[6];
    EXPECT_EQ(GetPrivateProfileStringA("QK_Pex", "Wave1", "", small, sizeof small, kIni), 5u);
    EXPECT_STREQ(small, "C:\\SO");

    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "X", 1234, kIni), -8);
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Y", 1234, kIni), 40);
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Sync", 1234, kIni), 1);
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Missing", 1234, kIni), 1234);
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Empty", 1234, kIni), 1234);
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Wave1", 1234, kIni), 0);  // not a number

    // Lists of sections and of keys, each name ended by NUL and the list by another.
    char list[64];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", list, sizeof list, kIni);
    EXPECT_EQ(std::string(list, n), std::string("qk_pex\0Other\0", 13));
}

// Hand-edited files read as the platform's parser reads them.
TEST_F(Profile, OddLinesReadAsThePlatformReadsThem) {
    struct Case {
        const char *text, *section, *key, *expected;
    } cases[] = {
        {"[A]\rk=v\r\n", "A", "k", "v"},                  // a lone CR ends a line
        {"[A]\r\rk=v\r", "A", "k", "v"},                  // and so does each of several
        {"[A\r\nk=v\r\n", "A", "k", "<def>"},             // no "]": not a section header
        {"k=v\r\n[A]\r\nk=w\r\n", "", "k", "v"},          // keys before any section
        {"[B]\r\nj=1\r\n[A\r\nk=v\r\n", "B", "k", "v"},   // the broken header's keys stay in [B]
        {"[A]x]\r\nk=v\r\n", "A]x", "k", "v"},            // the name ends at the last "]"
        {"[A] tail\r\nk=v\r\n", "A", "k", "v"},           // text after it does not count
        {"[A]\r\n;k=c\r\nk=v\r\n", "A", ";k", "c"},       // a comment is a key of its own
        {"[A]\r\nk=v\x1a\x0b\r\n", "A", "k", "v"},        // ^Z and VT are blanks
        {"[A]\r\nk\r\n", "A", "k", "<def>"},              // a key without "=" has no value
        {"[A]\r\n=v\r\n", "A", "", "v"},                  // an empty name is a name
    };
    for (const Case &c : cases) {
        SetIni(c.text);
        EXPECT_EQ(Get(c.section, c.key), c.expected) << c.text;
    }
}

// The lists of keys and of sections, byte for byte as the platform leaves the buffer: each
// name ends in a NUL, the list in one more when it fits; a cut list has the size less two.
TEST_F(Profile, ListsFillTheBufferAsThePlatformDoes) {
    SetIni("[First]\r\nalpha=1\r\n;note=x\r\nnovalue\r\nbeta=22\r\ngamma=333\r\n[Second]\r\n[Third]\r\nk=v\r\n");
    struct Case {
        const char *section;
        DWORD size;
        DWORD count;
        std::string bytes;  // the buffer's first size bytes (and one more), '#' where untouched
    } cases[] = {
        {"First", 64, 17, std::string("alpha\0beta\0gamma\0\0#", 19)},
        {"First", 12, 10, std::string("alpha\0beta\0#", 12)},
        {"First", 8, 6, std::string("alpha\0\0#", 8)},
        {"First", 4, 2, std::string("al\0#", 4)},
        {"First", 2, 1, std::string("d\0#", 3)},  // nothing fits: the default, cut
        {"Second", 12, 4, std::string("dflt\0#", 6)},   // an empty section gives the default
        {"Nowhere", 12, 4, std::string("dflt\0#", 6)},  // and so does a missing one
        {nullptr, 64, 19, std::string("First\0Second\0Third\0\0#", 21)},
        {nullptr, 20, 18, std::string("First\0Second\0Third\0#", 20)},
        {nullptr, 8, 6, std::string("First\0\0#", 8)},
    };
    for (const Case &c : cases) {
        char buf[80];
        memset(buf, '#', sizeof buf);
        DWORD n = GetPrivateProfileStringA(c.section, nullptr, "dflt", buf, c.size, kIni);
        EXPECT_EQ(n, c.count) << (c.section ? c.section : "(sections)") << " " << c.size;
        EXPECT_EQ(std::string(buf, c.bytes.size()), c.bytes) << (c.section ? c.section : "(sections)") << " " << c.size;
    }
}

TEST_F(Profile, IntegersAsThePlatformParsesThem) {
    SetIni("[S]\nA=12abc\nB=+7\nC=0x1F\nD=-0\nE=  -42\nF=4294967295\nG=abc\nH=0X1f\nI=0b101\nJ=0o17\n"
           "K=-0x10\nL=\"5\"\nM=00000000000000000000000000000123\nN=4294967296\n");
    struct { const char *key; int value; } cases[] = {
        {"A", 12}, {"B", 7}, {"C", 31}, {"D", 0}, {"E", -42}, {"F", -1}, {"G", 0},
        {"H", 0},    // only a lower-case "0x" is hexadecimal
        {"I", 5},    // "0b" binary
        {"J", 15},   // "0o" octal
        {"K", -16},  // a sign before the base
        {"L", 5},    // quotes go first
        {"M", 0},    // only the first 29 characters are read
        {"N", 0},    // modulo 2^32
    };
    for (auto &c : cases) EXPECT_EQ((int)GetPrivateProfileIntA("S", c.key, 99, kIni), c.value) << c.key;
}

TEST_F(Profile, MissingFileReadsAsEmptyAndFirstWriteCreatesIt) {
    EXPECT_EQ(Get("QK_Pex", "Lock"), "<def>");
    EXPECT_EQ((int)GetPrivateProfileIntA("QK_Pex", "Lock", 1234, kIni), 1234);
    // The configuration folder is created by the first write.
    std::string fresh = root + "/fresh";
    setenv("XDG_CONFIG_HOME", fresh.c_str(), 1);
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni));
    EXPECT_EQ(ReadFile(fresh + "/qksonnerix/ZELVRANT.INI"), "[QK_Pex]\r\nLock=0\r\n");
}

TEST_F(Profile, WritesKeepEverythingElseInPlace) {
    SetIni(
        "; operator notes\n"
        "[QK_Pex]\n"
        "Wave1=C:\\A.WAV\n"
        "# a foreign line\n"
        "Lock = 1\n"
        "\n"
        "[QK_Wav]\n"
        "Savefile=D:\\BANKS\\SHOW.QK\n");
    ASSERT_TRUE(WritePrivateProfileStringA("qk_pex", "LOCK", "0", kIni));      // existing key, other case
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Wave2", "", kIni));      // new key, empty value
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Other", "Last", "3", kIni));    // new section
    EXPECT_EQ(IniText(),
              "; operator notes\r\n"
              "[QK_Pex]\r\n"
              "Wave1=C:\\A.WAV\r\n"
              "# a foreign line\r\n"
              "Lock=0\r\n"
              "Wave2=\r\n"
              "\r\n"
              "[QK_Wav]\r\n"
              "Savefile=D:\\BANKS\\SHOW.QK\r\n"
              "\r\n"
              "[QK_Other]\r\n"
              "Last=3\r\n");
    // The key written with "" stays, with an empty value.
    EXPECT_EQ(Get("QK_Pex", "Wave2"), "");

    // NULL value deletes a key, NULL key a section.
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Wave2", nullptr, kIni));
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Other", nullptr, nullptr, kIni));
    EXPECT_EQ(Get("QK_Pex", "Wave2"), "<def>");
    EXPECT_EQ(Get("QK_Other", "Last"), "<def>");
    EXPECT_EQ(Get("QK_Wav", "Savefile"), "D:\\BANKS\\SHOW.QK");
}

TEST_F(Profile, ALineBreakInAValueNeverSplitsTheEntry) {
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Wave1", "C:\\A.WAV\r\n[Evil]\r\nLock=1", kIni));
    EXPECT_EQ(Get("QK_Pex", "Wave1"), "C:\\A.WAV");
    EXPECT_EQ(Get("Evil", "Lock"), "<def>");
}

TEST_F(Profile, FileNamesAndPaths) {
    // A bare name is found in the configuration folder whatever its case.
    WriteFile(config + "/zelvrant.ini", "[QK_Pex]\nLock=1\n");
    EXPECT_EQ(Get("QK_Pex", "Lock"), "1");
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni));
    EXPECT_EQ(ReadFile(config + "/zelvrant.ini"), "[QK_Pex]\r\nLock=1\r\nSync=1\r\n");
    // A DOS path names a file anywhere in the namespace.
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "v", "D:\\other.ini"));
    EXPECT_EQ(ReadFile(driveD + "/other.ini"), "[S]\r\nK=v\r\n");
    EXPECT_EQ(Get("S", "K", "", 1024, "d:/OTHER.INI"), "v");
}

TEST_F(Profile, AFailedWriteLeavesTheOldFileWhole) {
    SetIni("[QK_Pex]\nLock=1\n");
    // Root writes into read-only folders: the write is made by a user without privileges.
    EXPECT_EQ(RunUnprivileged([&] {
                  ASSERT_EQ(chmod(config.c_str(), 0555), 0);
                  EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni));
                  EXPECT_EQ(IniText(), "[QK_Pex]\nLock=1\n");
              }),
              0);
    chmod(config.c_str(), 0755);
    EXPECT_EQ(IniText(), "[QK_Pex]\nLock=1\n");
}

TEST_F(Profile, AWriteThatRunsOutOfSpaceLeavesTheOldFileWhole) {
    std::string before = "[QK_Pex]\n" + std::string(3000, ';') + "\nLock=1\n";
    SetIni(before);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit makes the write fail part-way, as a full disk does.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool ok = WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni);
        _exit(ok ? 1 : (GetLastError() == ERROR_WRITE_FAULT || GetLastError() == ERROR_DISK_FULL ? 0 : 2));
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(IniText(), before);
    // No temporary file is left behind.
    int entries = 0;
    for (auto &e : std::filesystem::directory_iterator(config)) entries += e.path().filename().string()[0] != '.' || e.path().filename().string().find(".lock") == std::string::npos;
    EXPECT_EQ(entries, 2);  // the settings file and dosdevices
}

TEST_F(Profile, ASettingsFileThatIsNotAFileIsNeverReplaced) {
    MakeDirs(IniPath());  // a directory where the file should be
    EXPECT_EQ(Get("QK_Pex", "Lock"), "<def>");
    EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni));
    struct stat st;
    ASSERT_EQ(stat(IniPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

const char kCannotSave[] = "QK Sonnerix cannot save its settings";

std::string LostBody(const std::string &path, const char *reason) {
    return path + ": " + reason + ".\nChanges made now are lost when the player ends.";
}

std::string StderrLine(const std::string &path, const char *reason) {
    return "qksonnerix: cannot save the settings to " + path + " (" + reason +
           "); changes made now are lost when the player ends\n";
}

TEST_F(Profile, AReadErrorIsNeverTakenForTheEndOfTheFile) {
    std::string before = "[QK_Pex]\r\nLock=1\r\n" + std::string(2000, ';') + "\r\nWave1=C:\\A.WAV\r\n[QK_Wav]\r\nLast=3\r\n";
    // Where the disk fails, in bytes from the start of the file; the last row lies beyond
    // its end, so nothing fails.
    const struct {
        long failAt;
        bool fails;
    } kCases[] = {{0, true}, {9, true}, {1024, true}, {(long)before.size() - 1, true}, {(long)before.size() + 100, false}};
    for (const auto &c : kCases) {
        SetIni(before);
        qk::ForgetToldWriteFailures();
        qk::FailProfileReadsAfter(c.failAt);
        SetLastError(0);
        BOOL written = WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni);
        DWORD error = GetLastError();
        // What lies beyond the error reads as absent, never as an empty file's default.
        std::string wave = Get("QK_Pex", "Wave1");
        qk::FailProfileReadsAfter(-1);
        if (c.fails) {
            EXPECT_FALSE(written) << c.failAt;
            EXPECT_EQ(error, (DWORD)ERROR_READ_FAULT) << c.failAt;
            EXPECT_EQ(IniText(), before) << c.failAt;  // byte for byte
            EXPECT_EQ(wave, "<def>") << c.failAt;
        } else {
            EXPECT_TRUE(written);
            EXPECT_EQ(IniText(), "[QK_Pex]\r\nLock=1\r\n" + std::string(2000, ';') +
                                     "\r\nWave1=C:\\A.WAV\r\nSync=1\r\n[QK_Wav]\r\nLast=3\r\n");
            EXPECT_EQ(wave, "C:\\A.WAV");
        }
    }
    // With the disk well again, nothing was lost.
    EXPECT_EQ(Get("QK_Wav", "Last"), "3");
}

TEST_F(Profile, AFailedWriteIsToldOncePerCause) {
    SetIni("[QK_Pex]\nLock=1\n");
    std::string path = IniPath();
    testing::internal::CaptureStderr();
    qk::FailProfileReadsAfter(4);
    EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni));
    EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni));  // the same cause again: not told
    qk::FailProfileReadsAfter(-1);
    EXPECT_TRUE(WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni));  // a write that works tells nothing
    MakeDirs(config + "/ZELVRANT.INI.d");
    EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", "ZELVRANT.INI.d"));
    std::string err = testing::internal::GetCapturedStderr();
    std::string dirPath = config + "/ZELVRANT.INI.d";
    EXPECT_EQ(err, StderrLine(path, "Input/output error") + StderrLine(dirPath, "Is a directory"));
    auto told = qk::headless::Notifications();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].first, kCannotSave);
    EXPECT_EQ(told[0].second, LostBody(path, "Input/output error"));
    EXPECT_EQ(told[1].first, kCannotSave);
    EXPECT_EQ(told[1].second, LostBody(dirPath, "Is a directory"));

    // A read-only folder is a cause of its own (tried without root's privileges).
    EXPECT_EQ(RunUnprivileged([&] {
                  ASSERT_EQ(chmod(config.c_str(), 0555), 0);
                  EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Lock", "0", kIni));
                  EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Loop", "1", kIni));
                  auto now = qk::headless::Notifications();
                  ASSERT_EQ(now.size(), 3u);
                  EXPECT_EQ(now[2].second, LostBody(path, "Permission denied"));
              }),
              0);
    chmod(config.c_str(), 0755);
}

TEST_F(Profile, ASettingsFileThatIsALinkStaysOne) {
    // Kept in a folder of the user's own, linked from the configuration folder: by an
    // absolute link, by a relative one, and through a link to a link.
    MakeDirs(home + "/dotfiles");
    WriteFile(home + "/dotfiles/qk.ini", "; mine\r\n[QK_Pex]\r\nLock=1\r\n");
    const char *kLinks[] = {"absolute", "relative", "chain"};
    int value = 0;
    for (const char *how : kLinks) {
        unlink(IniPath().c_str());
        unlink((home + "/dotfiles/hop").c_str());
        std::string link = IniPath();
        if (std::string(how) == "absolute") {
            ASSERT_EQ(symlink((home + "/dotfiles/qk.ini").c_str(), link.c_str()), 0);
        } else if (std::string(how) == "relative") {
            std::string rel = std::filesystem::relative(home + "/dotfiles/qk.ini", config).string();
            ASSERT_EQ(symlink(rel.c_str(), link.c_str()), 0);
        } else {
            ASSERT_EQ(symlink("qk.ini", (home + "/dotfiles/hop").c_str()), 0);
            ASSERT_EQ(symlink((home + "/dotfiles/hop").c_str(), link.c_str()), 0);
        }
        value++;
        ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Sync", std::to_string(value).c_str(), kIni)) << how;
        struct stat st;
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << how;
        EXPECT_EQ(ReadFile(home + "/dotfiles/qk.ini"), "; mine\r\n[QK_Pex]\r\nLock=1\r\nSync=" + std::to_string(value) + "\r\n") << how;
        EXPECT_EQ(Get("QK_Pex", "Sync"), std::to_string(value)) << how;
    }
    // Links that lead round in a circle are never replaced by a file.
    unlink(IniPath().c_str());
    ASSERT_EQ(symlink("ZELVRANT.INI", IniPath().c_str()), 0);
    EXPECT_FALSE(WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni));
    struct stat st;
    ASSERT_EQ(lstat(IniPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(Profile, TheLeftoversOfACutShortWriteGoAtTheNextWrite) {
    SetIni("[QK_Pex]\r\nLock=1\r\n");
    // What a write cut short by a crash leaves, and files that only look alike.
    WriteFile(config + "/.ZELVRANT.INI.a1B2c3", "[QK_Pex]\r\nLo");
    WriteFile(config + "/.ZELVRANT.INI.Zz9Zz9", "");
    const char *kKept[] = {".ZELVRANT.INI.lock", ".ZELVRANT.INI.old", ".ZELVRANT.INI.a1B2c3d", ".OTHER.INI.a1B2c3",
                           "ZELVRANT.INI.a1B2c3", ".ZELVRANT.INI.a1-2c3"};
    for (const char *name : kKept) WriteFile(config + "/" + name, "keep");
    MakeDirs(config + "/.ZELVRANT.INI.dirdir");
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Sync", "0", kIni));
    EXPECT_FALSE(std::filesystem::exists(config + "/.ZELVRANT.INI.a1B2c3"));
    EXPECT_FALSE(std::filesystem::exists(config + "/.ZELVRANT.INI.Zz9Zz9"));
    for (const char *name : kKept) EXPECT_EQ(ReadFile(config + "/" + name), "keep") << name;
    EXPECT_TRUE(std::filesystem::is_directory(config + "/.ZELVRANT.INI.dirdir"));
    EXPECT_EQ(IniText(), "[QK_Pex]\r\nLock=1\r\nSync=0\r\n");
}

TEST_F(Profile, GarbageAndHugeFilesReadWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 200000; i++) junk += (char)((i * 7919) % 256);
    junk += "\n[QK_Pex]\nLock=1\n" + std::string(5000, 'x') + "\n";
    SetIni(junk);
    EXPECT_EQ(Get("QK_Pex", "Lock"), "1");
    ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", "Sync", "1", kIni));
    EXPECT_EQ(Get("QK_Pex", "Sync"), "1");
    EXPECT_EQ(Get("QK_Pex", "Lock"), "1");
    EXPECT_NE(IniText().find(std::string(5000, 'x')), std::string::npos);
}

TEST_F(Profile, TwoProcessesWritingAtOnceLoseNothing) {
    const int kKeys = 150;
    pid_t children[2];
    for (int c = 0; c < 2; c++) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            char key[32], value[32];
            for (int i = 0; i < kKeys; i++) {
                snprintf(key, sizeof key, "P%dK%d", c, i);
                snprintf(value, sizeof value, "%d", i * 10 + c);
                if (!WritePrivateProfileStringA(c ? "QK_Pex" : "QK_Wav", key, value, kIni)) _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; c++) {
        for (int i = 0; i < kKeys; i++) {
            char key[32];
            snprintf(key, sizeof key, "P%dK%d", c, i);
            EXPECT_EQ((int)GetPrivateProfileIntA(c ? "QK_Pex" : "QK_Wav", key, -1, kIni), i * 10 + c) << key;
        }
    }
}

}  // namespace
