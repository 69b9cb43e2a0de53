// Share modes of CreateFileW: which second open a first open's access and share mode allow, that a
// refused open leaves the file untouched, that closing a handle lifts its share mode, and that the
// rule holds across processes.
#include "file_test_support.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace voka::platform
{
namespace
{

using namespace test;

constexpr DWORD k_read = GENERIC_READ;
constexpr DWORD k_write = GENERIC_WRITE;
constexpr DWORD k_both = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD k_share_read = FILE_SHARE_READ;
constexpr DWORD k_share_write = FILE_SHARE_WRITE;
constexpr DWORD k_share_both = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE open_shared(const std::filesystem::path& path, DWORD access, DWORD share,
                   DWORD disposition = OPEN_EXISTING)
{
    return CreateFileW(wide(path).c_str(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(FileShareTest, SecondOpenIsAllowedOnlyWhenBothShareModesAllowTheOtherAccess)
{
    const struct
    {
        const char* label;
        DWORD first_access;
        DWORD first_share;
        DWORD second_access;
        DWORD second_share;
        bool allowed;
    } cases[] = {
        {"exclusive reader, then a sharing reader", k_read, 0, k_read, k_share_both, false},
        {"exclusive writer, then a sharing reader", k_write, 0, k_read, k_share_both, false},
        {"sharing reader, then an exclusive reader", k_read, k_share_both, k_read, 0, false},
        {"two readers sharing reading", k_read, k_share_read, k_read, k_share_read, true},
        {"reader sharing reading only, then a writer", k_read, k_share_read, k_write, k_share_both,
         false},
        {"reader sharing writing, then a writer", k_read, k_share_both, k_write, k_share_both,
         true},
        {"writer, then a reader that does not share writing", k_write, k_share_both, k_read,
         k_share_read, false},
        {"writer, then a reader sharing writing only", k_write, k_share_both, k_read, k_share_write,
         true},
        {"reader, then a reader sharing writing only", k_read, k_share_both, k_read, k_share_write,
         false},
        {"writer, then a reader sharing both", k_write, k_share_both, k_read, k_share_both, true},
        {"two readers and writers sharing both", k_both, k_share_both, k_both, k_share_both, true},
        {"reader sharing writing only, then a reader", k_read, k_share_write, k_read, k_share_both,
         false},
        {"no data access, then an exclusive reader", 0, 0, k_read, 0, true},
        {"exclusive reader, then no data access", k_read, 0, 0, 0, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        const t_temp_folder folder;
        const auto path = folder / "shared.bin";
        write_all(path, {1, 2, 3});
        const HANDLE first = open_shared(path, c.first_access, c.first_share);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        const HANDLE second = open_shared(path, c.second_access, c.second_share);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
        if (second != INVALID_HANDLE_VALUE)
            CloseHandle(second);
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        CloseHandle(first);
    }
}

TEST(FileShareTest, RefusedOpenDoesNotTruncateOrCreate)
{
    const t_temp_folder folder;
    const auto path = folder / "held.bin";
    const std::vector<std::uint8_t> content = {9, 8, 7, 6};
    write_all(path, content);
    const HANDLE holder = open_shared(path, k_read, 0);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (const DWORD disposition : {CREATE_ALWAYS, TRUNCATE_EXISTING, OPEN_ALWAYS})
    {
        EXPECT_EQ(open_shared(path, k_write, k_share_both, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(read_all(path), content);
    CloseHandle(holder);
}

TEST(FileShareTest, ClosingTheHandleLiftsItsShareMode)
{
    const t_temp_folder folder;
    const auto path = folder / "held.bin";
    write_all(path, {1});
    const HANDLE holder = open_shared(path, k_both, 0);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_shared(path, k_read, k_share_both), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(holder));
    const HANDLE again = open_shared(path, k_read, 0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(FileShareTest, ExclusiveOpenBindsOtherProcesses)
{
    const t_temp_folder folder;
    const auto path = folder / "held.bin";
    write_all(path, {1});
    const HANDLE holder = open_shared(path, k_read, 0);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::wstring wide_path = wide(path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // 0: refused with a sharing violation, as it must be; 1: opened; 2: another error.
        const HANDLE other = CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ::_exit(other != INVALID_HANDLE_VALUE               ? 1
                : GetLastError() == ERROR_SHARING_VIOLATION ? 0
                                                            : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    CloseHandle(holder);
}

}  // namespace
}  // namespace voka::platform
