// Loading bank files through the system menu.
#include <sys/stat.h>

#include "bank/bank.h"
#include "picker/picker.h"
#include "platform/kernel32/kernel32_test.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;

class Bank : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        for (const char *n : {"A", "B", "C", "D", "OLD"}) MakeSample(std::string("SND/") + n + ".WAV");
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
    }
    // Runs the program, loads `bankName` from C:\BANKS through the menu command, then
    // runs `check`.
    void LoadBank(const std::string &bankName, std::function<void()> check,
                  std::function<void()> beforeOk = [] {}) {
        Run({[&] { hl::ChooseMenuItem(Main(), 103); },
             [&] {
                 ASSERT_NE(Dialog(), nullptr);
                 DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "BANKS"));
             },
             [&] {
                 SetDlgItemTextA(Dialog(), 103, bankName.c_str());
                 beforeOk();
                 hl::ClickOn(GetDlgItem(Dialog(), 105));
             },
             check});
    }
    std::string Wave(int k) { return Key(("Wave" + std::to_string(k)).c_str()); }
};

TEST_F(Bank, Fixtures) {
    struct Case {
        const char *what;
        std::string bytes;
        std::vector<std::string> labels;  // slots 0.. after the load ("" = untouched, "Old")
        std::vector<std::string> boxes;
    } cases[] = {
        {"line feeds", "!Fuck\nC:\\SND\\A.WAV\nc:\\snd\\b.wav\n", {"A", "B", "Old"}, {}},
        {"carriage returns too", "!Fuck\r\nC:\\SND\\A.WAV\r\nc:\\snd\\b.wav\r\n", {"A", "B", "Old"}, {}},
        {"a last line without a line feed", "!Fuck\nC:\\SND\\A.WAV\nC:\\SND\\B.WAV", {"A", "Old"}, {}},
        {"an empty second line", "!Fuck\nC:\\SND\\A.WAV\n\nC:\\SND\\B.WAV\n", {"A", "Old", "Old"}, {}},
        {"the mark alone", "!Fuck", {"Old", "Old"}, {}},
        {"0x1A ends the file", std::string("!Fuck\nC:\\SND\\A.WAV\n\x1A" "C:\\SND\\B.WAV\n"), {"A", "Old"}, {}},
        {"any character after the mark", "!Fuck C:\\SND\\A.WAV\n", {"A", "Old"}, {}},
        {"a missing path, reported, later lines load", "!Fuck\nc:\\snd\\horn.wav\nC:\\SND\\B.WAV\n", {"Old", "B"},
         {"C:\\SND\\HORN.WAV\n\nCan't load that file!"}},
        // The line keeps its first 1023 characters; the message shows them shortened in
        // the middle to 959: 239 from the start, "...", 717 from the end.
        {"a path too long for a line", "!Fuck\nC:\\" + std::string(1500, 'x') + "\nC:\\SND\\B.WAV\n", {"Old", "B"},
         {"C:\\" + std::string(236, 'X') + "..." + std::string(717, 'X') + "...\n\nThis path is too long!"}},
        {"a wrong mark", "!fuck\nC:\\SND\\A.WAV\n", {"Old"}, {"SHOW.QK\n\nWrong file format!"}},
        // A line exactly as long as the line buffer holds (1023 characters and the NUL) is
        // a path, which names no file; one character more is a line too long.
        {"a path line exactly as long as the line buffer", "!Fuck\nC:\\" + std::string(1020, 'x') + "\nC:\\SND\\B.WAV\n",
         {"Old", "B"}, {"C:\\" + std::string(236, 'X') + "..." + std::string(717, 'X') + "\n\nCan't load that file!"}},
        {"a path line one longer than the line buffer", "!Fuck\nC:\\" + std::string(1021, 'y') + "\nC:\\SND\\B.WAV\n",
         {"Old", "B"}, {"C:\\" + std::string(236, 'Y') + "..." + std::string(717, 'Y') + "...\n\nThis path is too long!"}},
    };
    for (const Case &c : cases) {
        ResetProgram();
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
        for (int k = 1; k <= 3; k++) StoreKey(("Wave" + std::to_string(k)).c_str(), "C:\\SND\\OLD.WAV");
        WriteFile(home + "/BANKS/SHOW.QK", c.bytes);
        std::vector<std::string> labels, boxes;
        LoadBank("SHOW.QK", [&] {
            for (size_t i = 0; i < c.labels.size(); i++) labels.push_back(SlotTable[i].label);
            for (const hl::BoxRecord &b : hl::Boxes()) boxes.push_back(b.text);
            for (const hl::BoxRecord &b : hl::Boxes()) {
                EXPECT_EQ(b.caption, "ERROR") << c.what;
                EXPECT_EQ(b.type, (UINT)MB_OK) << c.what;
                EXPECT_EQ(b.owner, Main()) << c.what;
            }
        });
        EXPECT_EQ(labels, c.labels) << c.what;
        ASSERT_EQ(boxes.size(), c.boxes.size()) << c.what;
        for (size_t i = 0; i < boxes.size(); i++) EXPECT_EQ(boxes[i], c.boxes[i]) << c.what;
        for (const std::string &b : boxes) EXPECT_LT(b.size(), (size_t)SCRATCH_TEXT_SIZE) << c.what;
    }
}

// Carriage returns are dropped wherever they stand, also where the C runtime's text mode
// would keep them (a lone one, or one inside the mark), so every build reads the same
// lines. The file is handed over unconverted, as a binary stream.
TEST_F(Bank, EveryCarriageReturnIsDropped) {
    WriteFile(home + "/BANKS/SHOW.QK", "!Fu\rck\r\r\nC:\\SND\\A.\rWAV\n\rC:\\SND\r\\B.WAV\r\n\r\nC:\\SND\\C.WAV\n");
    Run({[&] {
        FILE *bank = QkCrtFopen("C:\\BANKS\\SHOW.QK", "rb");
        ASSERT_NE(bank, nullptr);
        LoadBankStream(Main(), bank, "SHOW.QK");
        fclose(bank);
        EXPECT_TRUE(hl::Boxes().empty());
        EXPECT_STREQ(SlotTable[0].label, "A");
        EXPECT_STREQ(SlotTable[1].label, "B");
        EXPECT_EQ(SlotTable[2].loaded, 0);  // after the empty line
        EXPECT_EQ(Wave(1), "C:\\SND\\A.WAV");
        EXPECT_EQ(Wave(2), "C:\\SND\\B.WAV");
        EXPECT_EQ(Wave(3), "<absent>");
    }});
}

// A listed file that exists but cannot be read leaves its slot without a sample; its
// key names that file, so the next start reports it rather than loading the old one.
TEST_F(Bank, AListedFileThatCannotBeReadIsStoredAndReportedNextTime) {
    MakeDirs(home + "/SND/DIR.WAV");  // exists, but no sample can be read from it
    StoreKey("Wave1", "C:\\SND\\OLD.WAV");
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nc:\\snd\\dir.wav\nC:\\SND\\B.WAV\n");
    const std::string unreadable = "C:\\SND\\DIR.WAV\n\nThis file can't be opened!";
    LoadBank("SHOW.QK", [&] {
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text, unreadable);
        EXPECT_EQ(SlotTable[0].loaded, 0);
        EXPECT_STREQ(SlotTable[0].label, "< empty >");
        EXPECT_EQ(Text(SlotButtons[0]).substr(Text(SlotButtons[0]).find('\n')), "\n< empty >");
        EXPECT_EQ(Wave(1), "c:\\snd\\dir.wav");
        EXPECT_STREQ(SlotTable[1].label, "B");
    });
    // The next start: the file is reported again, and the old sample stays gone.
    ResetProgram();
    Run({[&] {
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text, unreadable);
        EXPECT_EQ(SlotTable[0].loaded, 0);
        EXPECT_STREQ(SlotTable[0].label, "< empty >");
    }});
}

// A message box without an owner leaves the main window live: a key pressed while it is
// up may start a slot's old sample, which must stop before that sample is freed.
TEST_F(Bank, AKeyPressedWhileABoxIsUpNeverPlaysAFreedSample) {
    MakeDirs(home + "/SND/DIR.WAV");
    StoreKey("Wave1", "C:\\SND\\OLD.WAV");
    StoreKey("Wave2", "C:\\SND\\OLD.WAV");
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nC:\\SND\\DIR.WAV\nC:\\SND\\B.WAV\n");
    const void *oldSample = nullptr;
    int keysPressed = 0;
    std::vector<hl::SoundRecord> log;
    LoadBank(
        "SHOW.QK",
        [&] {
            log = hl::Sounds();
            EXPECT_STREQ(SlotTable[1].label, "B");
        },
        [&] {
            oldSample = SlotTable[1].data;
            hl::WhileBoxShown([&](const hl::BoxRecord &box) {
                if (box.owner != nullptr) return;  // an owned box keeps its owner from input
                hl::PressKey(VK_F2);
                hl::Pump();
                keysPressed++;
            });
            hl::ClearSounds();
        });
    ASSERT_EQ(keysPressed, 1);
    ASSERT_NE(oldSample, nullptr);
    // The old sample played, then stopped before slot 1 was loaded anew.
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].image, nullptr);  // the load began
    EXPECT_EQ(log[1].image, oldSample);
    EXPECT_EQ(log[2].image, nullptr);
}

TEST_F(Bank, ThePickerListsBankFilesAndWantsAnExistingName) {
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\n");
    WriteFile(home + "/BANKS/live.qk", "!Fuck\n");
    MakeSample("BANKS/JINGLE.WAV");
    WriteFile(home + "/BANKS/SHOW.QKX", "");
    std::vector<std::string> files;
    std::string box;
    Run({[&] {
             SetCurrentDirectoryA("C:\\BANKS");
             hl::ChooseMenuItem(Main(), 103);
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             files = ListItems(Dialog(), 101);
             SetDlgItemTextA(Dialog(), 103, "NOPE");
             hl::ClickOn(GetDlgItem(Dialog(), 105));
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);  // still open after the message
             ASSERT_EQ(hl::Boxes().size(), 1u);
             box = hl::Boxes()[0].text;
             // No forced extension and no empty name: an empty name is not taken either.
             SetDlgItemTextA(Dialog(), 103, "");
             hl::ClickOn(GetDlgItem(Dialog(), 105));
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             EXPECT_EQ(hl::Boxes().size(), 1u);
             hl::PressKey(VK_ESCAPE);
         }});
    EXPECT_EQ(files, (std::vector<std::string>{"live.qk", "SHOW.QK"}));
    EXPECT_EQ(box, "NOPE\nThis file can't be found.\nMake sure that you specify a correct path and filename.");
}

TEST_F(Bank, LoadedPathsAreStoredAsWrittenAndCaptioned) {
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nc:\\snd\\a.wav\n  C:\\SND\\B.WAV\nC:\\SND\\C.WAV\n");
    LoadBank("SHOW.QK", [&] {
        EXPECT_EQ(Wave(1), "c:\\snd\\a.wav");
        // Blanks before a path make it another path, which does not exist.
        EXPECT_EQ(Wave(2), "<absent>");
        EXPECT_EQ(Wave(3), "C:\\SND\\C.WAV");
        EXPECT_NE(Text(SlotButtons[0]).find("\nA"), std::string::npos);
        EXPECT_NE(Text(SlotButtons[2]).find("\nC"), std::string::npos);
    });
}

// Found by fuzzing: the settings reader drops blanks around a value, so a line with a
// leading blank was loaded from one place and stored as another path ("\SND\A.WAV",
// from the root, instead of the current directory's SND\A.WAV, where the blank leads).
TEST_F(Bank, PathsWithBlanksAroundThemAreStoredAsTheyLoaded) {
    MakeSample("BANKS/SND/A.WAV", 40);  // the file the line names, beside the bank
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\n \\SND\\A.WAV\nC:\\SND\\B.WAV  \n");
    LoadBank("SHOW.QK", [&] {
        ASSERT_TRUE(hl::Boxes().empty());
        ASSERT_EQ(SlotTable[0].loaded, 1);
        EXPECT_EQ(GlobalSize(SlotTable[0].block), 44u + 80u);  // the one beside the bank
        EXPECT_EQ(Wave(1), " \\SND\\A.WAV");
        EXPECT_EQ(Wave(2), "C:\\SND\\B.WAV  ");
        // Read back, the path names the file that was loaded, not C:\SND\A.WAV.
        char buf[300];
        GetPrivateProfileStringA("QK_Pex", "Wave1", "", buf, sizeof buf, "ZELVRANT.INI");
        FILE *f = QkCrtFopen(buf, "rb");  // (the C++ headers take fopen's macro away)
        ASSERT_NE(f, nullptr);
        fseek(f, 0, SEEK_END);
        EXPECT_EQ((size_t)ftell(f), GlobalSize(SlotTable[0].block));
        fclose(f);
    }, [] { SetCurrentDirectoryA("C:\\BANKS"); });
}

// The settings reader takes one pair of matching quotes off a value: a stored path that
// begins with a quote must read back as the path that was loaded, so that the next start
// loads the same file.
TEST_F(Bank, PathsThatBeginWithAQuoteReadBackAsTheyLoaded) {
    const char *kNames[] = {"'Q.WAV", "'R.WAV'", "''S.WAV''", "'T.WAV\"", "\"U.WAV'"};
    std::string bytes = "!Fuck\n";
    for (const char *name : kNames) {
        MakeSample(std::string("BANKS/") + name, 40 + (int)strlen(name));  // each of its own size
        bytes += std::string(name) + "\n";
    }
    WriteFile(home + "/BANKS/SHOW.QK", bytes);
    size_t sizes[5] = {0};
    LoadBank("SHOW.QK", [&] {
        ASSERT_TRUE(hl::Boxes().empty());
        for (int n = 0; n < 5; n++) {
            ASSERT_EQ(SlotTable[n].loaded, 1) << kNames[n];
            sizes[n] = GlobalSize(SlotTable[n].block);
            EXPECT_EQ(Wave(n + 1), kNames[n]);
        }
    }, [] { SetCurrentDirectoryA("C:\\BANKS"); });
    // The next start, in the same folder, loads every one of them again.
    ResetProgram();
    SetCurrentDirectoryA("C:\\BANKS");
    ASSERT_TRUE(SlotStartup());
    EXPECT_TRUE(hl::Boxes().empty());
    for (int n = 0; n < 5; n++) {
        EXPECT_EQ(SlotTable[n].loaded, 1) << kNames[n];
        EXPECT_EQ(GlobalSize(SlotTable[n].block), sizes[n]) << kNames[n];
        EXPECT_EQ(sizes[n], 44u + 2u * (40u + strlen(kNames[n]))) << kNames[n];
    }
    for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
}

TEST_F(Bank, OnlyTheFirstTwelveLines) {
    std::string bytes = "!Fuck\n";
    for (int i = 0; i < 15; i++) bytes += "C:\\SND\\D.WAV\n";
    WriteFile(home + "/BANKS/SHOW.QK", bytes);
    LoadBank("SHOW.QK", [&] {
        for (int k = 1; k <= 12; k++) EXPECT_EQ(Wave(k), "C:\\SND\\D.WAV") << k;
        EXPECT_EQ(Wave(13), "<absent>");
        for (const Slot &s : SlotTable) EXPECT_EQ(s.loaded, 1);
    });
}

TEST_F(Bank, AWavChosenAsABank) {
    LoadBank("..\\SND\\A.WAV", [&] {
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text, "..\\SND\\A.WAV\n\nWrong file format!");
        for (const Slot &s : SlotTable) EXPECT_EQ(s.loaded, 0);
    });
}

TEST_F(Bank, OutOfMemoryMidWay) {
    StoreKey("Wave2", "C:\\SND\\OLD.WAV");
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\nC:\\SND\\A.WAV\nC:\\SND\\B.WAV\nC:\\SND\\C.WAV\n");
    LoadBank(
        "SHOW.QK",
        [&] {
            ASSERT_EQ(hl::Boxes().size(), 1u);
            EXPECT_EQ(hl::Boxes()[0].text, "Not enough memory available!");
            EXPECT_EQ(hl::Boxes()[0].owner, nullptr);
            EXPECT_EQ(SlotTable[0].loaded, 1);
            EXPECT_EQ(Wave(1), "C:\\SND\\A.WAV");
            // Slot 1's old sample is gone, its label, caption and key stay.
            EXPECT_EQ(SlotTable[1].loaded, 0);
            EXPECT_STREQ(SlotTable[1].label, "Old");
            EXPECT_NE(Text(SlotButtons[1]).find("\nOld"), std::string::npos);
            EXPECT_EQ(Wave(2), "C:\\SND\\OLD.WAV");
            EXPECT_EQ(Wave(3), "<absent>");  // never reached
        },
        [] { qk::FailNthGlobalAlloc(2); });
}

TEST_F(Bank, ABankThatCannotBeReadTouchesNothing) {
    MakeDirs(home + "/BANKS");
    ASSERT_EQ(mkfifo((home + "/BANKS/PIPE.QK").c_str(), 0644), 0);
    StoreKey("Wave1", "C:\\SND\\OLD.WAV");
    std::string before;
    LoadBank("PIPE.QK", [&] {
        ASSERT_EQ(hl::Boxes().size(), 1u);
        EXPECT_EQ(hl::Boxes()[0].text, "C:\\BANKS\\PIPE.QK\n\nThis bank file can't be opened!");
        EXPECT_STREQ(SlotTable[0].label, "Old");
        EXPECT_EQ(SlotTable[0].loaded, 1);
    });
}

TEST_F(Bank, WhereThePickerOpens) {
    struct Case {
        const char *savefile;  // nullptr: absent
        const char *current;
        const char *directory, *name;
    } cases[] = {
        {nullptr, "C:\\", "C:", "*.QK"},
        {nullptr, "C:\\SND", "C:\\SND", "*.QK"},
        {"D:\\BANKS\\SHOW.QK", "C:\\", "D:\\BANKS", "SHOW.QK"},
    };
    MakeDirs(driveD + "/BANKS");
    for (const Case &c : cases) {
        ResetProgram();
        if (c.savefile) StoreKey("Savefile", c.savefile, "QK_Wav");
        std::string directory, name, title;
        Run({[&] {
                 SetCurrentDirectoryA(c.current);
                 hl::ChooseMenuItem(Main(), 103);
             },
             [&] {
                 directory = Picker.directory;
                 name = ItemText(Dialog(), 103);
                 title = Text(Dialog());
                 hl::PressKey(VK_ESCAPE);
             }});
        EXPECT_EQ(directory, c.directory) << c.current;
        EXPECT_EQ(name, c.name) << c.current;
        EXPECT_EQ(title, "Pick QK-file to load..");
        WritePrivateProfileStringA("QK_Wav", NULL, NULL, "ZELVRANT.INI");
    }
}

TEST_F(Bank, PlaybackStopsEvenWhenThePickerIsCancelled) {
    StoreKey("Wave1", "C:\\SND\\OLD.WAV");
    StoreKey("Loop", "1");
    Run({[&] { hl::PressKey(VK_F1); },
         [&] {
             hl::ClearSounds();
             hl::ChooseMenuItem(Main(), 103);
         },
         [&] { hl::PressKey(VK_ESCAPE); },
         [&] {
             auto log = hl::Sounds();
             ASSERT_EQ(log.size(), 1u);
             EXPECT_EQ(log[0].image, nullptr);
             EXPECT_EQ(SlotTable[0].loaded, 1);
         }});
}

}  // namespace
