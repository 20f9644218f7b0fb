// What reaches the sound device, through SDL's disk audio driver: the device writes
// its 44.1 kHz 16-bit stereo output to a file, which the tests read back.
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "app/app.h"
#include "sound/sound.h"
#include "tests/support.h"
#include "tests/waiting.h"
#include "tests/wavgen.h"

namespace {

class DeviceOutput : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        out = root + "/device.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        qk::sound::Open();
    }
    // Closes the device and gives what it was handed, as stereo sample pairs.
    std::vector<int16_t> Output() {
        qk::sound::Close();
        std::string raw = ReadFile(out);
        std::vector<int16_t> s(raw.size() / 2);
        memcpy(s.data(), raw.data(), s.size() * 2);
        return s;
    }
    static size_t FirstSound(const std::vector<int16_t> &s) {
        for (size_t i = 0; i < s.size(); i++)
            if (s[i]) return i / 2;
        return s.size() / 2;
    }
    static size_t LastSound(const std::vector<int16_t> &s) {
        for (size_t i = s.size(); i-- > 0;)
            if (s[i]) return i / 2;
        return 0;
    }
    std::string out;
};

TEST_F(DeviceOutput, SameFormatPcmIsBitExactAndWhole) {
    std::vector<int16_t> src;
    for (int i = 0; i < 11025; i++) {  // a quarter second of stereo noise, never zero
        src.push_back((int16_t)((i * 7919 % 60000) - 30000) | 1);
        src.push_back((int16_t)((i * 104729 % 60000) - 30000) | 1);
    }
    std::string img = MakeWav16(44100, 2, src);
    uint64_t before = qk::sound::RenderedFrames();
    ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY));  // synchronous: returns at the end
    EXPECT_GE(qk::sound::RenderedFrames() - before, 11025u);  // the whole sound went out first
    std::vector<int16_t> got = Output();
    size_t first = FirstSound(got);
    ASSERT_GE(got.size(), 2 * (first + 11025));
    for (size_t i = 0; i < src.size(); i++) ASSERT_EQ(got[2 * first + i], src[i]) << "sample " << i;
    EXPECT_EQ(LastSound(got), first + 11024);  // nothing cut, nothing after
}

TEST_F(DeviceOutput, MonoAt22050KeepsItsFullLengthAtTheDeviceRate) {
    std::vector<int16_t> src = Sine(22050, 1, 5512, 300, 20000);  // 0.25 s
    for (int i = 0; i < 50; i++) src[src.size() - 1 - i] = 16000;  // a loud tail that must not be cut
    std::string img = MakeWav16(22050, 1, src);
    ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY));
    std::vector<int16_t> got = Output();
    size_t first = FirstSound(got), last = LastSound(got);
    // 5512 frames at 22050 Hz last 11024 frames at 44100 Hz.
    EXPECT_NEAR((double)(last - first + 1), 11024.0, 3.0);
    EXPECT_NEAR(got[2 * (last - 10)], 16000, 20);  // the tail arrives whole
    for (size_t i = first; i <= last; i++) ASSERT_EQ(got[2 * i], got[2 * i + 1]);  // mono on both sides
}

TEST_F(DeviceOutput, ALoopHasNoGapAtItsSeam) {
    // 2200 frames hold exactly 22 periods of 441 Hz, so the loop is one continuous tone.
    // A cosine, so that the first frame is not silent and the start can be found.
    std::vector<int16_t> src;
    for (int i = 0; i < 2200; i++) src.push_back((int16_t)lrint(15000 * cos(2 * M_PI * 441 * i / 44100)));
    std::string img = MakeWav16(44100, 1, src);
    ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForFrames(2200 * 4 + 2 * qk::sound::kDeviceFrames);
    EXPECT_TRUE(qk::sound::IsPlaying());
    ASSERT_TRUE(sndPlaySoundA(NULL, 0));
    EXPECT_FALSE(qk::sound::IsPlaying());
    std::vector<int16_t> got = Output();
    size_t first = FirstSound(got);
    size_t frames = 2200 * 4;  // four passes, three seams
    ASSERT_GE(got.size() / 2, first + frames);
    for (size_t i = 0; i < frames; i++) ASSERT_EQ(got[2 * (first + i)], src[i % 2200]) << "frame " << i;
}

TEST_F(DeviceOutput, AResampledLoopIsSmoothAcrossItsSeam) {
    // 1100 frames at 22050 Hz: 22 periods of 441 Hz, converted to 44.1 kHz.
    std::vector<int16_t> src = Sine(22050, 1, 1100, 441, 15000);
    std::string img = MakeWav16(22050, 1, src);
    ASSERT_TRUE(sndPlaySoundA(img.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
    WaitForFrames(2200 * 4 + 2 * qk::sound::kDeviceFrames);
    sndPlaySoundA(NULL, 0);
    std::vector<int16_t> got = Output();
    size_t first = FirstSound(got);
    // A 441 Hz sine of 15000 moves at most 2*pi*441*15000/44100 = 943 per frame; a gap or a
    // click at a seam would jump far more.
    for (size_t i = first + 4; i < first + 2200 * 4; i++)
        ASSERT_LT(abs(got[2 * i] - got[2 * (i - 1)]), 1000) << "frame " << i - first;
}

TEST_F(DeviceOutput, ANewPlayCutsOffAndAStopSilences) {
    std::string a = MakeWav16(44100, 1, std::vector<int16_t>(44100, 5000));
    std::string b = MakeWav16(44100, 1, std::vector<int16_t>(4410, -7000));
    ASSERT_TRUE(sndPlaySoundA(a.c_str(), SND_MEMORY | SND_ASYNC));
    WaitForFrames(4410);
    ASSERT_TRUE(sndPlaySoundA(b.c_str(), SND_MEMORY));
    EXPECT_FALSE(qk::sound::IsPlaying());
    std::vector<int16_t> got = Output();
    size_t first = FirstSound(got);
    size_t i = first;
    while (i < got.size() / 2 && got[2 * i] == 5000) i++;
    EXPECT_GE(i - first, 2000u);           // a played for a while
    EXPECT_LT(i - first, 44100u);          // and was cut off
    for (size_t k = 0; k < 4410; k++) ASSERT_EQ(got[2 * (i + k)], -7000) << k;  // b, whole
    EXPECT_EQ(LastSound(got), i + 4409);
}

// A key whose slot holds a file that is not a playable WAV: the sound that was playing
// ends all the same (the play stops it before it looks at the image), and the output
// stays silent.
TEST_F(DeviceOutput, TheKeyOfAnUnplayableSlotSilencesTheSoundBefore) {
    WriteFile(home + "/LONG.WAV", MakeWav16(44100, 1, std::vector<int16_t>(44100 * 2, 5000)));  // two seconds
    struct Case {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"NOTES.WAV", "These are the notes for the second half, not a sound.\r\n"},
        {"CUT.WAV", MakeWav16(44100, 1, std::vector<int16_t>(400, 1000)).substr(0, 30)},  // a header cut short
    };
    OptionLoop = 1;  // a loop: nothing else would ever end it
    DerivePlayFlags();
    for (const Case &c : cases) {
        WriteFile(home + "/" + c.name, c.bytes);
        qk::sound::Open();
        ASSERT_EQ(LoadSampleIntoSlot(0, "C:\\LONG.WAV"), LOAD_LOADED);
        ASSERT_EQ(LoadSampleIntoSlot(1, (std::string("C:\\") + c.name).c_str()), LOAD_LOADED) << c.name;
        PlaySlot(0);
        WaitForFrames(4410);
        ASSERT_TRUE(qk::sound::IsPlaying());
        PlaySlot(1);  // refused
        EXPECT_FALSE(qk::sound::IsPlaying()) << c.name;
        WaitForFrames(44100 / 2);  // half a second more of output
        std::vector<int16_t> got = Output();
        size_t first = FirstSound(got), last = LastSound(got);
        ASSERT_LT(first, got.size() / 2) << c.name;
        for (size_t i = first; i <= last; i++) ASSERT_EQ(got[2 * i], 5000) << c.name << " frame " << i;
        // After the refused play, silence to the end (all but the period that was under way).
        EXPECT_GE(got.size() / 2 - last, (size_t)(44100 / 2 - 2 * qk::sound::kDeviceFrames)) << c.name;
        FreeSlotSample(0);
        FreeSlotSample(1);
    }
    OptionLoop = 0;
    DerivePlayFlags();
}

// SND_NOSTOP keeps its meaning: with a sound playing, the call is refused and that sound
// goes on, whether the new image is playable or not.
TEST_F(DeviceOutput, NoStopLeavesThePlayingSoundAlone) {
    std::string a = MakeWav16(44100, 1, std::vector<int16_t>(44100, 5000));
    std::string b = MakeWav16(44100, 1, std::vector<int16_t>(4410, -7000));
    // A truncated file in its block, as a slot holds it: refused, and read only within the block.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 30);
    char *cut = (char *)GlobalLock(block);
    memcpy(cut, a.data(), 30);
    struct Case {
        const char *image;
        bool playing;  // whether a plays when the call comes
        BOOL result;
    } cases[] = {
        {b.c_str(), true, FALSE},
        {cut, true, FALSE},
        {b.c_str(), false, TRUE},
        {cut, false, FALSE},
    };
    for (const Case &c : cases) {
        if (c.playing) {
            ASSERT_TRUE(sndPlaySoundA(a.c_str(), SND_MEMORY | SND_ASYNC | SND_LOOP));
            WaitForFrames(1024);
        } else {
            sndPlaySoundA(NULL, 0);
        }
        EXPECT_EQ(sndPlaySoundA(c.image, SND_MEMORY | SND_ASYNC | SND_NOSTOP), c.result)
            << (c.image == cut) << c.playing;
        WaitForFrames(1024);
        // a goes on where it played; b plays where nothing did; a refused image leaves silence.
        EXPECT_EQ(qk::sound::IsPlaying(), c.playing || c.result) << (c.image == cut) << c.playing;
    }
    sndPlaySoundA(NULL, 0);
    GlobalFree(block);
    std::vector<int16_t> got = Output();
    size_t minus = 0;
    for (size_t i = 0; i < got.size(); i += 2) minus += got[i] == -7000;
    EXPECT_GT(minus, 0u);  // b did play, when nothing was playing
}

TEST_F(DeviceOutput, AnImageReadOnlyWithinItsBlock) {
    // The data chunk claims a second of sound but the block holds 1000 frames.
    std::string img = MakeWav16(44100, 1, std::vector<int16_t>(1000, 3000));
    uint32_t claimed = 88200;
    memcpy(&img[40], &claimed, 4);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, img.size());
    char *p = (char *)GlobalLock(h);
    memcpy(p, img.data(), img.size());
    ASSERT_TRUE(sndPlaySoundA(p, SND_MEMORY));
    std::vector<int16_t> got = Output();
    EXPECT_EQ(LastSound(got) - FirstSound(got) + 1, 1000u);
    GlobalFree(h);
}

TEST_F(DeviceOutput, AdpcmReachesTheDeviceAsTheReferenceDecoderGivesIt) {
    // Fixtures and references made by sox: a stereo tone, encoded, then decoded by sox.
    std::string src = root + "/src.wav";
    ASSERT_EQ(system(("sox -n -r 44100 -c 2 -b 16 " + src + " synth 0.2 sine 440 sine 660 vol 0.7").c_str()), 0);
    for (const char *encoding : {"ima-adpcm", "ms-adpcm"}) {
        std::string enc = root + "/" + encoding + ".wav", ref = root + "/" + encoding + ".raw";
        ASSERT_EQ(system(("sox " + src + " -e " + encoding + " " + enc).c_str()), 0) << encoding;
        ASSERT_EQ(system(("sox " + enc + " -t raw -e signed-integer -b 16 " + ref).c_str()), 0) << encoding;
        std::string image = ReadFile(enc), rawRef = ReadFile(ref);
        std::vector<int16_t> expected(rawRef.size() / 2);
        memcpy(expected.data(), rawRef.data(), expected.size() * 2);

        std::string dev = root + "/" + encoding + ".out";
        qk::sound::Close();
        setenv("SDL_DISKAUDIOFILE", dev.c_str(), 1);
        qk::sound::Open();
        ASSERT_TRUE(sndPlaySoundA(image.c_str(), SND_MEMORY)) << encoding;
        out = dev;
        std::vector<int16_t> got = Output();
        // Find the first frame of the sound: the first that is not silent in the reference.
        size_t lead = 0;
        while (lead < expected.size() / 2 && expected[2 * lead] == 0 && expected[2 * lead + 1] == 0) lead++;
        size_t first = FirstSound(got);
        ASSERT_GE(first, lead);
        size_t start = first - lead;
        ASSERT_GE(got.size(), 2 * start + expected.size()) << encoding;
        for (size_t i = 0; i < expected.size(); i++)
            ASSERT_EQ(got[2 * start + i], expected[i]) << encoding << " sample " << i;
    }
}

}  // namespace
