// Test hooks of the crt. Not part of the program's API.
#ifndef QK_PLATFORM_CRT_TEST_H
#define QK_PLATFORM_CRT_TEST_H

namespace qk {

// From now on a binary read stream delivers at most `bytes` bytes in all, as if the
// file shrank after it was measured; a negative value turns this off.
void SetShortReadLimit(long bytes);

}  // namespace qk

#endif
