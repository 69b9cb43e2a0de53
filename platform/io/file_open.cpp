// CreateFileW: checks the arguments as Windows does, opens the file with the creation
// disposition's flags, claims the share mode, and only then truncates, so an open refused for
// sharing leaves the file as it was.
#include "error_map.h"
#include "file_object.h"
#include "file_path.h"
#include "file_share.h"
#include "voka/win32.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

using namespace voka::platform;
using namespace voka::platform::io;

namespace
{

constexpr DWORD k_known_access = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD k_known_share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr mode_t k_new_file_mode = 0666;  // less the umask, as any POSIX program creates files

int open_retrying(const char* path, int flags) noexcept
{
    int descriptor = -1;
    do
        descriptor = ::open(path, flags | O_CLOEXEC, k_new_file_mode);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Opens `path` with the access flags for `access`: read and write when writing (the share locks
// need a readable descriptor), write only when the file may not be read and reading was not
// asked for.
int open_for_access(const char* path, int creation_flags, bool reads, bool writes,
                    bool* lockable) noexcept
{
    *lockable = true;
    if (!writes)
        return open_retrying(path, O_RDONLY | creation_flags);
    const int descriptor = open_retrying(path, O_RDWR | creation_flags);
    if (descriptor >= 0 || errno != EACCES || reads)
        return descriptor;
    *lockable = false;
    return open_retrying(path, O_WRONLY | creation_flags);
}

struct t_opened
{
    t_unique_file_descriptor descriptor;
    bool existed = false;
    bool lockable = true;
};

// Opens `path` as `disposition` asks; `existed` tells whether the file was there before.
// Returns an empty descriptor with errno on failure.
t_opened open_with_disposition(const char* path, DWORD disposition, bool reads,
                               bool writes) noexcept
{
    t_opened opened;
    switch (disposition)
    {
    case CREATE_NEW:
        opened.descriptor.reset(
            open_for_access(path, O_CREAT | O_EXCL, reads, writes, &opened.lockable));
        return opened;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        opened.existed = true;
        opened.descriptor.reset(open_for_access(path, 0, reads, writes, &opened.lockable));
        return opened;
    default:  // CREATE_ALWAYS, OPEN_ALWAYS
        // Open first, create when missing: tells an existing file from a new one exactly, even
        // when another process creates or deletes it meanwhile.
        for (;;)
        {
            opened.descriptor.reset(open_for_access(path, 0, reads, writes, &opened.lockable));
            if (opened.descriptor || errno != ENOENT)
            {
                opened.existed = true;
                return opened;
            }
            opened.descriptor.reset(
                open_for_access(path, O_CREAT | O_EXCL, reads, writes, &opened.lockable));
            if (opened.descriptor || errno != EEXIST)
            {
                opened.existed = false;
                return opened;
            }
        }
    }
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR file_name, DWORD desired_access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                          DWORD flags_and_attributes, HANDLE template_file)
{
    if (file_name == nullptr || (share_mode & ~k_known_share) != 0 || creation_disposition == 0 ||
        creation_disposition > TRUNCATE_EXISTING)
        return fail_with(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if ((desired_access & ~k_known_access) != 0 ||
        (flags_and_attributes != 0 && flags_and_attributes != FILE_ATTRIBUTE_NORMAL) ||
        template_file != nullptr ||
        (security_attributes != nullptr && (security_attributes->lpSecurityDescriptor != nullptr ||
                                            security_attributes->bInheritHandle != FALSE)))
        return fail_with(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
    const bool reads = (desired_access & GENERIC_READ) != 0;
    const bool writes = (desired_access & GENERIC_WRITE) != 0;
    if (creation_disposition == TRUNCATE_EXISTING && !writes)
        return fail_with(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    try
    {
        const std::optional<std::string> path = path_to_utf8(file_name);
        if (!path)
            return fail_with(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
        if (path->empty())
            return fail_with(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

        t_opened opened = open_with_disposition(path->c_str(), creation_disposition, reads, writes);
        if (!opened.descriptor)
        {
            if (creation_disposition == CREATE_NEW && errno == EEXIST)
                return fail_with(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
            return fail_with(open_error(*path, errno), INVALID_HANDLE_VALUE);
        }
        const int descriptor = opened.descriptor.get();
        struct stat status;
        if (::fstat(descriptor, &status) != 0)
            return fail_with_errno(errno, INVALID_HANDLE_VALUE);
        // Windows opens directories only with FILE_FLAG_BACKUP_SEMANTICS, outside the subset.
        if (S_ISDIR(status.st_mode))
            return fail_with(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

        if ((reads || writes) && opened.lockable)
        {
            const t_share_request request{reads, writes, (share_mode & FILE_SHARE_READ) != 0,
                                          (share_mode & FILE_SHARE_WRITE) != 0};
            switch (claim_share_mode(descriptor, request))
            {
            case t_share_result::granted:
                break;
            case t_share_result::violation:
                return fail_with(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
            case t_share_result::failed:
                return fail_with_errno(errno, INVALID_HANDLE_VALUE);
            }
        }

        // Only files have a length to cut: devices (the null device, a terminal) open for
        // writing with any disposition, as on Windows.
        const bool truncates = S_ISREG(status.st_mode) &&
                               (creation_disposition == TRUNCATE_EXISTING ||
                                (creation_disposition == CREATE_ALWAYS && opened.existed));
        if (truncates && ::ftruncate(descriptor, 0) != 0)
            return fail_with_errno(errno, INVALID_HANDLE_VALUE);

        HANDLE handle = insert_handle(std::make_shared<t_file_object>(
            std::move(opened.descriptor), reads, writes, S_ISREG(status.st_mode)));
        if (handle == nullptr)
            return INVALID_HANDLE_VALUE;  // insert_handle set the last error
        const bool reports_existing = opened.existed && (creation_disposition == CREATE_ALWAYS ||
                                                         creation_disposition == OPEN_ALWAYS);
        ::SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, INVALID_HANDLE_VALUE);
    }
}
