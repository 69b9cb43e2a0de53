// Registering modules whose resources are held in memory.
#include "voka/platform/resource_module.h"

#include "error_map.h"
#include "resource_module_table.h"

#include <new>

namespace voka::platform
{

HMODULE register_resource_module(std::vector<std::uint8_t> section_bytes,
                                 std::uint32_t section_rva) noexcept
{
    try
    {
        std::shared_ptr<const t_resource_view> view;
        if (!section_bytes.empty())
            view = t_resource_view::from_section(std::move(section_bytes), section_rva);
        return t_resource_module_table::instance().add(std::move(view));
    }
    catch (const t_resource_directory_error&)
    {
        return fail_with(ERROR_INVALID_DATA, HMODULE{});
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HMODULE{});
    }
    catch (...)
    {
        return fail_with(ERROR_GEN_FAILURE, HMODULE{});
    }
}

BOOL unregister_resource_module(HMODULE module) noexcept
{
    if (!t_resource_module_table::instance().remove(module, t_resource_module_kind::from_memory))
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

}  // namespace voka::platform
