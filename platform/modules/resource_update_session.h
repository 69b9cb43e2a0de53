// One resource update from BeginUpdateResourceW to EndUpdateResourceW, and the private table of
// update handles.
//
// Update handles are not kernel objects (Windows does not let CloseHandle close them either); a
// table of their own maps them to sessions. A handle value is a counter that never repeats, shifted
// and tagged (value << 2 | 3) so that it is no kernel handle (those are multiples of 4), no
// INVALID_HANDLE_VALUE and no pointer: a handle that was ended, or any other value, fails with
// ERROR_INVALID_HANDLE for ever.
#pragma once

#include "../io/read_only_mapping.h"
#include "../io/unique_descriptor.h"
#include "../pe/pe_image.h"
#include "../pe/resource_update_model.h"
#include "voka/win32.h"

#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace voka::platform
{

// What an update holds: the module file, open and share-locked against writers, mapped read-only;
// its parsed headers; and the resources with the changes so far. Threading: m_lock serialises
// UpdateResourceW and EndUpdateResourceW calls on one session; every other member is set before
// the session is published in the table and not changed afterwards.
class t_resource_update_session
{
public:
    std::string m_path;  // the module's real path (symbolic links resolved)
    io::t_unique_file_descriptor m_descriptor;
    struct stat m_status = {};  // of the module when the update began
    io::t_read_only_mapping m_mapping;
    pe::t_pe_image m_image;

    std::mutex m_lock;
    pe::t_resource_update_model m_model;  // guarded by m_lock
};

// Threading: every method may be called from any thread; m_lock guards the map only.
class t_update_handle_table
{
public:
    static t_update_handle_table& instance() noexcept;

    // Publishes `session` under a new handle. Throws std::bad_alloc.
    HANDLE add(std::shared_ptr<t_resource_update_session> session);
    // The session of `handle`, or null.
    std::shared_ptr<t_resource_update_session> find(HANDLE handle) const noexcept;
    // Removes `handle` and returns its session, or null; the handle is then dead for ever.
    std::shared_ptr<t_resource_update_session> remove(HANDLE handle) noexcept;

private:
    mutable std::mutex m_lock;
    std::unordered_map<HANDLE, std::shared_ptr<t_resource_update_session>>
        m_sessions;                   // guarded by m_lock
    std::uint64_t m_next_number = 1;  // guarded by m_lock
};

}  // namespace voka::platform
