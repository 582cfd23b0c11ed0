// Handle keys and the global memory blocks behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/handles/GlobalMemory.h"
#include "platform/handles/HandleTable.h"

namespace {

TEST(HandleTable, KeysAreNonZeroDistinctAndKindChecked) {
    int a = 0, b = 0;
    const std::uint32_t ka = RegisterHandle(HandleKind::EngineBitmap, &a);
    const std::uint32_t kb = RegisterHandle(HandleKind::DeviceContext, &b);
    ASSERT_NE(ka, 0u);
    ASSERT_NE(kb, 0u);
    EXPECT_NE(ka, kb);
    EXPECT_EQ(RegisterHandle(HandleKind::EngineBitmap, nullptr), 0u);
    EXPECT_EQ(LookupHandleAs<int>(HandleKind::EngineBitmap, ka), &a);
    EXPECT_EQ(LookupHandle(HandleKind::DeviceContext, ka), nullptr);
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, 0), nullptr);
    EXPECT_FALSE(UnregisterHandle(HandleKind::GlobalMemory, ka));  // wrong kind: left in place
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, ka), &a);

    ASSERT_TRUE(UnregisterHandle(HandleKind::EngineBitmap, ka));
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, ka), nullptr);
    EXPECT_FALSE(UnregisterHandle(HandleKind::EngineBitmap, ka));
    const std::uint32_t next = RegisterHandle(HandleKind::EngineBitmap, &a);
    EXPECT_NE(next, ka);  // a released key does not come straight back
    UnregisterHandle(HandleKind::EngineBitmap, next);
    UnregisterHandle(HandleKind::DeviceContext, kb);
}

TEST(HandleTable, WrapAroundSkipsZeroAndLiveKeys) {
    int a = 0, b = 0, c = 0;
    SetNextHandleKeyForTesting(UINT32_MAX);
    const std::uint32_t last = RegisterHandle(HandleKind::EngineBitmap, &a);
    EXPECT_EQ(last, UINT32_MAX);
    const std::uint32_t wrapped = RegisterHandle(HandleKind::EngineBitmap, &b);
    EXPECT_NE(wrapped, 0u);
    SetNextHandleKeyForTesting(wrapped);  // as if the counter came round again
    const std::uint32_t skipped = RegisterHandle(HandleKind::DeviceContext, &c);
    EXPECT_NE(skipped, wrapped);
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, wrapped), &b);
    for (auto [kind, key] : {std::pair{HandleKind::EngineBitmap, last},
                             {HandleKind::EngineBitmap, wrapped},
                             {HandleKind::DeviceContext, skipped}})
        EXPECT_TRUE(UnregisterHandle(kind, key));
}

TEST(GlobalMemory, LockCountsNestAndBlocksStartZeroed) {
    const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 64);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(GlobalSize(h), 64u);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::count(p, p + 64, 0), 64);
    EXPECT_EQ(GlobalLock(h), p);
    EXPECT_NE(GlobalUnlock(h), 0);  // still locked once
    EXPECT_EQ(GlobalUnlock(h), 0);
    EXPECT_EQ(GlobalUnlock(h), 0);  // not locked: no underflow
    EXPECT_EQ(GlobalFree(h), 0u);

    const HGLOBAL empty = GlobalAlloc(GHND, 0);
    ASSERT_NE(empty, 0u);
    EXPECT_NE(GlobalLock(empty), nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    EXPECT_EQ(GlobalFree(empty), 0u);

    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX), 0u);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX / 2), 0u);
}

TEST(GlobalMemory, ReAllocKeepsContentsAndRefusesToMoveLockedBlocks) {
    const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 5);
    std::memcpy(GlobalLock(h), "abcde", 5);
    EXPECT_EQ(GlobalReAlloc(h, 5, GMEM_MOVEABLE), h);  // same size while locked: fine
    EXPECT_EQ(GlobalReAlloc(h, 100, GMEM_MOVEABLE), 0u);
    EXPECT_EQ(GlobalSize(h), 5u);
    GlobalUnlock(h);

    ASSERT_EQ(GlobalReAlloc(h, 100, GMEM_MOVEABLE), h);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    EXPECT_EQ(std::memcmp(p, "abcde", 5), 0);
    EXPECT_EQ(std::count(p + 5, p + 100, 0), 95);
    GlobalUnlock(h);
    ASSERT_EQ(GlobalReAlloc(h, 2, GMEM_MOVEABLE), h);
    EXPECT_EQ(std::memcmp(GlobalLock(h), "ab", 2), 0);
    EXPECT_EQ(GlobalReAlloc(h, SIZE_MAX, GMEM_MOVEABLE), 0u);  // fails, block unharmed
    EXPECT_EQ(GlobalSize(h), 2u);
    EXPECT_EQ(GlobalFree(h), 0u);  // freed although locked
}

TEST(GlobalMemory, StaleAndForeignHandlesFailCleanly) {
    const HGLOBAL h = GlobalAlloc(GHND, 16);
    ASSERT_EQ(GlobalFree(h), 0u);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalUnlock(h), 0);
    EXPECT_EQ(GlobalReAlloc(h, 8, 0), 0u);
    EXPECT_EQ(GlobalFree(h), h);
    EXPECT_EQ(GlobalFree(0), 0u);

    // A key of another kind is no memory block, and freeing it leaves it registered.
    int bitmap = 0;
    const std::uint32_t key = RegisterHandle(HandleKind::EngineBitmap, &bitmap);
    EXPECT_EQ(GlobalLock(key), nullptr);
    EXPECT_EQ(GlobalFree(key), key);
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, key), &bitmap);
    UnregisterHandle(HandleKind::EngineBitmap, key);

    const HGLOBAL block = GlobalAlloc(GHND, 4);
    EXPECT_EQ(LookupHandle(HandleKind::EngineBitmap, block), nullptr);
    EXPECT_NE(LookupHandle(HandleKind::GlobalMemory, block), nullptr);
    GlobalFree(block);
}

}  // namespace
