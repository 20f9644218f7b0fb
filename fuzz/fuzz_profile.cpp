// The settings file reader and writer on any file. The fuzz data (after a first byte that
// chooses the section, key and value written, and a second that chooses a buffer size)
// is the settings file. Nothing here restates how the reader parses: the checks are
// properties any correct reader and writer keep.
// - Reading never writes past the buffer it is given, and always ends what it gives.
// - After a write, the key reads back as the value, worked out by hand for each value
//   in the table below (blanks round it dropped, one pair of quotes dropped, cut at a
//   line break).
// - Every other key reads as it did before. A key counts as the same one when its name
//   matches the written one ignoring ASCII case and blanks round it, the file's
//   documented naming rule.
// - The lines are the old ones, byte for byte, but for one entry changed or added, or a
//   new section added at the end; a file that changed is written with CRLF line ends.
// - The same write again changes no byte; the key is listed in its section.
// - Deleting the key removes exactly one line and again leaves every other key alone.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
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

// The file's lines without their ends (LF, CR LF or a lone CR).
std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t s = 0;
    while (s < text.size()) {
        size_t e = text.find_first_of("\r\n", s);
        if (e == std::string::npos) e = text.size();
        lines.push_back(text.substr(s, e - s));
        s = e + (e + 1 < text.size() && text[e] == '\r' && text[e + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

// A name as the file's naming rule compares it: blanks round it dropped, ASCII letters in
// one case.
std::string NameKey(const std::string &name) {
    size_t b = name.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = name.find_last_not_of(" \t");
    std::string out = name.substr(b, e - b + 1);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return out;
}

const size_t kGuard = 16;

// A read into a buffer of `size` bytes with guard bytes behind it: nothing is written
// past the buffer, the text ends inside it and its length is what the call said.
std::string GuardedRead(const char *section, const char *key, const char *def, DWORD size, bool list) {
    std::vector<char> buf(size + kGuard, 'G');
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, kFile);
    for (size_t i = size; i < buf.size(); i++) Check(buf[i] == 'G', "nothing written past the buffer");
    if (size == 0) return "";
    Check(n < size, "the length stays inside the buffer");
    if (list) {
        // Names, each ended by a NUL, all inside the buffer; a whole list has one NUL more, a
        // list cut short (or the default of an empty one) may not.
        Check(buf[n] == 0, "a list ends in a NUL");
        if (size >= 2 && n + 2 < size && n > 0 && buf[n - 1] != 0)
            Check(buf[n + 1] == 0 || strlen(buf.data()) == n, "a whole list ends in two NULs");
    } else {
        Check(buf[n] == 0 && strlen(buf.data()) == n, "a value ends at its length");
    }
    return std::string(buf.data(), n);
}

std::vector<std::string> List(const char *section) {
    std::string all = GuardedRead(section, NULL, "", 1 << 16, true);
    Check(all.size() + 2 < (1u << 16), "a list fits its buffer");
    std::vector<std::string> names;
    for (size_t i = 0; i < all.size();) {
        size_t len = strlen(all.c_str() + i);
        names.push_back(all.substr(i, len));
        i += len + 1;
    }
    return names;
}

std::string Read(const char *section, const char *key) { return GuardedRead(section, key, "<absent>", 4096, false); }

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

void CheckOthers(const std::vector<Entry> &before, const char *section, const char *key) {
    for (const Entry &e : before) {
        if (NameKey(e.section) == NameKey(section) && NameKey(e.key) == NameKey(key)) continue;
        Check(Read(e.section.c_str(), e.key.c_str()) == e.value, "another key keeps its value");
    }
}

// The one stretch where two line lists differ: after[from, from + added) replaced
// before[from, from + removed).
struct Hunk {
    size_t from, removed, added;
};
Hunk Diff(const std::vector<std::string> &before, const std::vector<std::string> &after) {
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) head++;
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        tail++;
    return {head, before.size() - head - tail, after.size() - head - tail};
}

bool WrittenWithCrLf(const std::string &text) {
    if (text.empty()) return true;
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
    for (size_t i = 0; i < text.size(); i++)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    return true;
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
    // Each value with what it reads back as, worked out by hand.
    static const struct {
        const char *written, *read;
    } values[] = {
        {"value", "value"},
        {"", ""},
        {"C:\\SND\\A B.WAV", "C:\\SND\\A B.WAV"},
        {"a=b;c [d]", "a=b;c [d]"},
        {" \tpadded\t ", "padded"},
        {"\"quoted\"", "quoted"},
        {"'x' ", "x"},
        {"cut\r\nrest", "cut"},
    };
    unsigned pick = size ? data[0] : 0;
    DWORD small = size > 1 ? data[1] % 12 : 3;  // a buffer size for the small reads
    if (size > 2) {
        data += 2;
        size -= 2;
    } else {
        size = 0;
    }
    const char *section = sections[pick & 3], *key = keys[(pick >> 2) & 3];
    const char *value = values[(pick >> 4) & 7].written, *readBack = values[(pick >> 4) & 7].read;

    fuzz::WriteBytes(g_path, data, size);
    std::string bytesBefore = ReadFileBytes();
    std::vector<std::string> linesBefore = Lines(bytesBefore);
    std::vector<Entry> before = Snapshot();
    for (const Entry &e : before) {
        // Numbers read whatever the text holds; small buffers hold a cut value.
        (void)GetPrivateProfileIntA(e.section.c_str(), e.key.c_str(), 7, kFile);
        std::string cut = GuardedRead(e.section.c_str(), e.key.c_str(), "", small, false);
        Check(e.value.compare(0, cut.size(), cut) == 0, "a cut value is the value's start");
    }
    (void)GuardedRead(NULL, NULL, "", small, true);
    (void)GuardedRead(section, NULL, "", small, true);

    // The write.
    Check(WritePrivateProfileStringA(section, key, value, kFile), "a write to a plain file succeeds");
    Check(Read(section, key) == readBack, "the key written reads back");
    std::string bytesAfter = ReadFileBytes();
    std::vector<std::string> linesAfter = Lines(bytesAfter);
    Hunk h = Diff(linesBefore, linesAfter);
    size_t entryLine = (size_t)-1;  // the written entry's line, when the write changed lines
    if (h.removed == 0 && h.added == 0) {
        Check(bytesAfter == bytesBefore || WrittenWithCrLf(bytesAfter), "an unchanged file");
    } else {
        Check(WrittenWithCrLf(bytesAfter), "a rewritten file has CRLF line ends");
        Check(h.removed <= 1, "at most one old line changes");
        if (h.removed == 1 || h.added == 1) {
            Check(h.added == 1, "one entry changed or added");
        } else {
            // A new section at the end: perhaps a blank line, its header, the entry.
            Check(h.from + h.removed == linesBefore.size(), "a new section follows every old line");
            Check(h.added == 2 || h.added == 3, "a new section holds one entry");
            const std::string &header = linesAfter[h.from + h.added - 2];
            Check(!header.empty() && header[0] == '[' && NameKey(header).find(NameKey(section)) != std::string::npos,
                  "the new section's header names it");
            if (h.added == 3) Check(NameKey(linesAfter[h.from]).empty(), "a blank line before a new section");
        }
        entryLine = h.from + h.added - 1;
        const std::string &entry = linesAfter[entryLine];
        Check(entry.find('=') != std::string::npos && entry.find(readBack) != std::string::npos,
              "the changed line holds the value");
        Check(NameKey(entry).find(NameKey(key)) != std::string::npos, "the changed line holds the key");
    }
    // A section whose header holds a NUL cannot be named through the API (the name ends
    // at the NUL, and lists split there), so the others can be compared only without one.
    bool headersNameable = true;
    for (const std::string &line : linesBefore) {
        size_t first = line.find_first_not_of(" \t\v\x1a");
        if (first != std::string::npos && line[first] == '[' && line.find('\0') != std::string::npos)
            headersNameable = false;
    }
    if (headersNameable) CheckOthers(before, section, key);
    // A list whose first name is empty (a line "=x", or one starting with a NUL) reads as the
    // default, as on the platform: then there is no list to find the key in.
    bool listed = false;
    std::vector<std::string> names = List(section);
    for (const std::string &k : names) listed = listed || NameKey(k) == NameKey(key);
    Check(listed || names.empty(), "the key written is listed in its section");
    Check(WritePrivateProfileStringA(section, key, value, kFile), "the same write again succeeds");
    Check(ReadFileBytes() == bytesAfter, "the same write again changes nothing");

    // The delete.
    Check(WritePrivateProfileStringA(section, key, NULL, kFile), "a delete succeeds");
    std::vector<std::string> linesDeleted = Lines(ReadFileBytes());
    Hunk d = Diff(linesAfter, linesDeleted);
    Check(d.removed == 1 && d.added == 0, "a delete removes one line");
    if (entryLine != (size_t)-1) Check(linesAfter[d.from] == linesAfter[entryLine], "the delete removes the entry");
    if (headersNameable) CheckOthers(before, section, key);
    return 0;
}
