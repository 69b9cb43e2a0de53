// Translation between POSIX errno values and Win32 error codes, shared by every
// function of the layer, and the helper that records a failure.
#pragma once

#include "voka/win32.h"

namespace voka::platform
{

// The Win32 code for an errno value; ERROR_GEN_FAILURE for one without a match.
DWORD win32_error_from_errno(int error_number) noexcept;

// The errno value whose host text describes a Win32 code; 0 when there is none.
// ERROR_SUCCESS maps to 0 as well: check it before calling.
int errno_from_win32_error(DWORD error_code) noexcept;

// Sets the last error and returns `result`, so a failing path reads
// `return fail_with(ERROR_INVALID_PARAMETER, 0);`.
template <typename t_result>
t_result fail_with(DWORD error_code, t_result result) noexcept
{
    ::SetLastError(error_code);
    return result;
}

// Sets the last error from errno and returns `result`.
template <typename t_result>
t_result fail_with_errno(int error_number, t_result result) noexcept
{
    ::SetLastError(win32_error_from_errno(error_number));
    return result;
}

}  // namespace voka::platform
