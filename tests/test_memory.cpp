#include <string.h>

#include "platform/kernel32/kernel32_test.h"
#include "platform/win32.h"
#include "tests/support.h"

namespace {

class Memory : public StandinTest {};

TEST_F(Memory, MoveableBlocksLockToTheirBytes) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 100u);
    BYTE *p = (BYTE *)GlobalLock(h);
    ASSERT_NE(p, nullptr);
    memset(p, 7, 100);
    EXPECT_EQ(GlobalLock(h), p);  // the address never changes while locked
    EXPECT_TRUE(GlobalUnlock(h));   // still locked once
    EXPECT_FALSE(GlobalUnlock(h));  // now unlocked
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(qk::GlobalLiveBlocks(), 0);

    // A moveable block of no bytes is a discarded block: its lock gives NULL.
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GlobalFree(empty), nullptr);

    HGLOBAL zeroedBlock = GlobalAlloc(GHND, 64);
    BYTE *zeroed = (BYTE *)GlobalLock(zeroedBlock);
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 64; i++) EXPECT_EQ(zeroed[i], 0);
    GlobalFree(zeroedBlock);
}

TEST_F(Memory, TheNthAllocationFails) {
    qk::FailNthGlobalAlloc(3);
    HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, 10), b = GlobalAlloc(GMEM_MOVEABLE, 10);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 10), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    HGLOBAL d = GlobalAlloc(GMEM_MOVEABLE, 10);  // only the third
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(qk::GlobalAllocCount(), 4);
    GlobalFree(a);
    GlobalFree(b);
    GlobalFree(d);
}

TEST_F(Memory, BogusHandlesAreRefused) {
    int dummy;
    EXPECT_EQ(GlobalLock((HGLOBAL)&dummy), nullptr);
    EXPECT_EQ(GlobalFree((HGLOBAL)&dummy), (HGLOBAL)&dummy);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

}  // namespace
