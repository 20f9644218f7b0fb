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
            for (;;) {
                size_t e = start, fit = start, resume = end;
                bool broke = false;
                while (e < end) {
                    size_t wordEnd = e;
                    while (wordEnd < end && s[wordEnd] != ' ') wordEnd++;
                    int w = RunWidth(font, s.data() + start, wordEnd - start, tabs);
                    if (w > maxWidth && fit > start) {
                        broke = true;
                        break;
                    }
                    fit = wordEnd;
                    size_t spaces = wordEnd;
                    while (spaces < end && s[spaces] == ' ') spaces++;
                    resume = spaces;
                    e = spaces;
                    if (w > maxWidth && spaces < end) {  // a word too long for a line stands alone
                        broke = true;
                        break;
                    }
                }
                if (!broke) {
                    lines.push_back(sub(start, end));
                    break;
                }
                lines.push_back(sub(start, fit));
                start = resume;
                if (start >= end) break;
            }
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
