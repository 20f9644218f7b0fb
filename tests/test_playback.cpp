#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "platform/driver/headless/headless.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "sound/sound.h"
#include "tests/support.h"
#include "tests/wavgen.h"

namespace {

class Playback : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        OptionSync = OptionLoop = OptionAuto = OptionRehearse = OptionNotify = 0;
        LastSlot = 0;
        DerivePlayFlags();
        qk::headless::ClearSounds();
    }
    // Gives slot n a sample (a short WAV in global memory, as loading does).
    void Fill(int n) {
        std::string img = MakeWav16(44100, 1, Sine(44100, 1, 100, 440));
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, img.size());
        BYTE *p = (BYTE *)GlobalLock(h);
        memcpy(p, img.data(), img.size());
        SlotTable[n].block = h;
        SlotTable[n].data = p;
        SlotTable[n].loaded = 1;
    }
    static std::vector<qk::headless::SoundRecord> Log() { return qk::headless::Sounds(); }
};

TEST_F(Playback, FlagsFollowSyncAndLoop) {
    struct { int sync, loop; UINT flags; } cases[] = {{0, 0, 5}, {1, 0, 4}, {0, 1, 13}, {7, 0, 4}, {0, -1, 13}};
    for (auto &c : cases) {
        OptionSync = c.sync;
        OptionLoop = c.loop;
        DerivePlayFlags();
        EXPECT_EQ(PlayFlags, c.flags) << c.sync << " " << c.loop;
    }
}

TEST_F(Playback, PlayAndStopGoThroughOneCallEach) {
    Fill(2);
    PlaySlot(2);
    PlaySlot(5);  // no sample: a stop, and still the last played slot
    EXPECT_EQ(LastSlot, 5);
    StopSound();
    EXPECT_EQ(LastSlot, 5);  // stopping changes nothing
    auto log = Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].image, SlotTable[2].data);
    EXPECT_EQ(log[0].flags, 5u);
    EXPECT_TRUE(log[0].result);
    EXPECT_EQ(log[1].image, nullptr);
    EXPECT_EQ(log[1].flags, 5u);
    EXPECT_EQ(log[2].image, nullptr);
    EXPECT_EQ(log[2].flags, 5u);
}

TEST_F(Playback, RehearsalStartsEverySlotWithFixedFlagsThenStops) {
    for (int n : {0, 3, 11}) Fill(n);
    OptionRehearse = 1;
    OptionLoop = 1;  // the rehearsal ignores the options
    DerivePlayFlags();
    LastSlot = 4;
    StartupPlayback();
    auto log = Log();
    ASSERT_EQ(log.size(), 13u);
    for (int n = 0; n < SLOT_COUNT; n++) {
        EXPECT_EQ(log[n].image, SlotTable[n].data) << n;
        EXPECT_EQ(log[n].flags, 5u) << n;
    }
    EXPECT_EQ(log[12].image, nullptr);
    EXPECT_EQ(log[12].flags, 0u);
    EXPECT_EQ(PlayFlags, 13u);
    EXPECT_EQ(LastSlot, 4);
}

TEST_F(Playback, AutoplayOfTheStoredLastSlot) {
    struct Case {
        int autoPlay;
        const char *ini;
        int played;  // -1: nothing
        int lastSlot;
    } cases[] = {
        {1, "", 0, 0},                       // "Last" absent: slot 0
        {1, "[QK_Pex]\nLast=7\n", 7, 7},
        {0, "[QK_Pex]\nLast=7\n", -1, 0},
        {1, "[QK_Pex]\nLast=12\n", -1, 0},   // no such slot: nothing plays
        {1, "[QK_Pex]\nLast=-1\n", -1, 0},
        {1, "[QK_Pex]\nLast=4294967295\n", -1, 0},
        {1, "[QK_Pex]\nLast=99999\n", -1, 0},
    };
    Fill(0);
    Fill(7);
    for (const Case &c : cases) {
        qk::headless::ClearSounds();
        SetIni(c.ini);
        OptionAuto = c.autoPlay;
        OptionLoop = 1;
        DerivePlayFlags();
        LastSlot = 0;
        StartupPlayback();
        auto log = Log();
        if (c.played < 0) {
            EXPECT_TRUE(log.empty()) << c.ini;
        } else {
            ASSERT_EQ(log.size(), 1u) << c.ini;
            EXPECT_EQ(log[0].image, SlotTable[c.played].data);
            EXPECT_EQ(log[0].flags, 13u);
        }
        EXPECT_EQ(LastSlot, c.lastSlot) << c.ini;
    }
}

TEST_F(Playback, WhatIsNotAPlayableWavIsRefused) {
    std::string junk = "RIFF\x04\0\0\0WAVE";
    EXPECT_FALSE(sndPlaySoundA(junk.c_str(), SND_MEMORY | SND_ASYNC));
    std::string noRiff(64, 'x');
    EXPECT_FALSE(sndPlaySoundA(noRiff.c_str(), SND_MEMORY | SND_ASYNC));
    EXPECT_FALSE(sndPlaySoundA("C:\\DING.WAV", SND_ASYNC));  // by name: not kept here
    EXPECT_TRUE(sndPlaySoundA(NULL, 0));
    // A block of no bytes, as a zero-byte file loads, is no sound either.
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
    char *p = (char *)GlobalLock(h);
    memcpy(p, "RIFF\xff\xff\xff\x0fWAVEfmt ", 16);  // the header claims far more than the block
    EXPECT_FALSE(sndPlaySoundA(p, SND_MEMORY | SND_ASYNC));
    GlobalFree(h);
}

// Headless there is no clock: a synchronous play returns without anything rendered (were
// it to wait for its sound, nothing would ever end it and the test would not return).
TEST_F(Playback, SynchronousPlaysReturnAtOnceHeadless) {
    std::string img = MakeWav16(8000, 1, std::vector<int16_t>(8000 * 10, 1000));  // ten seconds
    uint64_t before = qk::sound::RenderedFrames();
    EXPECT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY));
    EXPECT_EQ(qk::sound::RenderedFrames(), before);
    auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].flags, (UINT)SND_MEMORY);
    EXPECT_TRUE(log[0].result);
    sndPlaySoundA(NULL, 0);
}

}  // namespace
