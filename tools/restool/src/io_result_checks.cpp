// Checks of the results of file calls.
#include "io_result_checks.h"

#include "tool_failure.h"
#include "tool_texts.h"

namespace tw
{

DWORD checked_source_size(DWORD low_part, DWORD high_part, DWORD last_error)
{
    if (low_part == 0xFFFFFFFFu && last_error != ERROR_SUCCESS)
        raise_failure(texts::file_size_failed, last_error);
    if (high_part != 0)
        raise_failure(texts::file_size_failed, static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    return low_part;
}

void require_complete_read(BOOL succeeded, DWORD bytes_read, DWORD expected, DWORD last_error)
{
    if (!succeeded)
        raise_failure(texts::read_file_failed, last_error);
    if (bytes_read != expected)
        raise_failure(texts::short_read, bytes_read, expected);
}

void require_complete_write(BOOL succeeded, DWORD bytes_written, DWORD expected, DWORD last_error)
{
    if (!succeeded)
        raise_failure(texts::write_file_failed, last_error);
    if (bytes_written != expected)
    {
        raise_failure(texts::write_file_failed, last_error != ERROR_SUCCESS
                                                    ? last_error
                                                    : static_cast<DWORD>(ERROR_WRITE_FAULT));
    }
}

}  // namespace tw
