// Resources of the stand-in, for user32 and the drivers: the program's resource script
// (res/qksonnerix.rc, the one windres compiles for Windows) is compiled in as text at build
// time together with the files it names, and read at run time. The system icons are drawn
// here. Not part of the program's API.
#ifndef QK_PLATFORM_RESOURCES_H
#define QK_PLATFORM_RESOURCES_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace qk {
namespace res {

// Files compiled in by res/embed.cmake (build/generated/res_embedded.cpp): the script
// first, then the files it names and the headers it includes. Each holds a NUL after its
// `size` bytes.
struct EmbeddedFile {
    const char *name;  // bare file name, as the script names it
    const unsigned char *data;
    size_t size;
};
extern const char kEmbeddedScriptName[];
extern const EmbeddedFile kEmbeddedFiles[];
extern const size_t kEmbeddedFileCount;

// An embedded file by bare name (case-insensitive), or NULL.
const EmbeddedFile *FindEmbeddedFile(const char *name);

// A resource name: an ordinal (id != 0) or a string, kept in upper case since resource
// names compare case-insensitively.
struct ResName {
    WORD id = 0;
    std::string name;
    // Whether a name as the API takes it (MAKEINTRESOURCE(n), "#n" or a string) is this one.
    bool Matches(LPCSTR lpName) const;
};

struct IconResource {
    ResName name;
    std::string file;  // as written in the script
};

struct StringResource {
    UINT id;
    std::string text;  // escapes resolved; ANSI bytes
};

struct DialogControl {
    // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the predefined
    // classes however the script spells them, else the class name as written.
    std::string className;
    std::string text;  // "#n" when the script gives a number (an icon control's icon)
    int id = 0;        // -1 for IDC_STATIC
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD style = 0;                   // with WS_CHILD | WS_VISIBLE unless taken away by NOT
    DWORD exStyle = 0;
    DWORD helpId = 0;
};

struct DialogTemplate {
    ResName name;
    bool extended = false;  // DIALOGEX
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;  // with WS_CAPTION when there is a caption, DS_SETFONT when a font
    DWORD exStyle = 0;
    DWORD helpId = 0;
    std::string caption;
    std::string menu;
    std::string className;
    int fontSize = 0;  // points; 0 = no FONT statement
    std::string fontName;
    int fontWeight = 0;
    bool fontItalic = false;
    int fontCharset = 1;  // DEFAULT_CHARSET
    std::vector<DialogControl> controls;
};

// What a resource script defines, in the order written.
struct Script {
    std::vector<IconResource> icons;
    std::vector<StringResource> strings;
    std::vector<DialogTemplate> dialogs;
};

// Reads the header a script names in #include "name" into `text`; false when there is no
// such file.
using IncludeReader = std::function<bool(const std::string &name, std::string &text)>;

// Parses resource script text as windres and rc read it: comments, #define and the
// conditionals (#if, #ifdef, #ifndef, #else, #endif), #include "header" read where it
// stands (through `include`; by default the embedded files, by bare name) and #include
// <header> skipped (the names of windows.h that scripts use are built in), quoted strings
// with C escapes and doubled quotes, ICON, STRINGTABLE, DIALOG and DIALOGEX, numeric
// expressions with the window, dialog and control style names. On failure gives false and
// "line N: what" in *error ("header line N: what" for a line of a header).
bool ParseScript(const char *text, size_t length, Script &out, std::string *error,
                 const IncludeReader &include = IncludeReader());

// The program's own resources, parsed from the embedded script on first use. A script that
// does not parse leaves them empty (the tests parse it, so that never ships).
const Script &ModuleScript();
// A string of the program's string table, or NULL.
const std::string *FindString(UINT id);
// A dialog template of the program by name (MAKEINTRESOURCE(n), "#n" or a string), or NULL.
const DialogTemplate *FindDialog(LPCSTR name);

// A decoded icon image: top row first, one 0xAARRGGBB value per pixel, alpha 0 where the
// icon's mask makes the pixel transparent and 255 elsewhere.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Decodes the image of an .ico file that best fits a wanted size (the closest size, then
// the most colours). Takes 1, 4, 8, 24 and 32 bits per pixel, checks every size and offset
// against the data, and gives false for anything else.
bool DecodeIco(const unsigned char *data, size_t size, int wantedSize, IconImage &out);

// The pixels of an icon that LoadIconA gave, or NULL for anything that is no such icon.
// An icon keeps the size of its image; the drivers scale it where they draw it.
const IconImage *IconPixels(HICON icon);

}  // namespace res
}  // namespace qk

#endif
