// Share modes from open file description locks. Four bytes at the top of the offset range stand
// for "reading", "writing", "denies reading" and "denies writing"; an open holds a shared (read)
// lock on each that applies to it, so holders never block one another, and finds a conflicting
// open by asking whether a write lock on the opposite byte would be refused (F_OFD_GETLK reports
// the locks of other open file descriptions only). Locks are taken before the checks: of two
// conflicting opens, the later to check always sees the earlier's lock.
#include "file_share.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>

namespace voka::platform::io
{
namespace
{

// Far beyond the end of any file, so no byte-range lock on real data meets them.
constexpr off_t k_marker_base = INT64_MAX - 16;
constexpr off_t k_reading = k_marker_base + 0;
constexpr off_t k_writing = k_marker_base + 1;
constexpr off_t k_denies_reading = k_marker_base + 2;
constexpr off_t k_denies_writing = k_marker_base + 3;

struct flock marker_lock(short type, off_t marker) noexcept
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = marker;
    lock.l_len = 1;
    lock.l_pid = 0;  // required for open file description locks
    return lock;
}

bool hold(int descriptor, off_t marker) noexcept
{
    struct flock lock = marker_lock(F_RDLCK, marker);
    return ::fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
}

// 1 when another open holds `marker`, 0 when none does, -1 with errno on failure.
int held_by_another(int descriptor, off_t marker) noexcept
{
    struct flock lock = marker_lock(F_WRLCK, marker);
    if (::fcntl(descriptor, F_OFD_GETLK, &lock) != 0)
        return -1;
    return lock.l_type == F_UNLCK ? 0 : 1;
}

}  // namespace

t_share_result claim_share_mode(int descriptor, const t_share_request& request) noexcept
{
    const struct
    {
        bool applies;
        off_t marker;
    } holds[] = {
        {request.reads, k_reading},
        {request.writes, k_writing},
        {!request.shares_read, k_denies_reading},
        {!request.shares_write, k_denies_writing},
    };
    for (const auto& held : holds)
        if (held.applies && !hold(descriptor, held.marker))
            return t_share_result::failed;

    const struct
    {
        bool applies;
        off_t marker;
    } checks[] = {
        {request.reads, k_denies_reading},
        {request.writes, k_denies_writing},
        {!request.shares_read, k_reading},
        {!request.shares_write, k_writing},
    };
    for (const auto& check : checks)
    {
        if (!check.applies)
            continue;
        const int held = held_by_another(descriptor, check.marker);
        if (held < 0)
            return t_share_result::failed;
        if (held > 0)
            return t_share_result::violation;
    }
    return t_share_result::granted;
}

}  // namespace voka::platform::io
