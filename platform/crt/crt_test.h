// Test hooks of the crt. Not part of the program's API.
#ifndef QK_PLATFORM_CRT_TEST_H
#define QK_PLATFORM_CRT_TEST_H

#include <functional>

namespace qk {

// From now on a binary read stream delivers at most `bytes` bytes in all, as if the
// file shrank after it was measured; a negative value turns this off.
void SetShortReadLimit(long bytes);

// Called by fopen with the host path it found, just before it opens it: a test may
// remove or replace the entry there, as another program could between the caller's
// existence test and its read. An empty function turns this off.
void SetBeforeOpenHook(std::function<void(const char *hostPath)> hook);

}  // namespace qk

#endif
