// Profile files: reads of odd files, lists of sections and keys with small buffers,
// GetPrivateProfileIntA on signs, bases, overflow and trailing text, and writes, deletes and
// new sections with the file's bytes after each.
#include "tests/conformance/probe.h"

static int fileNumber;

// A new file holding text; its path.
static const char *NewFile(const char *text) {
    static char path[64];
    snprintf(path, sizeof path, "C:\\QKPROBE\\PROFILE\\P%d.INI", ++fileNumber);
    PutFile(path, text, strlen(text));
    return path;
}

static void ShowFile(const char *key, const char *path) {
    char bytes[4096];
    int size = GetFile(path, bytes, sizeof bytes);
    if (size < 0)
        Say(key, "no file");
    else
        Say(key, "%s", Qn(bytes, size));
}

struct ReadCase {
    const char *name;
    const char *text;
    const char *section;
    const char *key;
};

static const ReadCase reads[] = {
    {"plain", "[A]\r\nk=v\r\n", "A", "k"},
    {"lf-only", "[A]\nk=v\nj=w\n", "A", "j"},
    {"blanks-around", "  [ A ]  \r\n  k  =  v w  \r\n", "A", "k"},
    {"blanks-in-section-name", "[ A B ]\r\nk=1\r\n", "A B", "k"},
    {"tab-around", "[A]\r\n\tk\t=\tv\t\r\n", "A", "k"},
    {"double-quotes", "[A]\r\nk=\"quoted value\"\r\n", "A", "k"},
    {"single-quotes", "[A]\r\nk='quoted'\r\n", "A", "k"},
    {"quote-one-side", "[A]\r\nk=\"open\r\n", "A", "k"},
    {"quotes-mismatched", "[A]\r\nk=\"a'\r\n", "A", "k"},
    {"quotes-inside", "[A]\r\nk=a\"b\"c\r\n", "A", "k"},
    {"quotes-blank-inside", "[A]\r\nk=\" a \"\r\n", "A", "k"},
    {"empty-value", "[A]\r\nk=\r\n", "A", "k"},
    {"no-equals", "[A]\r\nk\r\n", "A", "k"},
    {"no-equals-default", "[A]\r\nk\r\nj=2\r\n", "A", "j"},
    {"equals-in-value", "[A]\r\nk=a=b\r\n", "A", "k"},
    {"duplicate-key", "[A]\r\nk=first\r\nk=second\r\n", "A", "k"},
    {"duplicate-section", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[A]\r\nk=later\r\n", "A", "k"},
    {"duplicate-section-first", "[A]\r\nk=first\r\n[A]\r\nk=second\r\n", "A", "k"},
    {"case-section-key", "[qk_pex]\r\nWAVE1=x\r\n", "QK_Pex", "wave1"},
    {"comment-semicolon", "[A]\r\n;k=c\r\nk=v\r\n", "A", "k"},
    {"section-no-close", "[A\r\nk=v\r\n", "A", "k"},
    {"section-trailing-text", "[A] tail\r\nk=v\r\n", "A", "k"},
    {"key-before-section", "k=v\r\n[A]\r\n", "", "k"},
    {"blank-lines", "\r\n\r\n[A]\r\n\r\nk=v\r\n\r\n", "A", "k"},
    {"lone-cr", "[A]\rk=v\r\n", "A", "k"},
    {"no-final-newline", "[A]\r\nk=v", "A", "k"},
    {"missing-key", "[A]\r\nk=v\r\n", "A", "zz"},
    {"missing-section", "[A]\r\nk=v\r\n", "Z", "k"},
    {"empty-file", "", "A", "k"},
    {"key-blank-name", "[A]\r\n=v\r\n", "A", ""},
};

static void Reads(void) {
    for (const ReadCase &c : reads) {
        const char *path = NewFile(c.text);
        char buffer[256];
        memset(buffer, '#', sizeof buffer);
        DWORD got = GetPrivateProfileStringA(c.section, c.key, "dflt", buffer, sizeof buffer, path);
        Say(K("read.%s", c.name), "%lu %s", (unsigned long)got, Q(buffer));
    }
    // Small buffers: a value, and the lists of sections and of keys, each NUL shown.
    const char *path = NewFile("[First]\r\nalpha=1\r\nbeta=22\r\ngamma=333\r\n[Second]\r\n[Third]\r\nk=v\r\n");
    static const DWORD sizes[] = {1, 2, 3, 4, 6, 8, 12, 20, 64};
    for (DWORD size : sizes) {
        char buffer[128];
        memset(buffer, '#', sizeof buffer);
        DWORD got = GetPrivateProfileStringA("First", "gamma", "", buffer, size, path);
        Say(K("small.value.%lu", (unsigned long)size), "%lu %s", (unsigned long)got, Qn(buffer, (int)size));
        memset(buffer, '#', sizeof buffer);
        got = GetPrivateProfileStringA(NULL, NULL, "", buffer, size, path);
        Say(K("small.sections.%lu", (unsigned long)size), "%lu %s", (unsigned long)got, Qn(buffer, (int)size));
        memset(buffer, '#', sizeof buffer);
        got = GetPrivateProfileStringA("First", NULL, "", buffer, size, path);
        Say(K("small.keys.%lu", (unsigned long)size), "%lu %s", (unsigned long)got, Qn(buffer, (int)size));
    }
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    DWORD got = GetPrivateProfileStringA("Second", NULL, "dflt", buffer, sizeof buffer, path);
    Say("keys.empty-section", "%lu %s", (unsigned long)got, Qn(buffer, 6));
    memset(buffer, '#', sizeof buffer);
    got = GetPrivateProfileStringA("Nowhere", NULL, "dflt", buffer, sizeof buffer, path);
    Say("keys.missing-section", "%lu %s", (unsigned long)got, Qn(buffer, 6));
    memset(buffer, '#', sizeof buffer);
    got = GetPrivateProfileStringA(NULL, NULL, "dflt", buffer, sizeof buffer, "C:\\QKPROBE\\PROFILE\\NONE.INI");
    Say("sections.missing-file", "%lu %s", (unsigned long)got, Qn(buffer, 6));
    memset(buffer, '#', sizeof buffer);
    got = GetPrivateProfileStringA("A", "k", "  dflt  ", buffer, sizeof buffer, "C:\\QKPROBE\\PROFILE\\NONE.INI");
    Say("default.blanks", "%lu %s", (unsigned long)got, Q(buffer));
    memset(buffer, '#', sizeof buffer);
    got = GetPrivateProfileStringA("A", "k", NULL, buffer, sizeof buffer, "C:\\QKPROBE\\PROFILE\\NONE.INI");
    Say("default.null", "%lu %s", (unsigned long)got, Q(buffer));
}

static void Integers(void) {
    static const char *values[] = {
        "12",          "-12",         "+12",         "0x1F",       "0X1f",        "012",
        " 7 ",         "12abc",       "abc",         "",           "-",           "2147483647",
        "2147483648",  "4294967295",  "4294967296",  "99999999999", "-2147483649", "0x",
        "0xFFFFFFFF",  "0x100000000", "\"5\"",       "5 6",         "-0x10",       "1e3",
    };
    int i = 0;
    for (const char *value : values) {
        char text[128];
        snprintf(text, sizeof text, "[A]\r\nk=%s\r\n", value);
        const char *path = NewFile(text);
        UINT got = GetPrivateProfileIntA("A", "k", 77, path);
        Say(K("int.%02d", i++), "%s %u %d", Q(value), got, (int)got);
    }
    UINT got = GetPrivateProfileIntA("A", "missing", -5, NewFile("[A]\r\n"));
    Say("int.missing", "%u %d", got, (int)got);
}

static void Writes(void) {
    const char *path = NewFile("; a comment\r\n\r\n[QK_Pex]\r\n  Loop = 1 \r\nstray line\r\nk=old\r\n[Other]\r\nx=1\r\n");
    char keep[64];
    snprintf(keep, sizeof keep, "%s", path);
    struct Step {
        const char *name;
        const char *section, *key, *value;
    };
    static const Step steps[] = {
        {"replace", "QK_Pex", "k", "new"},
        {"replace-case", "qk_pex", "LOOP", "0"},
        {"add-key", "QK_Pex", "added", "v"},
        {"add-section", "New", "n", "1"},
        {"value-blanks", "QK_Pex", "blank", "  padded  "},
        {"value-empty", "QK_Pex", "empty", ""},
        {"delete-key", "QK_Pex", "k", NULL},
        {"delete-missing-key", "QK_Pex", "nothere", NULL},
        {"delete-section", "Other", NULL, NULL},
        {"add-to-missing-then", "Third", "t", "3"},
    };
    for (const Step &s : steps) {
        SetLastError(0);
        BOOL ok = WritePrivateProfileStringA(s.section, s.key, s.value, keep);
        Say(K("write.%s.result", s.name), "%d", ok ? 1 : 0);
        ShowFile(K("write.%s.bytes", s.name), keep);
    }
    const char *fresh = "C:\\QKPROBE\\PROFILE\\FRESH.INI";
    BOOL ok = WritePrivateProfileStringA("S", "k", "v", fresh);
    Say("write.new-file.result", "%d", ok ? 1 : 0);
    ShowFile("write.new-file.bytes", fresh);
    ok = WritePrivateProfileStringA("S", "k", "v", "C:\\QKPROBE\\NOSUCHDIR\\X.INI");
    Say("write.missing-folder.result", "%d", ok ? 1 : 0);
    const char *lf = NewFile("[A]\nk=1\n");
    WritePrivateProfileStringA("A", "k", "2", lf);
    ShowFile("write.lf-file.bytes", lf);
    const char *nonl = NewFile("[A]\r\nk=1");
    WritePrivateProfileStringA("A", "j", "2", nonl);
    ShowFile("write.no-final-newline.bytes", nonl);
}

int main(void) {
    ProbeStart();
    Reads();
    Integers();
    Writes();
    return 0;
}
