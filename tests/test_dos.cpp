#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "platform/kernel32/dos.h"
#include "platform/win32.h"
#include "tests/support.h"

namespace {

class Dos : public StandinTest {};

std::vector<std::string> List(const char *pattern, std::vector<DWORD> *attrs = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(fd.cFileName);
        if (attrs) attrs->push_back(fd.dwFileAttributes);
    } while (FindNextFileA(h, &fd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
}

std::string Cwd() {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    return std::string(buf, n);
}

TEST_F(Dos, FirstStartMakesDrivesCAndZ) {
    std::string fresh = root + "/fresh";
    setenv("XDG_CONFIG_HOME", fresh.c_str(), 1);
    qk::ResetDosNamespace();
    WriteFile(home + "/Sounds/Ding.wav", "x");
    EXPECT_NE(GetFileAttributesA("C:\\SOUNDS\\DING.WAV"), INVALID_FILE_ATTRIBUTES);
    char target[512];
    ssize_t n = readlink((fresh + "/qksonnerix/dosdevices/c:").c_str(), target, sizeof target);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, n), home);
    n = readlink((fresh + "/qksonnerix/dosdevices/z:").c_str(), target, sizeof target);
    EXPECT_EQ(std::string(target, n), "/");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 25));
}

TEST_F(Dos, PathsFoundIgnoringCaseAcrossDrives) {
    WriteFile(home + "/Sounds/Ding.wav", "ding");
    WriteFile(driveD + "/Banks/Show.QK", "bank");
    MakeDirs(driveD + "/Banks/Sub Dir");
    const char *found[] = {
        "C:\\SOUNDS\\DING.WAV", "c:/sounds/ding.wav", "C:\\Sounds\\Ding.wav", "D:\\BANKS\\SHOW.QK",
        "d:\\banks\\show.qk",   "D:/Banks/../Banks/./show.qk", "D:\\BANKS\\SUB DIR",  "C:\\SOUNDS\\DING.WAV.",
    };
    for (const char *p : found) EXPECT_NE(GetFileAttributesA(p), INVALID_FILE_ATTRIBUTES) << p;
    const char *missing[] = {"C:\\SOUNDS\\DONG.WAV", "D:\\SOUNDS\\DING.WAV", "Q:\\X", "C:\\NOPE\\DING.WAV", ""};
    for (const char *p : missing) EXPECT_EQ(GetFileAttributesA(p), INVALID_FILE_ATTRIBUTES) << p;

    EXPECT_EQ(GetFileAttributesA("C:\\SOUNDS") & FILE_ATTRIBUTE_DIRECTORY, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("D:\\") & FILE_ATTRIBUTE_DIRECTORY, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\SOUNDS\\DING.WAV") & FILE_ATTRIBUTE_DIRECTORY, 0u);

    // Overlong names are refused, not cut.
    std::string longPath = "C:\\" + std::string(300, 'a');
    EXPECT_EQ(GetFileAttributesA(longPath.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(Dos, ADriveLinkPointingNowhere) {
    ASSERT_EQ(symlink((root + "/gone").c_str(), (config + "/dosdevices/e:").c_str()), 0);
    qk::ResetDosNamespace();
    EXPECT_EQ(GetFileAttributesA("E:\\X.WAV"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(List("E:\\*.*").empty());
    EXPECT_FALSE(SetCurrentDirectoryA("E:\\"));
    EXPECT_EQ(GetLogicalDrives() & (1u << 4), 0u);
}

TEST_F(Dos, CurrentDirectoryInDosForm) {
    MakeDirs(home + "/Sounds/Jingles");
    ASSERT_EQ(chdir((home + "/Sounds").c_str()), 0);
    qk::ResetDosNamespace();
    EXPECT_EQ(Cwd(), "C:\\Sounds");  // the process's own, through the drive that matches longest

    ASSERT_EQ(chdir(driveD.c_str()), 0);
    qk::ResetDosNamespace();
    EXPECT_EQ(Cwd(), "D:\\");

    ASSERT_EQ(chdir(root.c_str()), 0);
    qk::ResetDosNamespace();
    std::string expected = "Z:" + root;
    for (char &c : expected) if (c == '/') c = '\\';
    EXPECT_EQ(Cwd(), expected);

    EXPECT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(Cwd(), "C:\\");
    EXPECT_TRUE(SetCurrentDirectoryA("sounds\\jingles"));
    EXPECT_EQ(Cwd(), "C:\\sounds\\jingles");
    EXPECT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(Cwd(), "C:\\sounds");
    EXPECT_TRUE(SetCurrentDirectoryA("\\"));
    EXPECT_EQ(Cwd(), "C:\\");
    EXPECT_TRUE(SetCurrentDirectoryA("d:"));  // another drive without a path: its root
    EXPECT_EQ(Cwd(), "D:\\");
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\NOWHERE"));
    EXPECT_EQ(Cwd(), "D:\\");
    WriteFile(home + "/file.txt", "x");
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\FILE.TXT"));

    // A relative path is taken from the current directory.
    WriteFile(driveD + "/rel.wav", "x");
    EXPECT_NE(GetFileAttributesA("REL.WAV"), INVALID_FILE_ATTRIBUTES);

    // The buffer protocol: too small gives the size needed with its NUL.
    char tiny[2];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof tiny, tiny), 4u);
}

TEST_F(Dos, ListingWithThePlatformsWildcards) {
    MakeDirs(home + "/S/Sub");
    MakeDirs(home + "/S/.hiddendir");
    for (const char *n : {"b.wav", "A.WAV", "c.Wav", "noext", "d.wave", "e.wav.bak", ".hidden.wav"})
        WriteFile(home + "/S/" + n, "data");

    EXPECT_EQ(List("C:\\S\\*.WAV"), (std::vector<std::string>{".hidden.wav", "A.WAV", "b.wav", "c.Wav"}));
    EXPECT_EQ(List("C:\\S\\*."), (std::vector<std::string>{".", "..", "noext", "Sub"}));
    EXPECT_EQ(List("C:\\S\\?.wav"), (std::vector<std::string>{"A.WAV", "b.wav", "c.Wav"}));
    EXPECT_EQ(List("C:\\S\\*.*").size(), 11u);  // ".", "..", two folders and seven files
    EXPECT_EQ(List("c:/s/NOEXT"), (std::vector<std::string>{"noext"}));
    EXPECT_TRUE(List("C:\\S\\*.mp3").empty());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(List("C:\\NOPE\\*.*").empty());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    std::vector<DWORD> attrs;
    std::vector<std::string> all = List("C:\\S\\*", &attrs);
    ASSERT_EQ(all.size(), 11u);
    ASSERT_EQ(attrs.size(), all.size());
    for (size_t i = 0; i < all.size(); i++) {
        bool dir = all[i] == "." || all[i] == ".." || all[i] == "Sub" || all[i] == ".hiddendir";
        EXPECT_EQ((attrs[i] & FILE_ATTRIBUTE_DIRECTORY) != 0, dir) << all[i];
        bool hidden = all[i] == ".hidden.wav" || all[i] == ".hiddendir";
        EXPECT_EQ((attrs[i] & FILE_ATTRIBUTE_HIDDEN) != 0, hidden) << all[i];
    }

    // ".." everywhere but at a drive root.
    WriteFile(driveD + "/root.wav", "x");
    MakeDirs(driveD + "/Top");
    std::vector<std::string> atRoot = List("D:\\*.*");
    EXPECT_EQ(std::set<std::string>(atRoot.begin(), atRoot.end()), (std::set<std::string>{"root.wav", "Top"}));
    EXPECT_EQ(atRoot.size(), 2u);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(Dos, FileSizesInListings) {
    WriteFile(home + "/five.wav", "12345");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("C:\\FIVE.WAV", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fd.nFileSizeLow, 5u);
    EXPECT_EQ(fd.nFileSizeHigh, 0u);
    FindClose(h);
}

TEST_F(Dos, TextAndBinaryOpens) {
    WriteFile(home + "/bank.qk", std::string("!Fuck\r\nC:\\A.WAV\r\r\nB\x1A" "after", 24));
    FILE *f = fopen("c:\\BANK.QK", "r");
    ASSERT_NE(f, nullptr);
    char buf[64] = {0};
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(std::string(buf, n), "!Fuck\nC:\\A.WAV\nB");

    f = fopen("C:\\bank.qk", "rb");
    ASSERT_NE(f, nullptr);
    n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(n, 24u);

    // fscanf reads text lines as the program does.
    WriteFile(home + "/lines.txt", "first line\r\nsecond\r\n");
    f = fopen("C:\\LINES.TXT", "r");
    ASSERT_NE(f, nullptr);
    char line[64];
    ASSERT_EQ(fscanf(f, "%63[^\n]%*c", line), 1);
    EXPECT_STREQ(line, "first line");
    ASSERT_EQ(fscanf(f, "%63[^\n]%*c", line), 1);
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(fscanf(f, "%63[^\n]%*c", line), EOF);
    fclose(f);
}

TEST_F(Dos, OnlyRegularFilesOpenAndNothingBlocks) {
    MakeDirs(home + "/adir");
    ASSERT_EQ(mkfifo((home + "/pipe.wav").c_str(), 0644), 0);
    EXPECT_EQ(fopen("C:\\ADIR", "rb"), nullptr);
    EXPECT_EQ(fopen("C:\\PIPE.WAV", "rb"), nullptr);  // returns at once, no writer needed
    EXPECT_EQ(fopen("C:\\PIPE.WAV", "r"), nullptr);
    EXPECT_EQ(fopen("Z:\\dev\\null", "rb"), nullptr);
    EXPECT_EQ(fopen("C:\\MISSING.WAV", "rb"), nullptr);
    // A FIFO still exists for the existence test, like any other entry.
    EXPECT_NE(GetFileAttributesA("C:\\PIPE.WAV"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Dos, WildcardRuleTable) {
    struct { const char *pattern, *name; bool match; } cases[] = {
        {"*.*", "noext", true},     {"*.wav", "X.WAV", true},   {"*.wav", "x.wave", false},
        {"*.", "noext", true},      {"*.", "a.b", false},       {"a*.*", "abc", true},
        {"?.wav", "ab.wav", false}, {"*ing*", "DING.WAV", true}, {"DING", "ding", true},
        {"*.Q?", "show.qk", true},  {"*.QK", "show.qkx", false},
    };
    for (auto &c : cases) EXPECT_EQ(qk::DosWildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST_F(Dos, VersionIsTheWindows95Family) {
    OSVERSIONINFOA info;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "record size of the platform");
    info.dwOSVersionInfoSize = 148;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, 1u);
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    info.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(GetVersionExA(&info));
}

}  // namespace
