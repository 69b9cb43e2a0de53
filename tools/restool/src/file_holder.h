// Owner of a file handle from CreateFileW.
#pragma once

#include "voka/win32.h"

#include <string>

namespace tw
{

// Holds at most one file handle (INVALID_HANDLE_VALUE when none). The destructor closes a
// handle still held, ignoring errors and keeping the caller's last error. Not copyable.
class t_file_holder
{
public:
    t_file_holder() noexcept = default;
    t_file_holder(const t_file_holder&) = delete;
    t_file_holder& operator=(const t_file_holder&) = delete;
    ~t_file_holder();

    // Closes a handle already held (ignoring errors), then opens `path` with CreateFileW and
    // these arguments (no security attributes, no template). False with the last error of
    // CreateFileW when it fails; the holder is then empty.
    bool create(const std::wstring& path, DWORD access, DWORD share_mode, DWORD disposition,
                DWORD flags_and_attributes);

    // Closes the handle held. True when none is held or CloseHandle succeeds (the holder is then
    // empty); false with CloseHandle's last error otherwise (the handle stays held).
    bool close() noexcept;

    HANDLE get() const noexcept { return m_handle; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace tw
