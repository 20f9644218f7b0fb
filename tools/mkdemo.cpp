// Build tool: the demo bank. Writes a handful of short jingles (16-bit mono WAV files,
// synthesised here, so that no recording has to be kept in the sources) and a bank file
// DEMO.QK naming them, into a folder of the build tree, or of an installation (then the
// bank names the folder the jingles are installed to, which may differ from where they
// are made, as with a staging folder).
//
//   mkdemo <folder> [<folder the bank names>]
//
// A bank file starts with the mark "!Fuck" and one more character (a line feed here),
// then holds one sample path per line, each ended by a line feed, twelve at most. The
// paths are the program's DOS paths: drive Z: is the root of the file system.
#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

const int kRate = 44100;

struct Note {
    double hz;      // 0: a rest
    double beats;
};

struct Jingle {
    const char *file;
    double beatSeconds;
    std::vector<Note> notes;
    bool bell;  // a struck, ringing sound rather than a held one
};

void Put(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s += (char)((v >> (8 * i)) & 0xFF);
}

std::string Wav(const std::vector<int16_t> &samples) {
    std::string data;
    for (int16_t v : samples) Put(data, (uint16_t)v, 2);
    std::string w = "RIFF";
    Put(w, (uint32_t)(36 + data.size()), 4);
    w += "WAVEfmt ";
    Put(w, 16, 4);
    Put(w, 1, 2);  // PCM
    Put(w, 1, 2);  // mono
    Put(w, kRate, 4);
    Put(w, kRate * 2, 4);
    Put(w, 2, 2);
    Put(w, 16, 2);
    w += "data";
    Put(w, (uint32_t)data.size(), 4);
    return w + data;
}

std::vector<int16_t> Render(const Jingle &j) {
    std::vector<int16_t> out;
    for (const Note &n : j.notes) {
        int frames = (int)(n.beats * j.beatSeconds * kRate);
        for (int i = 0; i < frames; i++) {
            double t = (double)i / kRate, v = 0;
            if (n.hz > 0) {
                double envelope;
                if (j.bell) {
                    envelope = exp(-4.0 * t);
                } else {
                    double attack = t < 0.01 ? t / 0.01 : 1.0;
                    double release = (double)(frames - i) / kRate < 0.03 ? (double)(frames - i) / kRate / 0.03 : 1.0;
                    envelope = attack * release;
                }
                v = sin(2 * M_PI * n.hz * t) + 0.35 * sin(4 * M_PI * n.hz * t) + 0.15 * sin(6 * M_PI * n.hz * t);
                v *= envelope * 0.45;
            }
            out.push_back((int16_t)lrint(v * 32767 / 1.5));
        }
    }
    return out;
}

bool WriteFile(const std::string &path, const std::string &bytes) {
    std::string temp = path + ".tmp";
    FILE *f = fopen(temp.c_str(), "wb");
    bool ok = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f) ok = (fclose(f) == 0) && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        fprintf(stderr, "mkdemo: cannot write %s\n", path.c_str());
        remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: mkdemo <folder> [<folder the bank names>]\n");
        return 2;
    }
    // Every folder on the way, as mkdir -p makes them.
    std::string made;
    for (const char *p = argv[1]; *p; p++) {
        made += *p;
        if (p[1] == '/' || p[1] == 0) mkdir(made.c_str(), 0777);
    }
    char folder[PATH_MAX];
    if (!realpath(argv[1], folder)) {
        fprintf(stderr, "mkdemo: cannot make %s\n", argv[1]);
        return 1;
    }
    // Installed, the bank names the folder it is installed to, not the one it is made in.
    std::string named = argc == 3 ? argv[2] : folder;
    const double C5 = 523.25, D5 = 587.33, E5 = 659.25, F5 = 698.46, G5 = 783.99, A5 = 880.00, C6 = 1046.50,
                 G4 = 392.00, C4 = 261.63, E4 = 329.63;
    const std::vector<Jingle> jingles = {
        {"ding.wav", 0.6, {{C6, 1}}, true},
        {"dingdong.wav", 0.5, {{E5, 1}, {C5, 1.5}}, true},
        {"fanfare.wav", 0.14, {{G4, 1}, {C5, 1}, {E5, 1}, {G5, 2}, {E5, 1}, {G5, 4}}, false},
        {"station.wav", 0.18, {{C5, 1}, {E5, 1}, {G5, 1}, {C6, 3}, {0, 1}}, false},
        {"question.wav", 0.2, {{G5, 1}, {E5, 1}, {F5, 1}, {A5, 3}}, false},
        {"sadtrombone.wav", 0.35, {{D5, 1}, {554.37, 1}, {C5, 1}, {493.88, 3}}, false},
        {"cue.wav", 0.1, {{A5, 1}, {0, 1}, {A5, 1}}, false},
        {"break.wav", 0.25, {{C5, 1}, {G4, 1}, {E4, 1}, {C4, 3}}, false},
    };
    std::string bank = "!Fuck\n";
    for (const Jingle &j : jingles) {
        std::string path = std::string(folder) + "/" + j.file;
        if (!WriteFile(path, Wav(Render(j)))) return 1;
        std::string dos = "Z:" + named + "/" + j.file;
        for (char &c : dos)
            if (c == '/') c = '\\';
        bank += dos + "\n";
    }
    if (!WriteFile(std::string(folder) + "/DEMO.QK", bank)) return 1;
    return 0;
}
