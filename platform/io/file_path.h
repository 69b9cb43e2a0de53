// Paths and open failures of the file functions: wide paths become UTF-8 POSIX paths, and a failed
// open becomes the code Windows gives for it.
#pragma once

#include "voka/win32.h"

#include <optional>
#include <string>

namespace voka::platform::io
{

// The UTF-8 form of `path`; nullopt when it holds a value that is no Unicode scalar value.
// May throw std::bad_alloc.
std::optional<std::string> path_to_utf8(LPCWSTR path);

// The Win32 code of a failed open of `path` with `error_number` (errno): a missing file is
// ERROR_FILE_NOT_FOUND, a missing folder on the way ERROR_PATH_NOT_FOUND (POSIX says ENOENT for
// both, so the folder is looked at), a directory opened for writing ERROR_ACCESS_DENIED.
DWORD open_error(const std::string& path, int error_number) noexcept;

}  // namespace voka::platform::io
