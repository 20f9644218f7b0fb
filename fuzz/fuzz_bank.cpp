// Bank files on any bytes: the fuzz data is a bank file, opened as the command opens it
// (text mode) and read into the twelve slots. The world holds a few samples, a folder,
// a FIFO and an empty file under C:\SND, and nothing else.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "app/app.h"
#include "bank/bank.h"
#include "fuzz/sandbox.h"
#include "platform/driver/headless/headless.h"
#include "platform/kernel32/kernel32_test.h"
#include "platform/win32.h"
#include "sound/sound.h"

namespace {

std::string g_home;

void Check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

void PutFile(const std::string &relative, const std::string &bytes) {
    fuzz::WriteBytes(g_home + "/" + relative, bytes.data(), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    g_home = fuzz::MakeSandbox();
    mkdir((g_home + "/SND").c_str(), 0755);
    mkdir((g_home + "/SND/DIR.WAV").c_str(), 0755);
    mkfifo((g_home + "/SND/PIPE.WAV").c_str(), 0644);
    PutFile("SND/A.WAV", "RIFF\x24\0\0\0WAVEfmt " + std::string(40, '\1'));
    PutFile("SND/Long name b.wav", std::string(3000, 'b'));
    PutFile("SND/EMPTY.WAV", "");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    qk::headless::Reset();
    fuzz::WriteBytes(g_home + "/BANK.QK", data, size);
    FILE *bank = fopen("C:\\BANK.QK", "r");
    Check(bank != NULL, "the bank file opens");
    LoadBankStream(NULL, bank, "BANK.QK");
    fclose(bank);

    for (const qk::headless::BoxRecord &b : qk::headless::Boxes())
        Check(b.text.size() < SCRATCH_TEXT_SIZE, "a message fits the shared buffer");
    char key[16], stored[SCRATCH_TEXT_SIZE];
    for (int n = 0; n < SLOT_COUNT; n++) {
        const Slot &s = SlotTable[n];
        Check(strlen(s.label) < LABEL_SIZE, "a label fits");
        Check(s.loaded == 0 || s.loaded == 1, "loaded is 0 or 1");
        Check(s.loaded == (s.block != NULL), "a loaded slot has a block");
        snprintf(key, sizeof key, "Wave%d", n + 1);
        GetPrivateProfileStringA("QK_Pex", key, "", stored, sizeof stored, "ZELVRANT.INI");
        // Only a path that exists is ever stored.
        if (stored[0] && GetFileAttributesA(stored) == INVALID_FILE_ATTRIBUTES) {
            fprintf(stderr, "%s=%s\n", key, stored);
            Check(false, "a stored path exists");
        }
        FreeSlotSample(n);
        memset(SlotTable[n].label, 0, LABEL_SIZE);
    }
    Check(qk::GlobalLiveBlocks() == 0, "every block freed");
    WritePrivateProfileStringA("QK_Pex", NULL, NULL, "ZELVRANT.INI");
    return 0;
}
