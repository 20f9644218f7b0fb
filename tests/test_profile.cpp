#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

TEST_F(Profile, IntegersAsThePlatformParsesThem) {
    SetIni("[S]\nA=12abc\nB=+7\nC=0x1F\nD=-0\nE=  -42\nF=4294967295\nG=abc\n");
    struct { const char *key; int value; } cases[] = {
        {"A", 12}, {"B", 7}, {"C", 31}, {"D", 0}, {"E", -42}, {"F", -1}, {"G", 0},
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
