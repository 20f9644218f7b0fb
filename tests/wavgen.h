// Small WAV images built in memory for the tests.
#ifndef QK_TESTS_WAVGEN_H
#define QK_TESTS_WAVGEN_H

#include <math.h>
#include <stdint.h>

#include <string>
#include <vector>

inline void PutLE(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s += (char)((v >> (8 * i)) & 0xff);
}

// A 16-bit PCM image of interleaved samples.
inline std::string MakeWav16(int rate, int channels, const std::vector<int16_t> &samples) {
    std::string fmt, data;
    PutLE(fmt, 1, 2);
    PutLE(fmt, (uint32_t)channels, 2);
    PutLE(fmt, (uint32_t)rate, 4);
    PutLE(fmt, (uint32_t)(rate * channels * 2), 4);
    PutLE(fmt, (uint32_t)(channels * 2), 2);
    PutLE(fmt, 16, 2);
    for (int16_t v : samples) PutLE(data, (uint16_t)v, 2);
    std::string img = "RIFF";
    PutLE(img, (uint32_t)(4 + 8 + fmt.size() + 8 + data.size()), 4);
    img += "WAVEfmt ";
    PutLE(img, (uint32_t)fmt.size(), 4);
    img += fmt + "data";
    PutLE(img, (uint32_t)data.size(), 4);
    return img + data;
}

// `frames` frames of a sine of `hz` at `amplitude` on every channel.
inline std::vector<int16_t> Sine(int rate, int channels, int frames, double hz, double amplitude = 12000) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames; i++)
        for (int c = 0; c < channels; c++)
            s.push_back((int16_t)lrint(amplitude * sin(2 * M_PI * hz * i / rate + c)));
    return s;
}

// A 48 kHz stereo sound whose every frame is told apart by its left sample (1, 2, 3, ...),
// its right sample naming the sound, so that a recording shows where each frame went.
inline std::string CountingSound(int frames, int16_t mark) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames; i++) {
        s.push_back((int16_t)(i + 1));
        s.push_back(mark);
    }
    return MakeWav16(48000, 2, s);
}

// Where in a stereo recording the sound named `mark` begins (its frame 1), or -1.
inline long FindStart(const std::vector<int16_t> &rec, int16_t mark, size_t from = 0) {
    for (size_t f = from; 2 * f + 1 < rec.size(); f++)
        if (rec[2 * f] == 1 && rec[2 * f + 1] == mark) return (long)f;
    return -1;
}

// How many frames of the sound named `mark` follow each other unbroken from `start`.
inline int Unbroken(const std::vector<int16_t> &rec, long start, int16_t mark) {
    int n = 0;
    for (size_t f = (size_t)start; 2 * f + 1 < rec.size(); f++, n++)
        if (rec[2 * f] != (int16_t)(n + 1) || rec[2 * f + 1] != mark) break;
    return n;
}

#endif
