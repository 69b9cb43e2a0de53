// The last error belongs to the calling thread.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <thread>

TEST(LastErrorTest, IsKeptPerThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen_on_other_thread = 12345;
    std::thread other([&] {
        seen_on_other_thread = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
    });
    other.join();
    EXPECT_EQ(seen_on_other_thread, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
