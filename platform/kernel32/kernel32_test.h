// Test hooks of kernel32: allocation faults, the memory's counts and the reported
// platform. Not part of the program's API.
#ifndef QK_PLATFORM_KERNEL32_TEST_H
#define QK_PLATFORM_KERNEL32_TEST_H

#include <stddef.h>

namespace qk {

// Makes the n-th GlobalAlloc from now on fail (1 = the next one); 0 turns it off.
void FailNthGlobalAlloc(long n);
// Every GlobalAlloc from now on fails (true) or not (false).
void FailEveryGlobalAlloc(bool on);
// Number of GlobalAlloc calls so far, and how many blocks are live now.
long GlobalAllocCount();
long GlobalLiveBlocks();
// New blocks without GMEM_ZEROINIT are filled with this byte (a negative value: left
// as they come), so that tests see whatever the program fails to write.
void FillNewBlocks(int byteValue);
void ResetGlobalMemory();

// What GetVersionExA reports from now on: the platform id it fills in (1, the Windows
// 95 family, as at start), or with `fail` a call that fails. For start-up tests.
void SetReportedPlatform(unsigned long platformId, bool fail = false);

}  // namespace qk

#endif
