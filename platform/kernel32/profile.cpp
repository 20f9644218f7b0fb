// Private profile files with the platform's semantics.
//
// Reading: sections and keys are matched ignoring case and surrounding blanks, values
// lose their surrounding blanks (and one pair of matching quotes), LF and CRLF files
// read alike, lines that are neither sections nor keys are ignored but kept.
// Writing: the file is rewritten with CRLF line ends into a temporary file that then
// replaces the old one by rename, under an advisory lock shared by every process, so
// two running copies never lose each other's keys and a failed write leaves the old
// file whole.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) b++;
    while (e > b && IsBlank(s[e - 1])) e--;
    return s.substr(b, e - b);
}

enum class LineKind { Other, Section, Key };

struct Line {
    LineKind kind;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed
};

Line Classify(const std::string &raw) {
    std::string t = Trim(raw);
    if (!t.empty() && t[0] == '[') {
        size_t close = t.find(']');
        return {LineKind::Section, Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)), ""};
    }
    if (t.empty() || t[0] == ';') return {LineKind::Other, "", ""};
    size_t eq = t.find('=');
    if (eq == std::string::npos) return {LineKind::Other, "", ""};
    return {LineKind::Key, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t s = 0;
    while (s < text.size()) {
        size_t e = text.find('\n', s);
        if (e == std::string::npos) e = text.size();
        std::string line = text.substr(s, e - s);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        s = e + 1;
    }
    return lines;
}

bool SameName(const std::string &a, const char *b) {
    std::string tb = Trim(b);
    return a.size() == tb.size() && strncasecmp(a.c_str(), tb.c_str(), a.size()) == 0;
}

// Where a profile file lives: a bare name in the configuration folder (found there
// ignoring case), anything else through the DOS namespace.
bool ProfilePath(const char *fileName, bool forWriting, std::string &host) {
    if (!fileName || !fileName[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!strpbrk(fileName, "\\/:")) {
        if (strlen(fileName) >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        std::string dir = qk::ConfigDir();
        if (forWriting && !qk::EnsureConfigDir()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        std::string actual;
        host = dir + "/" + (qk::FindEntryNoCase(dir, fileName, actual) ? actual : std::string(fileName));
        return true;
    }
    return qk::DosResolve(fileName, host, forWriting);
}

bool ReadWhole(const std::string &host, std::string &text) {
    text.clear();
    int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

std::vector<std::string> ReadProfileLines(const char *fileName) {
    std::string host, text;
    if (!ProfilePath(fileName, false, host) || !ReadWhole(host, text)) return {};
    return SplitLines(text);
}

// Index of the first line of the named section's header, or -1.
long FindSection(const std::vector<std::string> &lines, const char *section) {
    for (size_t i = 0; i < lines.size(); i++) {
        Line l = Classify(lines[i]);
        if (l.kind == LineKind::Section && SameName(l.name, section)) return (long)i;
    }
    return -1;
}

// Copies a list of NUL-terminated names, ending in an extra NUL, as the platform does.
DWORD CopyList(const std::vector<std::string> &names, LPSTR out, DWORD size) {
    if (size < 2) {
        if (size == 1) out[0] = 0;
        return 0;
    }
    DWORD pos = 0;
    for (const std::string &n : names) {
        for (char c : n) {
            if (pos + 2 >= size) {
                out[pos] = 0;
                out[pos + 1] = 0;
                return size - 2;
            }
            out[pos++] = c;
        }
        if (pos + 2 >= size) {
            out[pos] = 0;
            out[pos + 1] = 0;
            return size - 2;
        }
        out[pos++] = 0;
    }
    out[pos] = 0;
    return pos;
}

DWORD CopyValue(const std::string &v, LPSTR out, DWORD size) {
    DWORD n = (DWORD)std::min<size_t>(v.size(), size - 1);
    memcpy(out, v.data(), n);
    out[n] = 0;
    // A value cut in the middle still ends at the first NUL it may hold.
    return (DWORD)strlen(out);
}

std::string Unquote(const std::string &v) {
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    std::vector<std::string> lines = ReadProfileLines(lpFileName);
    if (!lpAppName) {
        std::vector<std::string> names;
        for (const std::string &raw : lines) {
            Line l = Classify(raw);
            if (l.kind == LineKind::Section) names.push_back(l.name);
        }
        return CopyList(names, lpReturnedString, nSize);
    }
    long sec = FindSection(lines, lpAppName);
    if (!lpKeyName) {
        std::vector<std::string> names;
        for (size_t i = sec < 0 ? lines.size() : (size_t)sec + 1; i < lines.size(); i++) {
            Line l = Classify(lines[i]);
            if (l.kind == LineKind::Section) break;
            if (l.kind == LineKind::Key) names.push_back(l.name);
        }
        return CopyList(names, lpReturnedString, nSize);
    }
    if (sec >= 0) {
        for (size_t i = (size_t)sec + 1; i < lines.size(); i++) {
            Line l = Classify(lines[i]);
            if (l.kind == LineKind::Section) break;
            if (l.kind == LineKind::Key && SameName(l.name, lpKeyName))
                return CopyValue(Unquote(l.value), lpReturnedString, nSize);
        }
    }
    std::string def = lpDefault ? lpDefault : "";
    while (!def.empty() && def.back() == ' ') def.pop_back();
    return CopyValue(def, lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    char buf[1024];
    char none = 0;
    if (!lpAppName || !lpKeyName) return (UINT)nDefault;
    DWORD len = GetPrivateProfileStringA(lpAppName, lpKeyName, &none, buf, sizeof buf, lpFileName);
    if (len == 0) return (UINT)nDefault;
    const char *p = buf;
    while (IsBlank(*p)) p++;
    bool neg = false;
    if (*p == '-' || *p == '+') neg = (*p++ == '-');
    uint32_t v = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        for (; isxdigit((unsigned char)*p); p++)
            v = v * 16u + (uint32_t)(isdigit((unsigned char)*p) ? *p - '0' : (tolower((unsigned char)*p) - 'a' + 10));
    } else {
        for (; *p >= '0' && *p <= '9'; p++) v = v * 10u + (uint32_t)(*p - '0');
    }
    return neg ? (UINT)(0u - v) : (UINT)v;
}

namespace {

// Applies one write to the lines; false when nothing changes.
bool ApplyWrite(std::vector<std::string> &lines, const char *section, const char *key, const char *value) {
    long sec = FindSection(lines, section);
    if (!key) {  // remove the whole section
        if (sec < 0) return false;
        size_t end = (size_t)sec + 1;
        while (end < lines.size() && Classify(lines[end]).kind != LineKind::Section) end++;
        lines.erase(lines.begin() + sec, lines.begin() + (long)end);
        return true;
    }
    std::string val;
    if (value) {
        val = value;
        size_t cut = val.find_first_of("\r\n");  // a line break would split the entry
        if (cut != std::string::npos) val.resize(cut);
        val = Trim(val);  // blanks round a value are not kept, as on the platform
    }
    if (sec < 0) {
        if (!value) return false;
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back("[" + Trim(section) + "]");
        lines.push_back(Trim(key) + "=" + val);
        return true;
    }
    size_t lastEntry = (size_t)sec;
    for (size_t i = (size_t)sec + 1; i < lines.size(); i++) {
        Line l = Classify(lines[i]);
        if (l.kind == LineKind::Section) break;
        if (!Trim(lines[i]).empty()) lastEntry = i;
        if (l.kind == LineKind::Key && SameName(l.name, key)) {
            if (!value) {
                lines.erase(lines.begin() + (long)i);
                return true;
            }
            std::string updated = l.name + "=" + val;
            if (lines[i] == updated) return false;
            lines[i] = updated;
            return true;
        }
    }
    if (!value) return false;
    lines.insert(lines.begin() + (long)lastEntry + 1, Trim(key) + "=" + val);
    return true;
}

bool WriteAll(int fd, const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

DWORD ErrorFromErrno(int e) {
    switch (e) {
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        default:
            return ERROR_WRITE_FAULT;
    }
}

}  // namespace

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
    if (!lpAppName) return lpKeyName == nullptr && lpString == nullptr;  // a cache flush: nothing cached here
    std::string host;
    if (!ProfilePath(lpFileName, true, host)) return FALSE;
    size_t slash = host.find_last_of('/');
    std::string dir = host.substr(0, slash), base = host.substr(slash + 1);

    // The lock lives beside the file, so that the rename below never replaces it.
    std::string lockPath = dir + "/." + base + ".lock";
    int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }

    BOOL ok = FALSE;
    std::string text;
    struct stat st;
    bool exists = stat(host.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (exists && !ReadWhole(host, text)) {
        SetLastError(ERROR_ACCESS_DENIED);  // unreadable: never replace what we cannot keep
    } else {
        std::vector<std::string> lines = SplitLines(text);
        if (!ApplyWrite(lines, lpAppName, lpKeyName, lpString)) {
            ok = TRUE;
        } else {
            std::string out;
            for (const std::string &l : lines) {
                out += l;
                out += "\r\n";
            }
            std::string tmp = dir + "/." + base + ".XXXXXX";
            std::vector<char> tmpName(tmp.begin(), tmp.end());
            tmpName.push_back(0);
            int fd = mkstemp(tmpName.data());
            if (fd < 0) {
                SetLastError(ErrorFromErrno(errno));
            } else {
                fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
                bool written = WriteAll(fd, out) && fsync(fd) == 0;
                int err = errno;
                close(fd);
                if (written && rename(tmpName.data(), host.c_str()) == 0) {
                    ok = TRUE;
                } else {
                    if (written) err = errno;
                    unlink(tmpName.data());
                    SetLastError(ErrorFromErrno(err));
                }
            }
        }
    }
    flock(lockFd, LOCK_UN);
    close(lockFd);
    return ok;
}
