// Assigning a file to a slot by right-clicking its button.
#include "picker/picker.h"
#include "platform/kernel32/kernel32_test.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;

class Assign : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        MakeSample("SOUNDS/DING.WAV");
        MakeSample("SOUNDS/DING.MP3");
        MakeSample("SOUNDS/OLD.WAV");
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
    }
    // Right-clicks the button of a slot (the grid is 400 x 322 with its status bar).
    static void RightClickSlot(int slot) {
        SetClientSize(400, 322);
        hl::Click(Main(), (slot % 4) * 100 + 50, (slot / 4) * 100 + 50, 1);
    }
    // In the open picker: the name box gets a text and OK is clicked.
    static void Accept(const char *name) {
        ASSERT_NE(Dialog(), nullptr);
        SetDlgItemTextA(Dialog(), 103, name);
        hl::ClickOn(GetDlgItem(Dialog(), 105));
    }
    static std::string Caption(int slot) { return Text(SlotButtons[slot]); }
};

TEST_F(Assign, ARightClickAssignsTheSlotUnderIt) {
    std::string opened, name, title;
    Run({[&] { RightClickSlot(5); },
         [&] {
             // An unassigned slot: the picker opens in the current directory with *.WAV.
             ASSERT_NE(Dialog(), nullptr);
             title = Text(Dialog());
             opened = Picker.directory;
             name = ItemText(Dialog(), 103);
             DoubleClickEntry(Dialog(), 102, IndexOf(ListItems(Dialog(), 102), "SOUNDS"));
         },
         [&] { Accept("DING.WAV"); },
         [&] {
             EXPECT_EQ(Key("Wave6"), "C:\\SOUNDS\\DING.wav");
             EXPECT_EQ(SlotTable[5].loaded, 1);
             EXPECT_STREQ(SlotTable[5].label, "Ding");
             std::string caption = Caption(5);
             EXPECT_EQ(caption.substr(caption.find('\n')), "\nDing");
             EXPECT_NE(caption.find("F6"), std::string::npos);
             EXPECT_EQ(StatusText(0), "");
         }});
    EXPECT_EQ(title, "Pick WAV-file to assign...");
    EXPECT_EQ(opened, "C:");
    EXPECT_EQ(name, "*.WAV");
}

TEST_F(Assign, AStoredPathOpensThePickerWhereItLies) {
    StoreKey("Wave1", "C:\\SOUNDS\\OLD.WAV");
    std::string directory, label, name;
    Run({[&] { RightClickSlot(0); },
         [&] {
             directory = Picker.directory;
             label = ItemText(Dialog(), 107);
             name = ItemText(Dialog(), 103);
             hl::PressKey(VK_ESCAPE);
         }});
    EXPECT_EQ(directory, "C:\\SOUNDS");
    EXPECT_EQ(label, "C:\\SOUNDS");
    EXPECT_EQ(name, "OLD.WAV");
}

TEST_F(Assign, EmptyingAndForcedExtensions) {
    struct Case {
        const char *what;
        const char *typed;
        const char *key;
    } cases[] = {
        {"an empty name empties the slot", "", ""},
        {"a forced extension that names nothing", "DING.MP3", ""},
    };
    for (const Case &c : cases) {
        ResetProgram();
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
        StoreKey("Wave1", "C:\\SOUNDS\\OLD.WAV");
        // For the forced extension: DING.MP3 exists, DING.wav does not.
        if (std::string(c.typed) == "DING.MP3") unlink((home + "/SOUNDS/DING.WAV").c_str());
        std::vector<hl::SoundRecord> log;
        Run({[&] {
                 ASSERT_EQ(SlotTable[0].loaded, 1);
                 hl::ClearSounds();
                 RightClickSlot(0);
             },
             [&] { Accept(c.typed); },
             [&] {
                 log = hl::Sounds();
                 EXPECT_EQ(Key("Wave1"), c.key) << c.what;
                 EXPECT_EQ(SlotTable[0].loaded, 0) << c.what;
                 EXPECT_EQ(SlotTable[0].data, nullptr) << c.what;
                 EXPECT_STREQ(SlotTable[0].label, "< empty >") << c.what;
                 EXPECT_NE(Caption(0).find("\n< empty >"), std::string::npos) << c.what;
             }});
        ASSERT_FALSE(log.empty()) << c.what;
        EXPECT_EQ(log[0].image, nullptr) << c.what;  // the sound stopped before the sample went
    }
}

TEST_F(Assign, ThePickerListsWavFilesAndWantsAnExistingName) {
    MakeSample("SOUNDS/horn.wav");
    WriteFile(home + "/SOUNDS/SHOW.QK", "!Fuck\n");
    std::vector<std::string> files;
    std::string box, typedAfter;
    Run({[&] {
             SetCurrentDirectoryA("C:\\SOUNDS");
             RightClickSlot(2);
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             files = ListItems(Dialog(), 101);
             Accept("NOPE");
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);  // still open after the message
             ASSERT_EQ(hl::Boxes().size(), 1u);
             box = hl::Boxes()[0].text;
             // The extension is forced: an existing sound of another type gives its .wav.
             Accept("DING.MP3");
         },
         [&] {
             EXPECT_EQ(Dialog(), nullptr);
             EXPECT_EQ(Key("Wave3"), "C:\\SOUNDS\\DING.wav");
             EXPECT_STREQ(SlotTable[2].label, "Ding");
             RightClickSlot(2);
         },
         // An empty name is taken: it empties the slot.
         [&] { Accept(""); },
         [&] {
             EXPECT_EQ(Dialog(), nullptr);
             EXPECT_EQ(Key("Wave3"), "");
             EXPECT_STREQ(SlotTable[2].label, "< empty >");
         }});
    EXPECT_EQ(files, (std::vector<std::string>{"DING.WAV", "horn.wav", "OLD.WAV"}));
    EXPECT_EQ(box, "NOPE\nThis file can't be found.\nMake sure that you specify a correct path and filename.");
}

// A path that bank loading stored quoted (it begins with a blank, which the settings
// reader would drop) and that is then picked again by right-click: stored the same way,
// it reads back as the same file.
TEST_F(Assign, APathStoredByABankAndPickedAgainReadsBackAsTheSameFile) {
    WriteFile(home + "/BANKS/SND/A.WAV", MakeWav16(8000, 1, std::vector<int16_t>(30, 7)));
    WriteFile(home + "/BANKS/SHOW.QK", "!Fuck\n \\SND\\A.WAV\n");
    std::string afterBank, afterPick;
    Run({[&] {
             SetCurrentDirectoryA("C:\\BANKS");
             hl::ChooseMenuItem(Main(), 103);
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             Accept("SHOW.QK");
         },
         [&] {
             afterBank = Key("Wave1");
             ASSERT_EQ(GlobalSize(SlotTable[0].block), 44u + 60u);
             RightClickSlot(0);
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             hl::ClickOn(GetDlgItem(Dialog(), 105));  // OK on the name it opened with
         },
         [&] {
             afterPick = Key("Wave1");
             ASSERT_EQ(SlotTable[0].loaded, 1);
             EXPECT_EQ(GlobalSize(SlotTable[0].block), 44u + 60u);
         }});
    EXPECT_EQ(afterBank, " \\SND\\A.WAV");
    // Read back, the stored path names the file that was picked.
    ResetProgram();
    StoreKey("Auto", "0");
    StoreKey("Rehearse", "0");
    SetCurrentDirectoryA("C:\\BANKS");
    Run({[&] {
        EXPECT_TRUE(hl::Boxes().empty());
        ASSERT_EQ(SlotTable[0].loaded, 1);
        EXPECT_EQ(GlobalSize(SlotTable[0].block), 44u + 60u) << afterPick;
    }});
}

TEST_F(Assign, CancelChangesNothingAndLeavesALoopPlaying) {
    StoreKey("Wave1", "C:\\SOUNDS\\OLD.WAV");
    StoreKey("Loop", "1");
    std::string before;
    Run({[&] {
             hl::PressKey(VK_F1);
         },
         [&] {
             before = IniText();
             hl::ClearSounds();
             RightClickSlot(0);
         },
         [&] { hl::PressKey(VK_ESCAPE); },
         [&] {
             EXPECT_TRUE(hl::Sounds().empty());  // no stop: the loop goes on
             EXPECT_EQ(IniText(), before);
             EXPECT_EQ(SlotTable[0].loaded, 1);
             EXPECT_STREQ(SlotTable[0].label, "Old");
         }});
}

TEST_F(Assign, AcceptingStopsALoopBeforeTheSampleIsFreed) {
    StoreKey("Wave1", "C:\\SOUNDS\\OLD.WAV");
    StoreKey("Loop", "1");
    Run({[&] { hl::PressKey(VK_F1); },
         [&] {
             hl::ClearSounds();
             RightClickSlot(0);
         },
         [&] { Accept("DING.WAV"); },
         [&] {
             auto log = hl::Sounds();
             ASSERT_EQ(log.size(), 1u);
             EXPECT_EQ(log[0].image, nullptr);
             EXPECT_EQ(log[0].flags, 13u);
             EXPECT_STREQ(SlotTable[0].label, "Ding");
         }});
}

TEST_F(Assign, OutOfMemoryKeepsTheOldLabelAndTheNote) {
    StoreKey("Wave1", "C:\\SOUNDS\\OLD.WAV");
    Run({[&] { RightClickSlot(0); },
         [&] {
             qk::FailNthGlobalAlloc(1);
             Accept("DING.WAV");
         },
         [&] {
             ASSERT_EQ(hl::Boxes().size(), 1u);
             EXPECT_EQ(hl::Boxes()[0].text, "Not enough memory available!");
             EXPECT_EQ(hl::Boxes()[0].owner, nullptr);
             EXPECT_EQ(SlotTable[0].loaded, 0);
             EXPECT_STREQ(SlotTable[0].label, "Old");
             EXPECT_NE(Caption(0).find("\nOld"), std::string::npos);
             EXPECT_EQ(StatusText(0), "Loading file...");
             EXPECT_EQ(Key("Wave1"), "C:\\SOUNDS\\DING.wav");  // the next start tries again
         }});
}

TEST_F(Assign, TheSlotUnderAPoint) {
    Run({[&] {
        // 400 x 300 with a status bar of 20: rows of 93, columns of 100.
        SetClientSize(400, 300);
        struct { int x, y, slot; } cases[] = {
            {0, 0, 0},     {99, 92, 0},   {100, 0, 1},  {399, 0, 3},  {150, 95, 5},  {0, 93, 4},
            {0, 186, 8},   {399, 278, 11}, {0, 279, -1},  {10, 280, -1}, {10, 299, -1},
        };
        // (y 279 lies in row 279 / 93 = 3, under the grid's last row.)
        for (auto &c : cases) EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(c.x, c.y)), c.slot) << c.x << "," << c.y;
        // The right-most W mod 4 columns lie right of the grid.
        SetClientSize(403, 300);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(399, 10)), 3);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(400, 10)), -1);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(402, 10)), -1);
        // Grids without rows or columns have no slots at all.
        SetClientSize(3, 300);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(0, 0)), -1);
        SetClientSize(400, 22);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(0, 0)), -1);
        SetClientSize(400, 10);
        EXPECT_EQ(SlotFromPoint(Main(), MAKELPARAM(0, 0)), -1);
    }});
}

TEST_F(Assign, RightClicksOutsideTheGridOpenNothing) {
    bool sawDialog = false;
    Run({[&] {
             SetClientSize(403, 300);
             hl::Click(Main(), 200, 290, 1);  // the status bar
             hl::Click(Main(), 401, 50, 1);   // right of the buttons
             hl::Click(Main(), 50, 50, 0);    // a left click plays, never assigns
             hl::Click(Main(), 50, 50, 2);
         },
         [&] { sawDialog = Dialog() != nullptr; }});
    EXPECT_FALSE(sawDialog);
}

}  // namespace
