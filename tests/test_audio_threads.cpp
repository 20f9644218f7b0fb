// The audio thread against the program's thread: an image is played, stopped and freed
// at once, over and over, through SDL's disk device and through the silent clock that
// stands in when no device opens. Built with ThreadSanitizer too (scripts/test.sh).
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "sound/sound.h"
#include "tests/support.h"
#include "tests/waiting.h"
#include "tests/wavgen.h"

namespace {

// A sample value no test image holds: a freed image is overwritten with it, so that
// any read after the stop would reach the device as this value.
const int16_t kPoison = 0x5555;

class AudioThreads : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        out = root + "/device.raw";
        UseDevice();
    }
    void TearDown() override {
        qk::sound::Close();
        StandinTest::TearDown();
    }
    // SDL's disk device, which writes what it is handed to a file.
    void UseDevice() {
        qk::sound::Close();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        qk::sound::Open();
    }
    // No device opens: the driver's own clock thread renders into the void.
    void UseSilentClock() {
        qk::sound::Close();
        setenv("SDL_AUDIODRIVER", "qk-no-such-driver", 1);
        qk::sound::Open();
    }
    std::vector<int16_t> DeviceOutput() {
        qk::sound::Close();
        std::string raw = ReadFile(out);
        std::vector<int16_t> s(raw.size() / 2);
        memcpy(s.data(), raw.data(), s.size() * 2);
        return s;
    }
    // An image in a heap block of exactly its size.
    static char *HeapImage(const std::string &img) {
        char *p = new char[img.size()];
        memcpy(p, img.data(), img.size());
        return p;
    }
    // Overwrites and frees an image the engine must no longer read.
    static void Release(char *p, size_t size) {
        for (size_t i = 44; i + 1 < size; i += 2) memcpy(p + i, &kPoison, 2);
        delete[] p;
    }
    std::string out;
};

// Lets the audio thread run for 0 to 3 periods, so that stops and plays meet it at
// every point of its work.
void LetItRun(int periods) {
    if (periods > 0) WaitForFrames((uint64_t)periods * qk::sound::kDeviceFrames);
}

// Half a second of a steady value at the device's own rate, so that the device gets
// exactly the sample values of the image.
std::string Steady(int rate = 44100, int channels = 1) {
    return MakeWav16(rate, channels, std::vector<int16_t>((size_t)(rate / 2 * channels), 1000));
}

TEST_F(AudioThreads, AStoppedImageMayBeFreedAtOnce) {
    std::string img = Steady();
    for (int i = 0; i < 150; i++) {
        char *p = HeapImage(img);
        ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY | SND_ASYNC | (i % 2 ? SND_LOOP : 0)));
        LetItRun(i % 4);
        ASSERT_TRUE(sndPlaySoundA(NULL, 0));
        Release(p, img.size());
    }
    std::vector<int16_t> got = DeviceOutput();
    size_t sounding = 0;
    for (int16_t s : got) {
        ASSERT_NE(s, kPoison);
        sounding += s == 1000;
    }
    EXPECT_GT(sounding, 0u);  // the plays did reach the device
}

TEST_F(AudioThreads, ANewPlayReleasesTheImageBefore) {
    std::string a = Steady(), b = Steady(22050, 2);  // the second one resampled
    char *previous = nullptr;
    size_t previousSize = 0;
    for (int i = 0; i < 150; i++) {
        const std::string &img = i % 2 ? a : b;
        char *p = HeapImage(img);
        ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY | SND_ASYNC | SND_LOOP));
        if (previous) Release(previous, previousSize);
        previous = p;
        previousSize = img.size();
        LetItRun(i % 3);
    }
    sndPlaySoundA(NULL, 0);
    Release(previous, previousSize);
    for (int16_t s : DeviceOutput()) ASSERT_NE(s, kPoison);
}

TEST_F(AudioThreads, TheSilentClockStopsReadingToo) {
    UseSilentClock();
    std::string img = Steady(22050, 2);
    for (int i = 0; i < 150; i++) {
        char *p = HeapImage(img);
        ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY | SND_ASYNC | (i % 2 ? SND_LOOP : 0)));
        LetItRun(i % 4);
        ASSERT_TRUE(sndPlaySoundA(NULL, 0));
        Release(p, img.size());
    }
}

TEST_F(AudioThreads, ASynchronousPlayKeepsTheClocksTime) {
    UseSilentClock();
    std::string img = MakeWav16(8000, 1, std::vector<int16_t>(800, 1000));  // 0.1 s
    char *p = HeapImage(img);
    uint64_t before = qk::sound::RenderedFrames();
    ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY));
    // It returned only once the clock had rendered the whole tenth of a second.
    EXPECT_GE(qk::sound::RenderedFrames() - before, (uint64_t)qk::sound::OutputRate() / 10);
    EXPECT_FALSE(qk::sound::IsPlaying());
    Release(p, img.size());
}

TEST_F(AudioThreads, ClosingWhilePlayingStopsTheThread) {
    std::string img = Steady();
    for (int i = 0; i < 40; i++) {
        if (i % 2) UseSilentClock(); else UseDevice();
        char *p = HeapImage(img);
        ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY | SND_ASYNC | SND_LOOP));
        LetItRun(i % 3);
        qk::sound::Close();  // no stop first
        EXPECT_FALSE(qk::sound::IsPlaying());
        Release(p, img.size());
    }
}

TEST_F(AudioThreads, SlotsPlayedStoppedAndFreedAsTheProgramDoes) {
    WriteFile(home + "/A.WAV", Steady());
    WriteFile(home + "/B.WAV", Steady(11025, 1));
    OptionLoop = 1;
    DerivePlayFlags();
    for (int i = 0; i < 60; i++) {
        ASSERT_EQ(LoadSampleIntoSlot(0, "C:\\A.WAV"), LOAD_LOADED);
        ASSERT_EQ(LoadSampleIntoSlot(1, "C:\\B.WAV"), LOAD_LOADED);
        PlaySlot(i % 2);
        LetItRun(i % 3);
        PlaySlot(1 - i % 2);
        LetItRun(1);
        StopSound();
        FreeSlotSample(0);
        FreeSlotSample(1);
    }
    EXPECT_EQ(qk::GlobalLiveBlocks(), 0);
}

}  // namespace
