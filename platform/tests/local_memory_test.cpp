// LocalAlloc and LocalFree for fixed blocks.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

TEST(LocalMemoryTest, FreeReturnsNull)
{
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    HLOCAL block = LocalAlloc(LMEM_FIXED, 32);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 32);
    EXPECT_EQ(LocalFree(block), nullptr);
}

TEST(LocalMemoryTest, ZeroInitClearsTheBlock)
{
    for (const SIZE_T size : {SIZE_T{1}, SIZE_T{64}, SIZE_T{4096}, SIZE_T{100000}})
    {
        SCOPED_TRACE(size);
        auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, size));
        ASSERT_NE(block, nullptr);
        SIZE_T non_zero = 0;
        for (SIZE_T index = 0; index < size; ++index)
            non_zero += block[index] != 0 ? 1 : 0;
        EXPECT_EQ(non_zero, 0u);
        EXPECT_EQ(LocalFree(block), nullptr);
    }
}

TEST(LocalMemoryTest, EmptyBlocksAreDistinct)
{
    HLOCAL first = LocalAlloc(LMEM_FIXED, 0);
    HLOCAL second = LocalAlloc(LMEM_FIXED, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(second), nullptr);
}

TEST(LocalMemoryTest, FreesSystemMessageBuffers)
{
    LPWSTR buffer = nullptr;
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                             nullptr),
              0u);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(LocalFree(buffer), nullptr);
}

}  // namespace
