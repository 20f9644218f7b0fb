// Shared by the conformance probes. A probe is one source written against platform/win32.h,
// built for the stand-in (headless driver) and as a Windows console program (MinGW), and run
// on both; tests/conformance/run.sh compares what the two print.
//
// Every observation is one line "<key>: <value>". Keys are unique within a probe and never
// contain ": "; values are plain text, strings shown by Q() in double quotes with C escapes.
#ifndef QK_CONFORMANCE_PROBE_H
#define QK_CONFORMANCE_PROBE_H

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "platform/win32.h"

// One observation.
static inline void Say(const char *key, const char *format, ...) {
    char value[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(value, sizeof value, format, args);
    va_end(args);
    printf("%s: %s\n", key, value);
}

// A key made of parts, in a rotating buffer.
static inline const char *K(const char *format, ...) {
    static char keys[8][256];
    static int next;
    char *key = keys[next++ % 8];
    va_list args;
    va_start(args, format);
    vsnprintf(key, sizeof keys[0], format, args);
    va_end(args);
    return key;
}

// A string as a quoted C literal (at most n bytes; n < 0: up to its NUL), in a rotating buffer.
static inline const char *Qn(const char *text, int n) {
    static char out[8][2048];
    static int next;
    char *o = out[next++ % 8];
    if (!text) return "NULL";
    size_t at = 0;
    o[at++] = '"';
    for (int i = 0; (n < 0 ? text[i] != 0 : i < n) && at < sizeof out[0] - 8; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c == '\\' || c == '"') {
            o[at++] = '\\';
            o[at++] = (char)c;
        } else if (c == '\r') {
            o[at++] = '\\';
            o[at++] = 'r';
        } else if (c == '\n') {
            o[at++] = '\\';
            o[at++] = 'n';
        } else if (c == '\t') {
            o[at++] = '\\';
            o[at++] = 't';
        } else if (c < 0x20 || c >= 0x7f) {
            at += snprintf(o + at, 5, "\\x%02x", c);
        } else {
            o[at++] = (char)c;
        }
    }
    o[at++] = '"';
    o[at] = 0;
    return o;
}
static inline const char *Q(const char *text) { return Qn(text, -1); }

// Writes a file whole (binary); FALSE when it cannot be written.
static inline BOOL PutFile(const char *path, const char *bytes, size_t size) {
    FILE *f = fopen(path, "wb");
    if (!f) return FALSE;
    size_t wrote = fwrite(bytes, 1, size, f);
    fclose(f);
    return wrote == size;
}

// Reads a file whole (binary) into buffer; its size, or -1.
static inline int GetFile(const char *path, char *buffer, int capacity) {
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    int size = (int)fread(buffer, 1, (size_t)capacity, f);
    fclose(f);
    return size;
}

// Registers a probe's top-level window class.
static inline void RegisterProbeClass(const char *name, WNDPROC proc, UINT style, HCURSOR cursor,
                                      HBRUSH background) {
    WNDCLASSEXA wc;
    memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
}

#ifdef _WIN32
static inline void ProbeStart(void) {}
#else
#include "platform/driver/driver.h"
static inline void ProbeStart(void) { qk::driver::Init(); }
#endif

#endif
