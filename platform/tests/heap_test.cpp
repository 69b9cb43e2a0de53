// Conformance tests of private heaps: HeapCreate and HeapDestroy, and the hook that makes a
// creation fail.
#include "voka/platform/heap_test_hook.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

namespace
{

TEST(HeapTest, CreateAndDestroy)
{
    const HANDLE first = HeapCreate(0, 65536, 0);
    const HANDLE second = HeapCreate(0, 0, 4096);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    SetLastError(77);
    EXPECT_TRUE(HeapDestroy(first));
    EXPECT_EQ(GetLastError(), 77u);
    EXPECT_TRUE(HeapDestroy(second));
}

TEST(HeapTest, DestroyRefusesUnknownHandles)
{
    const HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    ASSERT_TRUE(HeapDestroy(heap));
    int not_a_heap = 0;
    for (const HANDLE handle : {heap, HANDLE{}, static_cast<HANDLE>(&not_a_heap)})
    {
        SetLastError(0);
        EXPECT_FALSE(HeapDestroy(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(HeapTest, InvalidArgumentsFail)
{
    const struct
    {
        DWORD options;
        SIZE_T initial_size;
        SIZE_T maximum_size;
        DWORD error;
    } cases[] = {
        {0, 8192, 4096, ERROR_INVALID_PARAMETER},
        {1, 0, 0, ERROR_NOT_SUPPORTED},
    };
    for (const auto& test_case : cases)
    {
        SetLastError(0);
        EXPECT_EQ(HeapCreate(test_case.options, test_case.initial_size, test_case.maximum_size),
                  nullptr);
        EXPECT_EQ(GetLastError(), test_case.error);
    }
}

TEST(HeapTest, HookFailsTheNextCreationOnly)
{
    voka::platform::fail_next_heap_creation();
    SetLastError(0);
    EXPECT_EQ(HeapCreate(0, 65536, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    const HANDLE heap = HeapCreate(0, 65536, 0);
    ASSERT_NE(heap, nullptr);
    EXPECT_TRUE(HeapDestroy(heap));
}

}  // namespace
