// The first start of an installed player: when there is no settings file yet, it gets
// one whose keys hold the demo bank that comes with the player, as an installer shipping
// a starter bank would set it up. The bank lies beside the executable (demo/ in the build
// tree) or in its share folder (../share/qksonnerix/demo/ once installed). An existing
// settings file, whatever the case of its name, is never touched, nor even read: the new
// file is made under another name and linked into place only if none has come meanwhile.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/driver/desktop/desktop.h"
#include "platform/kernel32/dos.h"

namespace qk {
namespace desktop {
namespace {

const char kSettings[] = "ZELVRANT.INI";

bool ReadSmallFile(const std::string &path, std::string &bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < 65536;
    char buf[4096];
    ssize_t got;
    while (ok && (got = read(fd, buf, sizeof buf)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        else bytes.append(buf, (size_t)got);
    }
    close(fd);
    return ok;
}

// A host path as the program names it: drive Z: is the root of the file system.
std::string DosPathOf(const std::string &host) {
    std::string dos = "Z:" + host;
    for (char &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

// The settings that give the bank's samples to the keys, F1 the first, and the bank's
// folder to "Load QK-file". The bank is the player's own format: a mark of five characters
// and one more, then a sample path a line, ended by an empty line or the end.
std::string StarterSettings(const std::string &bank, const std::string &folder) {
    std::string out = "[QK_Pex]\r\n";
    size_t at = 6;
    for (int key = 1; key <= 12 && at < bank.size(); key++) {
        size_t end = bank.find('\n', at);
        if (end == std::string::npos) break;  // a last line without its line feed is no path
        std::string line = bank.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        out += "Wave" + std::to_string(key) + "=" + line + "\r\n";
    }
    out += "[QK_Wav]\r\nSavefile=" + DosPathOf(folder) + "\\*.QK\r\n";
    return out;
}

}  // namespace

void GiveStarterSettings() {
    std::string exe = qk::ExecutableDir();
    if (exe.empty()) return;
    std::string config = ConfigDir(), actual;
    if (FindEntryNoCase(config, kSettings, actual)) return;
    std::string bank, folder;
    for (const std::string &dir : {exe + "/demo", exe + "/../share/qksonnerix/demo"}) {
        char real[PATH_MAX];
        if (!realpath(dir.c_str(), real)) continue;
        if (ReadSmallFile(std::string(real) + "/DEMO.QK", bank) && bank.size() > 6) {
            folder = real;
            break;
        }
        bank.clear();
    }
    if (folder.empty() || !EnsureConfigDir()) return;
    std::string text = StarterSettings(bank, folder);
    std::string tmp = config + "/.starter.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back(0);
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return;
    bool written = fchmod(fd, 0644) == 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size() &&
                   fsync(fd) == 0;
    close(fd);
    // A link fails when a file of that name has come meanwhile: that one is kept.
    if (written && link(name.data(), (config + "/" + kSettings).c_str()) == 0)
        fprintf(stderr, "qksonnerix: a first settings file puts the demo bank on the keys (%s/DEMO.QK): F1 plays the "
                        "first sample\n",
                folder.c_str());
    unlink(name.data());
}

}  // namespace desktop
}  // namespace qk
