// The whole program as a process: the stand-in's entry, WinMain and the exit code,
// in a build with the headless driver (which closes the window when it has nothing
// more to do).
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support.h"

namespace {

class Entry : public StandinTest {
protected:
    int RunPlayer() {
        pid_t pid = fork();
        if (pid == 0) {
            execl(QK_HEADLESS_PLAYER, QK_HEADLESS_PLAYER, "ignored", "arguments", (char *)nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(Entry, RunsFromStartToExitAndKeepsItsSettings) {
    SetIni("[QK_Pex]\nLast=5\n");
    EXPECT_EQ(RunPlayer(), 0);
    std::string ini = IniText();
    for (const char *key : {"Lock=0", "Sync=0", "Loop=0", "Auto=1", "Notify=0", "Rehearse=1", "W=768", "Last=5"})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
}

TEST_F(Entry, AMissingSampleAnsweredOkIsEmptied) {
    // A missing sample is asked about; the headless box answers OK, so the run goes on
    // and the key is emptied.
    SetIni("[QK_Pex]\nWave1=C:\\GONE.WAV\n");
    EXPECT_EQ(RunPlayer(), 0);
    EXPECT_EQ(Key("Wave1"), "");
}

}  // namespace
