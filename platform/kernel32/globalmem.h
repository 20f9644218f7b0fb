// kernel32's global memory as the rest of the stand-in sees it. Not part of the program's
// API.
#ifndef QK_PLATFORM_KERNEL32_GLOBALMEM_H
#define QK_PLATFORM_KERNEL32_GLOBALMEM_H

#include <stddef.h>

namespace qk {

// The bytes from p to the end of the live global memory block that holds p, or 0 when
// no block holds it. The sound engine uses it to keep within a sample's block.
size_t GlobalBlockExtent(const void *p);

}  // namespace qk

#endif
