// The program's resources: the embedded script read once, its string table (LoadStringA)
// and its dialog templates.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <mutex>

#include "platform/user32/resources.h"
#include "platform/user32/user32.h"

namespace qk {
namespace res {
namespace {

Script g_script;
std::once_flag g_once;

void ReadModuleScript() {
    const EmbeddedFile *file = FindEmbeddedFile(kEmbeddedScriptName);
    if (!file) return;
    std::string error;
    if (!ParseScript((const char *)file->data, file->size, g_script, &error))
        fprintf(stderr, "qksonnerix: %s, %s\n", kEmbeddedScriptName, error.c_str());
}

}  // namespace

const EmbeddedFile *FindEmbeddedFile(const char *name) {
    if (!name) return nullptr;
    for (size_t i = 0; i < kEmbeddedFileCount; i++)
        if (strcasecmp(kEmbeddedFiles[i].name, name) == 0) return &kEmbeddedFiles[i];
    return nullptr;
}

bool ResName::Matches(LPCSTR lpName) const {
    if (!lpName) return false;
    if (IS_INTRESOURCE(lpName)) return id != 0 && id == LOWORD(lpName);
    if (lpName[0] == '#') {
        // "#12" names resource 12.
        char *end = nullptr;
        long n = strtol(lpName + 1, &end, 10);
        return id != 0 && end != lpName + 1 && *end == '\0' && n == id;
    }
    return id == 0 && strcasecmp(name.c_str(), lpName) == 0;
}

const Script &ModuleScript() {
    std::call_once(g_once, ReadModuleScript);
    return g_script;
}

const std::string *FindString(UINT id) {
    for (const StringResource &s : ModuleScript().strings)
        if (s.id == id) return &s.text;
    return nullptr;
}

const DialogTemplate *FindDialog(LPCSTR name) {
    for (const DialogTemplate &d : ModuleScript().dialogs)
        if (d.name.Matches(name)) return &d;
    return nullptr;
}

}  // namespace res
}  // namespace qk

// Every instance handle names the program's own module: the stand-in runs one program.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    (void)hInstance;
    // With no room the wide call hands out a pointer into the resource; the ANSI call has
    // no such form, so nothing is copied.
    if (!lpBuffer || cchBufferMax <= 0) return 0;
    const std::string *text = qk::res::FindString(uID);
    size_t n = 0;
    if (text) {
        n = text->size();
        if (n > (size_t)cchBufferMax - 1) n = (size_t)cchBufferMax - 1;
        memcpy(lpBuffer, text->data(), n);
    }
    lpBuffer[n] = '\0';
    return (int)n;
}
