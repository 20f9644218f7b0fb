// Preload benchmark: twelve 50 MB samples through SlotStartup against a plain read
// loop of the same files, in one run. Each measurement runs in a child process of its
// own, so that its peak memory is its own; the files are in the page cache for both.
//   qk_bench_preload [MiB per file]
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/win32.h"
#include "sound/sound.h"

namespace fs = std::filesystem;

static double Now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Run {
    double seconds;
    double peakMiB;
};

// Runs fn in a child; gives the seconds it reported and the child's peak memory.
template <typename Fn>
static Run InChild(Fn fn) {
    int fds[2];
    if (pipe(fds) != 0) exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        double t = fn();
        if (write(fds[1], &t, sizeof t) != sizeof t) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double t = -1;
    if (read(fds[0], &t, sizeof t) != sizeof t) t = -1;
    close(fds[0]);
    int status;
    struct rusage ru;
    wait4(pid, &status, 0, &ru);
    return {t, ru.ru_maxrss / 1024.0};
}

int main(int argc, char **argv) {
    const size_t kSize = (argc > 1 ? strtoul(argv[1], nullptr, 10) : 50) * 1024 * 1024;
    std::string root = (fs::temp_directory_path() / "qk-bench-XXXXXX").string();
    if (!mkdtemp(root.data())) return 1;
    std::string home = root + "/home";
    fs::create_directories(home + "/snd");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);

    std::vector<std::string> files;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); i++) chunk[i] = (char)(i * 31);
    for (int k = 1; k <= SLOT_COUNT; k++) {
        std::string name = "sample" + std::to_string(k) + ".wav";
        FILE *f = ::fopen((home + "/snd/" + name).c_str(), "wb");
        for (size_t done = 0; done < kSize; done += chunk.size()) fwrite(chunk.data(), 1, chunk.size(), f);
        fclose(f);
        files.push_back(home + "/snd/" + name);
        std::string key = "Wave" + std::to_string(k), dos = "C:\\snd\\" + name;
        WritePrivateProfileStringA(SETTINGS_SECTION, key.c_str(), dos.c_str(), SETTINGS_FILE);
    }
    const double totalMiB = 12.0 * kSize / (1024 * 1024);

    // Plain read loop: each file in one read into memory of its own, all twelve held at
    // once as the slots hold them.
    auto plain = [&]() {
        std::vector<char *> held;
        double t0 = Now();
        for (const std::string &p : files) {
            FILE *f = ::fopen(p.c_str(), "rb");
            char *buf = (char *)malloc(kSize);
            if (!f || fread(buf, 1, kSize, f) != kSize) fprintf(stderr, "short read\n");
            if (f) fclose(f);
            held.push_back(buf);
        }
        return Now() - t0;
    };
    auto preload = [&]() {
        double t0 = Now();
        SlotStartup();
        return Now() - t0;
    };
    auto baseline = [&]() { return 0.0; };

    InChild(plain);  // fills the page cache
    std::vector<double> plainTimes, preloadTimes;
    double preloadPeak = 0, plainPeak = 0;
    for (int i = 0; i < 3; i++) {
        Run a = InChild(plain), b = InChild(preload);
        plainTimes.push_back(a.seconds);
        preloadTimes.push_back(b.seconds);
        plainPeak = std::max(plainPeak, a.peakMiB);
        preloadPeak = std::max(preloadPeak, b.peakMiB);
    }
    double idlePeak = InChild(baseline).peakMiB;
    std::sort(plainTimes.begin(), plainTimes.end());
    std::sort(preloadTimes.begin(), preloadTimes.end());
    double p = plainTimes[1], s = preloadTimes[1];

    printf("files:               12 x %zu MiB = %.0f MiB (median of 3 runs each)\n", kSize >> 20, totalMiB);
    printf("plain read loop:     %.3f s (%.0f MiB/s)\n", p, totalMiB / p);
    printf("SlotStartup preload: %.3f s (%.0f MiB/s)\n", s, totalMiB / s);
    printf("preload / plain:     %.2f (target <= 1.30)\n", s / p);
    printf("peak memory:         preload %.0f MiB = files + %.0f MiB (target < 40); plain loop %.0f MiB;"
           " process without samples %.0f MiB\n",
           preloadPeak, preloadPeak - totalMiB, plainPeak, idlePeak);
    fs::remove_all(root);
    return 0;
}
