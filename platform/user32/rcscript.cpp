// The resource script reader: the subset of the resource compiler's language that the
// program's script uses, read the way windres and rc read it.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/comctl32/comctl32.h"
#include "platform/user32/resources.h"
#include "platform/user32/user32.h"

namespace qk {
namespace res {
namespace {

// Names every script may use without an #include: those of windows.h that resource
// scripts use, with the values the stand-in's own headers give them, and IDC_STATIC, which
// scripts take from winres.h.
struct Constant {
    const char *name;
    long value;
};

#define NAME(name) {#name, (long)(name)}
const Constant kConstants[] = {
    // Window styles
    NAME(WS_OVERLAPPED), NAME(WS_TILED), NAME(WS_POPUP),
    NAME(WS_CHILD), NAME(WS_CHILDWINDOW), NAME(WS_MINIMIZE),
    NAME(WS_ICONIC), NAME(WS_VISIBLE), NAME(WS_DISABLED),
    NAME(WS_CLIPSIBLINGS), NAME(WS_CLIPCHILDREN), NAME(WS_MAXIMIZE),
    NAME(WS_CAPTION), NAME(WS_BORDER), NAME(WS_DLGFRAME),
    NAME(WS_VSCROLL), NAME(WS_HSCROLL), NAME(WS_SYSMENU),
    NAME(WS_THICKFRAME), NAME(WS_SIZEBOX), NAME(WS_GROUP),
    NAME(WS_TABSTOP), NAME(WS_MINIMIZEBOX), NAME(WS_MAXIMIZEBOX),
    NAME(WS_OVERLAPPEDWINDOW), NAME(WS_TILEDWINDOW), NAME(WS_POPUPWINDOW),
    // Extended window styles
    NAME(WS_EX_DLGMODALFRAME), NAME(WS_EX_NOPARENTNOTIFY),
    NAME(WS_EX_TOPMOST), NAME(WS_EX_ACCEPTFILES), NAME(WS_EX_TRANSPARENT),
    NAME(WS_EX_MDICHILD), NAME(WS_EX_TOOLWINDOW), NAME(WS_EX_WINDOWEDGE),
    NAME(WS_EX_CLIENTEDGE), NAME(WS_EX_CONTEXTHELP), NAME(WS_EX_RIGHT),
    NAME(WS_EX_LEFT), NAME(WS_EX_RTLREADING), NAME(WS_EX_LEFTSCROLLBAR),
    NAME(WS_EX_CONTROLPARENT), NAME(WS_EX_STATICEDGE), NAME(WS_EX_APPWINDOW),
    // Dialog styles
    NAME(DS_ABSALIGN), NAME(DS_SYSMODAL), NAME(DS_3DLOOK), NAME(DS_FIXEDSYS),
    NAME(DS_NOFAILCREATE), NAME(DS_LOCALEDIT), NAME(DS_SETFONT), NAME(DS_MODALFRAME),
    NAME(DS_NOIDLEMSG), NAME(DS_SETFOREGROUND), NAME(DS_CONTROL), NAME(DS_CENTER),
    NAME(DS_CENTERMOUSE), NAME(DS_CONTEXTHELP), NAME(DS_SHELLFONT),
    // Button styles
    NAME(BS_PUSHBUTTON), NAME(BS_DEFPUSHBUTTON), NAME(BS_CHECKBOX), NAME(BS_AUTOCHECKBOX),
    NAME(BS_RADIOBUTTON), NAME(BS_3STATE), NAME(BS_AUTO3STATE), NAME(BS_GROUPBOX),
    NAME(BS_USERBUTTON), NAME(BS_AUTORADIOBUTTON), NAME(BS_PUSHBOX), NAME(BS_OWNERDRAW),
    NAME(BS_TYPEMASK), NAME(BS_LEFTTEXT), NAME(BS_RIGHTBUTTON), NAME(BS_TEXT),
    NAME(BS_ICON), NAME(BS_BITMAP), NAME(BS_LEFT), NAME(BS_RIGHT),
    NAME(BS_CENTER), NAME(BS_TOP), NAME(BS_BOTTOM), NAME(BS_VCENTER),
    NAME(BS_PUSHLIKE), NAME(BS_MULTILINE), NAME(BS_NOTIFY), NAME(BS_FLAT),
    // Static styles
    NAME(SS_LEFT), NAME(SS_CENTER), NAME(SS_RIGHT), NAME(SS_ICON), NAME(SS_BLACKRECT),
    NAME(SS_GRAYRECT), NAME(SS_WHITERECT), NAME(SS_BLACKFRAME), NAME(SS_GRAYFRAME),
    NAME(SS_WHITEFRAME), NAME(SS_USERITEM), NAME(SS_SIMPLE), NAME(SS_LEFTNOWORDWRAP),
    NAME(SS_OWNERDRAW), NAME(SS_BITMAP), NAME(SS_ENHMETAFILE), NAME(SS_ETCHEDHORZ),
    NAME(SS_ETCHEDVERT), NAME(SS_ETCHEDFRAME), NAME(SS_TYPEMASK), NAME(SS_NOPREFIX),
    NAME(SS_NOTIFY), NAME(SS_CENTERIMAGE), NAME(SS_RIGHTJUST),
    NAME(SS_REALSIZEIMAGE), NAME(SS_SUNKEN), NAME(SS_ENDELLIPSIS),
    NAME(SS_PATHELLIPSIS), NAME(SS_WORDELLIPSIS),
    // Edit styles
    NAME(ES_LEFT), NAME(ES_CENTER), NAME(ES_RIGHT), NAME(ES_MULTILINE),
    NAME(ES_UPPERCASE), NAME(ES_LOWERCASE), NAME(ES_PASSWORD), NAME(ES_AUTOVSCROLL),
    NAME(ES_AUTOHSCROLL), NAME(ES_NOHIDESEL), NAME(ES_OEMCONVERT),
    NAME(ES_READONLY), NAME(ES_WANTRETURN), NAME(ES_NUMBER),
    // List box styles
    NAME(LBS_NOTIFY), NAME(LBS_SORT), NAME(LBS_NOREDRAW), NAME(LBS_MULTIPLESEL),
    NAME(LBS_OWNERDRAWFIXED), NAME(LBS_OWNERDRAWVARIABLE), NAME(LBS_HASSTRINGS),
    NAME(LBS_USETABSTOPS), NAME(LBS_NOINTEGRALHEIGHT), NAME(LBS_MULTICOLUMN),
    NAME(LBS_WANTKEYBOARDINPUT), NAME(LBS_EXTENDEDSEL), NAME(LBS_DISABLENOSCROLL),
    NAME(LBS_NODATA), NAME(LBS_NOSEL), NAME(LBS_STANDARD),
    // Combo box styles
    NAME(CBS_SIMPLE), NAME(CBS_DROPDOWN), NAME(CBS_DROPDOWNLIST),
    NAME(CBS_OWNERDRAWFIXED), NAME(CBS_OWNERDRAWVARIABLE), NAME(CBS_AUTOHSCROLL),
    NAME(CBS_OEMCONVERT), NAME(CBS_SORT), NAME(CBS_HASSTRINGS),
    NAME(CBS_NOINTEGRALHEIGHT), NAME(CBS_DISABLENOSCROLL), NAME(CBS_UPPERCASE),
    NAME(CBS_LOWERCASE),
    // Scroll bar styles
    NAME(SBS_HORZ), NAME(SBS_VERT),
    // Common control styles (the status bar)
    NAME(CCS_TOP), NAME(CCS_NOMOVEY), NAME(CCS_BOTTOM), NAME(CCS_NORESIZE),
    NAME(CCS_NOPARENTALIGN), NAME(CCS_ADJUSTABLE), NAME(CCS_NODIVIDER),
    NAME(SBARS_SIZEGRIP),
    // Dialog box command ids
    NAME(IDOK), NAME(IDCANCEL), NAME(IDABORT), NAME(IDRETRY), NAME(IDIGNORE), NAME(IDYES),
    NAME(IDNO), NAME(IDCLOSE), NAME(IDHELP),
    {"IDC_STATIC", -1},
};
#undef NAME

enum class Tok { End, Ident, Number, String, Comma, Pipe, Plus, Minus, Amp, Tilde, LParen, RParen, LBrace, RBrace };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, or the string's bytes
    long value = 0;    // number
    int line = 0;
    const std::string *file = nullptr;  // the header it was read from; NULL: the script
};

struct ParseError : std::runtime_error {
    int line;
    std::string file;  // empty: the script
    ParseError(int l, const std::string &what, const std::string *in = nullptr)
        : std::runtime_error(what), line(l), file(in ? *in : "") {}
};

ParseError At(const Token &t, const std::string &what) { return ParseError(t.line, what, t.file); }

// How deep headers may include headers.
const size_t kMaxIncludeDepth = 16;

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
// makes a name, the conditionals drop lines, #include "file" reads a header of the script's
// own where it stands (#include <file> is skipped: the names a script takes from the
// system's headers are built in), #pragma and #undef of unknown names are skipped.
class Lexer {
public:
    Lexer(const char *text, size_t length, const IncludeReader &include)
        : p_(text), end_(text + length), include_(include) {}

    std::map<std::string, std::vector<Token>> macros;

    Token Next() {
        for (;;) {
            SkipBlanks();
            if (p_ >= end_) {
                if (!includers_.empty()) {
                    Leave();
                    continue;
                }
                if (!conditions_.empty()) throw Fail(line_, "#if without #endif");
                return Token{Tok::End, "", 0, line_, file_};
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
    const std::string *file_ = nullptr;  // the header being read; NULL: the script
    IncludeReader include_;
    // Where each file that includes the one being read goes on, innermost last, and how
    // many conditionals were open when it included it.
    struct Includer {
        const char *p;
        const char *end;
        int line;
        const std::string *file;
        size_t conditions;
    };
    std::vector<Includer> includers_;
    std::deque<std::string> names_, texts_;  // the headers read, kept for the tokens' sake

    ParseError Fail(int line, const std::string &what) const { return ParseError(line, what, file_); }

    // The conditionals that belong to the file being read start here.
    size_t ConditionBase() const { return includers_.empty() ? 0 : includers_.back().conditions; }

    // #include "name": the header's text is read where the directive stands.
    void Include(int line) {
        if (p_ >= end_ || *p_ != '"') {
            SkipLine();
            return;
        }
        const char *start = ++p_;
        while (p_ < end_ && *p_ != '"' && *p_ != '\n') p_++;
        if (p_ >= end_ || *p_ != '"') throw Fail(line, "#include without its closing quote");
        std::string name(start, p_);
        SkipLine();
        if (includers_.size() >= kMaxIncludeDepth) throw Fail(line, "#include nested too deeply");
        std::string text;
        if (!include_(name, text)) throw Fail(line, "cannot open include file " + name);
        includers_.push_back({p_, end_, line_, file_, conditions_.size()});
        names_.push_back(name);
        texts_.push_back(std::move(text));
        p_ = texts_.back().data();
        end_ = p_ + texts_.back().size();
        line_ = 1;
        file_ = &names_.back();
    }

    // The end of a header: reading goes on after its #include.
    void Leave() {
        if (conditions_.size() > ConditionBase()) throw Fail(line_, "#if without #endif");
        const Includer &back = includers_.back();
        p_ = back.p;
        end_ = back.end;
        line_ = back.line;
        file_ = back.file;
        includers_.pop_back();
    }
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
        if (p_ + 1 >= end_) throw Fail(startLine, "unterminated comment");
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
        auto fail = [&]() { return Fail(line_, "#if: only a number, a name or defined(NAME) is understood"); };
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
                    if (macro.empty()) throw Fail(line, "#" + name + " without a name");
                    value = Defined(macro) == (name == "ifdef");
                }
            }
            SkipLine();
            conditions_.push_back({active && value, value, active});
        } else if (name == "elif" || name == "else") {
            if (conditions_.size() <= ConditionBase()) throw Fail(line, "#" + name + " without #if");
            Condition &c = conditions_.back();
            bool value = !c.taken && c.outerActive && (name == "else" || Truth());
            SkipLine();
            c.active = value;
            c.taken = c.taken || value;
        } else if (name == "endif") {
            if (conditions_.size() <= ConditionBase()) throw Fail(line, "#endif without #if");
            conditions_.pop_back();
            SkipLine();
        } else if (!active) {
            SkipLine();
        } else if (name == "define") {
            std::string macro = Word();
            if (macro.empty()) throw Fail(line, "#define without a name");
            if (p_ < end_ && *p_ == '(') throw Fail(line, "#define with parameters is not supported");
            macros[macro] = LexLine();
        } else if (name == "undef") {
            macros.erase(Word());
            SkipLine();
        } else if (name == "include") {
            Include(line);
        } else if (name == "pragma" || name.empty()) {
            SkipLine();
        } else if (name == "error") {
            throw Fail(line, "#error");
        } else {
            throw Fail(line, "unknown directive #" + name);
        }
        atLineStart_ = true;
    }

    Token Lex() {
        Token t;
        t.line = line_;
        t.file = file_;
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
                throw Fail(t.line, what);
            }
        }
        return t;
    }

    long Number() {
        long value = 0;
        if (p_[0] == '0' && p_ + 1 < end_ && (p_[1] == 'x' || p_[1] == 'X')) {
            p_ += 2;
            if (p_ >= end_ || !isxdigit((unsigned char)*p_)) throw Fail(line_, "bad hexadecimal number");
            while (p_ < end_ && isxdigit((unsigned char)*p_)) {
                int d = isdigit((unsigned char)*p_) ? *p_ - '0' : (tolower((unsigned char)*p_) - 'a' + 10);
                value = (value << 4) | d;
                if (value > 0xFFFFFFFFL) throw Fail(line_, "number out of range");
                p_++;
            }
        } else {
            while (p_ < end_ && isdigit((unsigned char)*p_)) {
                value = value * 10 + (*p_++ - '0');
                if (value > 0xFFFFFFFFL) throw Fail(line_, "number out of range");
            }
        }
        while (p_ < end_ && (*p_ == 'L' || *p_ == 'l' || *p_ == 'U' || *p_ == 'u')) p_++;
        if (p_ < end_ && (isalnum((unsigned char)*p_) || *p_ == '_')) throw Fail(line_, "bad number");
        return value;
    }

    // A quoted string: C escapes, and "" for a quote inside.
    std::string QuotedString() {
        int startLine = line_;
        std::string s;
        p_++;  // opening quote
        for (;;) {
            if (p_ >= end_ || *p_ == '\n') throw Fail(startLine, "unterminated string");
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
            if (p_ >= end_ || *p_ == '\n') throw Fail(startLine, "unterminated string");
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
                    if (digits == 0) throw Fail(line_, "\\x without digits");
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

const DWORD kChildVisible = WS_CHILD | WS_VISIBLE;

const ControlKind kControls[] = {
    {"LTEXT", "Static", SS_LEFT | WS_GROUP, Form::Text},
    {"RTEXT", "Static", SS_RIGHT | WS_GROUP, Form::Text},
    {"CTEXT", "Static", SS_CENTER | WS_GROUP, Form::Text},
    {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, Form::Text},
    {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, Form::Text},
    {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP, Form::Text},
    {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, Form::Text},
    {"RADIOBUTTON", "Button", BS_RADIOBUTTON | WS_TABSTOP, Form::Text},
    {"STATE3", "Button", BS_3STATE | WS_TABSTOP, Form::Text},
    {"AUTO3STATE", "Button", BS_AUTO3STATE | WS_TABSTOP, Form::Text},
    {"GROUPBOX", "Button", BS_GROUPBOX, Form::Text},
    {"AUTORADIOBUTTON", "Button", BS_AUTORADIOBUTTON | WS_TABSTOP, Form::Text},
    {"PUSHBOX", "Button", BS_PUSHBOX | WS_TABSTOP, Form::Text},
    {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, Form::NoText},
    {"LISTBOX", "ListBox", LBS_NOTIFY | WS_BORDER, Form::NoText},
    {"COMBOBOX", "ComboBox", CBS_SIMPLE | WS_TABSTOP, Form::NoText},
    {"SCROLLBAR", "ScrollBar", SBS_HORZ, Form::NoText},
    {"ICON", "Static", SS_ICON, Form::Icon},
    {"CONTROL", "", 0x0, Form::Control},
};

const char *const kPredefinedClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};

const char *const kMemoryOptions[] = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE",
                                      "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};

class Parser {
public:
    Parser(const char *text, size_t length, const IncludeReader &include) : lex_(text, length, include) { Advance(); }

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
                Token at = tok_;
                Advance();
                if (type == "ICON") {
                    Icon(out, name);
                } else if (type == "DIALOG" || type == "DIALOGEX") {
                    Dialog(out, name, type == "DIALOGEX");
                } else {
                    throw At(at, "resource type " + type + " is not supported");
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
        return At(tok_, "expected " + wanted + ", found " + found);
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

    // Evaluates a #define's tokens as an expression of their own, for the name `use`.
    long MacroValue(const Token &use, const std::vector<Token> &tokens) {
        const std::string &name = use.text;
        if (tokens.empty()) throw At(use, name + " has no value");
        if (++depth_ > 32) throw At(use, name + " refers to itself");
        Token saved = tok_;
        std::vector<Token> savedPending = pending_;
        pending_ = tokens;
        Token stop;
        stop.kind = Tok::End;
        stop.line = use.line;
        stop.file = use.file;
        pending_.push_back(stop);
        Advance();
        long value = Expression();
        if (tok_.kind != Tok::End) throw At(use, name + " is no number");
        tok_ = saved;
        pending_ = savedPending;
        depth_--;
        return value;
    }

    long NameValue(const Token &t) {
        if (const std::vector<Token> *tokens = Macro(t.text)) return MacroValue(t, *tokens);
        for (const Constant &c : kConstants)
            if (t.text == c.name) return c.value;
        throw At(t, "unknown name " + t.text);
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
            Token at = tok_;
            long v = Primary();
            if (v < 1 || v > 0xFFFF) throw At(at, "a resource number is 1 to 65535");
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
            Token at = tok_;
            long id = Expression();
            if (id < 0 || id > 0xFFFF) throw At(at, "a string id is 0 to 65535");
            Accept(Tok::Comma);
            if (tok_.kind != Tok::String) throw Error("a string");
            for (const StringResource &s : out.strings)
                if (s.id == (UINT)id) throw At(at, "string " + std::to_string(id) + " is defined twice");
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
        if (!hasStyle) d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        if (hasCaption) d.style |= WS_CAPTION;
        if (d.fontSize) d.style |= DS_SETFONT;
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
        if (IsBegin(tok_)) throw At(tok_, "control data blocks are not supported");
        return c;
    }
};

}  // namespace

namespace {

// A header the program's script includes is compiled in with it, by its bare name.
bool ReadEmbeddedInclude(const std::string &name, std::string &text) {
    size_t slash = name.find_last_of("/\\");
    const EmbeddedFile *file = FindEmbeddedFile(name.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    if (!file) return false;
    text.assign((const char *)file->data, file->size);
    return true;
}

}  // namespace

bool ParseScript(const char *text, size_t length, Script &out, std::string *error, const IncludeReader &include) {
    out = Script();
    try {
        Parser parser(text, length, include ? include : IncludeReader(ReadEmbeddedInclude));
        parser.Run(out);
    } catch (const ParseError &e) {
        if (error) *error = (e.file.empty() ? "" : e.file + " ") + "line " + std::to_string(e.line) + ": " + e.what();
        out = Script();
        return false;
    }
    if (error) error->clear();
    return true;
}

}  // namespace res
}  // namespace qk
