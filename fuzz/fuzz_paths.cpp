// Path splitting and labels on any text: the four parts hold at most 255 characters,
// together they give back the path (its first 260 characters) whenever none was cut,
// the label holds at most 8 characters of the base name; and a path fitted into a
// message never outgrows its buffer.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/app.h"
#include "sound/sound.h"

namespace {

void Check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

bool HasSeparator(const char *s) { return strchr(s, '\\') || strchr(s, '/'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The text up to its first NUL, in a heap block of exactly its size.
    size_t len = strnlen((const char *)data, size);
    char *path = (char *)malloc(len + 1);
    memcpy(path, data, len);
    path[len] = 0;

    const size_t kGuard = 16;
    char drive[PATH_PART_SIZE + kGuard], dir[PATH_PART_SIZE + kGuard], base[PATH_PART_SIZE + kGuard],
        ext[PATH_PART_SIZE + kGuard];
    for (char *part : {drive, dir, base, ext}) memset(part, 'G', sizeof drive);
    SplitPath(path, drive, dir, base, ext);
    for (char *part : {drive, dir, base, ext}) {
        Check(strnlen(part, sizeof drive) <= PATH_PART_SIZE - 1, "a part holds at most 255 characters");
        for (size_t i = PATH_PART_SIZE; i < sizeof drive; i++) Check(part[i] == 'G', "nothing written past a part");
    }
    Check(drive[0] == 0 || (strlen(drive) == 2 && drive[1] == ':'), "a drive is a letter and a colon");
    Check(!HasSeparator(base) && !HasSeparator(ext), "base name and extension hold no separator");
    Check(ext[0] == 0 || ext[0] == '.', "an extension starts with its dot");
    Check(strchr(base, '.') == NULL || ext[0] == '.', "a dot in the base name means an extension follows");
    std::string whole = std::string(drive) + dir + base + ext;
    std::string first(path, len < PATH_SIZE ? len : PATH_SIZE);
    bool cut = strlen(dir) == PATH_PART_SIZE - 1 || strlen(base) == PATH_PART_SIZE - 1 ||
               strlen(ext) == PATH_PART_SIZE - 1;
    if (!cut) Check(whole == first, "the parts give back the path");

    char label[LABEL_SIZE + kGuard];
    memset(label, 'G', sizeof label);
    LabelFromPath(path, label);
    size_t labelLength = strnlen(label, sizeof label);
    Check(labelLength <= 8, "a label holds at most 8 characters");
    for (size_t i = 9; i < sizeof label; i++) Check(label[i] == 'G', "nothing written past a label");
    for (size_t i = 0; i < labelLength; i++) {
        char want = Lower(base[i]);
        if (i == 0 && want >= 'a' && want <= 'z') want = (char)(want - 'a' + 'A');
        Check(label[i] == want, "the label is the base name's start");
    }

    // A path fitted into messages of every size the data asks for.
    size_t outSize = size ? data[size - 1] : 1, maxChars = size > 1 ? data[size - 2] * 4u : 0;
    char *out = (char *)malloc(outSize ? outSize : 1);
    FitPathForMessage(path, out, outSize, maxChars);
    if (outSize > 0) {
        size_t limit = maxChars < outSize - 1 ? maxChars : outSize - 1;
        Check(strnlen(out, outSize) <= limit, "a fitted path keeps within its limit");
    }
    free(out);
    free(path);
    return 0;
}
