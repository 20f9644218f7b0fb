// A world of its own for a fuzz target, made once per process: a home folder (the only
// drive, C:) and a configuration folder under a fresh temporary folder, in /dev/shm
// where it exists so that the settings writes cost no disk time. Removed at exit.
#ifndef QK_FUZZ_SANDBOX_H
#define QK_FUZZ_SANDBOX_H

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

inline std::string &SandboxRoot() {
    static std::string root;
    return root;
}

inline void RemoveSandbox() {
    std::error_code ec;
    if (!SandboxRoot().empty()) std::filesystem::remove_all(SandboxRoot(), ec);
}

inline void WriteBytes(const std::string &path, const void *data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)data, (std::streamsize)size);
}

// Makes the world and points HOME and XDG_CONFIG_HOME at it; gives the home folder.
inline std::string MakeSandbox() {
    const char *base = getenv("QK_FUZZ_TMP");
    std::string dir = base ? base : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    std::string tmpl = dir + "/qk-fuzz-XXXXXX";
    if (!mkdtemp(&tmpl[0])) {
        perror("mkdtemp");
        abort();
    }
    SandboxRoot() = tmpl;
    atexit(RemoveSandbox);
    std::string home = tmpl + "/home";
    std::string devices = tmpl + "/config/qksonnerix/dosdevices";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(devices);
    // Only C: exists: no path read from fuzz data can reach the rest of the machine.
    if (symlink(home.c_str(), (devices + "/c:").c_str()) != 0) abort();
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tmpl + "/config").c_str(), 1);
    if (chdir(home.c_str()) != 0) abort();
    return home;
}

}  // namespace fuzz

#endif
