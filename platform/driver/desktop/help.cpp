// Help pages open in the desktop's browser, through xdg-open: not SDL's work, so it lives
// with the desktop's other services.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/driver/driver.h"

namespace qk {
namespace driver {

namespace {

bool InPath(const char *program) {
    const char *path = getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string file = (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + program;
        if (access(file.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Whether xdg-open has anything to hand a web page to: $BROWSER, the desktop's
// browser alternatives, or an application set for HTML pages.
bool HelpViewerAvailable() {
    if (!InPath("xdg-open")) return false;
    const char *browser = getenv("BROWSER");
    if ((browser && *browser) || InPath("x-www-browser") || InPath("www-browser")) return true;
    FILE *q = popen("xdg-mime query default text/html 2>/dev/null", "r");
    if (!q) return false;
    char line[256] = "";
    bool found = fgets(line, sizeof line, q) && line[0] && line[0] != '\n';
    pclose(q);
    return found;
}

}  // namespace

bool OpenHelp(const char *hostPath, const char *keyword) {
    if (!HelpViewerAvailable()) return false;
    // A file URL with the keyword as its fragment, for the desktop's browser.
    std::string url = "file://";
    static const char kHex[] = "0123456789ABCDEF";
    auto add = [&url](const char *s, bool isPath) {
        for (const unsigned char *p = (const unsigned char *)s; *p; p++) {
            bool plain = isalnum(*p) || strchr("-._~", *p) || (isPath && *p == '/');
            if (plain) {
                url += (char)*p;
            } else {
                url += '%';
                url += kHex[*p >> 4];
                url += kHex[*p & 15];
            }
        }
    };
    add(hostPath, true);
    if (keyword && *keyword) {
        url += '#';
        add(keyword, false);
    }
    // Started twice removed, so that it never waits on us nor we on it.
    const char *argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t child = fork();
    if (child == 0) {
        setsid();
        if (fork() != 0) _exit(0);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(argv[0], (char *const *)argv);
        _exit(127);
    }
    if (child > 0) {
        int status;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return child > 0;
}

}  // namespace driver
}  // namespace qk
