// The process-wide registry of modules with resources.
#include "resource_module_table.h"

#include <mutex>

namespace voka::platform
{

t_resource_module_table& t_resource_module_table::instance() noexcept
{
    // Never destroyed: modules may still be registered, looked up or removed by static
    // destructors and library shutdown code that run after this function's statics would die.
    union t_never_destroyed
    {
        t_resource_module_table table;
        t_never_destroyed() : table() {}
        ~t_never_destroyed() {}
    };
    static t_never_destroyed holder;
    return holder.table;
}

HMODULE t_resource_module_table::add(std::shared_ptr<const t_resource_view> view)
{
    t_entry entry{std::move(view), t_resource_module_kind::from_memory, std::make_unique<char>()};
    // A live block's address cannot be any other registration's key: made-up keys are addresses
    // of live blocks too, and loaders' keys are addresses of their live images.
    const auto module = reinterpret_cast<HMODULE>(entry.token.get());
    const std::unique_lock lock(m_lock);
    m_modules.emplace(module, std::move(entry));
    return module;
}

bool t_resource_module_table::add(HMODULE module, std::shared_ptr<const t_resource_view> view)
{
    const std::unique_lock lock(m_lock);
    return m_modules
        .try_emplace(module, t_entry{std::move(view), t_resource_module_kind::loaded, {}})
        .second;
}

bool t_resource_module_table::remove(HMODULE module, t_resource_module_kind kind) noexcept
{
    t_entry removed;  // released after the lock, so no view is destroyed under it
    {
        const std::unique_lock lock(m_lock);
        const auto found = m_modules.find(module);
        if (found == m_modules.end() || found->second.kind != kind)
            return false;
        removed = std::move(found->second);
        m_modules.erase(found);
    }
    return true;
}

t_resource_module_table::t_lookup t_resource_module_table::find(HMODULE module) const noexcept
{
    const std::shared_lock lock(m_lock);
    const auto found = m_modules.find(module);
    if (found == m_modules.end())
        return {};
    return {true, found->second.view};
}

}  // namespace voka::platform
