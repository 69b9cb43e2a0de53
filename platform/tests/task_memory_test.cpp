// The COM task allocator: CoTaskMemAlloc, CoTaskMemRealloc and CoTaskMemFree.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace
{

TEST(TaskMemoryTest, BlocksAreWritableAlignedAndDistinct)
{
    for (const SIZE_T size : {SIZE_T{0}, SIZE_T{1}, SIZE_T{7}, SIZE_T{64}, SIZE_T{100000}})
    {
        SCOPED_TRACE(size);
        void* const first = CoTaskMemAlloc(size);
        void* const second = CoTaskMemAlloc(size);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % alignof(double), 0u);
        std::memset(first, 0x5A, size);
        CoTaskMemFree(first);
        CoTaskMemFree(second);
    }
}

TEST(TaskMemoryTest, FreeIgnoresNull)
{
    CoTaskMemFree(nullptr);
}

TEST(TaskMemoryTest, ReallocKeepsTheFirstBytes)
{
    auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(16));
    ASSERT_NE(block, nullptr);
    for (int index = 0; index < 16; ++index)
        block[index] = static_cast<unsigned char>(index);
    block = static_cast<unsigned char*>(CoTaskMemRealloc(block, 100000));
    ASSERT_NE(block, nullptr);
    for (int index = 0; index < 16; ++index)
        EXPECT_EQ(block[index], index);
    block = static_cast<unsigned char*>(CoTaskMemRealloc(block, 4));
    ASSERT_NE(block, nullptr);
    for (int index = 0; index < 4; ++index)
        EXPECT_EQ(block[index], index);
    CoTaskMemFree(block);
}

TEST(TaskMemoryTest, ReallocOfNullAllocatesAndToZeroFrees)
{
    void* const block = CoTaskMemRealloc(nullptr, 32);
    ASSERT_NE(block, nullptr);
    std::memset(block, 1, 32);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // freed; a leak checker sees no leak
}

}  // namespace
