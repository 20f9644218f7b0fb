// Files and directories of the DOS namespace: attributes, directory listing, the
// current directory, the drive mask and the thread's last error.
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel32/codepage.h"
#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32.h"

namespace {

thread_local DWORD t_lastError = 0;

struct FindState {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};
std::mutex g_findMutex;
std::set<FindState *> g_finds;

FILETIME ToFileTime(const struct timespec &ts) {
    // 100 ns intervals since 1601-01-01.
    uint64_t v = ((uint64_t)ts.tv_sec + 11644473600ULL) * 10000000ULL + (uint64_t)ts.tv_nsec / 100;
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(v & 0xffffffffu);
    ft.dwHighDateTime = (DWORD)(v >> 32);
    return ft;
}

DWORD AttributesOf(const std::string &name, const struct stat &st) {
    DWORD attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= FILE_ATTRIBUTE_DIRECTORY;
    else
        attr |= FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR)) attr |= FILE_ATTRIBUTE_READONLY;
    if (name.size() > 1 && name[0] == '.' && name != "..") attr |= FILE_ATTRIBUTE_HIDDEN;
    return attr;
}

// `hostName` is the entry's name on disk, `name` the program's (cp1252) for it.
bool FillFindData(const std::string &dir, const std::string &hostName, const std::string &name,
                  WIN32_FIND_DATAA &fd) {
    if (name.size() >= MAX_PATH || name.find('\\') != std::string::npos) return false;
    memset(&fd, 0, sizeof fd);
    std::string path = dir + "/" + hostName;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) st.st_mode = S_IFREG | (st.st_mode & 0777);  // a link pointing nowhere
    fd.dwFileAttributes = AttributesOf(name, st);
    if (!S_ISDIR(st.st_mode)) {
        uint64_t size = S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
        fd.nFileSizeLow = (DWORD)(size & 0xffffffffu);
        fd.nFileSizeHigh = (DWORD)(size >> 32);
    }
    fd.ftCreationTime = ToFileTime(st.st_mtim);
    fd.ftLastAccessTime = ToFileTime(st.st_atim);
    fd.ftLastWriteTime = ToFileTime(st.st_mtim);
    memcpy(fd.cFileName, name.c_str(), name.size() + 1);
    return true;
}

bool HasWildcard(const std::string &s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    std::string host;
    if (!qk::DosResolve(lpFileName, host)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(host.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    size_t slash = host.find_last_of('/');
    std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
    return AttributesOf(name, st);
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (!lpFileName || !lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string spec = lpFileName;
    if (spec.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    size_t sep = spec.find_last_of("\\/");
    std::string dirPart, pattern;
    if (sep != std::string::npos) {
        dirPart = spec.substr(0, sep + 1);
        pattern = spec.substr(sep + 1);
    } else if (spec.size() >= 2 && spec[1] == ':') {
        dirPart = spec.substr(0, 2);
        pattern = spec.substr(2);
    } else {
        pattern = spec;
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string full, host;
    DWORD err = 0;
    if (!qk::DosFullPath(dirPart.empty() ? "." : dirPart.c_str(), full, err)) {
        SetLastError(err);
        return INVALID_HANDLE_VALUE;
    }
    if (qk::DosToHost(full, host) != qk::DosLookup::Found) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool atRoot = full.size() == 3;
    auto *state = new FindState;
    if (!HasWildcard(pattern)) {
        std::string actual, ansi;
        WIN32_FIND_DATAA fd;
        if (pattern == "." || pattern == "..") {
            if (!atRoot && FillFindData(host, pattern, pattern, fd)) state->entries.push_back(fd);
        } else if (qk::FindEntryNoCase(host, pattern, actual) && qk::Utf8ToAnsi(actual, ansi)) {
            if (FillFindData(host, actual, ansi, fd)) state->entries.push_back(fd);
        }
    } else {
        // (host name, the program's name); names cp1252 cannot hold are not listed.
        std::vector<std::pair<std::string, std::string>> names;
        if (DIR *d = opendir(host.c_str())) {
            while (struct dirent *e = readdir(d)) {
                std::string ansi;
                if (qk::Utf8ToAnsi(e->d_name, ansi)) names.emplace_back(e->d_name, ansi);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end(), [](const auto &x, const auto &y) {
            const std::string &a = x.second, &b = y.second;
            bool ad = a == "." || a == "..", bd = b == "." || b == "..";
            if (ad != bd) return ad;
            int c = qk::AnsiCompareNoCase(a.c_str(), b.c_str());
            return c != 0 ? c < 0 : x.first < y.first;
        });
        for (const auto &n : names) {
            if (atRoot && (n.second == "." || n.second == "..")) continue;
            if (!qk::DosWildcardMatch(pattern.c_str(), n.second.c_str())) continue;
            WIN32_FIND_DATAA fd;
            if (FillFindData(host, n.first, n.second, fd)) state->entries.push_back(fd);
        }
    }
    if (state->entries.empty()) {
        delete state;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = state->entries[0];
    state->next = 1;
    {
        std::lock_guard<std::mutex> lock(g_findMutex);
        g_finds.insert(state);
    }
    SetLastError(ERROR_SUCCESS);
    return (HANDLE)state;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    std::lock_guard<std::mutex> lock(g_findMutex);
    auto *state = (FindState *)hFindFile;
    if (!g_finds.count(state) || !lpFindFileData) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (state->next >= state->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = state->entries[state->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    std::lock_guard<std::mutex> lock(g_findMutex);
    auto *state = (FindState *)hFindFile;
    if (!g_finds.erase(state)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete state;
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string cwd = qk::DosCurrentDirectory();
    if (!lpBuffer || nBufferLength <= cwd.size()) return (DWORD)cwd.size() + 1;
    memcpy(lpBuffer, cwd.c_str(), cwd.size() + 1);
    return (DWORD)cwd.size();
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    std::string host, full;
    if (!qk::DosResolve(lpPathName, host, false, &full)) return FALSE;
    struct stat st;
    if (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    qk::DosSetCurrentDirectory(full);
    return TRUE;
}

DWORD WINAPI GetLogicalDrives(void) {
    DWORD mask = 0;
    for (const qk::DriveInfo &d : qk::DosDrives()) mask |= 1u << (d.letter - 'A');
    return mask;
}
