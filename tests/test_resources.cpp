#include <string.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/user32/resources.h"
#include "platform/win32.h"
#include "tests/support.h"

namespace {

class Resources : public StandinTest {};

std::string String(UINT id, int room = 1024) {
    std::vector<char> buf((size_t)room + 1, '#');
    int n = LoadStringA(GetModuleHandleA(NULL), id, buf.data(), room);
    EXPECT_EQ(buf[(size_t)n], '\0');
    return std::string(buf.data(), (size_t)n);
}

bool EndsWith(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The colours of the 16-colour palette, as 0xAARRGGBB.
const std::set<uint32_t> kStandardColours = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

// Every pixel is one of the 16 colours or transparent, and there are both kinds.
void ExpectStandardColours(const qk::res::IconImage &image) {
    int opaque = 0, clear = 0;
    for (uint32_t p : image.pixels) {
        if (p == 0) {
            clear++;
            continue;
        }
        opaque++;
        EXPECT_TRUE(kStandardColours.count(p)) << std::hex << p;
    }
    EXPECT_GT(opaque, 0);
    EXPECT_GT(clear, 0);
}

unsigned U16(const unsigned char *p) { return p[0] | (p[1] << 8); }
uint32_t U32(const unsigned char *p) { return U16(p) | ((uint32_t)U16(p + 2) << 16); }

// The pixel art an icon was drawn from, as rows of characters.
std::vector<std::string> Art(const char *name) {
    std::ifstream in(std::string(QK_SOURCE_DIR) + "/res/" + name);
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') rows.push_back(line);
    }
    return rows;
}

TEST_F(Resources, TheStringTable) {
    std::string about = String(1);
    EXPECT_EQ(about.rfind("QK Sonnerix\n", 0), 0u) << about;
    EXPECT_TRUE(EndsWith(about, "\n\nYou gotta love this program!\nWell, do you?")) << about;
    EXPECT_EQ(String(2),
              "Sync Audio can't run in Loop-mode\n\nChoose OK to also disable Loop-mode\n"
              "Choose Cancel to cancel Sync Audio");
    EXPECT_EQ(String(3),
              "Loop-mode requires A-sync Audio\n\nChoose OK to also switch to A-sync Audio\n"
              "Choose Cancel to cancel Loop-mode");
    // Any instance handle, NULL too, names the program's module.
    char buf[35];
    EXPECT_EQ(LoadStringA(NULL, 2, buf, sizeof buf), 34);
    EXPECT_STREQ(buf, "Sync Audio can't run in Loop-mode\n");
}

TEST_F(Resources, LoadStringTruncatesToTheBuffer) {
    EXPECT_EQ(String(2, 10), "Sync Audi");
    EXPECT_EQ(String(3, 2), "L");
    EXPECT_EQ(String(3, 1), "");
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(LoadStringA(GetModuleHandleA(NULL), 2, buf, 0), 0);
    EXPECT_STREQ(buf, "xxxxxxx");  // no room: nothing written
    EXPECT_EQ(LoadStringA(GetModuleHandleA(NULL), 2, NULL, 10), 0);
}

TEST_F(Resources, AMissingStringIsEmpty) {
    EXPECT_EQ(String(0), "");
    EXPECT_EQ(String(4), "");
    EXPECT_EQ(String(65535), "");
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(LoadStringA(GetModuleHandleA(NULL), 99, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
}

TEST_F(Resources, TheProgramIcons) {
    HINSTANCE self = GetModuleHandleA(NULL);
    HICON big = LoadIconA(self, "ICON_1");
    HICON small = LoadIconA(self, "ICON_2");
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(big, small);
    EXPECT_EQ(LoadIconA(self, "icon_1"), big);  // names are case-insensitive; one shared handle
    EXPECT_EQ(LoadIconA(self, "Icon_2"), small);

    const qk::res::IconImage *image = qk::res::IconPixels(big);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    ASSERT_EQ(image->pixels.size(), 32u * 32u);
    ExpectStandardColours(*image);

    image = qk::res::IconPixels(small);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->height, 16);
    ASSERT_EQ(image->pixels.size(), 16u * 16u);
    ExpectStandardColours(*image);

    EXPECT_EQ(LoadIconA(self, "ICON_3"), nullptr);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(LoadIconA(self, IDI_APPLICATION), nullptr);  // the program has no icon 32512
    EXPECT_EQ(LoadIconA(NULL, "ICON_1"), nullptr);         // without a module: system icons only
    EXPECT_EQ(LoadIconA(self, NULL), nullptr);
}

TEST_F(Resources, TheIconsShowTheirPixelArt) {
    const char *const colours = "0123456789abcdef";
    const uint32_t argb[16] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                               0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                               0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    struct {
        const char *icon;
        const char *art;
    } cases[] = {{"ICON_1", "icon_1.txt"}, {"ICON_2", "icon_2.txt"}};
    for (auto &c : cases) {
        std::vector<std::string> rows = Art(c.art);
        const qk::res::IconImage *image = qk::res::IconPixels(LoadIconA(GetModuleHandleA(NULL), c.icon));
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(rows.size(), (size_t)image->height) << c.art;
        for (int y = 0; y < image->height; y++) {
            ASSERT_EQ(rows[y].size(), (size_t)image->width) << c.art << " row " << y;
            for (int x = 0; x < image->width; x++) {
                char ch = rows[y][x];
                uint32_t want = ch == '.' ? 0 : argb[strchr(colours, ch) - colours];
                EXPECT_EQ(image->pixels[(size_t)y * image->width + x], want) << c.art << " " << x << "," << y;
            }
        }
    }
}

TEST_F(Resources, TheSystemIcons) {
    const int ids[] = {32512, 32513, 32514, 32515, 32516};
    std::set<HICON> handles;
    for (int id : ids) {
        HICON icon = LoadIconA(NULL, MAKEINTRESOURCEA(id));
        ASSERT_NE(icon, nullptr) << id;
        handles.insert(icon);
        EXPECT_EQ(LoadIconA(NULL, MAKEINTRESOURCEA(id)), icon);
        const qk::res::IconImage *image = qk::res::IconPixels(icon);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, 32);
        EXPECT_EQ(image->height, 32);
        ExpectStandardColours(*image);
    }
    EXPECT_EQ(handles.size(), 5u);
    EXPECT_EQ(LoadIconA(NULL, IDI_ERROR), LoadIconA(NULL, IDI_HAND));
    EXPECT_EQ(LoadIconA(NULL, IDI_WARNING), LoadIconA(NULL, IDI_EXCLAMATION));
    EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), LoadIconA(NULL, IDI_ASTERISK));
    EXPECT_EQ(LoadIconA(NULL, MAKEINTRESOURCEA(32511)), nullptr);
    EXPECT_EQ(LoadIconA(NULL, MAKEINTRESOURCEA(32519)), nullptr);
    // A cursor is no icon with pixels here.
    EXPECT_EQ(qk::res::IconPixels(LoadCursorA(NULL, IDC_ARROW)), nullptr);
    EXPECT_EQ(qk::res::IconPixels(NULL), nullptr);
}

// The generated .ico files, byte by byte: one 16-colour image, masks included.
TEST_F(Resources, TheIconFilesAreValidIco) {
    struct {
        const char *file;
        unsigned size;
    } cases[] = {{"icon_1.ico", 32}, {"icon_2.ico", 16}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.file);
        const qk::res::EmbeddedFile *f = qk::res::FindEmbeddedFile(c.file);
        ASSERT_NE(f, nullptr);
        const unsigned char *d = f->data;
        const unsigned n = c.size;
        const unsigned xorBytes = ((n * 4 + 31) / 32) * 4 * n, andBytes = ((n + 31) / 32) * 4 * n;
        const unsigned imageBytes = 40 + 64 + xorBytes + andBytes;
        ASSERT_EQ(f->size, 6u + 16u + imageBytes);
        // ICONDIR
        EXPECT_EQ(U16(d), 0u);
        EXPECT_EQ(U16(d + 2), 1u);  // an icon
        EXPECT_EQ(U16(d + 4), 1u);  // one image
        // ICONDIRENTRY
        EXPECT_EQ(d[6], n);
        EXPECT_EQ(d[7], n);
        EXPECT_EQ(d[8], 16);  // colours
        EXPECT_EQ(d[9], 0);
        EXPECT_EQ(U16(d + 10), 1u);  // planes
        EXPECT_EQ(U16(d + 12), 4u);  // bits per pixel
        EXPECT_EQ(U32(d + 14), imageBytes);
        EXPECT_EQ(U32(d + 18), 22u);
        // BITMAPINFOHEADER
        const unsigned char *h = d + 22;
        EXPECT_EQ(U32(h), 40u);
        EXPECT_EQ(U32(h + 4), n);
        EXPECT_EQ(U32(h + 8), 2 * n);  // colour and mask rows
        EXPECT_EQ(U16(h + 12), 1u);
        EXPECT_EQ(U16(h + 14), 4u);
        EXPECT_EQ(U32(h + 16), 0u);  // BI_RGB
        EXPECT_EQ(U32(h + 20), xorBytes + andBytes);
        // The palette: the 16 standard colours, blue green red order.
        const unsigned char *pal = h + 40;
        EXPECT_EQ(memcmp(pal, "\x00\x00\x00\x00", 4), 0);
        EXPECT_EQ(memcmp(pal + 7 * 4, "\xC0\xC0\xC0\x00", 4), 0);
        EXPECT_EQ(memcmp(pal + 9 * 4, "\x00\x00\xFF\x00", 4), 0);   // red
        EXPECT_EQ(memcmp(pal + 12 * 4, "\xFF\x00\x00\x00", 4), 0);  // blue
        EXPECT_EQ(memcmp(pal + 15 * 4, "\xFF\xFF\xFF\x00", 4), 0);
        // The corners are transparent: mask bits set, colour black.
        const unsigned char *mask = pal + 64 + xorBytes;
        EXPECT_TRUE(mask[0] & 0x80);                               // bottom left
        EXPECT_EQ(pal[64] >> 4, 0);
        EXPECT_TRUE(mask[andBytes - 4] & 0x80);                    // top left
        // Decoding gives the same image as the loaded icon.
        qk::res::IconImage image;
        ASSERT_TRUE(qk::res::DecodeIco(f->data, f->size, 32, image));
        EXPECT_EQ(image.width, (int)n);
        EXPECT_EQ(image.height, (int)n);
    }
}

TEST_F(Resources, BrokenIcoDataIsRefused) {
    const qk::res::EmbeddedFile *f = qk::res::FindEmbeddedFile("icon_1.ico");
    ASSERT_NE(f, nullptr);
    std::string good((const char *)f->data, f->size);
    qk::res::IconImage image;
    for (size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(qk::res::DecodeIco((const unsigned char *)good.data(), cut, 32, image)) << cut;
    std::string bad = good;
    bad[2] = 2;  // a cursor file
    EXPECT_FALSE(qk::res::DecodeIco((const unsigned char *)bad.data(), bad.size(), 32, image));
    bad = good;
    bad[22 + 14] = 5;  // 5 bits per pixel
    EXPECT_FALSE(qk::res::DecodeIco((const unsigned char *)bad.data(), bad.size(), 32, image));
    bad = good;
    bad[18] = (char)0xF0;  // the image beyond the end
    EXPECT_FALSE(qk::res::DecodeIco((const unsigned char *)bad.data(), bad.size(), 32, image));
}

TEST_F(Resources, TheEmbeddedScriptParses) {
    const qk::res::EmbeddedFile *f = qk::res::FindEmbeddedFile(qk::res::kEmbeddedScriptName);
    ASSERT_NE(f, nullptr);
    qk::res::Script script;
    std::string error;
    ASSERT_TRUE(qk::res::ParseScript((const char *)f->data, f->size, script, &error)) << error;
    ASSERT_EQ(script.icons.size(), 2u);
    EXPECT_EQ(script.icons[0].name.name, "ICON_1");
    EXPECT_EQ(script.icons[0].file, "icon_1.ico");
    EXPECT_EQ(script.icons[1].name.name, "ICON_2");
    EXPECT_EQ(script.strings.size(), 3u);
}

// The script names its ids from res/resource.h, which is compiled in beside it; the ids keep
// their numbers.
TEST_F(Resources, TheScriptTakesItsIdsFromItsHeader) {
    const qk::res::EmbeddedFile *header = qk::res::FindEmbeddedFile("resource.h");
    ASSERT_NE(header, nullptr);
    const qk::res::Script &script = qk::res::ModuleScript();
    ASSERT_EQ(script.strings.size(), 3u);
    EXPECT_EQ(script.strings[0].id, 1u);
    EXPECT_EQ(script.strings[1].id, 2u);
    EXPECT_EQ(script.strings[2].id, 3u);
    const qk::res::DialogTemplate *picker = qk::res::FindDialog("NTFS");
    ASSERT_NE(picker, nullptr);
    std::vector<int> ids;
    for (const qk::res::DialogControl &c : picker->controls) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<int>{103, 101, 102, 105, 106, 104, -1, 107}));
}

// A reader of headers from a table, counting what it was asked for.
struct Headers {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> asked;
    qk::res::IncludeReader Reader() {
        return [this](const std::string &name, std::string &text) {
            asked.push_back(name);
            for (const auto &f : files)
                if (f.first == name) {
                    text = f.second;
                    return true;
                }
            return false;
        };
    }
};

TEST_F(Resources, TheScriptReaderFollowsALocalInclude) {
    Headers h;
    h.files = {{"ids.h", "#ifndef IDS_H\n#define IDS_H\n#include \"more.h\"\n#define IDS_FIRST 7 // a comment\n#endif\n"},
               {"more.h", "/* ids */\n#define IDS_SECOND (IDS_BASE + 1)\n#define IDS_BASE 20\n"}};
    const char *text =
        "#include <windows.h>\n"
        "#include \"ids.h\"\n"
        "#include \"ids.h\"\n"  // read again, and left empty by its guard
        "#ifdef NOT_DEFINED\n"
        "#include \"never.h\"\n"
        "#endif\n"
        "STRINGTABLE\nBEGIN\n IDS_FIRST, \"one\"\n IDS_SECOND, \"two\"\nEND\n";
    qk::res::Script s;
    std::string error;
    ASSERT_TRUE(qk::res::ParseScript(text, strlen(text), s, &error, h.Reader())) << error;
    ASSERT_EQ(s.strings.size(), 2u);
    EXPECT_EQ(s.strings[0].id, 7u);
    EXPECT_EQ(s.strings[1].id, 21u);
    // <windows.h> is not asked for, nor a header in a branch not taken.
    EXPECT_EQ(h.asked, (std::vector<std::string>{"ids.h", "more.h", "ids.h"}));
}

std::string IncludeError(Headers &h, const char *text) {
    qk::res::Script s;
    std::string error;
    EXPECT_FALSE(qk::res::ParseScript(text, strlen(text), s, &error, h.Reader())) << text;
    EXPECT_TRUE(s.strings.empty() && s.icons.empty() && s.dialogs.empty());
    return error;
}

TEST_F(Resources, TheScriptReaderNamesTheHeaderOfAnError) {
    Headers h;
    h.files = {{"bad.h", "#define A 1\n\n#define\n"},
               {"open.h", "#ifdef X\n#define B 2\n"},
               {"closes.h", "#endif\n"},
               {"word.h", "#define C 3\nstray\n"},
               {"words.h", "#define C 3\nstray words\n"},
               {"self.h", "#include \"self.h\"\n"}};
    EXPECT_EQ(IncludeError(h, "\n#include \"nope.h\"\n"), "line 2: cannot open include file nope.h");
    EXPECT_EQ(IncludeError(h, "#include \"bad.h"), "line 1: #include without its closing quote");
    EXPECT_EQ(IncludeError(h, "#include \"bad.h\"\n"), "bad.h line 3: #define without a name");
    EXPECT_EQ(IncludeError(h, "#include \"open.h\"\n#endif\n"), "open.h line 3: #if without #endif");
    EXPECT_EQ(IncludeError(h, "#ifndef X\n#include \"closes.h\"\n#endif\n"), "closes.h line 1: #endif without #if");
    EXPECT_EQ(IncludeError(h, "#include \"words.h\"\n"), "words.h line 2: resource type WORDS is not supported");
    EXPECT_EQ(IncludeError(h, "#include \"self.h\"\n"), "self.h line 1: #include nested too deeply");
    // After a header, the script's lines count on.
    EXPECT_EQ(IncludeError(h, "#include \"word.h\"\nSTRINGTABLE\n"), "line 2: resource type STRINGTABLE is not supported");
}

// The names every script may use have the values of the stand-in's own headers.
TEST_F(Resources, TheScriptReaderKnowsTheHeadersNames) {
    const char *text =
        "D DIALOG 0, 0, 10, 10\n"
        "STYLE WS_POPUPWINDOW | DS_SHELLFONT\n"
        "BEGIN\n"
        "    CONTROL \"\", IDHELP, \"STATIC\", SS_SUNKEN | SS_ETCHEDFRAME, 0, 0, 1, 1\n"
        "    CONTROL \"\", IDC_STATIC, \"msctls_statusbar32\", CCS_NODIVIDER | SBARS_SIZEGRIP, 0, 0, 1, 1\n"
        "    CONTROL \"\", IDCLOSE, \"LISTBOX\", LBS_STANDARD, 0, 0, 1, 1\n"
        "END\n";
    qk::res::Script s;
    std::string error;
    ASSERT_TRUE(qk::res::ParseScript(text, strlen(text), s, &error)) << error;
    ASSERT_EQ(s.dialogs.size(), 1u);
    const qk::res::DialogTemplate &d = s.dialogs[0];
    EXPECT_EQ(d.style, (DWORD)(0x80000000L | 0x00800000L | 0x00080000L | 0x48L));
    ASSERT_EQ(d.controls.size(), 3u);
    EXPECT_EQ(d.controls[0].id, 9);
    EXPECT_EQ(d.controls[0].style & 0xFFFF, 0x1012u);
    EXPECT_EQ(d.controls[1].id, -1);
    EXPECT_EQ(d.controls[1].style & 0xFFFF, 0x0140u);
    EXPECT_EQ(d.controls[2].id, 8);
    EXPECT_EQ(d.controls[2].style, (DWORD)(0x50000000L | 0x00A00003L));
}

const char kSample[] =
    "// A script with a bit of everything\n"
    "/* a block\n"
    "   comment */\n"
    "#include <windows.h>\n"
    "#define IDS_HELLO 10\n"
    "#define IDD_ABOUT 200\n"
    "#define IDC_NAME (IDD_ABOUT + 2)\n"
    "#ifdef NOT_DEFINED\n"
    "this is not read \"at all\n"
    "#else\n"
    "#define IN_ELSE 1\n"
    "#endif\n"
    "#if IN_ELSE\n"
    "STRINGTABLE DISCARDABLE\n"
    "BEGIN\n"
    "    IDS_HELLO, \"Line\\nbreak\"   // a comment after a string\n"
    "    11 \"Back\\\\slash, \\\"quoted\\\" and \"\"doubled\"\"\"\n"
    "    12, \"tab\\there \\x41\\101 // no comment\"\n"
    "    13, \"\"\n"
    "END\n"
    "#endif\n"
    "Speaker ICON \"art\\\\speaker.ico\"\n"
    "5 ICON loose.ico\n"
    "IDD_ABOUT DIALOG DISCARDABLE 10, 20, 180, 60\n"
    "STYLE DS_MODALFRAME | WS_POPUP | WS_SYSMENU\n"
    "CAPTION \"About \"\"QK\"\"\"\n"
    "FONT 8, \"MS Sans Serif\"\n"
    "BEGIN\n"
    "    ICON \"Speaker\", -1, 8, 8\n"
    "    LTEXT \"Hello\", IDC_STATIC, 40, 8, 100, 8, NOT WS_GROUP\n"
    "    DEFPUSHBUTTON \"OK\", IDOK, 65, 40, 50, 14\n"
    "    CONTROL \"\", 101, \"msctls_statusbar32\", SBARS_SIZEGRIP, 0, 50, 180, 10\n"
    "    EDITTEXT IDC_NAME, 8, 24, 100, 12, ES_AUTOHSCROLL | NOT WS_TABSTOP\n"
    "    CONTROL \"Go\", 103, button, BS_AUTOCHECKBOX | WS_TABSTOP, 8, 40, 40, 10\n"
    "END\n"
    "Options DIALOGEX 0, 0, 100, 50\n"
    "{\n"
    "    PUSHBUTTON \"Cancel\", IDCANCEL, 10, 10, 50, 14, WS_DISABLED, WS_EX_STATICEDGE, 77\n"
    "}\n";

TEST_F(Resources, TheScriptReader) {
    qk::res::Script s;
    std::string error;
    ASSERT_TRUE(qk::res::ParseScript(kSample, sizeof kSample - 1, s, &error)) << error;

    ASSERT_EQ(s.strings.size(), 4u);
    EXPECT_EQ(s.strings[0].id, 10u);
    EXPECT_EQ(s.strings[0].text, "Line\nbreak");
    EXPECT_EQ(s.strings[1].id, 11u);
    EXPECT_EQ(s.strings[1].text, "Back\\slash, \"quoted\" and \"doubled\"");
    EXPECT_EQ(s.strings[2].text, "tab\there AA // no comment");
    EXPECT_EQ(s.strings[3].text, "");

    ASSERT_EQ(s.icons.size(), 2u);
    EXPECT_EQ(s.icons[0].name.id, 0);
    EXPECT_EQ(s.icons[0].name.name, "SPEAKER");
    EXPECT_TRUE(s.icons[0].name.Matches("speaker"));
    EXPECT_FALSE(s.icons[0].name.Matches(MAKEINTRESOURCEA(5)));
    EXPECT_EQ(s.icons[0].file, "art\\speaker.ico");
    EXPECT_EQ(s.icons[1].name.id, 5);
    EXPECT_TRUE(s.icons[1].name.Matches(MAKEINTRESOURCEA(5)));
    EXPECT_TRUE(s.icons[1].name.Matches("#5"));
    EXPECT_FALSE(s.icons[1].name.Matches("5"));
    EXPECT_EQ(s.icons[1].file, "loose.ico");

    ASSERT_EQ(s.dialogs.size(), 2u);
    const qk::res::DialogTemplate &d = s.dialogs[0];
    EXPECT_EQ(d.name.id, 200);
    EXPECT_FALSE(d.extended);
    EXPECT_EQ(d.x, 10);
    EXPECT_EQ(d.y, 20);
    EXPECT_EQ(d.cx, 180);
    EXPECT_EQ(d.cy, 60);
    // STYLE as written, WS_CAPTION for the caption, DS_SETFONT for the font
    EXPECT_EQ(d.style, 0x80L | 0x80000000L | 0x00080000L | 0x00C00000L | 0x40L);
    EXPECT_EQ(d.caption, "About \"QK\"");
    EXPECT_EQ(d.fontSize, 8);
    EXPECT_EQ(d.fontName, "MS Sans Serif");
    ASSERT_EQ(d.controls.size(), 6u);

    const DWORD childVisible = 0x50000000L;
    const qk::res::DialogControl *c = &d.controls[0];
    EXPECT_EQ(c->className, "Static");
    EXPECT_EQ(c->text, "Speaker");
    EXPECT_EQ(c->id, -1);
    EXPECT_EQ(c->x, 8);
    EXPECT_EQ(c->cx, 0);
    EXPECT_EQ(c->style, childVisible | 0x3L);  // SS_ICON

    c = &d.controls[1];
    EXPECT_EQ(c->className, "Static");
    EXPECT_EQ(c->text, "Hello");
    EXPECT_EQ(c->id, -1);
    EXPECT_EQ(c->style, childVisible);  // SS_LEFT without its WS_GROUP

    c = &d.controls[2];
    EXPECT_EQ(c->className, "Button");
    EXPECT_EQ(c->id, IDOK);
    EXPECT_EQ(c->x, 65);
    EXPECT_EQ(c->y, 40);
    EXPECT_EQ(c->cx, 50);
    EXPECT_EQ(c->cy, 14);
    EXPECT_EQ(c->style, childVisible | 0x00010000L | 0x1L);  // WS_TABSTOP | BS_DEFPUSHBUTTON

    c = &d.controls[3];
    EXPECT_EQ(c->className, "msctls_statusbar32");
    EXPECT_EQ(c->text, "");
    EXPECT_EQ(c->id, 101);
    EXPECT_EQ(c->style, childVisible | 0x100L);
    EXPECT_EQ(c->cx, 180);

    c = &d.controls[4];
    EXPECT_EQ(c->className, "Edit");
    EXPECT_EQ(c->id, 202);
    EXPECT_EQ(c->style, childVisible | 0x00800000L | 0x80L);  // WS_BORDER | ES_AUTOHSCROLL

    c = &d.controls[5];
    EXPECT_EQ(c->className, "Button");  // predefined class names in any spelling
    EXPECT_EQ(c->style, childVisible | 0x00010000L | 0x3L);

    const qk::res::DialogTemplate &x = s.dialogs[1];
    EXPECT_TRUE(x.extended);
    EXPECT_EQ(x.name.name, "OPTIONS");
    EXPECT_EQ(x.style, 0x80000000L | 0x00800000L | 0x00080000L);  // WS_POPUP | WS_BORDER | WS_SYSMENU
    ASSERT_EQ(x.controls.size(), 1u);
    EXPECT_EQ(x.controls[0].style, childVisible | 0x00010000L | 0x08000000L);
    EXPECT_EQ(x.controls[0].exStyle, 0x00020000u);
    EXPECT_EQ(x.controls[0].helpId, 77u);
}

std::string ParseError(const char *text) {
    qk::res::Script s;
    std::string error;
    EXPECT_FALSE(qk::res::ParseScript(text, strlen(text), s, &error)) << text;
    EXPECT_TRUE(s.strings.empty() && s.icons.empty() && s.dialogs.empty());
    return error;
}

TEST_F(Resources, TheScriptReaderNamesTheLineOfAnError) {
    EXPECT_EQ(ParseError("STRINGTABLE\nBEGIN\n 1, \"open\nEND\n"), "line 3: unterminated string");
    EXPECT_EQ(ParseError("\n\nA BITMAP \"a.bmp\"\n"), "line 3: resource type BITMAP is not supported");
    EXPECT_EQ(ParseError("STRINGTABLE\nBEGIN\n 1, \"a\"\n 1, \"b\"\nEND\n"), "line 4: string 1 is defined twice");
    EXPECT_EQ(ParseError("STRINGTABLE\nBEGIN\n NOSUCH, \"a\"\nEND\n"), "line 3: unknown name NOSUCH");
    EXPECT_EQ(ParseError("/* never closed\n"), "line 1: unterminated comment");
    EXPECT_EQ(ParseError("#ifdef X\n"), "line 2: #if without #endif");
    EXPECT_EQ(ParseError("STRINGTABLE\nBEGIN\n 1, \"a\"\n"), "line 4: expected a number, found the end of the script");
    EXPECT_EQ(ParseError("D DIALOG 1, 2, 3\nBEGIN\nEND\n"), "line 2: expected ',', found 'BEGIN'");
    EXPECT_EQ(ParseError("D DIALOG 1, 2, 3, 4\nBEGIN\n WIDGET 1, 2\nEND\n"),
              "line 3: expected a control or END, found 'WIDGET'");
}

}  // namespace
