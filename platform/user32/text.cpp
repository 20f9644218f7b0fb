// DrawTextA: formatted text in a rectangle, laid out in lines here and drawn through
// gdi32's painter in the DC's font and colours.
#include <string.h>

#include <string>
#include <vector>

#include "platform/gdi32/painter.h"
#include "platform/user32/user32.h"

using namespace qk::gdi;

namespace {

// One line of text to draw: its characters (prefixes resolved) and which are underlined.
struct TextLine {
    std::string text;
    std::vector<bool> underline;
};

// DT_EXPANDTABS: a tab stop every eight average characters.
int TabWidth(FontId font) { return 8 * MeasureText(font, "x", 1).cx; }

// Width of a run of characters drawn from x = 0, tabs expanded when asked.
int RunWidth(FontId font, const char *text, size_t len, bool tabs) {
    if (!tabs) return MeasureText(font, text, (int)len).cx;
    int x = 0, tab = TabWidth(font);
    for (size_t i = 0; i < len; i++) {
        if (text[i] == '\t' && tab > 0)
            x = (x / tab + 1) * tab;
        else
            x += MeasureText(font, text + i, 1).cx;
    }
    return x;
}

// Where a line may break, as the platform's line breaking has it for the characters of
// words and paths: after blanks (never before one), before a backslash (unless it follows
// a digit), and after a slash or a hyphen (unless a digit or another of them follows).
// So "C:\\SOUNDS\\DING.WAV" breaks before each backslash, "A-B" after the hyphen, and
// "12\\34", "1-2" and "1/2" never.
bool BreakBefore(const std::string &s, size_t i) {
    if (i == 0 || i >= s.size()) return false;
    char c = s[i], prev = s[i - 1];
    bool digit = c >= '0' && c <= '9', prevDigit = prev >= '0' && prev <= '9';
    if (c == ' ') return false;
    if (prev == ' ') return true;
    if (c == '\\') return !prevDigit;
    if (prev == '/' || prev == '-') return !digit && c != '/' && c != '-';
    return false;
}

// The next line of a paragraph s[start, end) broken to a width, as the platform breaks
// it: the most characters that fit, taken back to the last place the line may break
// (blanks that fit stay at the end of a left-aligned line; centred and right-aligned
// lines leave one out), and one blank after the break is dropped. A word that fits no
// line is kept whole up to the next blank. Gives the line's length; `used` tells how many
// characters it took up, the dropped blank included.
size_t WrapLine(FontId font, const std::string &s, size_t start, size_t end, UINT format, int maxWidth, bool tabs,
                size_t &used) {
    size_t len = end - start, fit = 0;
    while (fit < len && RunWidth(font, s.data() + start, fit + 1, tabs) <= maxWidth) fit++;
    if (fit == len) {
        used = len;
        return len;
    }
    bool aligned = (format & (DT_CENTER | DT_RIGHT)) != 0;
    size_t at = 0;  // where the line breaks, from start; 0: nowhere
    if (fit > 0 && BreakBefore(s, start + fit)) {
        at = fit;
    } else {
        for (size_t i = fit; i > 1 && !at; i--)
            if (BreakBefore(s, start + i - 1)) at = i - 1;
    }
    size_t length;
    if (at > 0) {
        length = at;
        if (aligned && s[start + at - 1] == ' ') length--;
        used = at;
    } else {
        // No place to break within what fits: the whole word, to the next blank.
        length = fit;
        while (length < len && s[start + length] != ' ') length++;
        used = length;
    }
    if (used < len && s[start + used] == ' ') used++;
    return length;
}

// Splits text into lines as DrawTextA does.
std::vector<TextLine> LayOut(FontId font, const char *text, size_t len, UINT format, int maxWidth) {
    // Prefixes first: '&' underlines the next character, "&&" is an '&'.
    TextLine all;
    for (size_t i = 0; i < len; i++) {
        char c = text[i];
        if (c == '&' && !(format & DT_NOPREFIX)) {
            if (i + 1 < len && text[i + 1] == '&') {
                all.text += '&';
                all.underline.push_back(false);
                i++;
            } else if (i + 1 < len) {
                all.text += text[i + 1];
                all.underline.push_back(!(format & DT_HIDEPREFIX));
                i++;
            }
            continue;
        }
        all.text += c;
        all.underline.push_back(false);
    }
    bool tabs = (format & DT_EXPANDTABS) != 0;
    std::vector<TextLine> lines;
    auto sub = [&](size_t from, size_t to) {
        TextLine l;
        l.text = all.text.substr(from, to - from);
        l.underline.assign(all.underline.begin() + (long)from, all.underline.begin() + (long)to);
        return l;
    };
    const std::string &s = all.text;
    size_t n = s.size();
    if (format & DT_SINGLELINE) {
        lines.push_back(all);
        return lines;
    }
    size_t pos = 0;
    for (;;) {
        // A paragraph runs to "\r\n", '\n' or '\r'.
        size_t end = pos;
        while (end < n && s[end] != '\n' && s[end] != '\r') end++;
        size_t next = end;
        if (end < n) next = (s[end] == '\r' && end + 1 < n && s[end + 1] == '\n') ? end + 2 : end + 1;
        if (!(format & DT_WORDBREAK)) {
            lines.push_back(sub(pos, end));
        } else {
            size_t start = pos;
            do {
                size_t used, length = WrapLine(font, s, start, end, format, maxWidth, tabs, used);
                lines.push_back(sub(start, start + length));
                start += used;
            } while (start < end);
        }
        if (end >= n) break;
        pos = next;
        if (pos >= n) {
            lines.push_back(TextLine());  // a text ending in a line break has an empty last line
            break;
        }
    }
    return lines;
}

// Shortens a line to fit a width with "..." at its end.
void EndEllipsis(FontId font, TextLine &line, int width, bool tabs) {
    if (RunWidth(font, line.text.data(), line.text.size(), tabs) <= width) return;
    int dots = MeasureText(font, "...", 3).cx;
    size_t keep = line.text.size();
    while (keep > 0 && RunWidth(font, line.text.data(), keep, tabs) + dots > width) keep--;
    line.text = line.text.substr(0, keep) + "...";
    line.underline.resize(keep);
    line.underline.resize(keep + 3, false);
}

}  // namespace

int WINAPI DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rc, UINT format) {
    if (!rc || (count != 0 && !text)) return 0;
    size_t len = count < 0 ? strlen(text) : (size_t)count;
    Locked dc(hdc);
    if (!dc.state) return 0;
    DcState &s = *dc.state;
    FontId font = s.font;
    bool tabs = (format & DT_EXPANDTABS) != 0;
    int width = rc->right - rc->left;
    std::vector<TextLine> lines = LayOut(font, text ? text : "", len, format, width);
    if (format & DT_END_ELLIPSIS)
        for (TextLine &l : lines) EndEllipsis(font, l, width, tabs);
    int lineHeight = FontHeight(font);
    int height = lineHeight * (int)lines.size();
    int widest = 0;
    for (const TextLine &l : lines) {
        int w = RunWidth(font, l.text.data(), l.text.size(), tabs);
        if (w > widest) widest = w;
    }
    int top = rc->top;
    bool single = (format & DT_SINGLELINE) != 0;
    if (single && (format & DT_VCENTER))
        top = rc->top + ((rc->bottom - rc->top) - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rc->bottom - lineHeight;
    if (format & DT_CALCRECT) {
        rc->right = rc->left + widest;
        rc->bottom = rc->top + height;
        return height;
    }
    Painter p(s);
    if (!(format & DT_NOCLIP)) p.Clip(*rc);
    uint32_t ink = Argb(s.textColour), paper = Argb(s.bkColour);
    int y = top;
    for (const TextLine &l : lines) {
        int w = RunWidth(font, l.text.data(), l.text.size(), tabs);
        int x = rc->left;
        if (format & DT_CENTER)
            x = rc->left + ((rc->right - rc->left) - w) / 2;
        else if (format & DT_RIGHT)
            x = rc->right - w;
        if (s.bkMode == OPAQUE) p.Fill(x, y, x + w, y + lineHeight, paper);
        DrawRun(p, font, x, y, l.text.data(), l.text.size(), &l.underline, tabs ? TabWidth(font) : 0, ink);
        y += lineHeight;
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM))) return top - rc->top + height;
    return height;
}
