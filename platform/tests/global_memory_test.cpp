// Global memory blocks: GlobalAlloc, GlobalLock, GlobalUnlock, GlobalSize, GlobalReAlloc and
// GlobalFree, for fixed and movable blocks.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace
{

constexpr DWORD k_unrelated_error = 0xE0001234u;

bool all_bytes_are(const void* bytes, SIZE_T size, unsigned char value)
{
    const auto* const data = static_cast<const unsigned char*>(bytes);
    for (SIZE_T index = 0; index < size; ++index)
        if (data[index] != value)
            return false;
    return true;
}

void fill_pattern(void* bytes, SIZE_T size)
{
    auto* const data = static_cast<unsigned char*>(bytes);
    for (SIZE_T index = 0; index < size; ++index)
        data[index] = static_cast<unsigned char>(index * 7 + 1);
}

bool has_pattern(const void* bytes, SIZE_T size)
{
    const auto* const data = static_cast<const unsigned char*>(bytes);
    for (SIZE_T index = 0; index < size; ++index)
        if (data[index] != static_cast<unsigned char>(index * 7 + 1))
            return false;
    return true;
}

TEST(GlobalMemoryTest, FixedBlockIsItsOwnAddress)
{
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED, 40);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 40u);
    EXPECT_EQ(GlobalLock(block), block);
    fill_pattern(block, 40);
    SetLastError(k_unrelated_error);
    EXPECT_TRUE(GlobalUnlock(block));  // a fixed block is never locked
    EXPECT_EQ(GetLastError(), k_unrelated_error);
    EXPECT_TRUE(has_pattern(block, 40));
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ZeroInitClearsTheBytes)
{
    for (const UINT flags : {GPTR, GHND})
        for (const SIZE_T size : {SIZE_T{1}, SIZE_T{100}, SIZE_T{65536}})
        {
            SCOPED_TRACE(testing::Message() << "flags " << flags << ", size " << size);
            const HGLOBAL block = GlobalAlloc(flags, size);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(GlobalSize(block), size);
            void* const bytes = GlobalLock(block);
            ASSERT_NE(bytes, nullptr);
            EXPECT_TRUE(all_bytes_are(bytes, size, 0));
            GlobalUnlock(block);
            EXPECT_EQ(GlobalFree(block), nullptr);
        }
}

TEST(GlobalMemoryTest, MovableBlockCountsItsLocks)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 32);
    ASSERT_NE(block, nullptr);
    void* const first = GlobalLock(block);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, block);  // a movable block's handle is not its address
    EXPECT_EQ(GlobalLock(block), first);
    EXPECT_TRUE(GlobalUnlock(block));  // still locked once

    SetLastError(k_unrelated_error);
    EXPECT_FALSE(GlobalUnlock(block));  // unlocked now
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));

    SetLastError(k_unrelated_error);
    EXPECT_FALSE(GlobalUnlock(block));  // was not locked
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, EmptyMovableBlockIsDiscardedUntilItGetsASize)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(block, nullptr);
    SetLastError(k_unrelated_error);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GetLastError(), k_unrelated_error);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISCARDED));

    EXPECT_EQ(GlobalReAlloc(block, 24, GMEM_MOVEABLE), block);
    EXPECT_EQ(GlobalSize(block), 24u);
    void* const bytes = GlobalLock(block);
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(all_bytes_are(bytes, 24, 0));
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, EmptyFixedBlocksAreDistinctAddresses)
{
    const HGLOBAL first = GlobalAlloc(GMEM_FIXED, 0);
    const HGLOBAL second = GlobalAlloc(GMEM_FIXED, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(GlobalSize(first), 0u);
    EXPECT_EQ(GlobalFree(first), nullptr);
    EXPECT_EQ(GlobalFree(second), nullptr);
}

TEST(GlobalMemoryTest, UnsupportedFlagsAreInvalidParameter)
{
    for (const UINT flags : {GMEM_MODIFY, 0x0001u, 0x8000u, GMEM_MOVEABLE | 0x0004u})
    {
        SCOPED_TRACE(flags);
        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalAlloc(flags, 16), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(GlobalMemoryTest, ObsoleteFlagsAreAcceptedAndIgnored)
{
    for (const UINT flags : {GMEM_NOCOMPACT, GMEM_NODISCARD, GMEM_DISCARDABLE, GMEM_SHARE,
                             GMEM_DDESHARE, GMEM_LOWER, GMEM_NOTIFY})
        for (const UINT kind : {GMEM_FIXED, GMEM_MOVEABLE})
        {
            SCOPED_TRACE(testing::Message() << "flags " << (flags | kind));
            const HGLOBAL block = GlobalAlloc(flags | kind, 8);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(GlobalSize(block), 8u);
            EXPECT_EQ(GlobalFree(block), nullptr);
        }
}

TEST(GlobalMemoryTest, FreedHandlesAreInvalid)
{
    for (const UINT kind : {GMEM_FIXED, GMEM_MOVEABLE})
    {
        SCOPED_TRACE(kind);
        const HGLOBAL block = GlobalAlloc(kind, 8);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(GlobalFree(block), nullptr);

        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalSize(block), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalLock(block), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(k_unrelated_error);
        EXPECT_FALSE(GlobalUnlock(block));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalReAlloc(block, 16, GMEM_MOVEABLE), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalFree(block), block);  // failure returns the handle
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemoryTest, LockedBlocksCanBeFreed)
{
    const HGLOBAL block = GlobalAlloc(GHND, 8);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(GlobalLock(block), nullptr);
    ASSERT_NE(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ReAllocOfAMovableBlockKeepsItsHandleAndBytes)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    ASSERT_NE(block, nullptr);
    fill_pattern(GlobalLock(block), 64);
    GlobalUnlock(block);

    ASSERT_EQ(GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE), block);
    EXPECT_EQ(GlobalSize(block), SIZE_T{1} << 20);
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(has_pattern(bytes, 64));
    EXPECT_TRUE(all_bytes_are(bytes + 64, (1 << 20) - 64, 0));
    GlobalUnlock(block);

    ASSERT_EQ(GlobalReAlloc(block, 10, 0), block);
    EXPECT_EQ(GlobalSize(block), 10u);
    bytes = static_cast<const unsigned char*>(GlobalLock(block));
    EXPECT_TRUE(has_pattern(bytes, 10));
    GlobalUnlock(block);

    // Growing again within the block's first bytes gives zeros, not the old contents.
    ASSERT_EQ(GlobalReAlloc(block, 20, GMEM_ZEROINIT), block);
    bytes = static_cast<const unsigned char*>(GlobalLock(block));
    EXPECT_TRUE(has_pattern(bytes, 10));
    EXPECT_TRUE(all_bytes_are(bytes + 10, 10, 0));
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ReAllocOfALockedMovableBlockStaysInPlaceUnlessAllowedToMove)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(block, nullptr);
    void* const locked = GlobalLock(block);
    ASSERT_NE(locked, nullptr);
    fill_pattern(locked, 16);

    SetLastError(k_unrelated_error);
    EXPECT_EQ(GlobalReAlloc(block, 1 << 20, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GlobalSize(block), 16u);  // unchanged
    EXPECT_TRUE(has_pattern(locked, 16));

    EXPECT_EQ(GlobalReAlloc(block, 8, 0), block);  // shrinking is in place
    EXPECT_EQ(GlobalLock(block), locked);
    GlobalUnlock(block);

    ASSERT_EQ(GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE), block);
    const void* const moved = GlobalLock(block);
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(has_pattern(moved, 8));
    EXPECT_EQ(GlobalSize(block), SIZE_T{1} << 20);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ReAllocOfAFixedBlockMovesOnlyWhenAllowed)
{
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED, 32);
    ASSERT_NE(block, nullptr);
    fill_pattern(block, 32);

    EXPECT_EQ(GlobalReAlloc(block, 16, 0), block);  // shrinking is in place
    EXPECT_EQ(GlobalSize(block), 16u);

    SetLastError(k_unrelated_error);
    EXPECT_EQ(GlobalReAlloc(block, 1 << 20, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GlobalSize(block), 16u);

    const HGLOBAL moved = GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(GlobalLock(moved), moved);  // still a fixed block
    EXPECT_EQ(GlobalSize(moved), SIZE_T{1} << 20);
    EXPECT_TRUE(has_pattern(moved, 16));
    EXPECT_EQ(GlobalFree(moved), nullptr);
}

TEST(GlobalMemoryTest, ReAllocToZeroDiscardsAnUnlockedMovableBlock)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(GlobalReAlloc(block, 0, GMEM_MOVEABLE), block);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISCARDED));
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, ReAllocRejectsOtherFlags)
{
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(block, nullptr);
    for (const UINT flags : {GMEM_MODIFY, GMEM_MODIFY | GMEM_MOVEABLE, GMEM_SHARE})
    {
        SCOPED_TRACE(flags);
        SetLastError(k_unrelated_error);
        EXPECT_EQ(GlobalReAlloc(block, 32, flags), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(GlobalSize(block), 16u);
    }
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, BlocksOfManyThreadsStayApart)
{
    constexpr int k_threads = 4;
    constexpr int k_blocks = 200;
    std::thread threads[k_threads];
    for (int thread_index = 0; thread_index < k_threads; ++thread_index)
        threads[thread_index] = std::thread(
            [thread_index]
            {
                std::vector<HGLOBAL> blocks;
                for (int index = 0; index < k_blocks; ++index)
                {
                    const HGLOBAL block =
                        GlobalAlloc(index % 2 == 0 ? GMEM_MOVEABLE : GMEM_FIXED, 16);
                    ASSERT_NE(block, nullptr);
                    std::memset(GlobalLock(block), thread_index, 16);
                    GlobalUnlock(block);
                    blocks.push_back(block);
                }
                for (const HGLOBAL block : blocks)
                {
                    EXPECT_TRUE(all_bytes_are(GlobalLock(block), 16,
                                              static_cast<unsigned char>(thread_index)));
                    GlobalUnlock(block);
                    EXPECT_EQ(GlobalFree(block), nullptr);
                }
            });
    for (auto& thread : threads)
        thread.join();
}

}  // namespace
