#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/winmm/wav.h"
#include "tests/support.h"

namespace {

using qk::wav::Decoder;
using qk::wav::Encoding;
using qk::wav::Image;

// ---- building images byte by byte ----

std::string U16(unsigned v) { return std::string{(char)(v & 0xFF), (char)((v >> 8) & 0xFF)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string U24(uint32_t v) { return U32(v).substr(0, 3); }
std::string F32(float x) {
    uint32_t b;
    memcpy(&b, &x, 4);
    return U32(b);
}
std::string F64(double x) {
    uint64_t b;
    memcpy(&b, &x, 8);
    return U32((uint32_t)b) + U32((uint32_t)(b >> 32));
}
std::string S16s(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += U16((unsigned)v);
    return s;
}
std::string Zeros(size_t n) { return std::string(n, '\0'); }
std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += (char)v;
    return s;
}

// A chunk with its pad byte; `sizeField` overrides the size it claims.
std::string Chunk(const char *id, const std::string &body, int64_t sizeField = -1) {
    uint32_t size = sizeField < 0 ? (uint32_t)body.size() : (uint32_t)sizeField;
    return std::string(id, 4) + U32(size) + body + (body.size() & 1 ? Zeros(1) : "");
}
std::string Wave(const std::string &chunks, int64_t riffSize = -1) {
    return "RIFF" + U32(riffSize < 0 ? (uint32_t)(4 + chunks.size()) : (uint32_t)riffSize) + "WAVE" + chunks;
}

std::string FmtBody(unsigned tag, unsigned channels, uint32_t rate, unsigned bits, unsigned blockAlign) {
    return U16(tag) + U16(channels) + U32(rate) + U32(rate * blockAlign) + U16(blockAlign) + U16(bits);
}
// An image of just a fmt and a data chunk.
std::string Wav(const std::string &fmtBody, const std::string &dataBody) {
    return Wave(Chunk("fmt ", fmtBody) + Chunk("data", dataBody));
}
// PCM, float or G.711 by `tag`.
std::string PcmBody(unsigned channels, unsigned bits, unsigned tag = 1) {
    return FmtBody(tag, channels, 44100, bits, channels * bits / 8);
}
std::string Pcm(unsigned channels, unsigned bits, unsigned tag = 1) {
    return Chunk("fmt ", PcmBody(channels, bits, tag));
}
const std::string kGuidTail = Bytes({0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
std::string ExtensibleBody(uint32_t code, unsigned channels, unsigned bits, unsigned validBits,
                           const std::string &guidTail = kGuidTail) {
    return FmtBody(0xFFFE, channels, 48000, bits, channels * bits / 8) + U16(22) + U16(validBits) + U32(0) +
           U32(code) + guidTail;
}
const int kStandardCoefficients[7][2] = {{256, 0},  {512, -256}, {0, 0},      {192, 64},
                                         {240, 0},  {460, -208}, {392, -232}};
std::string MsBody(unsigned channels, unsigned blockAlign, unsigned samplesPerBlock, int coefficients = 7,
                   int tableEntries = 7) {
    std::string s = FmtBody(2, channels, 22050, 4, blockAlign) + U16(4 + 4 * tableEntries) +
                    U16(samplesPerBlock) + U16((unsigned)coefficients);
    for (int i = 0; i < tableEntries; i++)
        s += U16((unsigned)kStandardCoefficients[i % 7][0]) + U16((unsigned)kStandardCoefficients[i % 7][1]);
    return s;
}
std::string ImaBody(unsigned channels, unsigned blockAlign, unsigned samplesPerBlock) {
    return FmtBody(0x11, channels, 22050, 4, blockAlign) + U16(2) + U16(samplesPerBlock);
}
// An MS ADPCM block header: each field holds one value per channel.
using PerChannel = std::vector<int>;
std::string MsHeader(PerChannel predictor, PerChannel delta, PerChannel s1, PerChannel s2) {
    std::string s;
    for (int p : predictor) s += (char)p;
    for (auto *v : {&delta, &s1, &s2})
        for (int x : *v) s += U16((unsigned)x);
    return s;
}
std::string ImaHeader(int sample, int stepIndex) { return U16((unsigned)sample) + (char)stepIndex + '\0'; }

// ---- running the reader ----

// The image in a heap block of exactly its size, so that any read past it is caught
// by AddressSanitizer.
struct Exact {
    explicit Exact(const std::string &bytes) : size(bytes.size()), p(new uint8_t[bytes.size()]) {
        if (size) memcpy(p.get(), bytes.data(), size);
    }
    size_t size;
    std::unique_ptr<uint8_t[]> p;
};

// Everything the image decodes to, `chunk` frames per call.
std::vector<float> DecodeAll(const Image &image, size_t chunk) {
    const size_t channels = (size_t)image.format.channels;
    std::unique_ptr<float[]> buf(new float[chunk * channels]);
    std::vector<float> all;
    Decoder d{};
    qk::wav::Start(d, image);
    for (;;) {
        size_t n = qk::wav::Decode(d, buf.get(), chunk);
        EXPECT_LE(n, chunk);
        if (n == 0) break;
        all.insert(all.end(), buf.get(), buf.get() + n * channels);
    }
    EXPECT_EQ(qk::wav::Decode(d, buf.get(), chunk), 0u);  // stays at the end
    return all;
}

// ---- well-formed images ----

struct GoodCase {
    const char *name;
    std::string bytes;
    Encoding encoding;
    int channels;
    int bits;
    uint64_t frames;
    std::vector<float> head;  // the first samples decoded, interleaved
};

TEST(Wav, ParsesAndDecodesWellFormedImages) {
    const float q = 1.0f / 32768;
    const std::string stereo16 = S16s({-32768, 32767, 1, -1, 0, 12345});
    std::string eight;
    for (int i = 0; i < 16; i++) eight += U16((unsigned)(i * 1000 - 8000));
    // A two-block MS ADPCM stream, 16-byte mono blocks (20 frames each).
    const std::string msBlock = MsHeader({0}, {16}, {300}, {-200}) + Zeros(9);
    // IMA stereo, 24-byte blocks: headers and two words per channel (17 frames).
    const std::string imaBlock = ImaHeader(1000, 0) + ImaHeader(-1000, 0) + Zeros(16);

    const GoodCase cases[] = {
        {"pcm8", Wav(PcmBody(1, 8), Bytes({0, 128, 255})), Encoding::Pcm, 1, 8, 3, {-1.0f, 0.0f, 127 / 128.0f}},
        {"pcm16 stereo", Wav(PcmBody(2, 16), stereo16), Encoding::Pcm, 2, 16, 3,
         {-1.0f, 32767 * q, q, -q, 0.0f, 12345 * q}},
        {"pcm24", Wav(PcmBody(1, 24), U24(0x800000) + U24(0x7FFFFF) + U24(0xFFFFFF)), Encoding::Pcm, 1, 24, 3,
         {-1.0f, 8388607 / 8388608.0f, -1 / 8388608.0f}},
        {"pcm32", Wav(PcmBody(1, 32), U32(0x80000000u) + U32(0x40000000) + U32(0xC0000000u)), Encoding::Pcm, 1,
         32, 3, {-1.0f, 0.5f, -0.5f}},
        {"float32 clipped", Wav(PcmBody(1, 32, 3), F32(0.25f) + F32(-2.0f) + F32(NAN) + F32(1.5f)), Encoding::Float,
         1, 32, 4, {0.25f, -1.0f, 0.0f, 1.0f}},
        {"float64", Wav(PcmBody(2, 64, 3), F64(0.5) + F64(-0.125) + F64(1e300) + F64(-NAN)), Encoding::Float, 2, 64,
         2, {0.5f, -0.125f, 1.0f, 0.0f}},
        {"extensible pcm, 24 valid bits in 32",
         Wav(ExtensibleBody(1, 2, 32, 24), U32(0x7FFFFF00) + U32(0xFFFFFF00u)), Encoding::Pcm, 2, 32, 1,
         {0x7FFFFF00 / 2147483648.0f, -256 / 2147483648.0f}},
        {"extensible float", Wav(ExtensibleBody(3, 1, 32, 32), F32(0.75f)), Encoding::Float, 1, 32, 1, {0.75f}},
        {"data first, odd unknown chunks", Wave(Chunk("LIST", "abcde") + Chunk("data", S16s({7, -7})) +
                                                Chunk("junk", "x") + Chunk("fact", U32(2)) + Pcm(1, 16)),
         Encoding::Pcm, 1, 16, 2, {7 * q, -7 * q}},
        {"data past the image, cut mid-frame", Wave(Pcm(1, 16) + "data" + U32(1000) + S16s({1, 2, 3}) + "\x04"),
         Encoding::Pcm, 1, 16, 3, {q, 2 * q, 3 * q}},
        {"riff size past the image", Wave(Pcm(1, 16) + Chunk("data", S16s({5})), 100000), Encoding::Pcm, 1, 16,
         1, {5 * q}},
        {"riff size short of the data", Wave(Pcm(1, 16) + Chunk("data", S16s({1, 2, 3, 4})), 4 + 24 + 8 + 5),
         Encoding::Pcm, 1, 16, 2, {q, 2 * q}},
        {"8 channels", Wav(PcmBody(8, 16), eight), Encoding::Pcm, 8, 16, 2,
         {-8000 * q, -7000 * q, -6000 * q, -5000 * q, -4000 * q, -3000 * q, -2000 * q, -1000 * q, 0.0f}},
        {"mu-law", Wav(PcmBody(1, 8, 7), Bytes({0xFF, 0x00, 0x80, 0x7F})), Encoding::MuLaw, 1, 8, 4,
         {0.0f, -32124 * q, 32124 * q, 0.0f}},
        {"a-law", Wav(PcmBody(2, 8, 6), Bytes({0xD5, 0x55, 0x2A, 0xAA})), Encoding::ALaw, 2, 8, 2,
         {8 * q, -8 * q, -32256 * q, 32256 * q}},
        {"ms adpcm, tail too short for a header", Wav(MsBody(1, 16, 20), msBlock + msBlock + Zeros(6)),
         Encoding::MsAdpcm, 1, 4, 40, {-200 * q, 300 * q}},
        {"ms adpcm, partial tail", Wav(MsBody(1, 16, 20), msBlock + msBlock.substr(0, 10)),
         Encoding::MsAdpcm, 1, 4, 20 + 8, {-200 * q, 300 * q}},
        {"ms adpcm, fewer samples per block than fit", Wav(MsBody(1, 16, 12), msBlock + msBlock),
         Encoding::MsAdpcm, 1, 4, 24, {-200 * q, 300 * q}},
        {"ima adpcm, partial tail", Wav(ImaBody(2, 24, 17), imaBlock + imaBlock.substr(0, 20)),
         Encoding::ImaAdpcm, 2, 4, 17 + 9, {1000 * q, -1000 * q, 1000 * q, -1000 * q}},
        {"ima adpcm, fewer samples per block than fit",
         Wav(ImaBody(2, 24, 10), imaBlock + imaBlock.substr(0, 12)), Encoding::ImaAdpcm, 2, 4, 10 + 1,
         {1000 * q, -1000 * q}},
    };
    for (const GoodCase &c : cases) {
        SCOPED_TRACE(c.name);
        Exact image(c.bytes);
        Image im;
        ASSERT_TRUE(qk::wav::Parse(image.p.get(), image.size, im));
        EXPECT_EQ(im.format.encoding, c.encoding);
        EXPECT_EQ(im.format.channels, c.channels);
        EXPECT_EQ(im.format.bitsPerSample, c.bits);
        EXPECT_EQ(im.frames, c.frames);
        EXPECT_GE(im.data, image.p.get());
        EXPECT_LE(im.data + im.dataBytes, image.p.get() + image.size);
        std::vector<float> out = DecodeAll(im, 5);
        ASSERT_EQ(out.size(), c.frames * c.channels);
        ASSERT_LE(c.head.size(), out.size());
        for (size_t i = 0; i < c.head.size(); i++) EXPECT_EQ(out[i], c.head[i]) << "sample " << i;
        for (float x : out) ASSERT_TRUE(x >= -1.0f && x <= 1.0f);
    }
}

TEST(Wav, IntegerPcmConvertsBackExactly) {
    std::string all16, all8;
    for (int v = -32768; v < 32768; v++) all16 += U16((unsigned)v);
    for (int v = 0; v < 256; v++) all8 += (char)v;
    Exact image16(Wav(PcmBody(1, 16), all16)), image8(Wav(PcmBody(1, 8), all8));
    Image im16, im8;
    ASSERT_TRUE(qk::wav::Parse(image16.p.get(), image16.size, im16));
    ASSERT_TRUE(qk::wav::Parse(image8.p.get(), image8.size, im8));
    std::vector<float> out16 = DecodeAll(im16, 4096), out8 = DecodeAll(im8, 4096);
    ASSERT_EQ(out16.size(), 65536u);
    ASSERT_EQ(out8.size(), 256u);
    for (int i = 0; i < 65536; i++) ASSERT_EQ(out16[i] * 32768.0f, (float)(i - 32768)) << i;
    for (int i = 0; i < 256; i++) ASSERT_EQ(out8[i] * 128.0f, (float)(i - 128)) << i;
}

TEST(Wav, DeclaredSizeReadsTheRiffHeader) {
    EXPECT_EQ(qk::wav::DeclaredSize(Wave(Pcm(1, 16)).data()), 8u + 4 + 24);
    EXPECT_EQ(qk::wav::DeclaredSize(Wave("", 0xFFFFFFF7u).data()), 0xFFFFFFFFu);
    EXPECT_EQ(qk::wav::DeclaredSize(("RIFX" + U32(4) + "WAVE").data()), 0u);
    EXPECT_EQ(qk::wav::DeclaredSize(("RIFF" + U32(4) + "AVI ").data()), 0u);
}

// ---- malformed images ----

TEST(Wav, RefusesMalformedImages) {
    const std::string frame = S16s({1, 2});  // one frame of 16-bit stereo
    const std::string data = Chunk("data", frame);
    struct Case {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"riff only", "RIFF"},
        {"not wave", "RIFF" + U32(4 + 8 + 16) + "AVI " + Pcm(2, 16) + data},
        {"big-endian riff", "RIFX" + U32(4 + 24 + 12) + "WAVE" + Pcm(2, 16) + data},
        {"riff size below the header", Wave(Pcm(2, 16) + data, 2)},
        {"riff size ends before the data", Wave(Pcm(2, 16) + data, 4 + 24 + 4)},
        {"no fmt", Wave(data)},
        {"no data", Wave(Pcm(2, 16) + Chunk("LIST", "abc"))},
        {"fmt of 2 bytes", Wav(U16(1), frame)},
        {"fmt past the image", Wave(data + Chunk("fmt ", FmtBody(1, 2, 44100, 16, 4), 40))},
        {"zero channels", Wav(FmtBody(1, 0, 44100, 16, 4), frame)},
        {"9 channels", Wav(PcmBody(9, 16), Zeros(18))},
        {"block align 0", Wav(FmtBody(1, 2, 44100, 16, 0), frame)},
        {"block align not a frame", Wav(FmtBody(1, 2, 44100, 16, 2), frame)},
        {"12-bit pcm", Wav(FmtBody(1, 1, 44100, 12, 2), frame)},
        {"16-bit float", Wav(PcmBody(2, 16, 3), frame)},
        {"16-bit mu-law", Wav(PcmBody(2, 16, 7), frame)},
        {"rate 999", Wav(FmtBody(1, 2, 999, 16, 4), frame)},
        {"rate 384001", Wav(FmtBody(1, 2, 384001, 16, 4), frame)},
        {"unknown tag", Wav(FmtBody(0x55, 2, 44100, 16, 4), frame)},
        {"no whole frame", Wav(PcmBody(2, 16), "abc")},
        {"extensible, unknown guid", Wav(ExtensibleBody(1, 2, 16, 16, std::string(12, '\x11')), frame)},
        {"extensible, adpcm guid", Wav(ExtensibleBody(2, 2, 16, 16), frame)},
        {"extensible, cut short", Wav(ExtensibleBody(1, 2, 16, 16).substr(0, 38), frame)},
        {"ms adpcm, no coefficients", Wav(MsBody(1, 16, 20, 0, 0), Zeros(16))},
        {"ms adpcm, 257 coefficients", Wav(MsBody(1, 16, 20, 257, 257), Zeros(16))},
        {"ms adpcm, table past the chunk", Wav(MsBody(1, 16, 20, 8, 7), Zeros(16))},
        {"ms adpcm, no table", Wav(MsBody(1, 16, 20).substr(0, 20), Zeros(16))},
        {"ms adpcm, block under its headers", Wav(MsBody(2, 13, 2), Zeros(26))},
        {"ms adpcm, 3 bits", Wav(MsBody(1, 16, 20).replace(14, 2, U16(3)), Zeros(16))},
        {"ms adpcm, data under a header", Wav(MsBody(2, 32, 20), Zeros(13))},
        {"ima, block align not in words", Wav(ImaBody(2, 36, 0), Zeros(36))},
        {"ima, block of headers only", Wav(ImaBody(2, 8, 1), Zeros(8))},
        {"ima, no samples per block", Wav(ImaBody(1, 256, 505).substr(0, 16), Zeros(256))},
        {"ima, data under a header", Wav(ImaBody(2, 256, 505), Zeros(7))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Exact image(c.bytes);
        Image im;
        EXPECT_FALSE(qk::wav::Parse(image.p.get(), image.size, im));
    }
}

// Every prefix of a valid image: never a read outside it; refused until it holds a
// whole frame of data, then playable and decoding to the start of the whole image.
TEST(Wav, EveryTruncationIsSafe) {
    std::string imaData;
    for (int b = 0; b < 2; b++) {
        imaData += ImaHeader(-3000, 20) + ImaHeader(3000, 30);
        for (int i = 0; i < 16; i++) imaData += (char)(0x1F * i + b);
    }
    std::string msData;
    for (int b = 0; b < 2; b++) {
        msData += MsHeader({1, 6}, {40, 300}, {1000, -500}, {900, -400});
        for (int i = 0; i < 18; i++) msData += (char)(0x3B * i + b);
    }
    struct Case {
        const char *name;
        std::string fmtChunk;
        std::string dataBody;
        size_t firstPlayable;  // bytes of data the first frame needs
    } cases[] = {
        {"pcm16 stereo", Pcm(2, 16), S16s({1, -2, 3, -4, 5, -6, 7}), 4},
        {"extensible float", Chunk("fmt ", ExtensibleBody(3, 1, 32, 32)), F32(0.5f) + F32(-0.25f), 4},
        {"ms adpcm stereo", Chunk("fmt ", MsBody(2, 32, 20)), msData, 14},
        {"ima stereo", Chunk("fmt ", ImaBody(2, 24, 17)), imaData, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string whole = Wave(Chunk("LIST", "odd") + c.fmtChunk + Chunk("data", c.dataBody));
        const size_t dataStart = whole.size() - c.dataBody.size() - (c.dataBody.size() & 1);
        Exact wholeImage(whole);
        Image wholeIm;
        ASSERT_TRUE(qk::wav::Parse(wholeImage.p.get(), wholeImage.size, wholeIm));
        const std::vector<float> wholeOut = DecodeAll(wholeIm, 4096);
        uint64_t lastFrames = 0;
        for (size_t len = 0; len <= whole.size(); len++) {
            SCOPED_TRACE(len);
            Exact image(whole.substr(0, len));
            Image im;
            bool ok = qk::wav::Parse(image.p.get(), image.size, im);
            ASSERT_EQ(ok, len >= dataStart + c.firstPlayable);
            if (!ok) continue;
            ASSERT_GE(im.frames, lastFrames);
            ASSERT_LE(im.frames, wholeIm.frames);
            lastFrames = im.frames;
            std::vector<float> out = DecodeAll(im, 3);
            ASSERT_EQ(out.size(), im.frames * im.format.channels);
            ASSERT_TRUE(std::equal(out.begin(), out.end(), wholeOut.begin()));
        }
        EXPECT_EQ(lastFrames, wholeIm.frames);
    }
}

// A block whose header cannot be decoded plays as silence; its neighbours play.
TEST(Wav, DamagedAdpcmBlocksPlaySilence) {
    const std::string imaGood = ImaHeader(1000, 0) + ImaHeader(-1000, 0) + std::string(16, '\x77');
    const std::string imaBad = ImaHeader(1000, 0) + ImaHeader(-1000, 200) + std::string(16, '\x77');
    const std::string msGood = MsHeader({0}, {16}, {300}, {-200}) + std::string(9, '\x71');
    const std::string msBad = MsHeader({7}, {16}, {300}, {-200}) + std::string(9, '\x71');
    const std::string msLast = MsHeader({255}, {16}, {300}, {-200}) + std::string(9, '\x71');
    struct Case {
        const char *name;
        std::string bytes;
        uint64_t blockFrames;
    } cases[] = {
        {"ima step index 200", Wav(ImaBody(2, 24, 17), imaGood + imaBad + imaGood), 17},
        {"ms predictor past the table", Wav(MsBody(1, 16, 20), msGood + msBad + msGood), 20},
        {"ms predictor 255, table of 255", Wav(MsBody(1, 16, 20, 255, 255), msGood + msLast), 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Exact image(c.bytes);
        Image im;
        ASSERT_TRUE(qk::wav::Parse(image.p.get(), image.size, im));
        std::vector<float> out = DecodeAll(im, 7);
        const size_t channels = (size_t)im.format.channels, block = c.blockFrames * channels;
        ASSERT_EQ(out.size(), im.frames * channels);
        ASSERT_GE(out.size(), 2 * block);
        std::vector<float> first(out.begin(), out.begin() + block);
        std::vector<float> second(out.begin() + block, out.begin() + 2 * block);
        EXPECT_NE(first, std::vector<float>(block, 0.0f));
        EXPECT_EQ(second, std::vector<float>(block, 0.0f));
        if (out.size() == 3 * block) {
            std::vector<float> third(out.begin() + 2 * block, out.end());
            EXPECT_EQ(third, first);  // the block after it decodes on its own header
        }
    }
}

// ---- against sox, the reference decoder ----

class WavSox : public StandinTest {
protected:
    struct Fixture {
        std::string path;
        bool pcmWide;  // 24/32-bit PCM: compared with sox's float output, else with 16-bit
        bool compared;  // false for float sources (sox round-trips them through integers)
    };

    void Sox(const std::string &args) {
        std::string cmd = "cd '" + root + "' && sox -D " + args + " 2>&1";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd << " (is sox installed? run scripts/setup.sh)";
    }

    // Three sources (stereo sines, a mono full-scale noise, three mixed channels),
    // each written in every encoding the reader plays.
    void MakeFixtures() {
        ASSERT_NO_FATAL_FAILURE(Sox("-n -r 44100 -c 2 -b 16 stereo.wav synth 0.3 sine 440 sine 660"));
        ASSERT_NO_FATAL_FAILURE(Sox("-n -r 22050 -c 1 -b 16 mono.wav synth 0.25 whitenoise"));
        ASSERT_NO_FATAL_FAILURE(Sox("-n -r 8000 -c 3 -b 16 three.wav synth 0.2 sine 300 whitenoise square 1000"));
        for (const char *src : {"stereo", "mono", "three"}) {
            const std::string s = src;
            for (const char *enc : {"ima-adpcm", "ms-adpcm", "u-law", "a-law"}) {
                ASSERT_NO_FATAL_FAILURE(Sox(s + ".wav -e " + enc + " " + s + "-" + enc + ".wav"));
                fixtures.push_back({s + "-" + enc + ".wav", false, true});
            }
            fixtures.push_back({s + ".wav", false, true});
            ASSERT_NO_FATAL_FAILURE(Sox(s + ".wav -b 8 " + s + "-8.wav"));
            fixtures.push_back({s + "-8.wav", false, true});
            for (const char *bits : {"24", "32"}) {
                ASSERT_NO_FATAL_FAILURE(Sox(s + ".wav -b " + bits + " " + s + "-" + bits + ".wav"));
                fixtures.push_back({s + "-" + bits + ".wav", true, true});
            }
            for (const char *bits : {"32", "64"}) {
                const std::string name = s + "-f" + bits + ".wav";
                ASSERT_NO_FATAL_FAILURE(Sox(s + ".wav -e floating-point -b " + bits + " " + name));
                fixtures.push_back({name, false, false});
            }
        }
    }

    std::string Path(const std::string &name) const { return root + "/" + name; }

    std::vector<Fixture> fixtures;
};

TEST_F(WavSox, DecodesLikeSox) {
    ASSERT_NO_FATAL_FAILURE(MakeFixtures());
    for (const Fixture &f : fixtures) {
        SCOPED_TRACE(f.path);
        if (!f.compared) continue;
        const char *as = f.pcmWide ? "-e floating-point -b 32" : "-e signed-integer -b 16";
        ASSERT_NO_FATAL_FAILURE(Sox(f.path + " -t raw " + as + " ref.raw"));
        const std::string ref = ReadFile(Path("ref.raw"));
        Exact image(ReadFile(Path(f.path)));
        Image im;
        ASSERT_TRUE(qk::wav::Parse(image.p.get(), image.size, im));
        const std::vector<float> out = DecodeAll(im, 4096);
        if (f.pcmWide) {
            ASSERT_EQ(ref.size(), out.size() * 4);
            ASSERT_EQ(memcmp(ref.data(), out.data(), ref.size()), 0);
        } else {
            ASSERT_EQ(ref.size(), out.size() * 2);
            size_t mismatches = 0, first = 0;
            for (size_t i = 0; i < out.size(); i++) {
                int16_t want = (int16_t)(uint8_t(ref[2 * i]) | (uint8_t(ref[2 * i + 1]) << 8));
                if (lrintf(out[i] * 32768.0f) != want && mismatches++ == 0) first = i;
            }
            ASSERT_EQ(mismatches, 0u) << "first at sample " << first;
        }
        // Any chunking gives the same stream, and Start() rewinds for a loop.
        for (size_t chunk : {1, 7, 4096}) ASSERT_EQ(DecodeAll(im, chunk), out) << chunk;
        Decoder d{};
        std::vector<float> buf(out.size() + 8);
        qk::wav::Start(d, im);
        ASSERT_EQ(qk::wav::Decode(d, buf.data(), 100), 100u);
        qk::wav::Start(d, im);
        ASSERT_EQ(qk::wav::Decode(d, buf.data(), im.frames + 1), im.frames);
        buf.resize(out.size());
        ASSERT_EQ(buf, out);
    }
}

TEST_F(WavSox, FrameCountsMatchSox) {
    ASSERT_NO_FATAL_FAILURE(MakeFixtures());
    for (const Fixture &f : fixtures) {
        SCOPED_TRACE(f.path);
        std::string cmd = "soxi -s '" + Path(f.path) + "' > '" + Path("count.txt") + "'";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
        const uint64_t want = strtoull(ReadFile(Path("count.txt")).c_str(), nullptr, 10);
        Exact image(ReadFile(Path(f.path)));
        Image im;
        ASSERT_TRUE(qk::wav::Parse(image.p.get(), image.size, im));
        EXPECT_GT(want, 0u);
        EXPECT_EQ(im.frames, want);
    }
}

}  // namespace
