// Checks of the results of file calls: each turns a failed or incomplete call into tarnwick's
// failure message. No OS calls: the caller passes the call's results and its last error.
#pragma once

#include "voka/win32.h"

namespace tw
{

// The source file's size from GetFileSize's low and high parts and the last error read right
// after the call (cleared before it). Throws "Failed to get file size" with `last_error` when
// the call failed (low part 0xFFFFFFFF with a non-zero error), and with ERROR_FILE_TOO_LARGE for
// a file of 4 GiB or more, whose size does not fit the one read the tool makes.
DWORD checked_source_size(DWORD low_part, DWORD high_part, DWORD last_error);

// After ReadFile of the source: throws "Failed to read file data" with `last_error` when the
// call failed, "Readed wrong byte count" when fewer or more bytes than `expected` came.
void require_complete_read(BOOL succeeded, DWORD bytes_read, DWORD expected, DWORD last_error);

// After WriteFile of the destination: throws "Failed to write file" with `last_error` when the
// call failed or wrote fewer bytes than `expected`. A short write that left no error code (the
// caller clears it before the call) reports ERROR_WRITE_FAULT, so the message never reads
// "Win32 Error Code: 0.".
void require_complete_write(BOOL succeeded, DWORD bytes_written, DWORD expected, DWORD last_error);

}  // namespace tw
