#include "platform/kernel32/dos.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "platform/kernel32/codepage.h"
#include "platform/kernel32/kernel32.h"

namespace qk {
namespace {

std::mutex g_mutex;
bool g_driversReady = false;
std::vector<DriveInfo> g_drives;
bool g_cwdReady = false;
std::string g_cwd;  // "C:\SOUNDS" or "C:\"

std::string HomeDir() {
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return home;
    struct passwd *pw = getpwuid(getuid());
    if (pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
    return "/";
}

bool IsDir(const std::string &p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string &path) {
    if (path.empty()) return false;
    if (IsDir(path)) return true;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (!MakeDirs(path.substr(0, slash))) return false;
    }
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool IsSep(char c) { return c == '\\' || c == '/'; }

bool IsDriveLinkName(const char *n) {
    return n[0] && ((n[0] >= 'a' && n[0] <= 'z') || (n[0] >= 'A' && n[0] <= 'Z')) && n[1] == ':' && n[2] == 0;
}

// Reads the drive table; on first use creates <config>/dosdevices with c: and z:.
void LoadDrivesLocked() {
    if (g_driversReady) return;
    g_driversReady = true;
    g_drives.clear();
    std::string devices = ConfigDir() + "/dosdevices";
    if (!IsDir(devices)) {
        if (MakeDirs(devices)) {
            std::string home = HomeDir();
            if (symlink(home.c_str(), (devices + "/c:").c_str()) != 0 && errno != EEXIST) { /* read-only, below */ }
            if (symlink("/", (devices + "/z:").c_str()) != 0 && errno != EEXIST) { /* as above */ }
        }
    }
    bool seen[26] = {false};
    if (DIR *d = opendir(devices.c_str())) {
        while (struct dirent *e = readdir(d)) {
            if (!IsDriveLinkName(e->d_name)) continue;
            char letter = (char)toupper((unsigned char)e->d_name[0]);
            if (seen[letter - 'A']) continue;
            seen[letter - 'A'] = true;
            g_drives.push_back({letter, devices + "/" + e->d_name});
        }
        closedir(d);
    }
    if (g_drives.empty()) {
        // No folder could be made (a read-only home): the two standard drives still exist.
        g_drives.push_back({'C', HomeDir()});
        g_drives.push_back({'Z', "/"});
    }
    std::sort(g_drives.begin(), g_drives.end(),
              [](const DriveInfo &a, const DriveInfo &b) { return a.letter < b.letter; });
}

const DriveInfo *FindDriveLocked(char letter) {
    LoadDrivesLocked();
    letter = (char)toupper((unsigned char)letter);
    for (const DriveInfo &d : g_drives)
        if (d.letter == letter) return &d;
    return nullptr;
}

// The process's own directory, named through the drive whose target matches longest.
void LoadCwdLocked() {
    if (g_cwdReady) return;
    g_cwdReady = true;
    LoadDrivesLocked();
    char buf[PATH_MAX];
    std::string cwd = getcwd(buf, sizeof buf) ? buf : "/";
    char real[PATH_MAX];
    if (realpath(cwd.c_str(), real)) cwd = real;
    size_t bestLen = 0;
    char bestLetter = 0;
    for (const DriveInfo &d : g_drives) {
        char target[PATH_MAX];
        if (!realpath(d.link.c_str(), target)) continue;
        std::string t = target;
        if (t != "/" && !t.empty() && t.back() == '/') t.pop_back();
        bool match = (t == "/") || cwd == t || (cwd.size() > t.size() && cwd.compare(0, t.size(), t) == 0 &&
                                                   cwd[t.size()] == '/');
        size_t len = (t == "/") ? 0 : t.size();
        if (match && (bestLetter == 0 || len > bestLen)) {
            bestLen = len;
            bestLetter = d.letter;
        }
    }
    if (bestLetter == 0) {
        g_cwd = g_drives.empty() ? "C:\\" : std::string(1, g_drives.front().letter) + ":\\";
        return;
    }
    std::string rest = cwd.substr(bestLen), ansi;
    std::string dos(1, bestLetter);
    dos += ":";
    if (rest.empty() || rest == "/") {
        dos += "\\";
    } else if (Utf8ToAnsi(rest, ansi)) {
        for (char c : ansi) dos += (c == '/') ? '\\' : c;
    } else {
        dos += "\\";  // a folder the program could not name: the drive's root
    }
    if (dos.size() >= MAX_PATH) dos = std::string(1, bestLetter) + ":\\";
    g_cwd = dos;
}

}  // namespace

std::string ConfigDir() {
    const char *xdg = getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/')
        base = xdg;
    else
        base = HomeDir() + "/.config";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/qksonnerix";
}

bool EnsureConfigDir() { return MakeDirs(ConfigDir()); }

std::vector<DriveInfo> DosDrives() {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadDrivesLocked();
    std::vector<DriveInfo> out;
    for (const DriveInfo &d : g_drives)
        if (IsDir(d.link)) out.push_back(d);
    return out;
}

bool DosFullPath(const char *path, std::string &full, DWORD &error) {
    if (!path) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    size_t len = strlen(path);
    if (len == 0) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (len >= MAX_PATH) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadCwdLocked();
    char drive;
    std::vector<std::string> parts;
    const char *rest = path;
    if (((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z')) && path[1] == ':') {
        drive = (char)toupper((unsigned char)path[0]);
        rest = path + 2;
        if (!IsSep(rest[0]) && drive == g_cwd[0]) {
            // Drive-relative: the current directory when it is on that drive.
            std::string cur = g_cwd.substr(3);
            size_t s = 0;
            while (s < cur.size()) {
                size_t e = cur.find('\\', s);
                if (e == std::string::npos) e = cur.size();
                if (e > s) parts.push_back(cur.substr(s, e - s));
                s = e + 1;
            }
        }
    } else if (IsSep(path[0])) {
        if (IsSep(path[1])) {  // no network names here
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        drive = g_cwd[0];
    } else {
        drive = g_cwd[0];
        std::string cur = g_cwd.substr(3);
        size_t s = 0;
        while (s < cur.size()) {
            size_t e = cur.find('\\', s);
            if (e == std::string::npos) e = cur.size();
            if (e > s) parts.push_back(cur.substr(s, e - s));
            s = e + 1;
        }
    }
    const char *p = rest;
    while (*p) {
        while (IsSep(*p)) p++;
        if (!*p) break;
        const char *start = p;
        while (*p && !IsSep(*p)) p++;
        std::string comp(start, p - start);
        if (comp == ".") continue;
        if (comp == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        while (!comp.empty() && (comp.back() == '.' || comp.back() == ' ')) comp.pop_back();
        if (comp.empty()) continue;
        if (comp.find(':') != std::string::npos) {
            error = ERROR_INVALID_NAME;
            return false;
        }
        parts.push_back(comp);
    }
    full.assign(1, drive);
    full += ":\\";
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) full += '\\';
        full += parts[i];
    }
    if (full.size() >= MAX_PATH) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    return true;
}

bool FindEntryNoCase(const std::string &dir, const std::string &name, std::string &actual) {
    // `name` is the program's (cp1252); the host's names are UTF-8.
    struct stat st;
    std::string exact = AnsiToUtf8(name);
    if (lstat((dir + "/" + exact).c_str(), &st) == 0) {
        actual = exact;
        return true;
    }
    DIR *d = opendir(dir.c_str());
    if (!d) return false;
    bool found = false;
    while (struct dirent *e = readdir(d)) {
        std::string ansi;
        if (!Utf8ToAnsi(e->d_name, ansi) || AnsiCompareNoCase(ansi.c_str(), name.c_str()) != 0) continue;
        // Several spellings of one name: take the first in byte order, so the choice is stable.
        if (!found || strcmp(e->d_name, actual.c_str()) < 0) actual = e->d_name;
        found = true;
    }
    closedir(d);
    return found;
}

DosLookup DosToHost(const std::string &full, std::string &host) {
    std::string base;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const DriveInfo *drive = full.size() >= 3 ? FindDriveLocked(full[0]) : nullptr;
        if (!drive) return DosLookup::NoDrive;
        base = drive->link;
    }
    if (!IsDir(base)) return DosLookup::NoDrive;  // a link pointing nowhere
    host = base;
    size_t s = 3;
    while (s < full.size()) {
        size_t e = full.find('\\', s);
        if (e == std::string::npos) e = full.size();
        std::string comp = full.substr(s, e - s);
        bool last = (e == full.size());
        std::string actual;
        if (FindEntryNoCase(host, comp, actual)) {
            host += "/" + actual;
        } else if (last) {
            host += "/" + AnsiToUtf8(comp);
            return DosLookup::LastMissing;
        } else {
            return DosLookup::PathMissing;
        }
        s = e + 1;
    }
    return DosLookup::Found;
}

bool DosResolve(const char *path, std::string &host, bool allowMissingLast, std::string *fullOut) {
    std::string full;
    DWORD err = 0;
    if (!DosFullPath(path, full, err)) {
        SetLastError(err);
        return false;
    }
    if (fullOut) *fullOut = full;
    switch (DosToHost(full, host)) {
        case DosLookup::Found:
            return true;
        case DosLookup::LastMissing:
            if (allowMissingLast) return true;
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        case DosLookup::PathMissing:
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        case DosLookup::NoDrive:
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
    }
    return false;
}

namespace {
bool GlobMatch(const char *p, const char *n) {
    const char *star = nullptr, *back = nullptr;
    while (*n) {
        if (*p == '*') {
            star = ++p;
            back = n;
        } else if (*p == '?' || (*p && AnsiUpper((unsigned char)*p) == AnsiUpper((unsigned char)*n))) {
            p++;
            n++;
        } else if (star) {
            p = star;
            n = ++back;
        } else {
            return false;
        }
    }
    while (*p == '*') p++;
    return *p == 0;
}
}  // namespace

bool DosWildcardMatch(const char *pattern, const char *name) {
    if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0) return true;
    if (GlobMatch(pattern, name)) return true;
    size_t plen = strlen(pattern);
    bool nameHasDot = strchr(name, '.') != nullptr && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
    // "NAME." and "*." match names without an extension; "X*.*" also matches "XYZ".
    if (plen > 0 && pattern[plen - 1] == '.' && !nameHasDot) {
        std::string stripped(pattern, plen - 1);
        while (!stripped.empty() && stripped.back() == '.') stripped.pop_back();
        return GlobMatch(stripped.c_str(), name);
    }
    if (plen > 2 && pattern[plen - 2] == '.' && pattern[plen - 1] == '*' && !nameHasDot) {
        std::string stripped(pattern, plen - 2);
        return GlobMatch(stripped.c_str(), name);
    }
    return false;
}

void ResetDosNamespace() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_driversReady = false;
    g_drives.clear();
    g_cwdReady = false;
    g_cwd.clear();
}

// Current directory, here so that it shares the lock with the path rules.
std::string DosCurrentDirectory() {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadCwdLocked();
    return g_cwd;
}

void DosSetCurrentDirectory(const std::string &full) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadCwdLocked();
    g_cwd = full;
}

}  // namespace qk
