#include "platform/winmm/wav.h"

#include <string.h>

namespace qk {
namespace wav {

namespace {

const uint16_t kTagPcm = 0x0001;
const uint16_t kTagMsAdpcm = 0x0002;
const uint16_t kTagFloat = 0x0003;
const uint16_t kTagALaw = 0x0006;
const uint16_t kTagMuLaw = 0x0007;
const uint16_t kTagImaAdpcm = 0x0011;
const uint16_t kTagExtensible = 0xFFFE;

const uint32_t kMinRate = 1000;
const uint32_t kMaxRate = 384000;

// The twelve bytes after the format code in the SubFormat GUID of an extensible
// format: {xxxxxxxx-0000-0010-8000-00aa00389b71}.
const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const uint32_t kMsHeaderBytes = 7;   // per channel: predictor, delta, sample1, sample2
const uint32_t kImaHeaderBytes = 4;  // per channel: sample, step index, reserved
const int kMsMinDelta = 16;
// Real streams never come near this; it only keeps a hostile stream from overflowing
// the adaptation product (768 * delta).
const int kMsMaxDelta = 1 << 21;

const int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                               768, 614, 512, 409, 307, 230, 230, 230};

const int kImaMaxStepIndex = 88;
const int kImaSteps[kImaMaxStepIndex + 1] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kImaIndexShift[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// G.711 expansions to 16 bits, built at compile time.
struct G711Table {
    int16_t value[256];
    constexpr explicit G711Table(bool aLaw) : value() {
        for (int i = 0; i < 256; i++) value[i] = aLaw ? ALaw(i) : MuLaw(i);
    }
    static constexpr int16_t MuLaw(int code) {
        int u = ~code & 0xFF;
        int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
        return (int16_t)((u & 0x80) ? 0x84 - t : t - 0x84);
    }
    static constexpr int16_t ALaw(int code) {
        int a = code ^ 0x55;
        int t = (a & 0x0F) << 4;
        int segment = (a & 0x70) >> 4;
        if (segment == 0) {
            t += 8;
        } else {
            t += 0x108;
            t <<= segment - 1;
        }
        return (int16_t)((a & 0x80) ? t : -t);
    }
};
constexpr G711Table kMuLawTable(false);
constexpr G711Table kALawTable(true);

const float kScale8 = 1.0f / 128.0f;
const float kScale16 = 1.0f / 32768.0f;
const float kScale24 = 1.0f / 8388608.0f;
const float kScale32 = 1.0f / 2147483648.0f;

inline uint16_t Le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t Le64(const uint8_t *p) { return (uint64_t)Le32(p) | ((uint64_t)Le32(p + 4) << 32); }

// Float samples are taken as they are, but a NaN plays as silence and anything past
// full scale is clipped (in the source precision, so a huge double never overflows).
inline float Sanitize(float x) {
    if (x != x) return 0.0f;
    return x < -1.0f ? -1.0f : (x > 1.0f ? 1.0f : x);
}
inline float Sanitize(double x) {
    if (x != x) return 0.0f;
    return x < -1.0 ? -1.0f : (x > 1.0 ? 1.0f : (float)x);
}

inline int16_t Clamp16(int v) { return (int16_t)(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// Frames an ADPCM block of `bytes` bytes decodes to (a block cut short by the end of
// the data holds fewer than a whole one).
uint32_t AdpcmBlockFrames(const Format &f, size_t bytes) {
    uint32_t channels = (uint32_t)f.channels;
    uint64_t frames;
    if (f.encoding == Encoding::MsAdpcm) {
        if (bytes < kMsHeaderBytes * channels) return 0;
        frames = 2 + (uint64_t)(bytes - kMsHeaderBytes * channels) * 2 / channels;
    } else {
        if (bytes < kImaHeaderBytes * channels) return 0;
        frames = 1 + (uint64_t)(bytes - kImaHeaderBytes * channels) / (4 * channels) * 8;
    }
    return frames < f.framesPerBlock ? (uint32_t)frames : f.framesPerBlock;
}

// Reads the fmt chunk body into `f`; false for anything this reader cannot play.
bool ReadFormat(const uint8_t *p, size_t size, Format &f) {
    if (size < 16) return false;
    uint16_t tag = Le16(p);
    int channels = Le16(p + 2);
    uint32_t rate = Le32(p + 4);
    uint32_t blockAlign = Le16(p + 12);
    int bits = Le16(p + 14);

    if (tag == kTagExtensible) {
        // cbSize, valid bits (information only: the container is `bits`), channel
        // mask, then the SubFormat GUID.
        if (size < 40) return false;
        uint32_t code = Le32(p + 24);
        if (memcmp(p + 28, kGuidTail, sizeof kGuidTail) != 0) return false;
        if (code != kTagPcm && code != kTagFloat) return false;
        tag = (uint16_t)code;
    }
    if (channels < 1 || channels > kMaxChannels) return false;
    if (rate < kMinRate || rate > kMaxRate) return false;
    if (blockAlign == 0) return false;

    f.channels = channels;
    f.rate = rate;
    f.bitsPerSample = bits;
    f.blockAlign = blockAlign;
    f.framesPerBlock = 1;
    f.msCoefficientCount = 0;

    switch (tag) {
    case kTagPcm:
        f.encoding = Encoding::Pcm;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
        return blockAlign == (uint32_t)(channels * bits / 8);
    case kTagFloat:
        f.encoding = Encoding::Float;
        if (bits != 32 && bits != 64) return false;
        return blockAlign == (uint32_t)(channels * bits / 8);
    case kTagMuLaw:
    case kTagALaw:
        f.encoding = tag == kTagMuLaw ? Encoding::MuLaw : Encoding::ALaw;
        return bits == 8 && blockAlign == (uint32_t)channels;
    case kTagMsAdpcm: {
        f.encoding = Encoding::MsAdpcm;
        // cbSize, samples per block, coefficient count, coefficient pairs
        if (bits != 4 || size < 22) return false;
        uint32_t samplesPerBlock = Le16(p + 18);
        int count = Le16(p + 20);
        if (count < 1 || count > kMaxMsCoefficients) return false;
        if (size < 22 + 4 * (size_t)count) return false;
        for (int i = 0; i < count; i++) {
            f.msCoefficients[i][0] = (int16_t)Le16(p + 22 + 4 * i);
            f.msCoefficients[i][1] = (int16_t)Le16(p + 24 + 4 * i);
        }
        f.msCoefficientCount = count;
        if (blockAlign < kMsHeaderBytes * channels) return false;
        uint32_t capacity = 2 + (blockAlign - kMsHeaderBytes * channels) * 2 / channels;
        f.framesPerBlock = capacity;  // a block can hold no more, whatever the header says
        if (samplesPerBlock != 0 && samplesPerBlock < capacity) f.framesPerBlock = samplesPerBlock;
        return true;
    }
    case kTagImaAdpcm: {
        f.encoding = Encoding::ImaAdpcm;
        // cbSize, samples per block
        if (bits != 4 || size < 20) return false;
        uint32_t samplesPerBlock = Le16(p + 18);
        uint32_t word = 4 * channels;
        // Headers and at least one 4-byte word per channel, in whole words.
        if (blockAlign % word != 0 || blockAlign < 2 * word) return false;
        uint32_t capacity = 1 + (blockAlign - kImaHeaderBytes * channels) / word * 8;
        f.framesPerBlock = capacity;
        if (samplesPerBlock != 0 && samplesPerBlock < capacity) f.framesPerBlock = samplesPerBlock;
        return true;
    }
    default:
        return false;
    }
}

// Loads the header of the ADPCM block at d.offset. A block whose header cannot be
// decoded (a predictor the table does not have, a step index past the step table)
// plays as silence for its frames, so a damaged block never turns into noise.
void LoadBlock(Decoder &d) {
    const Image &im = *d.image;
    const Format &f = im.format;
    size_t left = im.dataBytes - d.offset;
    d.blockFrame = 0;
    d.blockFrames = AdpcmBlockFrames(f, left < f.blockAlign ? left : f.blockAlign);
    d.blockSilent = false;
    if (d.blockFrames == 0) return;
    const uint8_t *h = im.data + d.offset;
    int channels = f.channels;
    if (f.encoding == Encoding::MsAdpcm) {
        for (int c = 0; c < channels; c++) {
            int predictor = h[c];
            if (predictor >= f.msCoefficientCount) {
                d.blockSilent = true;
                predictor = 0;
            }
            d.coefficient[c] = predictor;
            d.delta[c] = (int16_t)Le16(h + channels + 2 * c);
            d.sample1[c] = (int16_t)Le16(h + 3 * channels + 2 * c);
            d.sample2[c] = (int16_t)Le16(h + 5 * channels + 2 * c);
        }
    } else {
        for (int c = 0; c < channels; c++) {
            int index = h[4 * c + 2];
            if (index > kImaMaxStepIndex) {
                d.blockSilent = true;
                index = 0;
            }
            d.predictor[c] = (int16_t)Le16(h + 4 * c);
            d.stepIndex[c] = index;
        }
    }
}

void DecodeMsAdpcm(Decoder &d, float *out, uint32_t count) {
    const Format &f = d.image->format;
    const int channels = f.channels;
    const uint8_t *nibbles = d.image->data + d.offset + kMsHeaderBytes * channels;
    uint32_t frame = d.blockFrame;
    for (; frame < 2 && count > 0; frame++, count--) {
        const int16_t *s = frame == 0 ? d.sample2 : d.sample1;
        for (int c = 0; c < channels; c++) *out++ = s[c] * kScale16;
    }
    size_t k = (size_t)(frame - 2) * channels;  // nibble index, high nibble first
    for (; count > 0; frame++, count--) {
        for (int c = 0; c < channels; c++, k++) {
            int code = (nibbles[k >> 1] >> ((~k & 1) << 2)) & 0x0F;
            int delta = d.delta[c];
            const int16_t *coef = f.msCoefficients[d.coefficient[c]];
            int predicted = (d.sample1[c] * coef[0] + d.sample2[c] * coef[1]) >> 8;
            int16_t sample = Clamp16(predicted + (code - ((code & 8) << 1)) * delta);
            delta = (kMsAdaptation[code] * delta) >> 8;
            d.delta[c] = delta < kMsMinDelta ? kMsMinDelta : (delta > kMsMaxDelta ? kMsMaxDelta : delta);
            d.sample2[c] = d.sample1[c];
            d.sample1[c] = sample;
            *out++ = sample * kScale16;
        }
    }
    d.blockFrame = frame;
}

void DecodeImaAdpcm(Decoder &d, float *out, uint32_t count) {
    const int channels = d.image->format.channels;
    const uint8_t *words = d.image->data + d.offset + kImaHeaderBytes * channels;
    const size_t group = 4 * (size_t)channels;  // one 4-byte word (8 samples) per channel
    uint32_t frame = d.blockFrame;
    if (frame == 0 && count > 0) {
        for (int c = 0; c < channels; c++) *out++ = d.predictor[c] * kScale16;
        frame++;
        count--;
    }
    for (; count > 0; frame++, count--) {
        uint32_t j = frame - 1;
        const uint8_t *bytes = words + (j >> 3) * group + ((j & 7) >> 1);
        int shift = (j & 1) << 2;  // low nibble first
        for (int c = 0; c < channels; c++) {
            int code = (bytes[4 * c] >> shift) & 0x0F;
            int index = d.stepIndex[c];
            int step = kImaSteps[index];
            int diff = step >> 3;
            if (code & 4) diff += step;
            if (code & 2) diff += step >> 1;
            if (code & 1) diff += step >> 2;
            int16_t sample = Clamp16(code & 8 ? d.predictor[c] - diff : d.predictor[c] + diff);
            index += kImaIndexShift[code];
            d.stepIndex[c] = index < 0 ? 0 : (index > kImaMaxStepIndex ? kImaMaxStepIndex : index);
            d.predictor[c] = sample;
            *out++ = sample * kScale16;
        }
    }
    d.blockFrame = frame;
}

size_t DecodeAdpcm(Decoder &d, float *out, size_t frames) {
    const Format &f = d.image->format;
    const size_t channels = (size_t)f.channels;
    size_t done = 0;
    while (done < frames) {
        if (d.blockFrame == d.blockFrames) {
            if (d.blockFrames != 0) d.offset += f.blockAlign;  // past the finished block
            LoadBlock(d);
            if (d.blockFrames == 0) break;  // cannot happen within Image::frames
        }
        size_t take = d.blockFrames - d.blockFrame;
        if (take > frames - done) take = frames - done;
        float *o = out + done * channels;
        if (d.blockSilent) {
            memset(o, 0, take * channels * sizeof(float));
            d.blockFrame += (uint32_t)take;
        } else if (f.encoding == Encoding::MsAdpcm) {
            DecodeMsAdpcm(d, o, (uint32_t)take);
        } else {
            DecodeImaAdpcm(d, o, (uint32_t)take);
        }
        done += take;
    }
    return done;
}

}  // namespace

bool Parse(const void *image, size_t size, Image &out) {
    const uint8_t *p = (const uint8_t *)image;
    if (!p || size < 12) return false;
    size_t declared = DeclaredSize(p);
    if (declared == 0) return false;
    const size_t end = declared < size ? declared : size;  // trust neither beyond the other
    if (end < 12) return false;

    const uint8_t *fmt = nullptr, *data = nullptr;
    size_t fmtBytes = 0, dataBytes = 0;
    size_t pos = 12;
    while (end - pos >= 8 && !(fmt && data)) {
        uint32_t chunkSize = Le32(p + pos + 4);
        size_t body = pos + 8;
        size_t avail = end - body;
        if (memcmp(p + pos, "fmt ", 4) == 0 && !fmt) {
            if (chunkSize > avail) return false;
            fmt = p + body;
            fmtBytes = chunkSize;
        } else if (memcmp(p + pos, "data", 4) == 0 && !data) {
            data = p + body;
            dataBytes = chunkSize < avail ? chunkSize : avail;
        }
        uint64_t skip = (uint64_t)chunkSize + (chunkSize & 1);
        if (skip >= avail) break;
        pos = body + (size_t)skip;
    }
    if (!fmt || !data) return false;

    Format &f = out.format;
    if (!ReadFormat(fmt, fmtBytes, f)) return false;
    out.data = data;
    if (f.encoding == Encoding::MsAdpcm || f.encoding == Encoding::ImaAdpcm) {
        size_t blocks = dataBytes / f.blockAlign;
        out.frames = (uint64_t)blocks * f.framesPerBlock +
                     AdpcmBlockFrames(f, dataBytes - blocks * f.blockAlign);
        out.dataBytes = dataBytes;
    } else {
        out.frames = dataBytes / f.blockAlign;
        out.dataBytes = (size_t)out.frames * f.blockAlign;
    }
    return out.frames > 0;
}

size_t DeclaredSize(const void *image) {
    const uint8_t *p = (const uint8_t *)image;
    if (memcmp(p, "RIFF", 4) != 0 || memcmp(p + 8, "WAVE", 4) != 0) return 0;
    return (size_t)8 + Le32(p + 4);
}

void Start(Decoder &d, const Image &image) {
    d.image = &image;
    d.frame = 0;
    d.offset = 0;
    d.blockFrame = 0;
    d.blockFrames = 0;
    d.blockSilent = false;
}

size_t Decode(Decoder &d, float *out, size_t maxFrames) {
    if (!d.image) return 0;
    const Image &im = *d.image;
    const Format &f = im.format;
    uint64_t left = im.frames - d.frame;
    size_t frames = left < maxFrames ? (size_t)left : maxFrames;
    if (frames == 0) return 0;

    const uint8_t *p = im.data + d.offset;
    const size_t samples = frames * (size_t)f.channels;
    switch (f.encoding) {
    case Encoding::Pcm:
        switch (f.bitsPerSample) {
        case 8:
            for (size_t i = 0; i < samples; i++) out[i] = (p[i] - 128) * kScale8;
            break;
        case 16:
            for (size_t i = 0; i < samples; i++, p += 2) out[i] = (int16_t)Le16(p) * kScale16;
            break;
        case 24:
            for (size_t i = 0; i < samples; i++, p += 3) {
                int32_t v = (int32_t)(((uint32_t)p[0] << 8) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 24));
                out[i] = (v >> 8) * kScale24;
            }
            break;
        default:
            for (size_t i = 0; i < samples; i++, p += 4) out[i] = (float)(int32_t)Le32(p) * kScale32;
            break;
        }
        break;
    case Encoding::Float:
        if (f.bitsPerSample == 32) {
            for (size_t i = 0; i < samples; i++, p += 4) {
                uint32_t bits = Le32(p);
                float x;
                memcpy(&x, &bits, sizeof x);
                out[i] = Sanitize(x);
            }
        } else {
            for (size_t i = 0; i < samples; i++, p += 8) {
                uint64_t bits = Le64(p);
                double x;
                memcpy(&x, &bits, sizeof x);
                out[i] = Sanitize(x);
            }
        }
        break;
    case Encoding::MuLaw:
    case Encoding::ALaw: {
        const int16_t *table = f.encoding == Encoding::MuLaw ? kMuLawTable.value : kALawTable.value;
        for (size_t i = 0; i < samples; i++) out[i] = table[p[i]] * kScale16;
        break;
    }
    case Encoding::MsAdpcm:
    case Encoding::ImaAdpcm:
        frames = DecodeAdpcm(d, out, frames);
        d.frame += frames;
        return frames;
    }
    d.offset += frames * f.blockAlign;
    d.frame += frames;
    return frames;
}

}  // namespace wav
}  // namespace qk
