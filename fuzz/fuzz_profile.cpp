// The settings file reader and writer on any file: the fuzz data (after a first byte
// that chooses the section, key and value written) is the settings file;
// every key of every section is read, one key is written, and then every other key
// must read as before, and the file's lines must be the old ones with only that entry
// changed or added. Then the key is deleted again, with the same check of the others.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/sandbox.h"
#include "platform/kernel32/dos.h"
#include "platform/win32.h"

namespace {

const char *kFile = "ZELVRANT.INI";
std::string g_path;

void Check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

std::string ReadFileBytes() {
    std::ifstream in(g_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines as the platform sees them: LF or CRLF ends, a last line without an end.
std::vector<std::string> Lines(const std::string &text) {
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

std::vector<std::string> List(const char *section) {
    static char buf[1 << 16];
    DWORD n = GetPrivateProfileStringA(section, NULL, "", buf, sizeof buf, kFile);
    Check(n < sizeof buf, "a list fits its buffer");
    std::vector<std::string> names;
    for (DWORD i = 0; i < n;) {
        size_t len = strlen(buf + i);
        names.push_back(std::string(buf + i, len));
        i += (DWORD)len + 1;
    }
    return names;
}

std::string Read(const char *section, const char *key) {
    static char buf[4096];
    DWORD n = GetPrivateProfileStringA(section, key, "<absent>", buf, sizeof buf, kFile);
    Check(n < sizeof buf && n == strlen(buf), "a value's length");
    return std::string(buf, n);
}

std::string Trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) b++;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) e--;
    return s.substr(b, e - b);
}

bool Same(const std::string &a, const std::string &b) {
    std::string ta = Trim(a), tb = Trim(b);
    return ta.size() == tb.size() && strncasecmp(ta.c_str(), tb.c_str(), ta.size()) == 0;
}

struct Entry {
    std::string section, key, value;
};

// Every key of the first sections, with its value, as a reader finds them.
std::vector<Entry> Snapshot() {
    std::vector<Entry> all;
    std::vector<std::string> sections = List(NULL);
    for (size_t s = 0; s < sections.size() && s < 16; s++) {
        std::vector<std::string> keys = List(sections[s].c_str());
        for (size_t k = 0; k < keys.size() && k < 32; k++)
            all.push_back({sections[s], keys[k], Read(sections[s].c_str(), keys[k].c_str())});
    }
    return all;
}

// Every entry but the one written reads as before.
void CheckOthers(const std::vector<Entry> &before, const char *section, const char *key) {
    for (const Entry &e : before) {
        // (Names are listed cut at a NUL they hold, and read back by that cut name.)
        if (Same(e.section, section) && Same(e.key, key)) continue;
        Check(Read(e.section.c_str(), e.key.c_str()) == e.value, "another key keeps its value");
    }
}

bool IsEntryFor(const std::string &line, const char *key, const char *value) {
    std::string t = Trim(line);
    size_t eq = t.find('=');
    return eq != std::string::npos && Same(t.substr(0, eq), key) && t.substr(eq + 1) == value;
}

// The lines after a write are the old ones with one entry changed, or one added, or
// the section added at the end.
void CheckLines(const std::vector<std::string> &before, const std::vector<std::string> &after, const char *section,
                const char *key, const char *value) {
    size_t i = 0;
    while (i < before.size() && i < after.size() && before[i] == after[i]) i++;
    if (i == before.size() && i == after.size()) return;  // the key held the value already
    if (after.size() == before.size()) {
        Check(IsEntryFor(after[i], key, value), "a changed line is the entry written");
        for (size_t k = i + 1; k < after.size(); k++) Check(after[k] == before[k], "lines after a change stay");
        return;
    }
    if (after.size() == before.size() + 1 && IsEntryFor(after[i], key, value)) {
        for (size_t k = i; k < before.size(); k++) Check(after[k + 1] == before[k], "lines after an insert stay");
        return;
    }
    // A new section at the end, after a blank line when the last line is not blank.
    Check(i == before.size(), "a new section follows every old line");
    size_t k = i;
    if (after.size() == before.size() + 3) Check(Trim(after[k++]).empty(), "a blank line before a new section");
    Check(after.size() == k + 2, "a new section holds one entry");
    Check(after[k] == "[" + Trim(section) + "]", "the new section's header");
    Check(after[k + 1] == Trim(key) + "=" + value, "the new section's entry");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::MakeSandbox();
    g_path = qk::ConfigDir() + "/" + kFile;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const char *sections[] = {"QK_Pex", " qk_pex ", "QK_Wav", "New"};
    static const char *keys[] = {"Fz", " wave1 ", "Lock", "Savefile"};
    static const char *values[] = {"value", "", "C:\\SND\\A B.WAV", "a=b;c [d]"};
    // The first byte chooses what is written, the rest is the file.
    unsigned pick = size ? data[0] : 0;
    const char *section = sections[pick & 3], *key = keys[(pick >> 2) & 3], *value = values[(pick >> 4) & 3];
    if (size) {
        data++;
        size--;
    }

    fuzz::WriteBytes(g_path, data, size);
    std::vector<std::string> linesBefore = Lines(ReadFileBytes());
    std::vector<Entry> before = Snapshot();
    for (const Entry &e : before) {
        // Numbers read whatever the text holds.
        (void)GetPrivateProfileIntA(e.section.c_str(), e.key.c_str(), 7, kFile);
    }

    Check(WritePrivateProfileStringA(section, key, value, kFile), "a write to a plain file succeeds");
    Check(Read(section, key) == value, "the key written reads back");
    CheckLines(linesBefore, Lines(ReadFileBytes()), section, key, value);
    CheckOthers(before, section, key);

    Check(WritePrivateProfileStringA(section, key, NULL, kFile), "a delete succeeds");
    CheckOthers(before, section, key);
    return 0;
}
