// Windows share modes on POSIX, from open file description locks (the design is described at the
// top of voka/posix/files.h).
#pragma once

namespace voka::platform::io
{

// What one open does and what it lets others do.
struct t_share_request
{
    bool reads = false;
    bool writes = false;
    bool shares_read = false;
    bool shares_write = false;
};

enum class t_share_result
{
    granted,
    violation,  // another open's access or share mode conflicts
    failed,     // a lock call failed; errno says why
};

// Takes the share locks of `request` on `descriptor`, an open file description of its own (the
// locks go with it when it closes) opened for reading, and checks them against every other open
// of the same file. On a violation the caller closes the descriptor, which drops the locks.
t_share_result claim_share_mode(int descriptor, const t_share_request& request) noexcept;

}  // namespace voka::platform::io
