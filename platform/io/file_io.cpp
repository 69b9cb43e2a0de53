// ReadFile, WriteFile and GetFileSize on file handles.
#include "error_map.h"
#include "file_object.h"
#include "voka/win32.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace voka::platform;
using namespace voka::platform::io;

namespace
{

// The file behind `handle`, pinned; an empty pin for anything else.
t_handle_pin pin_file(HANDLE handle) noexcept
{
    t_handle_pin pin = pin_handle(handle);
    if (pin && pin.object()->type() != t_object_type::file)
        pin.reset();
    return pin;
}

const t_file_object& file_of(const t_handle_pin& pin) noexcept
{
    return *static_cast<const t_file_object*>(pin.object());
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
                     LPOVERLAPPED overlapped)
{
    if (bytes_read != nullptr)
        *bytes_read = 0;
    if (overlapped != nullptr)
        return fail_with(ERROR_NOT_SUPPORTED, FALSE);
    if (bytes_read == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, FALSE);
    const t_handle_pin pin = pin_file(file);
    if (!pin)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (!file_of(pin).can_read())
        return fail_with(ERROR_ACCESS_DENIED, FALSE);
    if (buffer == nullptr && bytes_to_read != 0)
        return fail_with(ERROR_NOACCESS, FALSE);

    // Windows fills the buffer from a file unless the file ends first; POSIX may stop short of a
    // large count, so a regular file is read until full or at its end. From pipes and devices
    // Windows returns what has arrived, and so does one read.
    auto* target = static_cast<std::uint8_t*>(buffer);
    const t_file_object& object = file_of(pin);
    DWORD done = 0;
    while (done < bytes_to_read)
    {
        const ssize_t count = ::read(object.descriptor(), target + done, bytes_to_read - done);
        if (count < 0)
        {
            if (errno == EINTR)
                continue;
            *bytes_read = done;
            return fail_with_errno(errno, FALSE);
        }
        done += static_cast<DWORD>(count);
        if (count == 0 || !object.is_regular())
            break;
    }
    *bytes_read = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
                      LPOVERLAPPED overlapped)
{
    if (bytes_written != nullptr)
        *bytes_written = 0;
    if (overlapped != nullptr)
        return fail_with(ERROR_NOT_SUPPORTED, FALSE);
    if (bytes_written == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, FALSE);
    const t_handle_pin pin = pin_file(file);
    if (!pin)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (!file_of(pin).can_write())
        return fail_with(ERROR_ACCESS_DENIED, FALSE);
    if (buffer == nullptr && bytes_to_write != 0)
        return fail_with(ERROR_NOACCESS, FALSE);

    // Windows writes everything or fails; POSIX may write less (a full disk, a signal), so the
    // rest is written until done or an error says why not.
    const auto* source = static_cast<const std::uint8_t*>(buffer);
    DWORD done = 0;
    while (done < bytes_to_write)
    {
        const ssize_t count =
            ::write(file_of(pin).descriptor(), source + done, bytes_to_write - done);
        if (count < 0)
        {
            if (errno == EINTR)
                continue;
            *bytes_written = done;
            return fail_with_errno(errno, FALSE);
        }
        done += static_cast<DWORD>(count);
    }
    *bytes_written = done;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD file_size_high)
{
    const t_handle_pin pin = pin_file(file);
    if (!pin)
        return fail_with(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    struct stat status;
    if (::fstat(file_of(pin).descriptor(), &status) != 0)
        return fail_with_errno(errno, INVALID_FILE_SIZE);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (file_size_high != nullptr)
        *file_size_high = static_cast<DWORD>(size >> 32);
    const auto low_part = static_cast<DWORD>(size);
    if (low_part == INVALID_FILE_SIZE)
        ::SetLastError(NO_ERROR);  // a size, not a failure
    return low_part;
}
