// fopen for DOS paths. Only regular files open: a directory, a FIFO or a device is
// refused at once (never a blocking open). Text mode reads as the platform's runtime
// does: every CR byte is dropped and a 0x1A byte ends the file; text writes turn LF
// into CRLF.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/crt/crt.h"
#include "platform/crt/crt_test.h"
#include "platform/kernel32/dos.h"

#undef fopen

namespace {

struct TextStream {
    int fd;
    bool ended;  // 0x1A seen or end of file
    char raw[8192];
};

ssize_t TextRead(void *cookie, char *buf, size_t size) {
    auto *t = (TextStream *)cookie;
    size_t out = 0;
    while (out == 0 && !t->ended) {
        size_t want = size < sizeof t->raw ? size : sizeof t->raw;
        ssize_t n = read(t->fd, t->raw, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) {
            t->ended = true;
            break;
        }
        for (ssize_t i = 0; i < n; i++) {
            char c = t->raw[i];
            if (c == 0x1A) {
                t->ended = true;
                break;
            }
            if (c != '\r') buf[out++] = c;
        }
    }
    return (ssize_t)out;
}

ssize_t TextWrite(void *cookie, const char *buf, size_t size) {
    auto *t = (TextStream *)cookie;
    std::string out;
    out.reserve(size + size / 8);
    for (size_t i = 0; i < size; i++) {
        if (buf[i] == '\n') out += '\r';
        out += buf[i];
    }
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = write(t->fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? (ssize_t)size : -1;
        done += (size_t)n;
    }
    return (ssize_t)size;
}

long g_shortReadLimit = -1;
std::function<void(const char *)> g_beforeOpen;

struct ShortStream {
    int fd;
    long left;
};

ssize_t ShortRead(void *cookie, char *buf, size_t size) {
    auto *s = (ShortStream *)cookie;
    if (s->left <= 0) return 0;
    if ((long)size > s->left) size = (size_t)s->left;
    ssize_t n = read(s->fd, buf, size);
    if (n > 0) s->left -= n;
    return n;
}

int ShortSeek(void *cookie, off64_t *offset, int whence) {
    auto *s = (ShortStream *)cookie;
    off_t r = lseek(s->fd, (off_t)*offset, whence);
    if (r < 0) return -1;
    *offset = r;
    return 0;
}

int ShortClose(void *cookie) {
    auto *s = (ShortStream *)cookie;
    int r = close(s->fd);
    delete s;
    return r;
}

int TextClose(void *cookie) {
    auto *t = (TextStream *)cookie;
    int r = close(t->fd);
    delete t;
    return r;
}

}  // namespace

FILE *QkCrtFopen(const char *path, const char *mode) {
    if (!path || !mode || !mode[0]) {
        errno = EINVAL;
        return nullptr;
    }
    bool reading = mode[0] == 'r', writing = mode[0] == 'w', appending = mode[0] == 'a';
    if (!reading && !writing && !appending) {
        errno = EINVAL;
        return nullptr;
    }
    bool plus = strchr(mode, '+') != nullptr;
    bool binary = strchr(mode, 'b') != nullptr;

    std::string host;
    if (!qk::DosResolve(path, host, !reading)) {
        errno = ENOENT;
        return nullptr;
    }
    if (g_beforeOpen) g_beforeOpen(host.c_str());
    // O_NONBLOCK: a FIFO never blocks the open; O_NOCTTY: a terminal never becomes the
    // process's controlling terminal. Both are refused below as not regular files.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (reading)
        flags |= plus ? O_RDWR : O_RDONLY;
    else
        flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | (writing ? O_TRUNC : O_APPEND);
    int fd = open(host.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EACCES;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    if (binary && reading && !plus && g_shortReadLimit >= 0) {
        cookie_io_functions_t io = {};
        io.read = ShortRead;
        io.seek = ShortSeek;
        io.close = ShortClose;
        FILE *f = fopencookie(new ShortStream{fd, g_shortReadLimit}, "r", io);
        if (!f) close(fd);
        return f;
    }
    if (binary || plus) {
        const char *m = reading ? (plus ? "r+b" : "rb") : writing ? (plus ? "w+b" : "wb") : (plus ? "a+b" : "ab");
        FILE *f = fdopen(fd, m);
        if (!f) close(fd);
        return f;
    }
    auto *t = new TextStream;
    t->fd = fd;
    t->ended = false;
    cookie_io_functions_t io = {};
    io.read = reading ? TextRead : nullptr;
    io.write = reading ? nullptr : TextWrite;
    io.close = TextClose;
    FILE *f = fopencookie(t, reading ? "r" : "w", io);
    if (!f) {
        close(fd);
        delete t;
    }
    return f;
}

namespace qk {
void SetShortReadLimit(long bytes) { g_shortReadLimit = bytes; }
void SetBeforeOpenHook(std::function<void(const char *)> hook) { g_beforeOpen = std::move(hook); }
}  // namespace qk
