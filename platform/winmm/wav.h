// The WAV reader of the sound stand-in: parses a RIFF/WAVE image in place and decodes
// it as a stream of float frames, never reading outside the image and never allocating.
#ifndef QK_PLATFORM_WINMM_WAV_H
#define QK_PLATFORM_WINMM_WAV_H

#include <stddef.h>
#include <stdint.h>

namespace qk {
namespace wav {

enum class Encoding {
    Pcm,       // integer PCM, 8 (unsigned), 16, 24 or 32 bits (signed, little-endian)
    Float,     // IEEE float, 32 or 64 bits
    MsAdpcm,   // Microsoft ADPCM (format tag 2)
    ImaAdpcm,  // IMA/DVI ADPCM (format tag 0x11)
    MuLaw,     // G.711 mu-law (format tag 7)
    ALaw,      // G.711 A-law (format tag 6)
};

const int kMaxChannels = 8;
const int kMaxMsCoefficients = 256;

struct Format {
    Encoding encoding;
    int channels;          // 1..8
    uint32_t rate;         // frames per second, 1000..384000
    int bitsPerSample;     // as stored (4 for ADPCM)
    uint32_t blockAlign;   // bytes per frame (PCM, float, G.711) or per block (ADPCM)
    uint32_t framesPerBlock;  // ADPCM: frames one whole block decodes to; else 1
    int msCoefficientCount;   // MS ADPCM
    int16_t msCoefficients[kMaxMsCoefficients][2];
};

struct Image {
    Format format;
    const uint8_t *data;  // first byte of the sample data, inside the image
    size_t dataBytes;     // clipped to the image; PCM/float/G.711: whole frames only
    uint64_t frames;      // frames the data decodes to (ADPCM: a last partial block counts
                          // for the frames its bytes hold; a block too short for its
                          // header counts for none)
};

// Parses a whole WAV file image of `size` bytes. Chunks may come in any order, odd
// chunk sizes are padded, unknown chunks skipped, a chunk running past the image is
// clipped (the data chunk) or refused (the fmt chunk). False for anything that is not
// a playable WAV: no fmt or data chunk, an unknown or unsupported format tag (also
// inside WAVE_FORMAT_EXTENSIBLE), 0 or more than 8 channels, a rate outside
// 1000..384000, a block align of 0 or one that does not fit the format, ADPCM
// parameters that cannot decode, no whole frame of data.
bool Parse(const void *image, size_t size, Image &out);

// The size a RIFF image says it has (8 + the RIFF chunk size), or 0 when the first 12
// bytes are not "RIFF", size, "WAVE". Only the first 12 bytes are read.
size_t DeclaredSize(const void *image);

// Streaming decoder with fixed-size state. Decode() writes interleaved frames of
// image.format.channels floats in [-1, 1] and gives the number of frames written;
// 0 means the end of the data.
struct Decoder {
    const Image *image;
    uint64_t frame;     // next frame to hand out
    size_t offset;      // byte offset in image->data of the current frame or block
    // ADPCM: the current block decoded so far
    uint32_t blockFrame;  // frame within the current block
    uint32_t blockFrames; // frames the current block holds
    int16_t predictor[kMaxChannels];  // IMA: the last sample
    int16_t sample1[kMaxChannels];    // MS: the last sample
    int16_t sample2[kMaxChannels];    // MS: the one before
    int stepIndex[kMaxChannels];      // IMA
    int delta[kMaxChannels];          // MS
    int coefficient[kMaxChannels];    // MS: index into the coefficient table
    bool blockSilent;     // the block's header is damaged: it plays as silence
};

void Start(Decoder &d, const Image &image);  // to the first frame
size_t Decode(Decoder &d, float *out, size_t maxFrames);

}  // namespace wav
}  // namespace qk

#endif
