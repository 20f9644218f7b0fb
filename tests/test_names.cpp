// Host names (UTF-8) as the program sees them (Windows-1252), and back.
#include <stdio.h>
#include <unistd.h>

#include "picker/picker.h"
#include "platform/kernel32/codepage.h"
#include "platform/crt/crt.h"  // QkCrtFopen: the program's fopen, which takes DOS paths
#include "platform/kernel32/dos.h"
#include "platform/user32/wnd.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;

// "Jingle é.wav" as the host spells it, and as the program does.
const char kHostJingle[] = "Jingle \xC3\xA9.wav";
const char kAnsiJingle[] = "Jingle \xE9.wav";
const char kHostFolder[] = "My Jingles \xC3\xA9";
const char kAnsiFolder[] = "My Jingles \xE9";
// Names cp1252 has no bytes for: Greek omega, a CJK character, and Latin-1 bytes that are
// not UTF-8.
const char kHostOmega[] = "\xCE\xA9mega.wav";
const char kHostCjk[] = "\xE9\x9F\xB3.wav";
const char kHostLatin1[] = "Caf\xE9.wav";

TEST(Codepage, EveryByteHasOneUtf8FormAndBack) {
    for (int b = 1; b < 256; b++) {
        std::string ansi(1, (char)b), back;
        std::string utf8 = qk::AnsiToUtf8(ansi);
        ASSERT_TRUE(qk::Utf8ToAnsi(utf8, back)) << b;
        EXPECT_EQ(back, ansi) << b;
    }
}

TEST(Codepage, KnownCharacters) {
    struct Case {
        const char *ansi;
        const char *utf8;
    } cases[] = {
        {"\x80", "\xE2\x82\xAC"},  // euro sign
        {"\x81", "\xC2\x81"},      // undefined in cp1252: U+0081
        {"\x8A", "\xC5\xA0"},      // S caron
        {"\x9F", "\xC5\xB8"},      // Y diaeresis
        {"\xA0", "\xC2\xA0"},      // no-break space
        {"\xE9", "\xC3\xA9"},      // e acute
        {"\xFF", "\xC3\xBF"},      // y diaeresis
        {"A~", "A~"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(qk::AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
        std::string back;
        EXPECT_TRUE(qk::Utf8ToAnsi(c.utf8, back)) << c.utf8;
        EXPECT_EQ(back, c.ansi) << c.utf8;
    }
}

TEST(Codepage, TextCp1252CannotHoldIsRefused) {
    const char *refused[] = {
        "\xCE\xA9",          // Greek omega
        "\xE9\x9F\xB3",      // a CJK character
        "\xF0\x9F\x8E\xB5",  // a musical note beyond the BMP
        "\xC3\xA9\xE9",      // UTF-8, then a Latin-1 byte
        "\xC3",              // cut short
        "\xC0\xA9",          // an overlong form
        "\xC2\x80",          // U+0080: cp1252 puts the euro sign at 0x80
        "\xED\xA0\x80",      // a surrogate
    };
    for (const char *r : refused) {
        std::string out = "kept";
        EXPECT_FALSE(qk::Utf8ToAnsi(r, out)) << r;
        EXPECT_EQ(out, "kept");
    }
}

TEST(Codepage, AccentedLettersCompareWithoutCase) {
    EXPECT_EQ(qk::AnsiCompareNoCase("JINGLE \xC9.WAV", "jingle \xE9.wav"), 0);
    EXPECT_EQ(qk::AnsiCompareNoCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"), 0);
    EXPECT_NE(qk::AnsiCompareNoCase("\xD7", "\xF7"), 0);  // multiplication and division signs
    EXPECT_NE(qk::AnsiCompareNoCase("e", "\xE9"), 0);
}

class Names : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        MakeSample(std::string("SOUNDS/") + kHostJingle, 80);
        MakeSample(std::string("SOUNDS/") + kHostFolder + "/In.wav", 90);
        MakeSample(std::string("SOUNDS/") + kHostOmega, 100);
        MakeSample(std::string("SOUNDS/") + kHostCjk, 110);
        MakeSample(std::string("SOUNDS/") + kHostLatin1, 120);
        MakeSample("SOUNDS/Plain.wav", 130);
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
    }
    static std::vector<std::string> List(const char *pattern) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern, &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do names.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
        return names;
    }
    static std::string ReadDos(const char *path) {
        FILE *f = QkCrtFopen(path, "rb");
        if (!f) return "<not opened>";
        std::string s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
        return s;
    }
    static void RightClickSlot(int slot) {
        SetClientSize(400, 322);
        hl::Click(Main(), (slot % 4) * 100 + 50, (slot / 4) * 100 + 50, 1);
    }
};

TEST_F(Names, ListingsShowCp1252NamesAndLeaveOutTheOthers) {
    EXPECT_EQ(List("C:\\SOUNDS\\*.*"),
              (std::vector<std::string>{".", "..", kAnsiJingle, kAnsiFolder, "Plain.wav"}));
    EXPECT_EQ(List("C:\\SOUNDS\\*.WAV"), (std::vector<std::string>{kAnsiJingle, "Plain.wav"}));
    // Wildcards and names without one match the cp1252 name, in either case.
    EXPECT_EQ(List("C:\\SOUNDS\\JINGLE \xC9.*"), (std::vector<std::string>{kAnsiJingle}));
    EXPECT_EQ(List("C:\\SOUNDS\\JINGLE \xC9.WAV"), (std::vector<std::string>{kAnsiJingle}));
    EXPECT_EQ(List("C:\\SOUNDS\\JINGLE ?.WAV"), (std::vector<std::string>{kAnsiJingle}));
    EXPECT_EQ(List((std::string("C:\\SOUNDS\\") + kAnsiFolder + "\\*.wav").c_str()),
              (std::vector<std::string>{"In.wav"}));
}

TEST_F(Names, OpensAndAttributesGoThroughTheCp1252Name) {
    std::string jingle = ReadFile(home + "/SOUNDS/" + kHostJingle);
    EXPECT_EQ(ReadDos("C:\\SOUNDS\\Jingle \xE9.wav"), jingle);
    EXPECT_EQ(ReadDos("c:\\sounds\\JINGLE \xC9.WAV"), jingle);
    EXPECT_EQ(GetFileAttributesA((std::string("C:\\SOUNDS\\") + kAnsiFolder).c_str()),
              (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadDos((std::string("C:\\SOUNDS\\") + kAnsiFolder + "\\IN.WAV").c_str()),
              ReadFile(home + "/SOUNDS/" + kHostFolder + "/In.wav"));
    // The UTF-8 bytes taken as cp1252 ("Jingle Ã©.wav") name nothing.
    EXPECT_EQ(GetFileAttributesA("C:\\SOUNDS\\Jingle \xC3\xA9.wav"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadDos("C:\\SOUNDS\\Jingle \xC3\xA9.wav"), "<not opened>");
}

TEST_F(Names, NamesCp1252CannotHoldAreNeverOpened) {
    // What the platform's best-fit conversion or a '?' might make of them names nothing.
    const char *tried[] = {"C:\\SOUNDS\\?mega.wav", "C:\\SOUNDS\\Omega.wav", "C:\\SOUNDS\\\xCE\xA9mega.wav",
                           "C:\\SOUNDS\\?.wav",     "C:\\SOUNDS\\Caf\xE9.wav", "C:\\SOUNDS\\Cafe.wav"};
    for (const char *p : tried) {
        EXPECT_EQ(GetFileAttributesA(p), INVALID_FILE_ATTRIBUTES) << p;
        EXPECT_EQ(ReadDos(p), "<not opened>") << p;
    }
    // A new file with an accented name is made under its UTF-8 name, and found again.
    FILE *f = QkCrtFopen("C:\\SOUNDS\\Neu \xFC.txt", "wb");
    ASSERT_NE(f, nullptr);
    fputs("made", f);
    fclose(f);
    EXPECT_EQ(ReadFile(home + "/SOUNDS/Neu \xC3\xBC.txt"), "made");
    EXPECT_EQ(ReadDos("C:\\SOUNDS\\NEU \xDC.TXT"), "made");
}

TEST_F(Names, TheCurrentDirectoryIsNamedInCp1252) {
    MakeDirs(home + "/SOUNDS/\xCE\xA9 folder");
    struct Case {
        std::string host;
        std::string dos;
    } cases[] = {
        {home + "/SOUNDS/" + kHostFolder, std::string("C:\\SOUNDS\\") + kAnsiFolder},
        // A folder the program could not name: it starts at the drive's root.
        {home + "/SOUNDS/\xCE\xA9 folder", "C:\\"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(chdir(c.host.c_str()), 0);
        qk::ResetDosNamespace();
        char buf[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
        EXPECT_EQ(std::string(buf, n), c.dos) << c.host;
    }
}

TEST_F(Names, ThePickerListsAndAssignsAnAccentedName) {
    std::vector<std::string> files, dirs;
    Run({[&] { RightClickSlot(2); },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "SOUNDS"));
         },
         [&] {
             files = ListItems(Dialog(), 101);
             dirs = ListItems(Dialog(), 102);
             int i = IndexOf(files, kAnsiJingle);
             ASSERT_GE(i, 0);
             DoubleClickEntry(Dialog(), 101, i);
         },
         [&] {
             EXPECT_EQ(SlotTable[2].loaded, 1);
             // The label is cut at eight bytes: the é is one of them.
             EXPECT_STREQ(SlotTable[2].label, "Jingle \xE9");
             std::string caption = Text(SlotButtons[2]);
             EXPECT_EQ(caption.substr(caption.find('\n')), "\nJingle \xE9");
         }});
    EXPECT_EQ(files, (std::vector<std::string>{kAnsiJingle, "Plain.wav"}));
    EXPECT_EQ(dirs, (std::vector<std::string>{"..", kAnsiFolder}));
    // The settings file keeps the path in cp1252 bytes.
    EXPECT_NE(IniText().find(std::string("Wave3=C:\\SOUNDS\\") + kAnsiJingle + "\r\n"), std::string::npos)
        << IniText();
}

TEST_F(Names, StoredAndBankPathsInCp1252LoadTheirFiles) {
    // A settings file written by the platform: cp1252 bytes.
    StoreKey("Wave1", std::string("C:\\SOUNDS\\") + kAnsiJingle);
    WriteFile(home + "/BANKS/" + "B\xC3\xA4nk.QK",
              std::string("!Fuck\nC:\\SOUNDS\\PLAIN.WAV\nC:\\SOUNDS\\") + kAnsiFolder + "\\In.wav\n");
    std::vector<std::string> banks;
    Run({[&] {
             EXPECT_EQ(SlotTable[0].loaded, 1);
             EXPECT_STREQ(SlotTable[0].label, "Jingle \xE9");
             hl::ChooseMenuItem(Main(), 103);
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "BANKS"));
         },
         [&] {
             banks = ListItems(Dialog(), 101);
             SetDlgItemTextA(Dialog(), 103, "b\xE4nk.qk");
             hl::ClickOn(GetDlgItem(Dialog(), 105));
         },
         [&] {
             EXPECT_EQ(SlotTable[0].loaded, 1);
             EXPECT_STREQ(SlotTable[0].label, "Plain");
             EXPECT_EQ(SlotTable[1].loaded, 1);
             EXPECT_STREQ(SlotTable[1].label, "In");
         }});
    EXPECT_EQ(banks, (std::vector<std::string>{"B\xE4nk.QK"}));
    EXPECT_NE(IniText().find(std::string("Wave2=C:\\SOUNDS\\") + kAnsiFolder + "\\In.wav\r\n"), std::string::npos)
        << IniText();
}

// The desktop's typed text: characters from its layout, virtual keys from the keys.
TEST_F(Names, TypedTextReachesTheNameBoxInCp1252) {
    std::string typed;
    Run({[&] { RightClickSlot(0); },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             qk::input::TextFromDesktop(true);
             SetDlgItemTextA(Dialog(), 103, "");
             SetFocus(GetDlgItem(Dialog(), 103));
             // The keys give no characters of their own (a German layout's Z key is 'Z'
             // to SDL, and its text says so).
             hl::PressKey('Y');
             qk::input::Text("z");
             hl::PressKey(VK_OEM_1);
             qk::input::Text("\xF6");  // o umlaut, from a key with no virtual key here
             qk::input::Text("(1)_");
             hl::PressKey(VK_BACK);  // Backspace still edits
             qk::input::Key(VK_MENU, true);
             qk::input::Text("q");  // Alt+Q is a system key, not text
             qk::input::Key(VK_MENU, false);
         },
         [&] {
             typed = ItemText(Dialog(), 103);
             hl::PressKey(VK_ESCAPE);
         }});
    EXPECT_EQ(typed, "z\xF6(1)");
}

}  // namespace
