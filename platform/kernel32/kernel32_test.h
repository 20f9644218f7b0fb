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

// GlobalAlloc refuses a block larger than the memory the system can still give (its
// available memory, less a margin). Tests set that amount instead (0: the system's own
// figure again).
void SetAvailableMemoryForTest(unsigned long long bytes);
// What GlobalAlloc takes as the memory the system can still give now.
unsigned long long AvailableMemory();

// Reads of profile files fail with an I/O error once `bytes` have been read (a negative
// value: reads are left alone), as a failing disk would fail them.
void FailProfileReadsAfter(long bytes);
// Failed settings writes are told once per cause in a run; this forgets what was told.
void ForgetToldWriteFailures();

// What GetVersionExA reports from now on: the platform id it fills in (1, the Windows
// 95 family, as at start), or with `fail` a call that fails. For start-up tests.
void SetReportedPlatform(unsigned long platformId, bool fail = false);

}  // namespace qk

#endif
