// Remote input as the program sees it: triggers from another thread reach the main window
// as its keys, plays wait for no box, a stop always comes; what plays is known by slot.
// And the options: the file, the environment and the command line, each over the one
// before, and what cannot be taken told line by line.
#include <stdlib.h>

#include <thread>

#include "platform/driver/remote/options.h"
#include "platform/driver/remote/remote.h"
#include "platform/winmm/engine.h"
#include "tests/program.h"

namespace {

namespace hl = qk::headless;
namespace remote = qk::remote;
namespace opt = qk::options;

class Remote : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        for (int n = 1; n <= 12; n++) {
            MakeSample("SND/S" + std::to_string(n) + ".WAV", 8000);
            StoreKey(("Wave" + std::to_string(n)).c_str(), "C:\\SND\\S" + std::to_string(n) + ".WAV");
        }
        StoreKey("Auto", "0");
        StoreKey("Rehearse", "0");
    }
    void TearDown() override {
        remote::Stop();
        ProgramTest::TearDown();
    }
    // A trigger from a thread of its own, as a source's would come.
    static void FromAnotherThread(int slot) { std::thread([slot] { remote::Trigger(slot); }).join(); }
    static std::vector<const void *> Images() {
        std::vector<const void *> out;
        for (const hl::SoundRecord &r : hl::Sounds()) out.push_back(r.image);
        return out;
    }
};

TEST_F(Remote, TriggersPlayTheirSlotsAsKeysDo) {
    std::vector<const void *> played, samples;
    std::vector<int> playing;
    Run({[&] {
             for (const Slot &s : SlotTable) samples.push_back(s.data);
             hl::ClearSounds();
             FromAnotherThread(2);
         },
         [&] {
             playing.push_back(remote::Playing());
             FromAnotherThread(9);  // F10, which the platform makes a system key
         },
         [&] {
             playing.push_back(remote::Playing());
             FromAnotherThread(remote::kStop);
         },
         [&] {
             playing.push_back(remote::Playing());
             played = Images();
         }});
    ASSERT_EQ(played.size(), 3u);
    ASSERT_EQ(samples.size(), 12u);
    EXPECT_EQ(played[0], samples[2]);
    EXPECT_EQ(played[1], samples[9]);
    EXPECT_EQ(played[2], nullptr);
    EXPECT_EQ(playing, (std::vector<int>{3, 10, 0}));
    EXPECT_EQ(Key("Last"), "9");  // the last played slot, as for a key
}

TEST_F(Remote, APlayWaitsForNoBoxAStopAlwaysComes) {
    std::vector<const void *> played;
    const void *sixth = nullptr;
    bool mainDisabled = false;
    Run({[&] {
             sixth = SlotTable[5].data;
             hl::PressKey(VK_F1);
         },
         [&] {
             SetClientSize(400, 322);
             hl::Click(Main(), 150, 50, 1);  // the picker, over the main window
         },
         [&] {
             ASSERT_NE(Dialog(), nullptr);
             mainDisabled = !IsWindowEnabled(Main());
             hl::ClearSounds();
             testing::internal::CaptureStderr();
             FromAnotherThread(3);
             FromAnotherThread(4);
             FromAnotherThread(remote::kStop);
         },
         [&] {
             std::string told = testing::internal::GetCapturedStderr();
             EXPECT_EQ(told,
                       "qksonnerix: remote plays are not taken while \"Pick WAV-file to assign...\" is open; a stop "
                       "still is\n");
             played = Images();
             EXPECT_EQ(remote::Playing(), 0);
             hl::PressKey(VK_ESCAPE);
         },
         [&] {
             EXPECT_EQ(Dialog(), nullptr);
             FromAnotherThread(5);
         },
         [&] { played.push_back(Images().back()); }});
    EXPECT_TRUE(mainDisabled);
    // Nothing played under the box; the stop reached the main window (the program stopped).
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[0], nullptr);
    EXPECT_EQ(played[1], sixth);
}

TEST_F(Remote, AStopEndsTheSoundAtOnceWhateverHoldsTheProgram) {
    // As while a synchronous play holds the program's thread: the sound ends before the
    // program takes the stop, which then follows as a key.
    bool before = false, after = true;
    size_t waiting = 0;
    const void *last = &before;
    Run({[&] { hl::PressKey(VK_F1); },
         [&] {
             before = qk::sound::IsPlaying();
             FromAnotherThread(remote::kStop);
             after = qk::sound::IsPlaying();
             waiting = remote::Waiting();
             hl::ClearSounds();
         },
         [&] { last = Images().empty() ? &before : Images().back(); }});
    EXPECT_TRUE(before);
    EXPECT_FALSE(after);
    EXPECT_EQ(waiting, 1u);
    EXPECT_EQ(last, nullptr);  // the program's own stop, as for Space
}

TEST_F(Remote, KeysAndButtonsAreKnownBySlotToo) {
    std::vector<int> playing;
    Run({[&] { hl::PressKey(VK_F7); },
         [&] {
             playing.push_back(remote::Playing());
             SetClientSize(400, 322);
             hl::Click(Main(), 350, 250);  // button 12
         },
         [&] {
             playing.push_back(remote::Playing());
             hl::PressKey(VK_SPACE);
         },
         [&] { playing.push_back(remote::Playing()); }});
    EXPECT_EQ(playing, (std::vector<int>{7, 12, 0}));
}

// ---------------------------------------------------------------- options

const std::vector<opt::Option> kTable = {
    {"audio-device", "NAME", "", opt::AnyText},
    {"midi", nullptr, ""},
    {"midi-first-note", "N", "", opt::FirstNoteNumber},
    {"osc", "PORT", "", opt::PortNumber},
    {"help", nullptr, "", nullptr, true},
};

class PlayerOptions : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        file = root + "/options.conf";
        for (const char *v : {"QKSONNERIX_AUDIO_DEVICE", "QKSONNERIX_MIDI", "QKSONNERIX_MIDI_FIRST_NOTE",
                              "QKSONNERIX_OSC", "QKSONNERIX_HELP"})
            unsetenv(v);
    }
    void TearDown() override {
        for (const char *v : {"QKSONNERIX_AUDIO_DEVICE", "QKSONNERIX_OSC", "QKSONNERIX_MIDI"}) unsetenv(v);
        opt::Clear();
        StandinTest::TearDown();
    }
    // Loads with these arguments; gives what went to stderr.
    std::string Load(std::vector<const char *> args, opt::Result *result = nullptr) {
        args.insert(args.begin(), "qksonnerix");
        testing::internal::CaptureStderr();
        opt::Result r = opt::Load(kTable, (int)args.size(), (char **)args.data(), file);
        if (result) *result = r;
        return testing::internal::GetCapturedStderr();
    }
    std::string file;
};

TEST_F(PlayerOptions, TheCommandLineWinsOverTheEnvironmentAndTheEnvironmentOverTheFile) {
    WriteFile(file, "osc = 9000\naudio-device = Desk\nmidi = yes\n");
    EXPECT_EQ(Load({}), "");
    EXPECT_EQ(opt::Value("osc"), "9000");
    EXPECT_EQ(opt::Value("audio-device"), "Desk");
    EXPECT_TRUE(opt::On("midi"));
    setenv("QKSONNERIX_OSC", "9100", 1);
    setenv("QKSONNERIX_MIDI", "no", 1);
    EXPECT_EQ(Load({}), "");
    EXPECT_EQ(opt::Value("osc"), "9100");
    EXPECT_EQ(opt::Value("audio-device"), "Desk");
    EXPECT_FALSE(opt::On("midi"));
    opt::Result r;
    EXPECT_EQ(Load({"--osc", "9200", "--midi", "--audio-device=USB", "other", "--", "--osc"}, &r), "");
    EXPECT_EQ(opt::Value("osc"), "9200");
    EXPECT_EQ(opt::Value("audio-device"), "USB");
    EXPECT_TRUE(opt::On("midi"));
    EXPECT_EQ(r.rest, (std::vector<std::string>{"other", "--osc"}));
    EXPECT_EQ(r.exitCode, -1);
}

TEST_F(PlayerOptions, WhatTheFileOrTheEnvironmentHoldsAmissIsToldAndLeftOut) {
    WriteFile(file,
              "# kept for the show\n"
              "\n"
              "osc = 9000\n"
              "this is not an option\n"
              "colour = blue\n"
              "midi-first-note = 200\n"
              "help = yes\n"
              "  audio-device = \"Desk\"  \n");
    setenv("QKSONNERIX_MIDI", "perhaps", 1);
    EXPECT_EQ(Load({}), "qksonnerix: " + file + ":4: \"this is not an option\" is not \"name = value\"; left out\n" +
                            "qksonnerix: " + file + ":5: unknown option \"colour\"; left out\n" + "qksonnerix: " +
                            file + ":6: midi-first-note = 200: not a note number from 0 to 116 (the first of " +
                            "twelve); left out\n" + "qksonnerix: " + file + ":7: unknown option \"help\"; left out\n" +
                            "qksonnerix: QKSONNERIX_MIDI=perhaps: not yes or no; left out\n");
    EXPECT_EQ(opt::Value("osc"), "9000");
    EXPECT_EQ(opt::Value("audio-device"), "Desk");
    EXPECT_EQ(opt::Value("midi-first-note"), "");
    EXPECT_FALSE(opt::On("midi"));
}

TEST_F(PlayerOptions, TheCommandLineRefusesWhatItCannotTake) {
    opt::Result r;
    EXPECT_EQ(Load({"--osc", "http"}, &r), "qksonnerix: --osc http: not a port number (1 to 65535)\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(Load({"--midi-first-note"}, &r), "qksonnerix: --midi-first-note needs a value: --midi-first-note N\n");
    EXPECT_EQ(r.exitCode, 2);
    // An action reads no file: a file it would complain of says nothing.
    WriteFile(file, "nonsense\n");
    EXPECT_EQ(Load({"--help"}, &r), "");
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_TRUE(opt::On("help"));
}

TEST_F(PlayerOptions, TheEnvironmentNamesAndTheFilesPlace) {
    EXPECT_EQ(opt::EnvironmentName("audio-device"), "QKSONNERIX_AUDIO_DEVICE");
    EXPECT_EQ(opt::EnvironmentName("global-stop-key"), "QKSONNERIX_GLOBAL_STOP_KEY");
    EXPECT_EQ(opt::FilePath(), config + "/options.conf");
}

}  // namespace
