// A bitmap that device contexts draw into: the stand-in's screen memory. user32 renders a
// top-level window into one, and a driver shows it as it is. Not part of the program's API.
#ifndef QK_PLATFORM_GDI32_SURFACE_H
#define QK_PLATFORM_GDI32_SURFACE_H

#include <stdint.h>

#include <vector>

namespace qk {
namespace gdi {

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, row by row from the top
};

}  // namespace gdi
}  // namespace qk

#endif
