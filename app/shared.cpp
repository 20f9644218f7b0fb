#include <string.h>

#include "app/app.h"

char ScratchText[SCRATCH_TEXT_SIZE];

static void CopyPart(char *out, const char *from, size_t count) {
    if (count > PATH_PART_SIZE - 1) count = PATH_PART_SIZE - 1;
    memcpy(out, from, count);
    out[count] = 0;
}

void SplitPath(const char *path, char *drive, char *dir, char *base, char *ext) {
    char text[PATH_SIZE + 1];
    size_t len = 0;
    while (len < PATH_SIZE && path[len]) {
        text[len] = path[len];
        len++;
    }
    text[len] = 0;

    const char *rest = text;
    if (len >= 2 && text[1] == ':') {
        CopyPart(drive, text, 2);
        rest = text + 2;
    } else {
        drive[0] = 0;
    }
    const char *lastSep = NULL;
    for (const char *p = rest; *p; p++)
        if (*p == '\\' || *p == '/') lastSep = p;
    const char *name = lastSep ? lastSep + 1 : rest;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
        CopyPart(dir, rest, strlen(rest));
        base[0] = 0;
        ext[0] = 0;
        return;
    }
    CopyPart(dir, rest, (size_t)(name - rest));
    const char *dot = strrchr(name, '.');
    if (dot) {
        CopyPart(base, name, (size_t)(dot - name));
        CopyPart(ext, dot, strlen(dot));
    } else {
        CopyPart(base, name, strlen(name));
        ext[0] = 0;
    }
}

void UpperCaseText(char *text) {
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
}

void FitPathForMessage(const char *path, char *out, size_t outSize, size_t maxChars) {
    if (outSize == 0) return;
    if (maxChars > outSize - 1) maxChars = outSize - 1;
    size_t len = strlen(path);
    if (len <= maxChars) {
        memcpy(out, path, len + 1);
    } else if (maxChars < 8) {
        memcpy(out, path, maxChars);
        out[maxChars] = 0;
    } else {
        // Keep the drive and the first directories, and the file name at the end.
        size_t head = maxChars / 4;
        size_t tail = maxChars - head - 3;
        memcpy(out, path, head);
        memcpy(out + head, "...", 3);
        memcpy(out + head + 3, path + len - tail, tail);
        out[maxChars] = 0;
    }
    UpperCaseText(out);
}
