// The WAV reader and its decoders on any bytes: the image lies in a heap block of
// exactly its size, so that AddressSanitizer sees any read past it. Every image the
// reader takes is decoded whole, then played through the engine into a buffer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/driver/headless/headless.h"
#include "platform/win32.h"
#include "platform/winmm/engine.h"
#include "platform/winmm/wav.h"

namespace {

void Check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

void DecodeWhole(const uint8_t *image, size_t size) {
    qk::wav::Image parsed;
    if (!qk::wav::Parse(image, size, parsed)) return;
    const qk::wav::Format &f = parsed.format;
    Check(f.channels >= 1 && f.channels <= qk::wav::kMaxChannels, "channel count");
    Check(f.rate >= 1000 && f.rate <= 384000, "rate");
    Check(f.blockAlign > 0, "block align");
    Check(parsed.data >= image && parsed.data + parsed.dataBytes <= image + size, "data inside the image");
    Check(parsed.frames > 0, "a playable image has a frame");

    const size_t kChunk = 100;
    static float out[kChunk * qk::wav::kMaxChannels];
    qk::wav::Decoder d;
    for (int pass = 0; pass < 2; pass++) {  // a second pass as a loop makes it
        qk::wav::Start(d, parsed);
        uint64_t total = 0;
        for (;;) {
            size_t n = qk::wav::Decode(d, out, kChunk);
            Check(n <= kChunk, "no more frames than asked");
            if (n == 0) break;
            for (size_t i = 0; i < n * (size_t)f.channels; i++)
                Check(out[i] >= -1.0f && out[i] <= 1.0f, "samples within full scale");
            total += n;
            Check(total <= parsed.frames, "no more frames than the image holds");
        }
        Check(total == parsed.frames, "every frame the image holds");
    }
}

// The engine plays from a global memory block, the way the program hands it samples.
void PlayThroughEngine(const uint8_t *data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    if (!block) return;
    BYTE *image = (BYTE *)GlobalLock(block);
    if (image) {
        memcpy(image, data, size);
        if (sndPlaySoundA((LPCSTR)image, SND_MEMORY | SND_ASYNC)) {
            static int16_t out[2 * qk::sound::kDeviceFrames];
            // At most a few seconds of output: a long sound at a low rate ends here.
            for (int i = 0; i < 800 && qk::sound::IsPlaying(); i++)
                qk::sound::Render(out, qk::sound::kDeviceFrames, qk::sound::kPreferredRate);
            sndPlaySoundA(NULL, 0);
        }
        GlobalUnlock(block);
    }
    GlobalFree(block);
    qk::headless::ClearSounds();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t *image = (uint8_t *)malloc(size ? size : 1);
    if (size) memcpy(image, data, size);
    DecodeWhole(image, size);
    if (size >= 12) {
        size_t declared = qk::wav::DeclaredSize(image);
        Check(declared == 0 || declared >= 8, "a declared size covers its header");
    }
    free(image);
    if (size > 0) PlayThroughEngine(data, size);
    return 0;
}
