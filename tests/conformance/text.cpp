// Text: GetTextExtentPoint32A of every caption the program composes on its slot buttons (the
// key names F1 to F12, "< empty >", labels of up to eight letters, and the key names widened
// with spaces until they are as wide as the label), in the System font (a new DC's) and in MS
// Sans Serif 8 (the font the "NTFS" dialog gets from its template), with each font's metrics.
#include "tests/conformance/probe.h"

static const char *const Labels[] = {
    "< empty >", "ABCDEFGH", "abcdefgh", "WWWWWWWW", "iiiiiiii", "MMMMMMMM", "llllllll", "Jingle01",
    "Applause", "DRUMROLL", "x",        "12345678", "A B C D",  "\xc4\xd6\xdc\xe4\xf6\xfc\xdf\xe9",
};

static void Measure(const char *font, HDC dc) {
    TEXTMETRICA tm;
    memset(&tm, 0, sizeof tm);
    BOOL ok = GetTextMetricsA(dc, &tm);
    Say(K("%s.metrics", font), "%d height=%ld ascent=%ld descent=%ld average=%ld max=%ld leading=%ld/%ld", ok ? 1 : 0,
        (long)tm.tmHeight, (long)tm.tmAscent, (long)tm.tmDescent, (long)tm.tmAveCharWidth, (long)tm.tmMaxCharWidth,
        (long)tm.tmInternalLeading, (long)tm.tmExternalLeading);
    SIZE size;
    char key[32];
    for (int n = 1; n <= 12; n++) {
        snprintf(key, sizeof key, "F%d", n);
        memset(&size, 0, sizeof size);
        ok = GetTextExtentPoint32A(dc, key, (int)strlen(key), &size);
        Say(K("%s.extent.%s", font, key), "%d %ldx%ld", ok ? 1 : 0, (long)size.cx, (long)size.cy);
    }
    for (const char *label : Labels) {
        memset(&size, 0, sizeof size);
        ok = GetTextExtentPoint32A(dc, label, (int)strlen(label), &size);
        Say(K("%s.extent.%s", font, Q(label)), "%d %ldx%ld", ok ? 1 : 0, (long)size.cx, (long)size.cy);
    }
    // The program's widening: spaces on both sides of the key name until it is at least as
    // wide as the label. Shown for F1, F10 and F12 (one and two digits).
    static const int widenedKeys[] = {1, 10, 12};
    for (int n : widenedKeys)
        for (const char *label : Labels) {
            SIZE labelSize;
            GetTextExtentPoint32A(dc, label, (int)strlen(label), &labelSize);
            char text[64];
            int pad = 0;
            SIZE keySize;
            for (;;) {
                snprintf(text, sizeof text, "%*sF%d%*s", pad, "", n, pad, "");
                GetTextExtentPoint32A(dc, text, (int)strlen(text), &keySize);
                if (keySize.cx >= labelSize.cx || pad >= 20) break;
                pad++;
            }
            Say(K("%s.widened.F%d.%s", font, n, Q(label)), "pad=%d %ldx%ld", pad, (long)keySize.cx, (long)keySize.cy);
        }
    // Empty and partial strings.
    memset(&size, 0, sizeof size);
    ok = GetTextExtentPoint32A(dc, "F12", 0, &size);
    Say(K("%s.extent.empty", font), "%d %ldx%ld", ok ? 1 : 0, (long)size.cx, (long)size.cy);
    ok = GetTextExtentPoint32A(dc, "F12", 2, &size);
    Say(K("%s.extent.F12-first-two", font), "%d %ldx%ld", ok ? 1 : 0, (long)size.cx, (long)size.cy);
    ok = GetTextExtentPoint32A(dc, " ", 1, &size);
    Say(K("%s.extent.space", font), "%d %ldx%ld", ok ? 1 : 0, (long)size.cx, (long)size.cy);
    // Word breaks in a rectangle 100 pixels wide: where a line may break (blanks, and the
    // characters paths are made of), and what becomes of a word longer than a line.
    static const struct {
        const char *name, *text;
    } wrapped[] = {
        {"long-word", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
        {"short-then-long", "Ab AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
        {"path", "C:\\SOUNDS\\JINGLES\\LONGER\\NAMES\\HERE\\A.WAV"},
        {"short-words", "one two three four five six seven eight nine ten"},
        {"backslash", "AAAAAAAAA\\AAAAAAAAA"},
        {"slash", "AAAAAAAAA/AAAAAAAAA"},
        {"hyphen", "AAAAAAAAA-AAAAAAAAA"},
        {"dot", "AAAAAAAAA.AAAAAAAAA"},
        {"colon", "AAAAAAAAA:AAAAAAAAA"},
        {"underscore", "AAAAAAAAA_AAAAAAAAA"},
        {"comma", "AAAAAAAAA,AAAAAAAAA"},
        {"bracket", "AAAAAAAAA(AAAAAAAAA"},
        {"digits", "999999999\\999999999"},
        {"two-backslashes", "AAAAAAAAA\\\\AAAAAAAAA"},
        {"backslash-blank", "AAAAAAAAA\\ AAAAAAAAA"},
        {"long-component", "C:\\AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\\B.WAV"},
        {"two-slashes", "AAAAAAAAA//AAAAAAAAA"},
        {"two-hyphens", "AAAAAAAAA--AAAAAAAAA"},
        {"slash-digits", "999999999/999999999"},
        {"letters-slash-digits", "AAAAAAAAA/999999999"},
        {"hyphen-digits", "999999999-999999999"},
        {"letters-hyphen-digits", "AAAAAAAAA-999999999"},
        {"letters-backslash-digits", "AAAAAAAAA\\999999999"},
        {"digits-backslash-letters", "999999999\\AAAAAAAAA"},
        {"blanks-then-long", "Ab   AAAAAAAAAAAAAAA"},
        {"blanks-in-line", "Ab   Cd   Ef   Gh   Ij   Kl"},
    };
    for (const auto &w : wrapped) {
        RECT r = {0, 0, 100, 0};
        int height = DrawTextA(dc, w.text, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SIZE line;
        GetTextExtentPoint32A(dc, "A", 1, &line);
        Say(K("%s.wordbreak.%s", font, w.name), "width=%ld lines=%ld", (long)r.right,
            line.cy ? (long)(height / line.cy) : -1L);
    }
}

static INT_PTR CALLBACK MeasureInDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    HFONT font = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
    Say("dialog.has-font", "%d", font ? 1 : 0);
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, font);
    Measure("ms-sans-serif-8", dc);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    EndDialog(dialog, 7);
    return TRUE;
}

int main(void) {
    ProbeStart();
    HDC dc = GetDC(NULL);
    Measure("system", dc);
    // The stock object selected explicitly gives the same.
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SIZE size;
    GetTextExtentPoint32A(dc, "< empty >", 9, &size);
    Say("system-stock.extent.empty-label", "%ldx%ld", (long)size.cx, (long)size.cy);
    SelectObject(dc, old);
    ReleaseDC(NULL, dc);
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), "NTFS", NULL, MeasureInDialog, 0);
    Say("dialog.result", "%ld", (long)result);
    return 0;
}
