// The resource script reader: the subset of the resource compiler's language that the
// program's script uses, read the way windres and rc read it.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/user32/resources.h"

namespace qk {
namespace res {
namespace {

// Names every script may use without an #include: those of windows.h that resource
// scripts use.
struct Constant {
    const char *name;
    long value;
};

const Constant kConstants[] = {
    // Window styles
    {"WS_OVERLAPPED", 0x00000000L}, {"WS_TILED", 0x00000000L}, {"WS_POPUP", 0x80000000L},
    {"WS_CHILD", 0x40000000L}, {"WS_CHILDWINDOW", 0x40000000L}, {"WS_MINIMIZE", 0x20000000L},
    {"WS_ICONIC", 0x20000000L}, {"WS_VISIBLE", 0x10000000L}, {"WS_DISABLED", 0x08000000L},
    {"WS_CLIPSIBLINGS", 0x04000000L}, {"WS_CLIPCHILDREN", 0x02000000L}, {"WS_MAXIMIZE", 0x01000000L},
    {"WS_CAPTION", 0x00C00000L}, {"WS_BORDER", 0x00800000L}, {"WS_DLGFRAME", 0x00400000L},
    {"WS_VSCROLL", 0x00200000L}, {"WS_HSCROLL", 0x00100000L}, {"WS_SYSMENU", 0x00080000L},
    {"WS_THICKFRAME", 0x00040000L}, {"WS_SIZEBOX", 0x00040000L}, {"WS_GROUP", 0x00020000L},
    {"WS_TABSTOP", 0x00010000L}, {"WS_MINIMIZEBOX", 0x00020000L}, {"WS_MAXIMIZEBOX", 0x00010000L},
    {"WS_OVERLAPPEDWINDOW", 0x00CF0000L}, {"WS_TILEDWINDOW", 0x00CF0000L}, {"WS_POPUPWINDOW", 0x80880000L},
    // Extended window styles
    {"WS_EX_DLGMODALFRAME", 0x00000001L}, {"WS_EX_NOPARENTNOTIFY", 0x00000004L},
    {"WS_EX_TOPMOST", 0x00000008L}, {"WS_EX_ACCEPTFILES", 0x00000010L}, {"WS_EX_TRANSPARENT", 0x00000020L},
    {"WS_EX_MDICHILD", 0x00000040L}, {"WS_EX_TOOLWINDOW", 0x00000080L}, {"WS_EX_WINDOWEDGE", 0x00000100L},
    {"WS_EX_CLIENTEDGE", 0x00000200L}, {"WS_EX_CONTEXTHELP", 0x00000400L}, {"WS_EX_RIGHT", 0x00001000L},
    {"WS_EX_LEFT", 0x00000000L}, {"WS_EX_RTLREADING", 0x00002000L}, {"WS_EX_LEFTSCROLLBAR", 0x00004000L},
    {"WS_EX_CONTROLPARENT", 0x00010000L}, {"WS_EX_STATICEDGE", 0x00020000L}, {"WS_EX_APPWINDOW", 0x00040000L},
    // Dialog styles
    {"DS_ABSALIGN", 0x01L}, {"DS_SYSMODAL", 0x02L}, {"DS_3DLOOK", 0x04L}, {"DS_FIXEDSYS", 0x08L},
    {"DS_NOFAILCREATE", 0x10L}, {"DS_LOCALEDIT", 0x20L}, {"DS_SETFONT", 0x40L}, {"DS_MODALFRAME", 0x80L},
    {"DS_NOIDLEMSG", 0x100L}, {"DS_SETFOREGROUND", 0x200L}, {"DS_CONTROL", 0x400L}, {"DS_CENTER", 0x800L},
    {"DS_CENTERMOUSE", 0x1000L}, {"DS_CONTEXTHELP", 0x2000L}, {"DS_SHELLFONT", 0x48L},
    // Button styles
    {"BS_PUSHBUTTON", 0x0L}, {"BS_DEFPUSHBUTTON", 0x1L}, {"BS_CHECKBOX", 0x2L}, {"BS_AUTOCHECKBOX", 0x3L},
    {"BS_RADIOBUTTON", 0x4L}, {"BS_3STATE", 0x5L}, {"BS_AUTO3STATE", 0x6L}, {"BS_GROUPBOX", 0x7L},
    {"BS_USERBUTTON", 0x8L}, {"BS_AUTORADIOBUTTON", 0x9L}, {"BS_PUSHBOX", 0xAL}, {"BS_OWNERDRAW", 0xBL},
    {"BS_TYPEMASK", 0xFL}, {"BS_LEFTTEXT", 0x20L}, {"BS_RIGHTBUTTON", 0x20L}, {"BS_TEXT", 0x0L},
    {"BS_ICON", 0x40L}, {"BS_BITMAP", 0x80L}, {"BS_LEFT", 0x100L}, {"BS_RIGHT", 0x200L},
    {"BS_CENTER", 0x300L}, {"BS_TOP", 0x400L}, {"BS_BOTTOM", 0x800L}, {"BS_VCENTER", 0xC00L},
    {"BS_PUSHLIKE", 0x1000L}, {"BS_MULTILINE", 0x2000L}, {"BS_NOTIFY", 0x4000L}, {"BS_FLAT", 0x8000L},
    // Static styles
    {"SS_LEFT", 0x0L}, {"SS_CENTER", 0x1L}, {"SS_RIGHT", 0x2L}, {"SS_ICON", 0x3L}, {"SS_BLACKRECT", 0x4L},
    {"SS_GRAYRECT", 0x5L}, {"SS_WHITERECT", 0x6L}, {"SS_BLACKFRAME", 0x7L}, {"SS_GRAYFRAME", 0x8L},
    {"SS_WHITEFRAME", 0x9L}, {"SS_USERITEM", 0xAL}, {"SS_SIMPLE", 0xBL}, {"SS_LEFTNOWORDWRAP", 0xCL},
    {"SS_OWNERDRAW", 0xDL}, {"SS_BITMAP", 0xEL}, {"SS_ENHMETAFILE", 0xFL}, {"SS_ETCHEDHORZ", 0x10L},
    {"SS_ETCHEDVERT", 0x11L}, {"SS_ETCHEDFRAME", 0x12L}, {"SS_TYPEMASK", 0x1FL}, {"SS_NOPREFIX", 0x80L},
    {"SS_NOTIFY", 0x100L}, {"SS_CENTERIMAGE", 0x200L}, {"SS_RIGHTJUST", 0x400L},
    {"SS_REALSIZEIMAGE", 0x800L}, {"SS_SUNKEN", 0x1000L}, {"SS_ENDELLIPSIS", 0x4000L},
    {"SS_PATHELLIPSIS", 0x8000L}, {"SS_WORDELLIPSIS", 0xC000L},
    // Edit styles
    {"ES_LEFT", 0x0L}, {"ES_CENTER", 0x1L}, {"ES_RIGHT", 0x2L}, {"ES_MULTILINE", 0x4L},
    {"ES_UPPERCASE", 0x8L}, {"ES_LOWERCASE", 0x10L}, {"ES_PASSWORD", 0x20L}, {"ES_AUTOVSCROLL", 0x40L},
    {"ES_AUTOHSCROLL", 0x80L}, {"ES_NOHIDESEL", 0x100L}, {"ES_OEMCONVERT", 0x400L},
    {"ES_READONLY", 0x800L}, {"ES_WANTRETURN", 0x1000L}, {"ES_NUMBER", 0x2000L},
    // List box styles
    {"LBS_NOTIFY", 0x1L}, {"LBS_SORT", 0x2L}, {"LBS_NOREDRAW", 0x4L}, {"LBS_MULTIPLESEL", 0x8L},
    {"LBS_OWNERDRAWFIXED", 0x10L}, {"LBS_OWNERDRAWVARIABLE", 0x20L}, {"LBS_HASSTRINGS", 0x40L},
    {"LBS_USETABSTOPS", 0x80L}, {"LBS_NOINTEGRALHEIGHT", 0x100L}, {"LBS_MULTICOLUMN", 0x200L},
    {"LBS_WANTKEYBOARDINPUT", 0x400L}, {"LBS_EXTENDEDSEL", 0x800L}, {"LBS_DISABLENOSCROLL", 0x1000L},
    {"LBS_NODATA", 0x2000L}, {"LBS_NOSEL", 0x4000L}, {"LBS_STANDARD", 0x00A00003L},
    // Combo box styles
    {"CBS_SIMPLE", 0x1L}, {"CBS_DROPDOWN", 0x2L}, {"CBS_DROPDOWNLIST", 0x3L},
    {"CBS_OWNERDRAWFIXED", 0x10L}, {"CBS_OWNERDRAWVARIABLE", 0x20L}, {"CBS_AUTOHSCROLL", 0x40L},
    {"CBS_OEMCONVERT", 0x80L}, {"CBS_SORT", 0x100L}, {"CBS_HASSTRINGS", 0x200L},
    {"CBS_NOINTEGRALHEIGHT", 0x400L}, {"CBS_DISABLENOSCROLL", 0x800L}, {"CBS_UPPERCASE", 0x2000L},
    {"CBS_LOWERCASE", 0x4000L},
    // Scroll bar styles
    {"SBS_HORZ", 0x0L}, {"SBS_VERT", 0x1L},
    // Common control styles (the status bar)
    {"CCS_TOP", 0x1L}, {"CCS_NOMOVEY", 0x2L}, {"CCS_BOTTOM", 0x3L}, {"CCS_NORESIZE", 0x4L},
    {"CCS_NOPARENTALIGN", 0x8L}, {"CCS_ADJUSTABLE", 0x20L}, {"CCS_NODIVIDER", 0x40L},
    {"SBARS_SIZEGRIP", 0x100L},
    // Dialog box command ids
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6},
    {"IDNO", 7}, {"IDCLOSE", 8}, {"IDHELP", 9}, {"IDC_STATIC", -1},
};

enum class Tok { End, Ident, Number, String, Comma, Pipe, Plus, Minus, Amp, Tilde, LParen, RParen, LBrace, RBrace };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, or the string's bytes
    long value = 0;    // number
    int line = 0;
};

struct ParseError : std::runtime_error {
    int line;
    ParseError(int l, const std::string &what) : std::runtime_error(what), line(l) {}
};

std::string Upper(std::string s) {
    for (char &c : s) c = (char)toupper((unsigned char)c);
    return s;
}

bool Is(const Token &t, const char *keyword) {
    return t.kind == Tok::Ident && strcasecmp(t.text.c_str(), keyword) == 0;
}

bool IsBegin(const Token &t) { return t.kind == Tok::LBrace || Is(t, "BEGIN"); }
bool IsEnd(const Token &t) { return t.kind == Tok::RBrace || Is(t, "END"); }

// Turns the text into tokens, running the preprocessor's directives on the way: #define
// makes a name, the conditionals drop lines, #include, #pragma and #undef of unknown names
// are skipped.
class Lexer {
public:
    Lexer(const char *text, size_t length) : p_(text), end_(text + length) {}

    std::map<std::string, std::vector<Token>> macros;

    Token Next() {
        for (;;) {
            SkipBlanks();
            if (p_ >= end_) {
                if (!conditions_.empty()) throw ParseError(line_, "#if without #endif");
                return Token{Tok::End, "", 0, line_};
            }
            if (atLineStart_ && *p_ == '#') {
                Directive();
                continue;
            }
            atLineStart_ = false;
            if (Skipping()) {
                SkipLine();
                continue;
            }
            return Lex();
        }
    }

    // Tokens of one line of text (a #define's value).
    std::vector<Token> LexLine() {
        std::vector<Token> tokens;
        for (;;) {
            while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r')) p_++;
            if (p_ >= end_ || *p_ == '\n') break;
            if (p_ + 1 < end_ && p_[0] == '/' && (p_[1] == '/' || p_[1] == '*')) {
                if (p_[1] == '/') {
                    SkipLine();
                    break;
                }
                SkipBlockComment();
                continue;
            }
            tokens.push_back(Lex());
        }
        return tokens;
    }

private:
    const char *p_;
    const char *end_;
    int line_ = 1;
    bool atLineStart_ = true;
    // One entry per open conditional: whether its lines are read, and whether a branch
    // of it was taken already.
    struct Condition {
        bool active;
        bool taken;
        bool outerActive;
    };
    std::vector<Condition> conditions_;

    bool Skipping() const { return !conditions_.empty() && !conditions_.back().active; }

    void SkipLine() {
        while (p_ < end_ && *p_ != '\n') p_++;
    }

    void SkipBlockComment() {
        int startLine = line_;
        p_ += 2;
        while (p_ + 1 < end_ && !(p_[0] == '*' && p_[1] == '/')) {
            if (*p_ == '\n') line_++;
            p_++;
        }
        if (p_ + 1 >= end_) throw ParseError(startLine, "unterminated comment");
        p_ += 2;
    }

    void SkipBlanks() {
        while (p_ < end_) {
            char c = *p_;
            if (c == '\n') {
                line_++;
                atLineStart_ = true;
                p_++;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                p_++;
            } else if (c == '/' && p_ + 1 < end_ && p_[1] == '/') {
                SkipLine();
            } else if (c == '/' && p_ + 1 < end_ && p_[1] == '*') {
                SkipBlockComment();
            } else {
                break;
            }
        }
    }

    std::string Word() {
        std::string w;
        while (p_ < end_ && (isalnum((unsigned char)*p_) || *p_ == '_')) w += *p_++;
        return w;
    }

    bool Defined(const std::string &name) const {
        if (name == "RC_INVOKED") return true;
        return macros.count(name) != 0;
    }

    // The value of an #if line: a number, a name, defined(NAME) or defined NAME, with !.
    bool Truth() {
        std::vector<Token> tokens = LexLine();
        size_t i = 0;
        bool negate = false;
        auto fail = [&]() { return ParseError(line_, "#if: only a number, a name or defined(NAME) is understood"); };
        // '!' is no token of the script language; read it here.
        while (i < tokens.size() && tokens[i].kind == Tok::Ident && tokens[i].text == "!") {
            negate = !negate;
            i++;
        }
        if (i >= tokens.size()) throw fail();
        bool value;
        if (tokens[i].kind == Tok::Ident && tokens[i].text == "defined") {
            i++;
            bool paren = i < tokens.size() && tokens[i].kind == Tok::LParen;
            if (paren) i++;
            if (i >= tokens.size() || tokens[i].kind != Tok::Ident) throw fail();
            value = Defined(tokens[i].text);
            i++;
            if (paren) {
                if (i >= tokens.size() || tokens[i].kind != Tok::RParen) throw fail();
                i++;
            }
        } else if (tokens[i].kind == Tok::Number) {
            value = tokens[i++].value != 0;
        } else if (tokens[i].kind == Tok::Ident) {
            auto m = macros.find(tokens[i].text);
            value = m != macros.end() && m->second.size() == 1 && m->second[0].kind == Tok::Number &&
                    m->second[0].value != 0;
            i++;
        } else {
            throw fail();
        }
        if (i != tokens.size()) throw fail();
        return negate ? !value : value;
    }

    void Directive() {
        int line = line_;
        p_++;  // '#'
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) p_++;
        std::string name = Word();
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) p_++;
        bool active = !Skipping();
        if (name == "if" || name == "ifdef" || name == "ifndef") {
            bool value = false;
            if (active) {
                if (name == "if") {
                    value = Truth();
                } else {
                    std::string macro = Word();
                    if (macro.empty()) throw ParseError(line, "#" + name + " without a name");
                    value = Defined(macro) == (name == "ifdef");
                }
            }
            SkipLine();
            conditions_.push_back({active && value, value, active});
        } else if (name == "elif" || name == "else") {
            if (conditions_.empty()) throw ParseError(line, "#" + name + " without #if");
            Condition &c = conditions_.back();
            bool value = !c.taken && c.outerActive && (name == "else" || Truth());
            SkipLine();
            c.active = value;
            c.taken = c.taken || value;
        } else if (name == "endif") {
            if (conditions_.empty()) throw ParseError(line, "#endif without #if");
            conditions_.pop_back();
            SkipLine();
        } else if (!active) {
            SkipLine();
        } else if (name == "define") {
            std::string macro = Word();
            if (macro.empty()) throw ParseError(line, "#define without a name");
            if (p_ < end_ && *p_ == '(') throw ParseError(line, "#define with parameters is not supported");
            macros[macro] = LexLine();
        } else if (name == "undef") {
            macros.erase(Word());
            SkipLine();
        } else if (name == "include" || name == "pragma" || name.empty()) {
            // The script needs nothing from headers: the names it uses are built in.
            SkipLine();
        } else if (name == "error") {
            throw ParseError(line, "#error");
        } else {
            throw ParseError(line, "unknown directive #" + name);
        }
        atLineStart_ = true;
    }

    Token Lex() {
        Token t;
        t.line = line_;
        char c = *p_;
        if (c == 'L' && p_ + 1 < end_ && p_[1] == '"') {
            p_++;
            c = '"';
        }
        if (c == '"') {
            t.kind = Tok::String;
            t.text = QuotedString();
            return t;
        }
        if (isdigit((unsigned char)c)) {
            t.kind = Tok::Number;
            t.value = Number();
            return t;
        }
        if (isalpha((unsigned char)c) || c == '_') {
            t.kind = Tok::Ident;
            // File names may stand unquoted: ICON_1 ICON icon_1.ico
            while (p_ < end_ && (isalnum((unsigned char)*p_) || *p_ == '_' || *p_ == '.')) t.text += *p_++;
            return t;
        }
        p_++;
        switch (c) {
            case ',': t.kind = Tok::Comma; break;
            case '|': t.kind = Tok::Pipe; break;
            case '+': t.kind = Tok::Plus; break;
            case '-': t.kind = Tok::Minus; break;
            case '&': t.kind = Tok::Amp; break;
            case '~': t.kind = Tok::Tilde; break;
            case '(': t.kind = Tok::LParen; break;
            case ')': t.kind = Tok::RParen; break;
            case '{': t.kind = Tok::LBrace; break;
            case '}': t.kind = Tok::RBrace; break;
            case '!':
                t.kind = Tok::Ident;
                t.text = "!";
                break;
            default: {
                char what[64];
                snprintf(what, sizeof what, isprint((unsigned char)c) ? "unexpected '%c'" : "unexpected byte %d",
                         isprint((unsigned char)c) ? c : (unsigned char)c);
                throw ParseError(t.line, what);
            }
        }
        return t;
    }

    long Number() {
        long value = 0;
        if (p_[0] == '0' && p_ + 1 < end_ && (p_[1] == 'x' || p_[1] == 'X')) {
            p_ += 2;
            if (p_ >= end_ || !isxdigit((unsigned char)*p_)) throw ParseError(line_, "bad hexadecimal number");
            while (p_ < end_ && isxdigit((unsigned char)*p_)) {
                int d = isdigit((unsigned char)*p_) ? *p_ - '0' : (tolower((unsigned char)*p_) - 'a' + 10);
                value = (value << 4) | d;
                if (value > 0xFFFFFFFFL) throw ParseError(line_, "number out of range");
                p_++;
            }
        } else {
            while (p_ < end_ && isdigit((unsigned char)*p_)) {
                value = value * 10 + (*p_++ - '0');
                if (value > 0xFFFFFFFFL) throw ParseError(line_, "number out of range");
            }
        }
        while (p_ < end_ && (*p_ == 'L' || *p_ == 'l' || *p_ == 'U' || *p_ == 'u')) p_++;
        if (p_ < end_ && (isalnum((unsigned char)*p_) || *p_ == '_')) throw ParseError(line_, "bad number");
        return value;
    }

    // A quoted string: C escapes, and "" for a quote inside.
    std::string QuotedString() {
        int startLine = line_;
        std::string s;
        p_++;  // opening quote
        for (;;) {
            if (p_ >= end_ || *p_ == '\n') throw ParseError(startLine, "unterminated string");
            char c = *p_++;
            if (c == '"') {
                if (p_ < end_ && *p_ == '"') {
                    s += '"';
                    p_++;
                    continue;
                }
                return s;
            }
            if (c != '\\') {
                s += c;
                continue;
            }
            if (p_ >= end_ || *p_ == '\n') throw ParseError(startLine, "unterminated string");
            char e = *p_++;
            switch (e) {
                case 'n': s += '\n'; break;
                case 't': s += '\t'; break;
                case 'r': s += '\r'; break;
                case 'a': s += '\a'; break;
                case 'b': s += '\b'; break;
                case 'f': s += '\f'; break;
                case 'v': s += '\v'; break;
                case '\\': s += '\\'; break;
                case '"': s += '"'; break;
                case '\'': s += '\''; break;
                case '?': s += '?'; break;
                case 'x':
                case 'X': {
                    int value = 0, digits = 0;
                    while (digits < 2 && p_ < end_ && isxdigit((unsigned char)*p_)) {
                        int d = isdigit((unsigned char)*p_) ? *p_ - '0' : (tolower((unsigned char)*p_) - 'a' + 10);
                        value = value * 16 + d;
                        p_++;
                        digits++;
                    }
                    if (digits == 0) throw ParseError(line_, "\\x without digits");
                    s += (char)value;
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        int value = e - '0', digits = 1;
                        while (digits < 3 && p_ < end_ && *p_ >= '0' && *p_ <= '7') {
                            value = value * 8 + (*p_++ - '0');
                            digits++;
                        }
                        s += (char)(value & 0xFF);
                    } else {
                        // Not an escape: both characters stay.
                        s += '\\';
                        s += e;
                    }
            }
        }
    }
};

// Default styles of the control statements (always with WS_CHILD | WS_VISIBLE).
enum class Form { Text, NoText, Icon, Control };

struct ControlKind {
    const char *keyword;
    const char *className;
    DWORD style;
    Form form;
};

const DWORD kTabStop = 0x00010000L, kGroup = 0x00020000L, kBorder = 0x00800000L;
const DWORD kChildVisible = 0x40000000L | 0x10000000L;

const ControlKind kControls[] = {
    {"LTEXT", "Static", 0x0 | kGroup, Form::Text},
    {"RTEXT", "Static", 0x2 | kGroup, Form::Text},
    {"CTEXT", "Static", 0x1 | kGroup, Form::Text},
    {"PUSHBUTTON", "Button", 0x0 | kTabStop, Form::Text},
    {"DEFPUSHBUTTON", "Button", 0x1 | kTabStop, Form::Text},
    {"CHECKBOX", "Button", 0x2 | kTabStop, Form::Text},
    {"AUTOCHECKBOX", "Button", 0x3 | kTabStop, Form::Text},
    {"RADIOBUTTON", "Button", 0x4 | kTabStop, Form::Text},
    {"STATE3", "Button", 0x5 | kTabStop, Form::Text},
    {"AUTO3STATE", "Button", 0x6 | kTabStop, Form::Text},
    {"GROUPBOX", "Button", 0x7, Form::Text},
    {"AUTORADIOBUTTON", "Button", 0x9 | kTabStop, Form::Text},
    {"PUSHBOX", "Button", 0xA | kTabStop, Form::Text},
    {"EDITTEXT", "Edit", 0x0 | kBorder | kTabStop, Form::NoText},
    {"LISTBOX", "ListBox", 0x1 | kBorder, Form::NoText},
    {"COMBOBOX", "ComboBox", 0x1 | kTabStop, Form::NoText},
    {"SCROLLBAR", "ScrollBar", 0x0, Form::NoText},
    {"ICON", "Static", 0x3, Form::Icon},
    {"CONTROL", "", 0x0, Form::Control},
};

const char *const kPredefinedClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};

const char *const kMemoryOptions[] = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE",
                                      "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};

class Parser {
public:
    Parser(const char *text, size_t length) : lex_(text, length) { Advance(); }

    void Run(Script &out) {
        while (tok_.kind != Tok::End) {
            if (Is(tok_, "LANGUAGE")) {
                Advance();
                Expression();
                Expect(Tok::Comma, "','");
                Expression();
            } else if (Is(tok_, "STRINGTABLE")) {
                Advance();
                StringTable(out);
            } else {
                ResName name = Name();
                if (tok_.kind != Tok::Ident) throw Error("a resource type after the name");
                std::string type = Upper(tok_.text);
                int line = tok_.line;
                Advance();
                if (type == "ICON") {
                    Icon(out, name);
                } else if (type == "DIALOG" || type == "DIALOGEX") {
                    Dialog(out, name, type == "DIALOGEX");
                } else {
                    throw ParseError(line, "resource type " + type + " is not supported");
                }
            }
        }
    }

private:
    Lexer lex_;
    Token tok_;
    std::vector<Token> pending_;  // a macro's tokens being read in place of its name
    int depth_ = 0;

    void Advance() {
        if (!pending_.empty()) {
            tok_ = pending_.front();
            pending_.erase(pending_.begin());
        } else {
            tok_ = lex_.Next();
        }
    }

    ParseError Error(const std::string &wanted) const {
        std::string found;
        switch (tok_.kind) {
            case Tok::End: found = "the end of the script"; break;
            case Tok::Ident: found = "'" + tok_.text + "'"; break;
            case Tok::Number: found = "a number"; break;
            case Tok::String: found = "a string"; break;
            default: found = "a sign"; break;
        }
        return ParseError(tok_.line, "expected " + wanted + ", found " + found);
    }

    void Expect(Tok kind, const char *what) {
        if (tok_.kind != kind) throw Error(what);
        Advance();
    }

    bool Accept(Tok kind) {
        if (tok_.kind != kind) return false;
        Advance();
        return true;
    }

    const std::vector<Token> *Macro(const std::string &name) const {
        auto m = lex_.macros.find(name);
        return m == lex_.macros.end() ? nullptr : &m->second;
    }

    // Evaluates a #define's tokens as an expression of their own.
    long MacroValue(const std::string &name, const std::vector<Token> &tokens, int line) {
        if (tokens.empty()) throw ParseError(line, name + " has no value");
        if (++depth_ > 32) throw ParseError(line, name + " refers to itself");
        Token saved = tok_;
        std::vector<Token> savedPending = pending_;
        pending_ = tokens;
        Token stop;
        stop.kind = Tok::End;
        stop.line = line;
        pending_.push_back(stop);
        Advance();
        long value = Expression();
        if (tok_.kind != Tok::End) throw ParseError(line, name + " is no number");
        tok_ = saved;
        pending_ = savedPending;
        depth_--;
        return value;
    }

    long NameValue(const Token &t) {
        if (const std::vector<Token> *tokens = Macro(t.text)) return MacroValue(t.text, *tokens, t.line);
        for (const Constant &c : kConstants)
            if (t.text == c.name) return c.value;
        throw ParseError(t.line, "unknown name " + t.text);
    }

    long Primary() {
        Token t = tok_;
        switch (t.kind) {
            case Tok::Number:
                Advance();
                return t.value;
            case Tok::Ident:
                Advance();
                return NameValue(t);
            case Tok::LParen: {
                Advance();
                long v = Expression();
                Expect(Tok::RParen, "')'");
                return v;
            }
            case Tok::Minus:
                Advance();
                return -Primary();
            case Tok::Tilde:
                Advance();
                return ~Primary();
            default:
                throw Error("a number");
        }
    }

    long Sum() {
        long v = Primary();
        for (;;) {
            if (Accept(Tok::Plus))
                v += Primary();
            else if (Accept(Tok::Minus))
                v -= Primary();
            else
                return v;
        }
    }

    long Expression() {
        long v = Sum();
        for (;;) {
            if (Accept(Tok::Pipe))
                v |= Sum();
            else if (Accept(Tok::Amp))
                v &= Sum();
            else
                return v;
        }
    }

    // A style: terms joined by '|', starting from the statement's default; NOT takes a
    // term's bits away.
    DWORD Style(DWORD start) {
        DWORD v = start;
        do {
            if (Is(tok_, "NOT")) {
                Advance();
                v &= ~(DWORD)Sum();
            } else {
                v |= (DWORD)Sum();
            }
        } while (Accept(Tok::Pipe));
        return v;
    }

    int Int() { return (int)Expression(); }

    // A resource's name: a number, a #define'd number, or a name.
    ResName Name() {
        ResName n;
        if (tok_.kind == Tok::Number || (tok_.kind == Tok::Ident && Macro(tok_.text))) {
            int line = tok_.line;
            long v = Primary();
            if (v < 1 || v > 0xFFFF) throw ParseError(line, "a resource number is 1 to 65535");
            n.id = (WORD)v;
        } else if (tok_.kind == Tok::Ident || tok_.kind == Tok::String) {
            n.name = Upper(tok_.text);
            Advance();
        } else {
            throw Error("a resource name");
        }
        return n;
    }

    void MemoryOptions() {
        for (;;) {
            bool found = false;
            for (const char *o : kMemoryOptions)
                if (Is(tok_, o)) found = true;
            if (!found) return;
            Advance();
        }
    }

    // LANGUAGE, CHARACTERISTICS and VERSION carry nothing the stand-in uses.
    bool CommonStatement() {
        if (Is(tok_, "LANGUAGE")) {
            Advance();
            Expression();
            Expect(Tok::Comma, "','");
            Expression();
            return true;
        }
        if (Is(tok_, "CHARACTERISTICS") || Is(tok_, "VERSION")) {
            Advance();
            Expression();
            return true;
        }
        return false;
    }

    void Icon(Script &out, const ResName &name) {
        MemoryOptions();
        if (tok_.kind != Tok::String && tok_.kind != Tok::Ident) throw Error("the icon's file name");
        out.icons.push_back({name, tok_.text});
        Advance();
    }

    void StringTable(Script &out) {
        MemoryOptions();
        while (CommonStatement()) {
        }
        if (!IsBegin(tok_)) throw Error("BEGIN");
        Advance();
        while (!IsEnd(tok_)) {
            int line = tok_.line;
            long id = Expression();
            if (id < 0 || id > 0xFFFF) throw ParseError(line, "a string id is 0 to 65535");
            Accept(Tok::Comma);
            if (tok_.kind != Tok::String) throw Error("a string");
            for (const StringResource &s : out.strings)
                if (s.id == (UINT)id) throw ParseError(line, "string " + std::to_string(id) + " is defined twice");
            out.strings.push_back({(UINT)id, tok_.text});
            Advance();
        }
        Advance();
    }

    // A control's or a caption's text: a string, or a number or name (an icon's).
    std::string Text() {
        if (tok_.kind == Tok::String) {
            std::string s = tok_.text;
            Advance();
            return s;
        }
        ResName n = Name();
        return n.id ? "#" + std::to_string(n.id) : n.name;
    }

    std::string ClassName() {
        std::string name;
        if (tok_.kind == Tok::String || tok_.kind == Tok::Ident) {
            name = tok_.text;
            Advance();
        } else {
            throw Error("a class name");
        }
        for (const char *c : kPredefinedClasses)
            if (strcasecmp(c, name.c_str()) == 0) return c;
        return name;
    }

    void Dialog(Script &out, const ResName &name, bool extended) {
        DialogTemplate d;
        d.name = name;
        d.extended = extended;
        MemoryOptions();
        d.x = Int();
        Expect(Tok::Comma, "','");
        d.y = Int();
        Expect(Tok::Comma, "','");
        d.cx = Int();
        Expect(Tok::Comma, "','");
        d.cy = Int();
        if (extended && Accept(Tok::Comma)) d.helpId = (DWORD)Expression();

        bool hasStyle = false, hasCaption = false;
        while (!IsBegin(tok_)) {
            if (CommonStatement()) continue;
            if (Is(tok_, "STYLE")) {
                Advance();
                d.style = Style(0);
                hasStyle = true;
            } else if (Is(tok_, "EXSTYLE")) {
                Advance();
                d.exStyle = (DWORD)Expression();
            } else if (Is(tok_, "CAPTION")) {
                Advance();
                if (tok_.kind != Tok::String) throw Error("the caption's text");
                d.caption = tok_.text;
                hasCaption = true;
                Advance();
            } else if (Is(tok_, "FONT")) {
                Advance();
                d.fontSize = Int();
                Expect(Tok::Comma, "','");
                if (tok_.kind != Tok::String) throw Error("the font's name");
                d.fontName = tok_.text;
                Advance();
                if (Accept(Tok::Comma)) {
                    d.fontWeight = Int();
                    if (Accept(Tok::Comma)) {
                        d.fontItalic = Int() != 0;
                        if (Accept(Tok::Comma)) d.fontCharset = Int();
                    }
                }
            } else if (Is(tok_, "MENU")) {
                Advance();
                d.menu = Text();
            } else if (Is(tok_, "CLASS")) {
                Advance();
                d.className = Text();
            } else {
                throw Error("BEGIN or a dialog statement");
            }
        }
        if (!hasStyle) d.style = 0x80000000L | 0x00800000L | 0x00080000L;  // WS_POPUP | WS_BORDER | WS_SYSMENU
        if (hasCaption) d.style |= 0x00C00000L;                              // WS_CAPTION
        if (d.fontSize) d.style |= 0x40L;                                     // DS_SETFONT
        Advance();
        while (!IsEnd(tok_)) d.controls.push_back(Control(extended));
        Advance();
        out.dialogs.push_back(d);
    }

    DialogControl Control(bool extended) {
        const ControlKind *kind = nullptr;
        for (const ControlKind &k : kControls)
            if (Is(tok_, k.keyword)) kind = &k;
        if (!kind) throw Error("a control or END");
        Advance();

        DialogControl c;
        c.className = kind->className;
        DWORD style = kChildVisible | kind->style;
        if (kind->form != Form::NoText) {
            c.text = Text();
            Expect(Tok::Comma, "','");
        }
        c.id = Int();
        Expect(Tok::Comma, "','");
        if (kind->form == Form::Control) {
            c.className = ClassName();
            Expect(Tok::Comma, "','");
            style = Style(style);
            Expect(Tok::Comma, "','");
        }
        c.x = Int();
        Expect(Tok::Comma, "','");
        c.y = Int();
        bool more = true;
        if (kind->form == Form::Icon) more = Accept(Tok::Comma);  // the size is optional
        else Expect(Tok::Comma, "','");
        if (more) {
            c.cx = Int();
            Expect(Tok::Comma, "','");
            c.cy = Int();
            if (kind->form != Form::Control && Accept(Tok::Comma)) style = Style(style);
            if (Accept(Tok::Comma)) {
                c.exStyle = (DWORD)Expression();
                if (extended && Accept(Tok::Comma)) c.helpId = (DWORD)Expression();
            }
        }
        c.style = style;
        if (IsBegin(tok_)) throw ParseError(tok_.line, "control data blocks are not supported");
        return c;
    }
};

}  // namespace

bool ParseScript(const char *text, size_t length, Script &out, std::string *error) {
    out = Script();
    try {
        Parser parser(text, length);
        parser.Run(out);
    } catch (const ParseError &e) {
        if (error) *error = "line " + std::to_string(e.line) + ": " + e.what();
        out = Script();
        return false;
    }
    if (error) error->clear();
    return true;
}

}  // namespace res
}  // namespace qk
