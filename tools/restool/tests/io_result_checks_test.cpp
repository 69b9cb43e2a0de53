// Checks of file-call results: the size of the source, complete reads and complete writes.
#include "io_result_checks.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace
{

// The message a check throws, or nullopt when it passes.
template <typename t_check>
std::optional<std::string> message_of(t_check check)
{
    try
    {
        check();
        return std::nullopt;
    }
    catch (const std::runtime_error& error)
    {
        return std::string(error.what());
    }
}

struct t_size_case
{
    DWORD low_part;
    DWORD high_part;
    DWORD last_error;
    std::optional<std::string> message;
};

class SourceSizeTest : public ::testing::TestWithParam<t_size_case>
{
};

TEST_P(SourceSizeTest, AcceptsSizesBelow4GiBOnly)
{
    const t_size_case& c = GetParam();
    DWORD size = 0;
    EXPECT_EQ(
        message_of([&] { size = tw::checked_source_size(c.low_part, c.high_part, c.last_error); }),
        c.message);
    if (!c.message)
    {
        EXPECT_EQ(size, c.low_part);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SourceSizeTest,
    ::testing::Values(
        t_size_case{0, 0, 0, std::nullopt}, t_size_case{25, 0, 0, std::nullopt},
        // Exactly 4 GiB - 1 bytes: the low part reads like a failure but the error is 0.
        t_size_case{0xFFFFFFFFu, 0, 0, std::nullopt},
        t_size_case{0xFFFFFFFFu, 0, 6, "Failed to get file size. Win32 Error Code: 6."},
        // 4 GiB and more: the high part is not dropped.
        t_size_case{0, 1, 0, "Failed to get file size. Win32 Error Code: 223."},
        t_size_case{25, 1, 0, "Failed to get file size. Win32 Error Code: 223."},
        t_size_case{0xFFFFFFFEu, 0x7FFFFFFFu, 0, "Failed to get file size. Win32 Error Code: 223."},
        // A stale error with a valid size is not a failure.
        t_size_case{25, 0, 87, std::nullopt}));

struct t_transfer_case
{
    BOOL succeeded;
    DWORD done;
    DWORD expected;
    DWORD last_error;
    std::optional<std::string> read_message;
    std::optional<std::string> write_message;
};

class TransferCheckTest : public ::testing::TestWithParam<t_transfer_case>
{
};

TEST_P(TransferCheckTest, ReportsFailedAndIncompleteTransfers)
{
    const t_transfer_case& c = GetParam();
    EXPECT_EQ(
        message_of([&]
                   { tw::require_complete_read(c.succeeded, c.done, c.expected, c.last_error); }),
        c.read_message);
    EXPECT_EQ(
        message_of([&]
                   { tw::require_complete_write(c.succeeded, c.done, c.expected, c.last_error); }),
        c.write_message);
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, TransferCheckTest,
    ::testing::Values(t_transfer_case{TRUE, 10, 10, 0, std::nullopt, std::nullopt},
                      t_transfer_case{TRUE, 0, 0, 0, std::nullopt, std::nullopt},
                      t_transfer_case{FALSE, 0, 10, 112,
                                      "Failed to read file data. Win32 Error Code: 112.",
                                      "Failed to write file. Win32 Error Code: 112."},
                      t_transfer_case{FALSE, 10, 10, 5,
                                      "Failed to read file data. Win32 Error Code: 5.",
                                      "Failed to write file. Win32 Error Code: 5."},
                      // A short transfer reported as success.
                      t_transfer_case{TRUE, 4, 10, 0, "Readed wrong byte count: 4. Expected: 10.",
                                      "Failed to write file. Win32 Error Code: 29."},
                      t_transfer_case{TRUE, 4, 10, 112, "Readed wrong byte count: 4. Expected: 10.",
                                      "Failed to write file. Win32 Error Code: 112."},
                      t_transfer_case{TRUE, 11, 10, 0, "Readed wrong byte count: 11. Expected: 10.",
                                      "Failed to write file. Win32 Error Code: 29."},
                      t_transfer_case{TRUE, 0, 0xFFFFFFFFu, 0,
                                      "Readed wrong byte count: 0. Expected: 4294967295.",
                                      "Failed to write file. Win32 Error Code: 29."}));

}  // namespace
