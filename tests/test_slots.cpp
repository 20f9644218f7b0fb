#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/app.h"
#include "platform/crt/crt_test.h"
#include "platform/driver/headless/headless.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/win32.h"
#include "sound/sound.h"
#include "tests/support.h"

namespace {

class Slots : public StandinTest {
protected:
    // Stores a sample path under the key of key number k.
    void Store(int k, const std::string &path) {
        std::string key = "Wave" + std::to_string(k);
        ASSERT_TRUE(WritePrivateProfileStringA("QK_Pex", key.c_str(), path.c_str(), "ZELVRANT.INI"));
    }
    std::string Wave(int k) { return Key(("Wave" + std::to_string(k)).c_str()); }
    // A sample file in C:\SND of the given content.
    std::string Sample(const std::string &name, const std::string &bytes) {
        WriteFile(home + "/snd/" + name, bytes);
        return "C:\\snd\\" + name;
    }
    std::vector<qk::headless::BoxRecord> Boxes() { return qk::headless::Boxes(); }
    std::string SlotBytes(int n) {
        return std::string((const char *)SlotTable[n].data, GlobalSize(SlotTable[n].block));
    }
};

TEST_F(Slots, NoKeysGivesTwelveEmptySlotsUnderTheWaitCursor) {
    ASSERT_TRUE(SlotStartup());
    for (const Slot &s : SlotTable) {
        EXPECT_STREQ(s.label, "< empty >");
        EXPECT_EQ(s.loaded, 0);
        EXPECT_EQ(s.data, nullptr);
        EXPECT_EQ(s.block, nullptr);
    }
    EXPECT_TRUE(Boxes().empty());
    // The wait cursor for the preloading, then the one before it back.
    ASSERT_EQ(qk::headless::CursorLog().size(), 2u);
    EXPECT_EQ(qk::headless::CursorLog()[0], LoadCursorA(NULL, IDC_WAIT));
    EXPECT_EQ(qk::headless::CursorLog()[1], LoadCursorA(NULL, IDC_ARROW));
    EXPECT_EQ(IniText(), "");  // nothing written
}

TEST_F(Slots, StoredSamplesLoadWholeWithTheirLabels) {
    Store(1, Sample("clap.wav", "RIFF-clap"));
    Store(2, Sample("VERYLONGNAME.WAV", std::string(5000, 'v')));
    Store(3, Sample("zero.wav", ""));
    Store(12, "c:/SND/Clap.WAV");  // found ignoring case
    ASSERT_TRUE(SlotStartup());
    EXPECT_TRUE(Boxes().empty());

    EXPECT_STREQ(SlotTable[0].label, "Clap");
    EXPECT_EQ(SlotTable[0].loaded, 1);
    EXPECT_EQ(SlotBytes(0), "RIFF-clap");
    EXPECT_STREQ(SlotTable[1].label, "Verylong");
    EXPECT_EQ(SlotBytes(1), std::string(5000, 'v'));
    // A file of no bytes loads and counts as loaded, with no bytes to play.
    EXPECT_STREQ(SlotTable[2].label, "Zero");
    EXPECT_EQ(SlotTable[2].loaded, 1);
    EXPECT_EQ(SlotTable[2].data, nullptr);
    EXPECT_STREQ(SlotTable[11].label, "Clap");
    EXPECT_STREQ(SlotTable[5].label, "< empty >");

    for (int n = 0; n < SLOT_COUNT; n++) FreeSlotSample(n);
    EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
    EXPECT_EQ(SlotTable[0].data, nullptr);
    EXPECT_EQ(SlotTable[0].loaded, 0);
    EXPECT_STREQ(SlotTable[0].label, "Clap");  // freeing keeps the label
}

TEST_F(Slots, MissingFilesAnsweredOkThenCancel) {
    Store(2, "c:\\snd\\horn.wav");
    Store(4, Sample("here.wav", "x"));
    Store(5, "D:\\GONE\\bell.wav");
    Store(7, "D:\\GONE\\never-asked.wav");
    qk::headless::QueueAnswer(IDOK);
    qk::headless::QueueAnswer(IDCANCEL);
    EXPECT_FALSE(SlotStartup());

    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
    EXPECT_EQ(Boxes()[0].text,
              "C:\\SND\\HORN.WAV:\nThis file is missing!\nChoose OK to assign < empty > to button 2\n"
              "Choose Cancel to stop QK_Pex from loading");
    EXPECT_EQ(Boxes()[0].caption, "WARNING");
    EXPECT_EQ(Boxes()[0].type, 0x11u);
    EXPECT_EQ(Boxes()[1].text,
              "D:\\GONE\\BELL.WAV:\nThis file is missing!\nChoose OK to assign < empty > to button 5\n"
              "Choose Cancel to stop QK_Pex from loading");

    EXPECT_EQ(Wave(2), "");                          // emptied for good, the key kept
    EXPECT_NE(IniText().find("Wave2=\r\n"), std::string::npos);
    EXPECT_EQ(Wave(5), "D:\\GONE\\bell.wav");        // cancelled: kept
    EXPECT_EQ(Wave(7), "D:\\GONE\\never-asked.wav");  // never looked at
    for (const Slot &s : SlotTable) EXPECT_EQ(s.loaded, 0);  // no preloading after a Cancel
    EXPECT_TRUE(qk::headless::CursorLog().empty());
}

TEST_F(Slots, MissingFileAnsweredOkLeavesTheSlotEmpty) {
    Store(1, "C:\\SND\\HORN.WAV");
    ASSERT_TRUE(SlotStartup());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Wave(1), "");
    EXPECT_STREQ(SlotTable[0].label, "< empty >");
}

TEST_F(Slots, AnOverlongStoredPathIsShownShortened) {
    std::string path = "c:\\" + std::string(1015, 'p') + "\\X.WAV";  // read back cut to 1023
    Store(3, path);
    qk::headless::QueueAnswer(IDOK);
    ASSERT_TRUE(SlotStartup());
    ASSERT_EQ(Boxes().size(), 1u);
    const std::string text = Boxes()[0].text;
    // The 1023 characters read back are shown in 863 (what the 107 of the message leave
    // of ScratchText, within the 864 bytes kept for the path): 215 from the start,
    // "...", 645 from the end, upper-cased.
    const std::string tail = ":\nThis file is missing!\nChoose OK to assign < empty > to button 3\n"
                             "Choose Cancel to stop QK_Pex from loading";
    EXPECT_EQ(text, "C:\\" + std::string(212, 'P') + "..." + std::string(640, 'P') + "\\X.WA" + tail);
    EXPECT_LT(text.size(), (size_t)SCRATCH_TEXT_SIZE);
    EXPECT_EQ(Wave(3), "");
}

// Entries that pass the existence test but cannot be read as a file.
TEST_F(Slots, AnExistingEntryThatCannotBeReadKeepsItsKey) {
    MakeDirs(home + "/snd/folder.wav");
    ASSERT_EQ(mkfifo((home + "/snd/pipe.wav").c_str(), 0644), 0);
    Store(1, "C:\\snd\\folder.wav");
    Store(2, "C:\\snd\\pipe.wav");
    Store(3, Sample("good.wav", "good"));
    ASSERT_TRUE(SlotStartup());

    ASSERT_EQ(Boxes().size(), 2u);  // no missing-file prompt, one note for each
    EXPECT_EQ(Boxes()[0].text, "C:\\SND\\FOLDER.WAV\n\nThis file can't be opened!");
    EXPECT_EQ(Boxes()[0].caption, "ERROR");
    EXPECT_EQ(Boxes()[0].type, (UINT)MB_ICONERROR);
    EXPECT_EQ(Boxes()[1].text, "C:\\SND\\PIPE.WAV\n\nThis file can't be opened!");
    for (int n : {0, 1}) {
        EXPECT_EQ(SlotTable[n].loaded, 0);
        EXPECT_EQ(SlotTable[n].data, nullptr);
        EXPECT_STREQ(SlotTable[n].label, "< empty >");
    }
    EXPECT_EQ(Wave(1), "C:\\snd\\folder.wav");  // the next start tries again
    EXPECT_EQ(Wave(2), "C:\\snd\\pipe.wav");
    EXPECT_EQ(SlotBytes(2), "good");  // the slots after it still load
}

TEST_F(Slots, AFileWithoutReadPermission) {
    Store(1, Sample("locked.wav", "secret"));
    // Root reads every file: the check runs as a user without privileges.
    EXPECT_EQ(RunUnprivileged([&] {
                  ASSERT_EQ(chmod((home + "/snd/locked.wav").c_str(), 0), 0);
                  ASSERT_TRUE(SlotStartup());
                  ASSERT_EQ(Boxes().size(), 1u);
                  EXPECT_EQ(Boxes()[0].text, "C:\\SND\\LOCKED.WAV\n\nThis file can't be opened!");
                  EXPECT_EQ(SlotTable[0].loaded, 0);
                  EXPECT_EQ(Wave(1), "C:\\snd\\locked.wav");
              }),
              0);
}

TEST_F(Slots, AllocationFailingAtSlot4) {
    Store(1, Sample("a.wav", "a"));
    Store(3, Sample("c.wav", "c"));
    Store(4, Sample("d.wav", "d"));
    for (int k = 5; k <= 12; k++) Store(k, Sample("s" + std::to_string(k) + ".wav", "s"));
    qk::FailNthGlobalAlloc(4);  // slots 0, 2 and 3 allocate; slot 4 is the fourth
    ASSERT_TRUE(SlotStartup());

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
    EXPECT_EQ(Boxes()[0].text, "Not enough memory available!");
    EXPECT_EQ(Boxes()[0].caption, "ERROR");
    EXPECT_EQ(Boxes()[0].type, (UINT)MB_ICONERROR);

    EXPECT_STREQ(SlotTable[0].label, "A");
    EXPECT_STREQ(SlotTable[1].label, "< empty >");
    EXPECT_EQ(SlotTable[3].loaded, 1);
    for (int n = 4; n < SLOT_COUNT; n++) {
        EXPECT_STREQ(SlotTable[n].label, "") << n;  // unvisited, not "< empty >"
        EXPECT_EQ(SlotTable[n].loaded, 0);
        EXPECT_EQ(SlotTable[n].block, nullptr);
    }
    for (int k = 5; k <= 12; k++) EXPECT_NE(Wave(k), "") << k;  // the next start tries them again
    EXPECT_EQ(qk::headless::CursorLog().back(), LoadCursorA(NULL, IDC_ARROW));
    EXPECT_EQ(qk::GlobalLiveBlocks(), 3);
}

TEST_F(Slots, AShortReadLeavesNoStaleBytes) {
    qk::FillNewBlocks(0xCD);
    std::string bytes(100, 'w');
    Store(1, Sample("shrinking.wav", bytes));
    qk::SetShortReadLimit(10);
    ASSERT_TRUE(SlotStartup());
    ASSERT_EQ(SlotTable[0].loaded, 1);
    EXPECT_EQ(SlotBytes(0), std::string(10, 'w') + std::string(90, '\0'));
}

TEST_F(Slots, StartupOptionReadsWriteTheirDefaults) {
    int lock = ReadStartupOptions();
    EXPECT_EQ(lock, 0);
    EXPECT_EQ(IniText(), "[QK_Pex]\r\nLock=0\r\nSync=0\r\nLoop=0\r\nAuto=1\r\nNotify=0\r\nRehearse=1\r\n");
    EXPECT_EQ(OptionAuto, 1);
    EXPECT_EQ(OptionRehearse, 1);
}

TEST_F(Slots, StartupOptionCases) {
    struct Case {
        const char *ini;
        int sync, loop, autoPlay, lock;
        const char *syncKey, *loopKey;
    } cases[] = {
        {"[QK_Pex]\nLoop=1\nSync=1\n", 0, 1, 1, 0, "0", "1"},            // Loop wins, Sync written 0
        {"[QK_Pex]\nSync=1\n", 1, 0, 1, 0, "1", "0"},                    // Loop absent: written 0
        {"[QK_Pex]\nSync=1234\n", 0, 0, 1, 0, "0", "0"},                 // 1234 reads as absent
        {"[QK_Pex]\nAuto=2\nLock=2\nSync=-3\n", -3, 0, 2, 2, "-3", "0"},  // other values survive
        {"[QK_Pex]\nSync=\n", 0, 0, 1, 0, "0", "0"},                     // empty reads as absent
    };
    for (const Case &c : cases) {
        SetIni(c.ini);
        int lock = ReadStartupOptions();
        EXPECT_EQ(OptionSync, c.sync) << c.ini;
        EXPECT_EQ(OptionLoop, c.loop) << c.ini;
        EXPECT_EQ(OptionAuto, c.autoPlay) << c.ini;
        EXPECT_EQ(lock, c.lock) << c.ini;
        EXPECT_EQ(Key("Sync"), c.syncKey) << c.ini;
        EXPECT_EQ(Key("Loop"), c.loopKey) << c.ini;
        EXPECT_EQ(Key("Notify"), "0") << c.ini;
    }
}

}  // namespace
