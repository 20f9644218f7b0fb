// Sound: what sndPlaySoundA gives for a table of WAV images in memory (valid ones, truncated
// ones, wrong chunk sizes, zero channels and other bad formats) with the flags the program uses
// (SND_MEMORY with and without SND_ASYNC, with SND_LOOP), for a stop, and for SND_NOSTOP.
// Only the return values are compared: Wine's audio is off in the prefix.
#include "tests/conformance/probe.h"

static unsigned char Image[4096];
static size_t ImageSize;

static void Put16(size_t at, unsigned value) {
    Image[at] = (unsigned char)value;
    Image[at + 1] = (unsigned char)(value >> 8);
}
static void Put32(size_t at, unsigned long value) {
    Put16(at, (unsigned)(value & 0xFFFF));
    Put16(at + 2, (unsigned)(value >> 16));
}

// A canonical image: "RIFF" size "WAVE", "fmt " 16 (PCM), "data" with `frames` frames of a
// ramp. Returns its size; the fields are then bent by the table below.
static void Canonical(unsigned channels, unsigned long rate, unsigned bits, unsigned frames) {
    memset(Image, 0, sizeof Image);
    unsigned align = channels * bits / 8;
    size_t dataBytes = (size_t)frames * align;
    memcpy(Image, "RIFF", 4);
    Put32(4, (unsigned long)(36 + dataBytes));
    memcpy(Image + 8, "WAVEfmt ", 8);
    Put32(16, 16);
    Put16(20, 1);
    Put16(22, channels);
    Put32(24, rate);
    Put32(28, rate * align);
    Put16(32, align);
    Put16(34, bits);
    memcpy(Image + 36, "data", 4);
    Put32(40, (unsigned long)dataBytes);
    for (size_t i = 0; i < dataBytes; i++) Image[44 + i] = (unsigned char)(i * 7);
    ImageSize = 44 + dataBytes;
}

enum Bend {
    VALID_8_MONO,
    VALID_16_STEREO,
    VALID_ODD_DATA,            // 8-bit mono with an odd data size and a pad byte
    VALID_EXTRA_CHUNK,         // a "LIST" chunk between fmt and data
    VALID_FMT_18,              // fmt of 18 bytes (cbSize 0)
    TRUNCATED_DATA,            // the data chunk says more than the RIFF size holds
    RIFF_ENDS_BEFORE_DATA,     // the RIFF size ends after the fmt chunk
    RIFF_ENDS_IN_FMT,          // the RIFF size ends inside the fmt chunk
    FMT_TOO_SHORT,             // fmt of 14 bytes (no bits per sample)
    FMT_SIZE_PAST_END,         // fmt says 1000 bytes
    DATA_SIZE_ZERO,            // an empty data chunk
    NO_DATA_CHUNK,             // fmt, then nothing
    ZERO_CHANNELS,
    ZERO_RATE,
    ZERO_ALIGN,
    ZERO_BITS,
    UNKNOWN_TAG,               // format tag 0x1234
    NOT_RIFF,                  // "RIFX"
    NOT_WAVE,                  // "AVI "
    RIFF_SIZE_ZERO,
    BEND_COUNT
};

static const char *const BendNames[BEND_COUNT] = {
    "valid-8-mono",   "valid-16-stereo",       "valid-odd-data",   "valid-extra-chunk", "valid-fmt-18",
    "truncated-data", "riff-ends-before-data", "riff-ends-in-fmt", "fmt-too-short",     "fmt-size-past-end",
    "data-size-zero", "no-data-chunk",         "zero-channels",    "zero-rate",         "zero-align",
    "zero-bits",      "unknown-tag",           "not-riff",         "not-wave",          "riff-size-zero",
};

static void Make(int bend) {
    switch (bend) {
        case VALID_16_STEREO: Canonical(2, 22050, 16, 200); break;
        case VALID_ODD_DATA:
            Canonical(1, 11025, 8, 201);
            Put32(4, 36 + 201 + 1);
            ImageSize += 1;
            break;
        case VALID_EXTRA_CHUNK:
            Canonical(1, 11025, 8, 200);
            memmove(Image + 48, Image + 36, ImageSize - 36);
            memcpy(Image + 36, "LIST", 4);
            Put32(40, 4);
            memcpy(Image + 44, "INFO", 4);
            ImageSize += 12;
            Put32(4, (unsigned long)(ImageSize - 8));
            break;
        case VALID_FMT_18:
            Canonical(1, 11025, 8, 200);
            memmove(Image + 38, Image + 36, ImageSize - 36);
            Put32(16, 18);
            Put16(36, 0);
            ImageSize += 2;
            Put32(4, (unsigned long)(ImageSize - 8));
            break;
        default: Canonical(1, 11025, 8, 200); break;
    }
    switch (bend) {
        case TRUNCATED_DATA: Put32(4, 36 + 100); break;
        case RIFF_ENDS_BEFORE_DATA: Put32(4, 28); break;
        case RIFF_ENDS_IN_FMT: Put32(4, 16); break;
        case FMT_TOO_SHORT:
            memmove(Image + 34, Image + 36, ImageSize - 36);
            Put32(16, 14);
            ImageSize -= 2;
            Put32(4, (unsigned long)(ImageSize - 8));
            break;
        case FMT_SIZE_PAST_END: Put32(16, 1000); break;
        case DATA_SIZE_ZERO:
            Put32(40, 0);
            ImageSize = 44;
            Put32(4, 36);
            break;
        case NO_DATA_CHUNK:
            ImageSize = 36;
            Put32(4, 28);
            break;
        case ZERO_CHANNELS: Put16(22, 0); break;
        case ZERO_RATE:
            Put32(24, 0);
            Put32(28, 0);
            break;
        case ZERO_ALIGN: Put16(32, 0); break;
        case ZERO_BITS: Put16(34, 0); break;
        case UNKNOWN_TAG: Put16(20, 0x1234); break;
        case NOT_RIFF: memcpy(Image, "RIFX", 4); break;
        case NOT_WAVE: memcpy(Image + 8, "AVI ", 4); break;
        case RIFF_SIZE_ZERO: Put32(4, 0); break;
        default: break;
    }
}

int main(void) {
    ProbeStart();
    static const struct {
        const char *name;
        UINT flags;
    } flagSets[] = {
        {"async", SND_MEMORY | SND_ASYNC},
        {"sync", SND_MEMORY},
        {"async-loop", SND_MEMORY | SND_ASYNC | SND_LOOP},
    };
    for (int bend = 0; bend < BEND_COUNT; bend++)
        for (const auto &set : flagSets) {
            Make(bend);
            BOOL played = sndPlaySoundA((LPCSTR)Image, set.flags);
            // A stop waits for whatever was started to end before the image is changed.
            BOOL stopped = sndPlaySoundA(NULL, 0);
            Say(K("play.%s.%s", BendNames[bend], set.name), "%d stop=%d", played ? 1 : 0, stopped ? 1 : 0);
        }

    // Stops.
    Say("stop.nothing-playing", "%d", sndPlaySoundA(NULL, 0) ? 1 : 0);
    Say("stop.async-flags", "%d", sndPlaySoundA(NULL, SND_MEMORY | SND_ASYNC) ? 1 : 0);
    Say("stop.nostop", "%d", sndPlaySoundA(NULL, SND_NOSTOP) ? 1 : 0);

    // SND_NOSTOP with nothing playing plays as usual.
    Make(VALID_8_MONO);
    Say("nostop.nothing-playing", "%d",
        sndPlaySoundA((LPCSTR)Image, SND_MEMORY | SND_ASYNC | SND_NOSTOP) ? 1 : 0);
    sndPlaySoundA(NULL, 0);

#ifndef _WIN32
    // SND_NOSTOP while a sound plays is refused. Wine's silent prefix ends every sound at
    // once (it has no device to open), so there nothing is ever still playing to refuse
    // for: this row is only taken here.
    Make(VALID_16_STEREO);
    BOOL looping = sndPlaySoundA((LPCSTR)Image, SND_MEMORY | SND_ASYNC | SND_LOOP);
    static unsigned char other[sizeof Image];
    memcpy(other, Image, sizeof other);
    Say("nostop.while-playing", "%d started=%d", sndPlaySoundA((LPCSTR)other, SND_MEMORY | SND_ASYNC | SND_NOSTOP) ? 1 : 0,
        looping ? 1 : 0);
    sndPlaySoundA(NULL, 0);
#endif
    // Not a memory image: a name the system does not know, with SND_NODEFAULT so no
    // default sound stands in.
    Say("name.unknown-nodefault", "%d", sndPlaySoundA("QKPROBE-NO-SUCH-SOUND", SND_NODEFAULT) ? 1 : 0);
    return 0;
}
