// The scale factor and the enlarged copy of a window's picture.
#include "platform/driver/sdl/scale.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace qk {
namespace sdl {
namespace {

int g_scale = 1;

// A factor from a text: a number of at least 1, rounded down; 0 when it is none.
int FactorOf(const char *text, double unit) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') text++;
    if (!*text) return 0;
    char *end = nullptr;
    double v = strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t')) end++;
    if (!end || *end || !(v >= unit) || !isfinite(v)) return 0;
    double f = floor(v / unit);
    return f > kMaxScale ? kMaxScale : (int)f;
}

// The value of the resource `name` in an X resource database text, or "".
std::string ResourceValue(const char *resources, const char *name) {
    if (!resources) return "";
    size_t n = strlen(name);
    for (const char *line = resources; *line;) {
        const char *eol = strchr(line, '\n');
        size_t len = eol ? (size_t)(eol - line) : strlen(line);
        const char *p = line;
        while (p < line + len && (*p == ' ' || *p == '\t')) p++;
        if ((size_t)(line + len - p) > n && strncmp(p, name, n) == 0) {
            const char *q = p + n;
            while (q < line + len && (*q == ' ' || *q == '\t')) q++;
            if (q < line + len && *q == ':') {
                q++;
                const char *e = line + len;
                while (e > q && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r')) e--;
                while (q < e && (*q == ' ' || *q == '\t')) q++;
                return std::string(q, (size_t)(e - q));
            }
        }
        if (!eol) break;
        line = eol + 1;
    }
    return "";
}

// The X server's resource database (what xrdb loaded), or "" without an X display.
std::string XResources() {
    const char *display = getenv("DISPLAY");
    if (!display || !*display) return "";
    Display *d = XOpenDisplay(nullptr);
    if (!d) return "";
    const char *text = XResourceManagerString(d);
    std::string out = text ? text : "";
    XCloseDisplay(d);
    return out;
}

}  // namespace

int ChooseScale(const char *override, const char *gdkScale, const char *xResources) {
    if (int f = FactorOf(override, 1)) return f;
    if (int f = FactorOf(gdkScale, 1)) return f;
    std::string dpi = ResourceValue(xResources, "Xft.dpi");
    if (int f = FactorOf(dpi.c_str(), 96)) return f;
    return 1;
}

void InitScale() {
    const char *override = getenv("QKSONNERIX_SCALE");
    const char *gdk = getenv("GDK_SCALE");
    // On SDL's own Wayland driver the compositor scales the windows itself.
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver && strcmp(driver, "wayland") == 0) {
        g_scale = ChooseScale(override, nullptr, nullptr);
        return;
    }
    // The X server is asked only when nothing nearer has answered.
    if (FactorOf(override, 1) || FactorOf(gdk, 1)) {
        g_scale = ChooseScale(override, gdk, nullptr);
        return;
    }
    g_scale = ChooseScale(nullptr, nullptr, XResources().c_str());
}

int Scale() { return g_scale; }

void EnlargeInto(const paint::Surface &picture, int width, int height, int factor, SDL_Surface *target,
                 SDL_Point from) {
    if (width <= 0 || height <= 0 || factor < 1) return;
    Uint32 format = target->format->format;
    int s = factor;
    const uint32_t *origin = picture.pixels.data() + (size_t)from.y * (size_t)picture.width + (size_t)from.x;
    if (s == 1) {
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, origin, picture.width * 4, format,
                          target->pixels, target->pitch);
        return;
    }
    // Each row is converted once into the target's format, widened into the first of its
    // s rows on the screen, and that row copied into the other s - 1.
    int bpp = target->format->BytesPerPixel;
    std::vector<Uint8> row((size_t)width * (size_t)bpp);
    for (int y = 0; y < height; y++) {
        SDL_ConvertPixels(width, 1, SDL_PIXELFORMAT_ARGB8888, origin + (size_t)y * picture.width,
                          picture.width * 4, format, row.data(), width * bpp);
        Uint8 *first = (Uint8 *)target->pixels + (size_t)(y * s) * (size_t)target->pitch;
        Uint8 *out = first;
        for (int x = 0; x < width; x++)
            for (int k = 0; k < s; k++, out += bpp) memcpy(out, row.data() + (size_t)x * bpp, (size_t)bpp);
        for (int k = 1; k < s; k++) memcpy(first + (size_t)k * target->pitch, first, (size_t)(width * s * bpp));
    }
}

}  // namespace sdl
}  // namespace qk
