// Files and paths: GetFileAttributesA, FindFirstFileA/FindNextFileA with wildcard patterns and
// names in any case, SetCurrentDirectoryA with drive-relative forms, per-drive current
// directories and overlong paths. The folders C:\QKPROBE\FILES\SUB, SUB2.D and .HIDDIR are made
// by the run script; the probe makes the files.
#include <stdlib.h>

#include "tests/conformance/probe.h"

static const char *files[] = {"Alpha.WAV", "beta.wav", "GAMMA.Wav", "noext", "a.b.c", ".hidden",
                              "x.wave",    "y.wa",     "long name.wav", "UPPER.TXT"};

static int CompareNames(const void *a, const void *b) {
    return strcmp((const char *)a, (const char *)b);
}

static void Find(const char *key, const char *pattern) {
    WIN32_FIND_DATAA found;
    SetLastError(0);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        Say(key, "none error=%lu", (unsigned long)GetLastError());
        return;
    }
    static char names[64][300];
    int count = 0;
    do {
        if (count < 64)
            snprintf(names[count++], sizeof names[0], "%s%s/%lx", found.cFileName,
                     (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : "",
                     (unsigned long)found.dwFileAttributes);
    } while (FindNextFileA(search, &found));
    DWORD end = GetLastError();
    FindClose(search);
    qsort(names, (size_t)count, sizeof names[0], CompareNames);
    char line[2048] = "";
    size_t at = 0;
    for (int i = 0; i < count && at < sizeof line - 1; i++)
        at += (size_t)snprintf(line + at, sizeof line - at, "%s%s", i ? " " : "", names[i]);
    Say(key, "%d [%s] end=%lu", count, line, (unsigned long)end);
}

static void Attributes(void) {
    static const char *paths[] = {
        "alpha.wav", "ALPHA.WAV", "Alpha.WAV.", "Alpha.WAV ", "Alpha.WAV. .", "SUB", "sub\\", "SUB\\.",
        "SUB\\..", "SUB2.D", "noext.", ".hidden", ".HIDDIR", "missing.wav", "nodir\\x.wav", "C:\\", "C:",
        "C:\\QKPROBE\\..\\QKPROBE\\FILES", "\\QKPROBE", ".", "..", "", "C:\\QKPROBE\\FILES\\*.wav",
        "Q:\\", "C:\\QKPROBE\\FILES\\beta.wav\\x",
    };
    for (const char *path : paths) {
        SetLastError(0);
        DWORD a = GetFileAttributesA(path);
        Say(K("attributes.%s", Q(path)), "%lx error=%lu", (unsigned long)a,
            a == INVALID_FILE_ATTRIBUTES ? (unsigned long)GetLastError() : 0ul);
    }
}

static void Finds(void) {
    static const char *patterns[] = {
        "*.*",  "*",        "*.",      "*.wav",   "*.WAV",   "?????.wav", "a*",       "*.w?v",    "*.wav.",
        "*.wav ", "noext.", "NOEXT",   "alpha.wav", "SUB",   "*.d",       "nomatch*", "*.wa",     "*.wa?",
        "?.*",  "*.??",    "*.?",      "long*",   "*e*",     "SUB\\*.*",  "SUB",      "C:\\QKPROBE\\FILES\\*.*",
        "..\\FILES\\b*", "nodir\\*.*", "*.wav\\", "", "C:*.wav",
    };
    int i = 0;
    for (const char *pattern : patterns) Find(K("find.%02d.%s", i++, Q(pattern)), pattern);
}

static void ShowCwd(const char *key, BOOL ok, DWORD error) {
    char cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    Say(key, "%d error=%lu cwd=%lu %s", ok ? 1 : 0, ok ? 0ul : (unsigned long)error, (unsigned long)n, Q(cwd));
}

static void Directories(void) {
    struct Step {
        const char *name;
        const char *path;
    };
    static const Step steps[] = {
        {"start", "C:\\QKPROBE\\FILES"},
        {"drive-only", "C:"},
        {"drive-dotdot", "C:.."},
        {"dotdot", ".."},
        {"back", "C:\\QKPROBE\\FILES\\SUB"},
        {"lower-case", "c:\\qkprobe\\files"},
        {"trailing-backslash", "C:\\QKPROBE\\FILES\\SUB\\"},
        {"trailing-dot", "C:\\QKPROBE\\FILES."},
        {"slashes", "C:/QKPROBE/FILES"},
        {"to-root", "C:\\"},
        {"drive-after-root", "C:"},
        {"relative", "QKPROBE\\FILES"},
        {"to-z", "Z:\\tmp"},
        {"z-then-c", "C:"},
        {"c-sub", "C:\\QKPROBE\\FILES\\SUB"},
        {"z-again", "Z:"},
        {"back-to-c", "C:"},
        {"a-file", "C:\\QKPROBE\\FILES\\beta.wav"},
        {"missing", "C:\\QKPROBE\\NOWHERE"},
        {"bad-drive", "Q:\\"},
        {"empty", ""},
        {"dot", "."},
        {"root-rel", "\\QKPROBE"},
        {"many-dotdots", "C:\\..\\..\\QKPROBE"},
    };
    for (const Step &s : steps) {
        SetLastError(0);
        BOOL ok = SetCurrentDirectoryA(s.path);
        ShowCwd(K("cd.%s", s.name), ok, GetLastError());
    }
    // Overlong paths: 259, 260 and 300 characters, all of existing-looking names.
    static const int lengths[] = {240, 259, 260, 300};
    for (int length : lengths) {
        char path[400];
        snprintf(path, sizeof path, "C:\\QKPROBE\\FILES\\");
        size_t at = strlen(path);
        for (; (int)at < length; at++) path[at] = (at % 9 == 0) ? '\\' : 'd';
        path[length] = 0;
        SetCurrentDirectoryA("C:\\QKPROBE\\FILES");
        SetLastError(0);
        BOOL ok = SetCurrentDirectoryA(path);
        ShowCwd(K("cd.overlong.%d", length), ok, GetLastError());
        SetLastError(0);
        DWORD a = GetFileAttributesA(path);
        Say(K("attributes.overlong.%d", length), "%lx error=%lu", (unsigned long)a,
            a == INVALID_FILE_ATTRIBUTES ? (unsigned long)GetLastError() : 0ul);
    }
    SetCurrentDirectoryA("C:\\QKPROBE\\FILES\\SUB");
    static const DWORD sizes[] = {0, 1, 5, 24, 25, 26};
    for (DWORD size : sizes) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        DWORD n = GetCurrentDirectoryA(size, size ? buffer : NULL);
        Say(K("getcwd.size.%lu", (unsigned long)size), "%lu %s", (unsigned long)n, Qn(buffer, size ? (int)size : 0));
    }
    DWORD drives = GetLogicalDrives();
    Say("drives.c-and-z", "%d %d", (drives >> 2) & 1 ? 1 : 0, (drives >> 25) & 1 ? 1 : 0);
}

int main(void) {
    ProbeStart();
    for (const char *name : files) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "C:\\QKPROBE\\FILES\\%s", name);
        PutFile(path, "x", 1);
    }
    SetCurrentDirectoryA("C:\\QKPROBE\\FILES");
    Attributes();
    Finds();
    Directories();
    return 0;
}
