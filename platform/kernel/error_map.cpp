// One table between errno values and Win32 error codes. Several errno values may
// map to one Win32 code; the first row of a Win32 code names the errno whose host
// text describes it (used by FormatMessageW).
#include "error_map.h"

#include <cerrno>
#include <iterator>

namespace voka::platform
{
namespace
{

struct t_error_pair
{
    int error_number;
    DWORD error_code;
};

constexpr t_error_pair k_error_pairs[] = {
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EISDIR, ERROR_DIRECTORY},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EPIPE, ERROR_BROKEN_PIPE},
    {EIO, ERROR_IO_DEVICE},
    {ESPIPE, ERROR_SEEK},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {ECANCELED, ERROR_OPERATION_ABORTED},
    {EFAULT, ERROR_NOACCESS},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    {E2BIG, ERROR_INSUFFICIENT_BUFFER},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {ECHILD, ERROR_WAIT_NO_CHILDREN},
    {ENODATA, ERROR_HANDLE_EOF},
    {ENXIO, ERROR_FILE_NOT_FOUND},
    {ENODEV, ERROR_NOT_READY},
};

}  // namespace

DWORD win32_error_from_errno(int error_number) noexcept
{
    if (error_number == 0)
        return ERROR_SUCCESS;
    for (const t_error_pair& pair : k_error_pairs)
        if (pair.error_number == error_number)
            return pair.error_code;
    return ERROR_GEN_FAILURE;
}

int errno_from_win32_error(DWORD error_code) noexcept
{
    for (const t_error_pair& pair : k_error_pairs)
        if (pair.error_code == error_code)
            return pair.error_number;
    return 0;
}

}  // namespace voka::platform
