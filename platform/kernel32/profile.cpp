// Private profile files with the platform's semantics.
//
// Reading follows the platform's parser: a line ends at any CR or LF; blanks (and the other
// control blanks, and ^Z) round a line are not part of it; a line that starts with "[" and
// holds a "]" starts a section named by what stands between the "[" and the last "]"; every
// other line is a key, named up to its first "=" (a line without "=" is a key without a
// value, a comment a key whose name starts with ";"). Keys that stand before any section
// belong to a section with an empty name. Sections and keys are matched ignoring case and
// surrounding blanks; a value loses one pair of matching quotes.
// Writing: the file is rewritten with CRLF line ends into a temporary file that then
// replaces the old one by rename, under an advisory lock shared by every process, so
// two running copies never lose each other's keys and a failed write leaves the old
// file whole. Lines a write does not touch stay as they were. A file that cannot be read
// whole is never rewritten; a settings file that is a symbolic link stays one (the write
// goes to the file it leads to); the folder is synced after the rename, so that a power
// cut cannot bring an older file back.
//
// The program never looks at a write's result (nor would the platform tell the user),
// so a write that fails is reported by the stand-in itself: once per run and cause, on
// stderr and as a desktop notification.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <dirent.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver/driver.h"
#include "platform/kernel32/codepage.h"
#include "platform/kernel32/dos.h"
#include "platform/kernel32/kernel32.h"
#include "platform/kernel32/kernel32_test.h"

namespace {

// Tests make reads of profile files fail part-way (FailProfileReadsAfter): the bytes
// still given before the error, or -1 when reads are not interfered with.
std::atomic<long> g_readFailAfter{-1};

// The platform's blanks in a settings file: tab, LF, VT, FF, CR, ^Z (DOS end of file) and space.
bool IsBlank(char c) {
    unsigned char u = (unsigned char)c;
    return (u >= 0x09 && u <= 0x0d) || u == 0x1a || u == 0x20;
}

std::string Trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) b++;
    while (e > b && IsBlank(s[e - 1])) e--;
    return s.substr(b, e - b);
}

enum class LineKind { Blank, Section, Key };

struct Line {
    LineKind kind;
    std::string name;  // section or key name, trimmed
    bool hasValue;     // a key line with "="
    std::string value; // key value, trimmed
};

Line Classify(const std::string &raw) {
    std::string t = Trim(raw);
    if (t.empty()) return {LineKind::Blank, "", false, ""};
    if (t[0] == '[') {
        size_t close = t.rfind(']');
        if (close != std::string::npos) return {LineKind::Section, Trim(t.substr(1, close - 1)), false, ""};
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) return {LineKind::Key, t, false, ""};
    return {LineKind::Key, Trim(t.substr(0, eq)), true, Trim(t.substr(eq + 1))};
}

// Lines end at LF, CR LF or a lone CR.
std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t s = 0;
    while (s < text.size()) {
        size_t e = text.find_first_of("\r\n", s);
        if (e == std::string::npos) {
            lines.push_back(text.substr(s));
            break;
        }
        lines.push_back(text.substr(s, e - s));
        s = e + (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool SameText(const std::string &a, const std::string &b) {
    return a.size() == b.size() && qk::AnsiCompareNoCase(a.c_str(), b.c_str()) == 0;
}

// A name as a caller gives it is matched without its surrounding blanks.
bool SameName(const std::string &a, const char *b) { return SameText(a, Trim(b)); }

// The parsed file: its sections in order, the first one (header -1) holding the keys that
// stand before any section header.
struct Key {
    size_t line;
    std::string name;
    bool hasValue;
    std::string value;
};

struct Section {
    long header;
    std::string name;
    std::vector<Key> keys;
};

std::vector<Section> Parse(const std::vector<std::string> &lines) {
    std::vector<Section> sections(1, Section{-1, "", {}});
    for (size_t i = 0; i < lines.size(); i++) {
        Line l = Classify(lines[i]);
        if (l.kind == LineKind::Blank) continue;
        if (l.kind == LineKind::Section) {
            sections.push_back(Section{(long)i, l.name, {}});
            continue;
        }
        // A key with an empty name right after another one with an empty name is dropped.
        std::vector<Key> &keys = sections.back().keys;
        if (!l.name.empty() || keys.empty() || !keys.back().name.empty())
            keys.push_back(Key{i, l.name, l.hasValue, l.value});
    }
    return sections;
}

// The first section of that name (given with or without surrounding blanks), or null.
const Section *FindSection(const std::vector<Section> &sections, const char *name) {
    for (const Section &s : sections)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

const Key *FindKey(const Section &section, const char *name) {
    for (const Key &k : section.keys)
        if (SameName(k.name, name)) return &k;
    return nullptr;
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

// The whole file, or false (errno set) when it cannot be opened or read to its end: a
// read error is not the end of the file, or the next write would keep only what was
// read before it.
bool ReadWhole(const std::string &host, std::string &text) {
    text.clear();
    int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EACCES;
        return false;
    }
    char buf[65536];
    long failAfter = g_readFailAfter.load();
    for (;;) {
        size_t want = sizeof buf;
        if (failAfter >= 0 && (size_t)failAfter < want) want = (size_t)failAfter;
        ssize_t n;
        if (failAfter == 0) {
            n = -1;
            errno = EIO;
        } else {
            n = read(fd, buf, want);
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            close(fd);
            text.clear();
            errno = err;
            return false;
        }
        if (n == 0) break;
        if (failAfter > 0) failAfter -= (long)n;
        text.append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

std::vector<Section> ReadProfile(const char *fileName) {
    std::string host, text;
    if (!ProfilePath(fileName, false, host) || !ReadWhole(host, text)) return Parse({});
    return Parse(SplitLines(text));
}

// A value as the platform hands it out: one pair of matching quotes round it removed, cut
// to the buffer. (When the buffer is exactly as long as the unquoted text with its closing
// quote, the platform cuts the last character as well as the quote; so does this.)
DWORD CopyEntry(const std::string &value, LPSTR out, DWORD size) {
    std::string v = value;
    bool quoted = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
    if (quoted) v.erase(0, 1);  // v still ends in the closing quote
    size_t n = strnlen(v.c_str(), std::min<size_t>(v.size(), size - 1));
    if (quoted && size >= strlen(v.c_str()) && n > 0) n--;  // the length up to a NUL it may hold
    memcpy(out, v.data(), n);  // only the text and one NUL reach the caller's buffer
    out[n] = 0;
    return (DWORD)n;
}

// A list of names as the platform copies it: each name ends in a NUL, the list in another;
// when the buffer is too small, the last name that fits is cut and the count is the size
// less two. Comments and lines without "=" are not listed.
DWORD CopyKeyList(const std::vector<Key> &keys, LPSTR out, DWORD size) {
    // The platform fills a wide buffer of `size` characters and then converts the count it
    // returned, ending the result with one NUL; the same steps on bytes give the same bytes.
    // wide[0] is room for the platform's write just before the buffer when nothing fits.
    std::vector<char> wide((size_t)size + 2, 0);
    size_t pos = 1;
    DWORD len = size, oldlen = size;
    for (const Key &k : keys) {
        if (len <= 2) break;
        if (k.name.empty() && !k.hasValue) continue;
        if (k.name[0] == ';') continue;  // comments
        if (!k.hasValue) continue;       // lines without "="
        size_t n = strnlen(k.name.c_str(), std::min<size_t>(k.name.size(), len - 2));
        memcpy(&wide[pos], k.name.data(), n);
        wide[pos + n] = 0;
        len -= (DWORD)n + 1;
        pos += n + 1;
        if (len < 2) break;
    }
    wide[pos] = 0;
    DWORD ret;
    if (len <= 1) {
        wide[pos - 1] = 0;
        ret = oldlen - 2;
    } else {
        ret = oldlen - len;
    }
    ret = std::min<DWORD>(ret, size - 1);
    memcpy(out, &wide[1], ret);
    out[ret] = 0;
    return ret;
}

DWORD CopySectionList(const std::vector<Section> &sections, LPSTR out, DWORD size) {
    if (size == 1) {
        out[0] = 0;
        return 0;
    }
    std::vector<char> wide(size, 0);
    char *buf = wide.data();
    DWORD buflen = size - 1, ret = 0;
    bool cut = false;
    for (const Section &s : sections) {
        if (s.name.empty()) continue;
        DWORD tmplen = (DWORD)s.name.size() + 1;
        if (tmplen >= buflen) {
            if (buflen > 0) {
                memcpy(buf, s.name.data(), buflen - 1);
                buf += buflen - 1;
                *buf++ = 0;
            }
            *buf = 0;
            ret = size - 2;
            cut = true;
            break;
        }
        memcpy(buf, s.name.c_str(), tmplen);
        buf += tmplen;
        buflen -= tmplen;
    }
    if (!cut) {
        *buf = 0;
        ret = (DWORD)(buf - wide.data());
    }
    memcpy(out, wide.data(), ret);
    out[ret] = 0;
    return ret;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    std::vector<Section> sections = ReadProfile(lpFileName);
    std::string def = lpDefault ? lpDefault : "";
    if (!lpAppName) return CopySectionList(sections, lpReturnedString, nSize);
    if (!lpKeyName) {
        // The keys of the first section of that name; an empty list gives the default.
        const Section *found = FindSection(sections, lpAppName);
        DWORD n = found ? CopyKeyList(found->keys, lpReturnedString, nSize) : 0;
        if (n == 0 || !lpReturnedString[0]) return CopyEntry(def, lpReturnedString, nSize);
        return n;
    }
    const Section *section = FindSection(sections, lpAppName);
    const Key *key = section ? FindKey(*section, lpKeyName) : nullptr;
    if (key && key->hasValue) return CopyEntry(key->value, lpReturnedString, nSize);
    while (!def.empty() && def.back() == ' ') def.pop_back();
    return CopyEntry(def, lpReturnedString, nSize);
}

// The platform reads the value into a buffer of 30 characters and takes it as a number the
// way its run-time library does: blanks and control characters first, a sign, then "0x",
// "0o" or "0b" (lower case only) for base 16, 8 or 2, else base 10; digits up to the first
// that does not belong, the total kept modulo 2^32.
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    char buf[30];
    if (GetPrivateProfileStringA(lpAppName, lpKeyName, "", buf, sizeof buf, lpFileName) == 0) return (UINT)nDefault;
    if (!buf[0]) return (UINT)nDefault;
    const char *p = buf;
    while (*p && (unsigned char)*p <= ' ') p++;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
        base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
        p += 2;
    }
    uint32_t v = 0;
    for (; *p; p++) {
        unsigned digit;
        if (*p >= '0' && *p <= '9')
            digit = (unsigned)(*p - '0');
        else if (*p >= 'a' && *p <= 'z')
            digit = (unsigned)(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'Z')
            digit = (unsigned)(*p - 'A' + 10);
        else
            break;
        if (digit >= base) break;
        v = v * base + digit;
    }
    return neg ? (UINT)(0u - v) : (UINT)v;
}

namespace {

// The lines from a section's header (or the file's start) up to the next header.
void SectionRange(const std::vector<Section> &sections, size_t index, size_t lineCount, size_t &from,
                  size_t &to) {
    from = sections[index].header < 0 ? 0 : (size_t)sections[index].header;
    to = index + 1 < sections.size() ? (size_t)sections[index + 1].header : lineCount;
}

// Applies one write to the lines; false when nothing changes. Names match without regard to
// case or to blanks round them: a value is set in the first section of that name, a key is
// deleted from the first section of that name that holds it, a whole section is deleted.
bool ApplyWrite(std::vector<std::string> &lines, const char *section, const char *key, const char *value) {
    std::vector<Section> sections = Parse(lines);
    size_t from, to;
    if (!key) {  // remove the whole section
        for (size_t i = 0; i < sections.size(); i++) {
            if (!SameName(sections[i].name, section)) continue;
            SectionRange(sections, i, lines.size(), from, to);
            if (from == to) return false;
            lines.erase(lines.begin() + (long)from, lines.begin() + (long)to);
            return true;
        }
        return false;
    }
    if (!value) {  // remove one key
        for (const Section &s : sections) {
            if (!SameName(s.name, section)) continue;
            for (const Key &k : s.keys)
                if (SameName(k.name, key)) {
                    lines.erase(lines.begin() + (long)k.line);
                    return true;
                }
        }
        return false;
    }
    // Leading blanks of a value are not kept; trailing ones are, as the platform writes them
    // (and reading drops them again). A line break would split the entry: the value ends there.
    std::string val = value;
    size_t cut = val.find_first_of("\r\n");
    if (cut != std::string::npos) val.resize(cut);
    val.erase(0, std::min(val.size(), (size_t)(std::find_if_not(val.begin(), val.end(), IsBlank) - val.begin())));
    const Section *found = FindSection(sections, section);
    if (!found) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back("[" + Trim(section) + "]");
        lines.push_back(Trim(key) + "=" + val);
        return true;
    }
    if (const Key *k = FindKey(*found, key)) {
        if (k->hasValue && k->value == val) return false;
        lines[k->line] = k->name + "=" + val;
        return true;
    }
    SectionRange(sections, (size_t)(found - sections.data()), lines.size(), from, to);
    long lastEntry = found->header;
    for (size_t i = from; i < to; i++)
        if (!Trim(lines[i]).empty() && (long)i != found->header) lastEntry = (long)i;
    lines.insert(lines.begin() + (lastEntry + 1), Trim(key) + "=" + val);
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
        case EIO:
            return ERROR_READ_FAULT;
        default:
            return ERROR_WRITE_FAULT;
    }
}

// A settings file kept as a symbolic link (into a folder of dotfiles, say) stays one: the
// write goes to the file the link leads to. False (errno ELOOP) for links that lead round
// in a circle.
bool FollowLinks(std::string &path) {
    for (int hops = 0; hops < 40; hops++) {
        char target[PATH_MAX];
        ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) return true;  // not a link (or nothing there yet): this is the file
        target[n] = 0;
        if (target[0] == '/')
            path = target;
        else
            path = path.substr(0, path.find_last_of('/') + 1) + target;
    }
    errno = ELOOP;
    return false;
}

// What a write that went wrong left behind: a temporary file of a write that was cut
// short by a crash or a power cut. Only called under the lock, so no write is under way.
void RemoveLeftovers(const std::string &dir, const std::string &base) {
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    std::string prefix = "." + base + ".";
    while (struct dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        bool temporary = true;
        for (size_t i = prefix.size(); i < name.size(); i++)
            if (!isalnum((unsigned char)name[i])) temporary = false;
        struct stat st;
        std::string path = dir + "/" + name;
        if (temporary && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
    }
    closedir(d);
}

// The rename is on the disk once the folder that holds it is.
void SyncFolder(const std::string &dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Writes that failed, by cause (errno), told once each in a run.
std::mutex g_toldMutex;
std::vector<int> g_toldCauses;

void TellWriteFailed(const std::string &path, int err) {
    {
        std::lock_guard<std::mutex> lock(g_toldMutex);
        if (std::find(g_toldCauses.begin(), g_toldCauses.end(), err) != g_toldCauses.end()) return;
        g_toldCauses.push_back(err);
    }
    const char *reason = strerror(err);
    fprintf(stderr, "qksonnerix: cannot save the settings to %s (%s); changes made now are lost when the player ends\n",
            path.c_str(), reason);
    std::string body = path + ": " + reason + ".\nChanges made now are lost when the player ends.";
    qk::driver::Notify("QK Sonnerix cannot save its settings", body.c_str());
}

}  // namespace

namespace qk {
void FailProfileReadsAfter(long bytes) { g_readFailAfter = bytes < 0 ? -1 : bytes; }
void ForgetToldWriteFailures() {
    std::lock_guard<std::mutex> lock(g_toldMutex);
    g_toldCauses.clear();
}
}  // namespace qk

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
    if (!lpAppName) return lpKeyName == nullptr && lpString == nullptr;  // a cache flush: nothing cached here
    std::string host;
    errno = 0;
    if (!ProfilePath(lpFileName, true, host)) {
        // A bare name whose folder cannot be made (a home that is not writable).
        if (GetLastError() == ERROR_PATH_NOT_FOUND && !strpbrk(lpFileName, "\\/:"))
            TellWriteFailed(qk::ConfigDir(), errno ? errno : ENOENT);
        return FALSE;
    }
    if (!FollowLinks(host)) {
        int err = errno;
        SetLastError(ErrorFromErrno(err));
        TellWriteFailed(host, err);
        return FALSE;
    }
    size_t slash = host.find_last_of('/');
    std::string dir = host.substr(0, slash), base = host.substr(slash + 1);

    // The lock lives beside the file, so that the rename below never replaces it.
    std::string lockPath = dir + "/." + base + ".lock";
    int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        int err = errno;
        SetLastError(ErrorFromErrno(err));
        TellWriteFailed(host, err);
        return FALSE;
    }
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    RemoveLeftovers(dir, base);

    BOOL ok = FALSE;
    int failure = 0;  // errno of what went wrong
    std::string text;
    struct stat st;
    bool exists = stat(host.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        failure = EISDIR;
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (exists && !ReadWhole(host, text)) {
        // Unreadable, or not readable to its end: never replace what we cannot keep.
        failure = errno ? errno : EIO;
        SetLastError(failure == EIO ? ERROR_READ_FAULT : ERROR_ACCESS_DENIED);
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
            int fd = mkostemp(tmpName.data(), O_CLOEXEC);
            if (fd < 0) {
                failure = errno;
                SetLastError(ErrorFromErrno(errno));
            } else {
                fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
                bool written = WriteAll(fd, out) && fsync(fd) == 0;
                int err = errno;
                close(fd);
                if (written && rename(tmpName.data(), host.c_str()) == 0) {
                    SyncFolder(dir);
                    ok = TRUE;
                } else {
                    if (written) err = errno;
                    unlink(tmpName.data());
                    failure = err ? err : EIO;
                    SetLastError(ErrorFromErrno(failure));
                }
            }
        }
    }
    flock(lockFd, LOCK_UN);
    close(lockFd);
    if (!ok) TellWriteFailed(host, failure ? failure : EIO);
    return ok;
}
