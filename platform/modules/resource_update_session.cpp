// The table of resource-update handles.
#include "resource_update_session.h"

namespace voka::platform
{

t_update_handle_table& t_update_handle_table::instance() noexcept
{
    // Never destroyed: updates may be ended by static destructors of other files.
    union t_never_destroyed
    {
        t_update_handle_table table;
        t_never_destroyed() : table() {}
        ~t_never_destroyed() {}
    };
    static t_never_destroyed holder;
    return holder.table;
}

HANDLE t_update_handle_table::add(std::shared_ptr<t_resource_update_session> session)
{
    const std::lock_guard lock(m_lock);
    const std::uint64_t number = m_next_number;
    const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>((number << 2) | 3u));
    m_sessions.emplace(handle, std::move(session));
    ++m_next_number;
    return handle;
}

std::shared_ptr<t_resource_update_session> t_update_handle_table::find(HANDLE handle) const noexcept
{
    const std::lock_guard lock(m_lock);
    const auto found = m_sessions.find(handle);
    return found == m_sessions.end() ? nullptr : found->second;
}

std::shared_ptr<t_resource_update_session> t_update_handle_table::remove(HANDLE handle) noexcept
{
    std::shared_ptr<t_resource_update_session> session;
    {
        const std::lock_guard lock(m_lock);
        const auto found = m_sessions.find(handle);
        if (found == m_sessions.end())
            return nullptr;
        session = std::move(found->second);
        m_sessions.erase(found);
    }
    return session;
}

}  // namespace voka::platform
