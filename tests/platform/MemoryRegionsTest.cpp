// Known memory regions: what a member may read from an address the platform handed out.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/handles/GlobalMemory.h"
#include "platform/handles/MemoryRegions.h"

namespace {

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

TEST(MemoryRegions, ReadsAreBoundedByTheRegionContainingTheAddress) {
    std::vector<std::uint8_t> bytes(100);
    const std::uint64_t base = Address(bytes.data());
    {
        MemoryRegionRegistration region(bytes.data(), 40);
        std::uint64_t start = 0;
        std::size_t size = 0;
        ASSERT_TRUE(KnownRegion(base + 39, &start, &size));
        EXPECT_EQ(start, base);
        EXPECT_EQ(size, 40u);
        EXPECT_TRUE(ReadableWithinKnownRegion(base, 40));
        EXPECT_FALSE(ReadableWithinKnownRegion(base, 41));
        EXPECT_TRUE(ReadableWithinKnownRegion(base + 10, 30));
        EXPECT_FALSE(ReadableWithinKnownRegion(base + 10, 31));
        EXPECT_FALSE(ReadableWithinKnownRegion(base + 39, UINT64_MAX));
        // Past the end is no longer the region: the caller's promise, as for any address.
        EXPECT_FALSE(KnownRegion(base + 40, nullptr, nullptr));
        EXPECT_TRUE(ReadableWithinKnownRegion(base + 40, 1000));
        EXPECT_FALSE(KnownRegion(base - 1, nullptr, nullptr));
    }
    EXPECT_FALSE(KnownRegion(base, nullptr, nullptr));  // forgotten with its registration
    EXPECT_TRUE(ReadableWithinKnownRegion(base, 1000));
}

TEST(MemoryRegions, AZeroByteRegionOwnsItsStartButNoBytes) {
    std::uint8_t byte = 0;
    MemoryRegionRegistration region(&byte, 0);
    EXPECT_TRUE(KnownRegion(Address(&byte), nullptr, nullptr));
    EXPECT_TRUE(ReadableWithinKnownRegion(Address(&byte), 0));
    EXPECT_FALSE(ReadableWithinKnownRegion(Address(&byte), 1));
    MemoryRegionRegistration moved = std::move(region);  // the move keeps one registration
    EXPECT_TRUE(KnownRegion(Address(&byte), nullptr, nullptr));
}

TEST(MemoryRegions, GlobalBlocksAreKnownFromAllocationToFree) {
    const HGLOBAL block = GlobalAlloc(GHND, 64);
    ASSERT_NE(block, 0u);
    const std::uint64_t first = Address(GlobalLock(block));
    GlobalUnlock(block);
    EXPECT_FALSE(ReadableWithinKnownRegion(first, 65));
    EXPECT_TRUE(ReadableWithinKnownRegion(first, 64));

    ASSERT_EQ(GlobalReAlloc(block, 4096, GMEM_MOVEABLE), block);
    const std::uint64_t grown = Address(GlobalLock(block));
    GlobalUnlock(block);
    EXPECT_TRUE(ReadableWithinKnownRegion(grown, 4096));
    EXPECT_FALSE(ReadableWithinKnownRegion(grown, 4097));
    if (grown != first) {
        EXPECT_FALSE(KnownRegion(first, nullptr, nullptr));
    }

    ASSERT_EQ(GlobalFree(block), 0u);
    EXPECT_FALSE(KnownRegion(grown, nullptr, nullptr));
}

TEST(MemoryRegions, ThreadsRegisterAndQueryConcurrently) {
    constexpr int kThreads = 4, kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([] {
            std::vector<std::uint8_t> bytes(32);
            for (int i = 0; i < kRounds; ++i) {
                MemoryRegionRegistration region(bytes.data(), bytes.size());
                EXPECT_FALSE(ReadableWithinKnownRegion(Address(bytes.data()), 33));
            }
        });
    for (std::thread& thread : threads) thread.join();
}

}  // namespace
