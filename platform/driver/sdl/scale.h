// Integer scaling for HiDPI screens. The stand-in and the program work in 1x pixels;
// on the desktop every window shows enlarged by one whole factor, nearest-neighbour, so
// that the classic look stays crisp. Everything that crosses between the two (window
// places and sizes, mouse positions, the work area) goes through these helpers.
#ifndef QK_PLATFORM_DRIVER_SDL_SCALE_H
#define QK_PLATFORM_DRIVER_SDL_SCALE_H

#include <SDL.h>

#include "platform/user32/paint.h"

namespace qk {
namespace sdl {

// The largest factor taken, whatever asks for more.
const int kMaxScale = 8;

// The factor from what the desktop says, first match wins: `override` (QKSONNERIX_SCALE),
// `gdkScale` (GDK_SCALE), then Xft.dpi in `xResources` (the X resource database as text,
// "name:\tvalue" lines) divided by 96. Each is rounded down; one that is not a number of
// at least 1 is passed over. 1 when nothing says otherwise.
int ChooseScale(const char *override, const char *gdkScale, const char *xResources);

// Reads the environment and the X server's resources (when there is an X display) and
// sets the factor. Called once, after SDL's video is up and before the first window. On
// SDL's native Wayland driver only QKSONNERIX_SCALE counts: the compositor scales.
void InitScale();
int Scale();

// Screen pixels from 1x pixels, and back (rounded towards minus infinity, so that a
// window a little left of the screen's edge stays left of it).
inline int ToScreen(int v) { return v * Scale(); }
inline int FromScreen(int v) {
    int s = Scale();
    return v >= 0 ? v / s : -((-v + s - 1) / s);
}

// Copies `width` x `height` 1x pixels of `picture`, from its point `from` on, into
// `target` (locked when it must be, and at least `factor` times as large), each pixel as
// a block of `factor` x `factor` pixels.
void EnlargeInto(const paint::Surface &picture, int width, int height, int factor, SDL_Surface *target,
                 SDL_Point from = {0, 0});

}  // namespace sdl
}  // namespace qk

#endif
