// The modules announced by their module-entry glue and the calls of their entry points.
//
// The glue runs from the module's ELF constructor, so the system loader decides when: a library
// linked at build time before main, a library loaded by LoadLibraryW (and the libraries it
// imports, dependencies first) inside that call's dlopen. The entry point runs right there, under
// the loader lock, with the module's statics already built (the library's statics that need no
// code are constant-initialised, so its constructor order does not matter). At the end of the
// module's life its ELF destructor runs the detach.
#include "attached_modules.h"

#include "../resources/resource_module_table.h"
#include "../resources/resource_view.h"
#include "voka/platform/module_entry.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <span>
#include <unistd.h>
#include <vector>

namespace voka::platform
{
namespace
{

struct t_announced_module
{
    voka_module_entry_point entry_point = nullptr;
    HMODULE handle = nullptr;
    bool is_executable = false;
    bool attached = false;     // DLL_PROCESS_ATTACH succeeded; detach is owed
    bool thread_calls = true;  // DLL_THREAD_* wanted
};

// Never destroyed: modules are detached by ELF destructors that run at process end, after the
// statics of this library may be gone.
struct t_module_state
{
    std::recursive_mutex lock;
    std::vector<t_announced_module> modules;  // in attach order; guarded by lock
};

t_module_state& state() noexcept
{
    union t_never_destroyed
    {
        t_module_state value;
        t_never_destroyed() : value() {}
        ~t_never_destroyed() {}
    };
    static t_never_destroyed holder;
    return holder.value;
}

thread_local t_load_scope* t_current_load = nullptr;
thread_local bool t_freeing = false;

BOOL call_entry_point(voka_module_entry_point entry_point, HMODULE module, DWORD reason,
                      LPVOID reserved) noexcept
{
    try
    {
        return entry_point(module, reason, reserved);
    }
    catch (...)  // a fault in an entry point counts as FALSE
    {
        return FALSE;
    }
}

// The module (its link map, which is what dlopen hands out as its handle) that holds `address`.
link_map* module_of(const void* address) noexcept
{
    Dl_info info{};
    link_map* map = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return map;
}

std::shared_ptr<const t_resource_view> resources_of(const unsigned char* section,
                                                    unsigned long size) noexcept
{
    if (section == nullptr || size == 0)
        return nullptr;
    try
    {
        const std::span<const std::uint8_t> bytes(section, size);
        // The module's image keeps the bytes alive for as long as it is registered.
        return std::make_shared<const t_resource_view>(nullptr, bytes, t_rva_range{0, bytes});
    }
    catch (...)  // a malformed section: the module has no resources
    {
        return nullptr;
    }
}

void register_resources(HMODULE handle, bool is_executable,
                        std::shared_ptr<const t_resource_view> view) noexcept
{
    try
    {
        auto& table = t_resource_module_table::instance();
        table.add(handle, view);
        if (is_executable)
            table.add(nullptr, view);  // FindResourceExW(NULL, ...) asks the executable
    }
    catch (...)  // out of memory: the module goes without resources
    {
    }
}

void unregister_resources(const t_announced_module& module) noexcept
{
    auto& table = t_resource_module_table::instance();
    table.remove(module.handle, t_resource_module_kind::loaded);
    if (module.is_executable)
        table.remove(nullptr, t_resource_module_kind::loaded);
}

// Windows refuses to start a process whose libraries fail to initialise; one line says why.
[[noreturn]] void refuse_process_start(const link_map* map) noexcept
{
    const char* const name =
        map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0' ? map->l_name
                                                                           : "the program";
    static constexpr char prefix[] = "The process cannot start: the initialisation of ";
    static constexpr char suffix[] = " failed (ERROR_DLL_INIT_FAILED).\n";
    static_cast<void>(::write(STDERR_FILENO, prefix, sizeof prefix - 1));
    static_cast<void>(::write(STDERR_FILENO, name, std::strlen(name)));
    static_cast<void>(::write(STDERR_FILENO, suffix, sizeof suffix - 1));
    ::_exit(EXIT_FAILURE);
}

}  // namespace

std::recursive_mutex& loader_lock() noexcept
{
    return state().lock;
}

t_load_scope::t_load_scope() noexcept : m_outer(t_current_load)
{
    t_current_load = this;
}

t_load_scope::~t_load_scope()
{
    t_current_load = m_outer;
}

t_load_scope* t_load_scope::current() noexcept
{
    return t_current_load;
}

t_free_scope::t_free_scope() noexcept : m_outer(t_freeing)
{
    t_freeing = true;
}

t_free_scope::~t_free_scope()
{
    t_freeing = m_outer;
}

bool t_free_scope::active() noexcept
{
    return t_freeing;
}

bool is_announced_module(HMODULE module) noexcept
{
    const auto& modules = state().modules;
    return std::any_of(modules.begin(), modules.end(),
                       [module](const t_announced_module& entry) { return entry.handle == module; });
}

bool attach_if_detached(HMODULE module) noexcept
{
    auto& modules = state().modules;
    const auto found =
        std::find_if(modules.begin(), modules.end(),
                     [module](const t_announced_module& entry) { return entry.handle == module; });
    if (found == modules.end() || found->attached)
        return true;
    const voka_module_entry_point entry_point = found->entry_point;
    if (!call_entry_point(entry_point, module, DLL_PROCESS_ATTACH, nullptr))
    {
        call_entry_point(entry_point, module, DLL_PROCESS_DETACH, nullptr);
        return false;
    }
    // By entry point: the call may have loaded or freed modules, moving the entries.
    for (t_announced_module& entry : modules)
        if (entry.entry_point == entry_point)
            entry.attached = true;
    return true;
}

bool disable_thread_calls(HMODULE module) noexcept
{
    const std::lock_guard lock(loader_lock());
    for (t_announced_module& entry : state().modules)
        if (entry.handle == module)
        {
            entry.thread_calls = false;
            return true;
        }
    return false;
}

void notify_thread_attach() noexcept
{
    const std::lock_guard lock(loader_lock());
    // By index: an entry point may load or free modules meanwhile.
    auto& modules = state().modules;
    for (std::size_t index = 0; index < modules.size(); ++index)
        if (modules[index].attached && modules[index].thread_calls)
            call_entry_point(modules[index].entry_point, modules[index].handle,
                             DLL_THREAD_ATTACH, nullptr);
}

void notify_thread_detach() noexcept
{
    const std::lock_guard lock(loader_lock());
    auto& modules = state().modules;
    for (std::size_t index = 0; index < modules.size(); ++index)
        if (modules[index].attached && modules[index].thread_calls)
            call_entry_point(modules[index].entry_point, modules[index].handle,
                             DLL_THREAD_DETACH, nullptr);
}

}  // namespace voka::platform

using namespace voka::platform;

void voka_platform_module_constructed(voka_module_entry_point entry_point,
                                      const unsigned char* resource_section,
                                      unsigned long resource_section_size) noexcept
{
    const std::lock_guard lock(loader_lock());
    link_map* const map = module_of(reinterpret_cast<const void*>(entry_point));
    if (map == nullptr)
        return;
    t_announced_module module;
    module.entry_point = entry_point;
    module.handle = reinterpret_cast<HMODULE>(map);
    module.is_executable = map->l_name == nullptr || map->l_name[0] == '\0';
    register_resources(module.handle, module.is_executable,
                       resources_of(resource_section, resource_section_size));
    try
    {
        state().modules.push_back(module);
    }
    catch (...)
    {
        refuse_process_start(map);  // no memory to even record a module
    }

    t_load_scope* const load = t_load_scope::current();
    if (load != nullptr && load->failed())
        return;  // an earlier module of this load failed: the load is undone without this one
    const BOOL attached = call_entry_point(entry_point, module.handle, DLL_PROCESS_ATTACH,
                                           load != nullptr ? nullptr : reinterpret_cast<LPVOID>(1));
    if (attached)
    {
        for (t_announced_module& entry : state().modules)
            if (entry.entry_point == entry_point)
                entry.attached = true;
        return;
    }
    // Windows calls the entry point once more to detach before it gives up on the module.
    call_entry_point(entry_point, module.handle, DLL_PROCESS_DETACH, nullptr);
    if (load == nullptr)
        refuse_process_start(map);
    load->set_failed();
}

void voka_platform_module_destroyed(voka_module_entry_point entry_point) noexcept
{
    const std::lock_guard lock(loader_lock());
    auto& modules = state().modules;
    const auto found =
        std::find_if(modules.begin(), modules.end(), [entry_point](const t_announced_module& entry)
                     { return entry.entry_point == entry_point; });
    if (found == modules.end())
        return;
    const t_announced_module module = *found;
    modules.erase(found);
    if (module.attached)
        call_entry_point(module.entry_point, module.handle, DLL_PROCESS_DETACH,
                         t_free_scope::active() ? nullptr : reinterpret_cast<LPVOID>(1));
    unregister_resources(module);
}
