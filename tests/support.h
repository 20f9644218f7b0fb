// Every test runs in a temporary world of its own: a home folder (drive C:), a
// configuration folder and a second drive D:, with the stand-in reset to its start.
#ifndef QK_TESTS_SUPPORT_H
#define QK_TESTS_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string root;    // the temporary world
    std::string home;    // HOME, the target of C:
    std::string config;  // the configuration folder of the stand-in
    std::string driveD;  // the target of D:

    // Puts the stand-in and the program's globals back as at process start, for a test
    // that runs the program more than once.
    static void ResetProgram();

    // Host path of a settings file in the configuration folder.
    std::string IniPath(const std::string &name = "ZELVRANT.INI") const;
    // Writes bytes to a host path, creating its folders.
    static void WriteFile(const std::string &path, const std::string &bytes);
    static std::string ReadFile(const std::string &path);
    static void MakeDirs(const std::string &path);
    // The settings file's text, or "" when it does not exist.
    std::string IniText() const { return ReadFile(IniPath()); }
    void SetIni(const std::string &text) { WriteFile(IniPath(), text); }
    // Reads a key of "QK_Pex" the way the program does; "<absent>" when missing.
    static std::string Key(const char *key, const char *section = "QK_Pex");
    // Runs `check` in a child process as a user without privileges, for checks that
    // root's privileges would defeat (root reads and writes whatever the permissions
    // say). Run as root, the child becomes nobody and is given the test's world first.
    // The child's failures are printed there; the result is 0 when it passed.
    int RunUnprivileged(std::function<void()> check);
};

#endif
