// Modules loaded to run: a shared object loaded with dlopen stands in for a DLL. Its handle is the
// dlopen handle, which is the same for every load of one file; the layer counts the loads itself.
// A module of the family carries the module-entry glue, which has its DllMain called while dlopen
// maps it (attached_modules.cpp); for any other shared object that exports an extern "C" DllMain,
// the layer calls it here on the first load and the last free. Both happen under the one
// process-wide loader lock, which an entry point may take again (to load other modules).
#include "library_module.h"

#include "attached_modules.h"

#include "../io/file_path.h"
#include "../resources/resource_module_table.h"
#include "error_map.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace voka::platform
{
namespace
{

using t_entry_point = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct t_library
{
    unsigned long load_count = 0;
    t_entry_point entry_point = nullptr;  // null: none, or the glue has it called
    bool registers_resources = false;     // this file registered the module's (absent) resources
};

// The modules loaded to run, by handle. Threading: every use holds the loader lock.
class t_library_registry
{
public:
    static t_library_registry& instance() noexcept
    {
        // Never destroyed: modules may be freed by static destructors of other files.
        union t_never_destroyed
        {
            t_library_registry registry;
            t_never_destroyed() : registry() {}
            ~t_never_destroyed() {}
        };
        static t_never_destroyed holder;
        return holder.registry;
    }

    std::unordered_map<HMODULE, t_library>& libraries() noexcept { return m_libraries; }

private:
    std::unordered_map<HMODULE, t_library> m_libraries;  // guarded by the loader lock
};

// Owns one dlopen reference; closes it on every path unless released.
class t_dl_reference
{
public:
    explicit t_dl_reference(void* handle) noexcept : m_handle(handle) {}
    t_dl_reference(const t_dl_reference&) = delete;
    t_dl_reference& operator=(const t_dl_reference&) = delete;
    ~t_dl_reference()
    {
        if (m_handle != nullptr)
            ::dlclose(m_handle);
    }
    void* get() const noexcept { return m_handle; }
    void* release() noexcept { return std::exchange(m_handle, nullptr); }

private:
    void* m_handle;
};

// The Win32 code for a failed dlopen, from the loader's message: a missing file (also one of the
// libraries it imports) is ERROR_MOD_NOT_FOUND, an unresolved import ERROR_PROC_NOT_FOUND,
// anything else (no ELF file, wrong machine) ERROR_BAD_EXE_FORMAT.
DWORD dlopen_error(const char* message) noexcept
{
    const std::string_view text = message != nullptr ? message : "";
    if (text.find("No such file") != std::string_view::npos)
        return ERROR_MOD_NOT_FOUND;
    if (text.find("undefined symbol") != std::string_view::npos)
        return ERROR_PROC_NOT_FOUND;
    return ERROR_BAD_EXE_FORMAT;
}

// The module's own exported DllMain; one that dlsym finds in a library the module imports is
// not the module's entry point.
t_entry_point find_entry_point(void* handle) noexcept
{
    void* const symbol = ::dlsym(handle, "DllMain");
    if (symbol == nullptr)
        return nullptr;
    link_map* own_map = nullptr;
    Dl_info info{};
    link_map* symbol_map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &own_map) != 0 ||
        ::dladdr1(symbol, &info, reinterpret_cast<void**>(&symbol_map), RTLD_DL_LINKMAP) == 0 ||
        symbol_map != own_map)
        return nullptr;
    return reinterpret_cast<t_entry_point>(symbol);
}

// Calls an entry point; an exception that leaves it counts as FALSE, as a fault in DllMain does.
BOOL call_entry_point(t_entry_point entry_point, HMODULE module, DWORD reason) noexcept
{
    try
    {
        return entry_point(module, reason, nullptr);
    }
    catch (...)
    {
        return FALSE;
    }
}

HMODULE load_library(LPCWSTR file_name)
{
    const std::optional<std::string> path = io::path_to_utf8(file_name);
    if (!path)
        return fail_with(ERROR_INVALID_NAME, HMODULE{});
    if (path->empty())
        return fail_with(ERROR_MOD_NOT_FOUND, HMODULE{});
    if (path->find('/') != std::string::npos)
    {
        struct stat status;
        if (::stat(path->c_str(), &status) != 0 || S_ISDIR(status.st_mode))
            return fail_with(ERROR_MOD_NOT_FOUND, HMODULE{});
    }

    auto& registry = t_library_registry::instance();
    const std::lock_guard lock(loader_lock());
    void* handle = nullptr;
    {
        const t_load_scope load;
        ::dlerror();
        handle = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return fail_with(dlopen_error(::dlerror()), HMODULE{});
        if (load.failed())
        {
            // An entry point of this load failed: unmapping detaches those that attached.
            const t_free_scope unmapping;
            ::dlclose(handle);
            return fail_with(ERROR_DLL_INIT_FAILED, HMODULE{});
        }
    }
    t_dl_reference reference(handle);
    const auto module = static_cast<HMODULE>(reference.get());
    if (!attach_if_detached(module))
    {
        const t_free_scope unmapping;
        ::dlclose(reference.release());
        return fail_with(ERROR_DLL_INIT_FAILED, HMODULE{});
    }

    auto& libraries = registry.libraries();
    if (const auto found = libraries.find(module); found != libraries.end())
    {
        // Loaded already: the registry keeps one dlopen reference for all the loads.
        ++found->second.load_count;
        return module;
    }

    const bool announced = is_announced_module(module);
    const t_library library{1, announced ? nullptr : find_entry_point(reference.get()),
                            !announced};
    libraries.emplace(module, library);
    try
    {
        // A module without the glue has no resources: FindResourceExW on its handle finds none.
        if (library.registers_resources && !t_resource_module_table::instance().add(module, nullptr))
            throw std::logic_error("LoadLibraryW: a new module's handle is registered already");
    }
    catch (...)
    {
        libraries.erase(module);
        throw;
    }
    if (library.entry_point != nullptr &&
        !call_entry_point(library.entry_point, module, DLL_PROCESS_ATTACH))
    {
        // Windows calls the entry point again to detach and unloads the module.
        call_entry_point(library.entry_point, module, DLL_PROCESS_DETACH);
        libraries.erase(module);
        t_resource_module_table::instance().remove(module, t_resource_module_kind::loaded);
        return fail_with(ERROR_DLL_INIT_FAILED, HMODULE{});
    }
    reference.release();
    return module;
}

// The case-insensitive (ASCII letters) comparison of module file names.
bool same_name(std::string_view left, std::string_view right) noexcept
{
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index)
    {
        auto lower = [](char value)
        { return value >= 'A' && value <= 'Z' ? static_cast<char>(value + ('a' - 'A')) : value; };
        if (lower(left[index]) != lower(right[index]))
            return false;
    }
    return true;
}

// The paths of the shared objects loaded in the process, the executable excepted.
std::vector<std::string> loaded_object_paths()
{
    std::vector<std::string> paths;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int
        {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name);
            return 0;
        },
        &paths);
    return paths;
}

// The dlopen handle of a loaded object, without keeping a reference to it.
HMODULE handle_of_loaded(const char* path) noexcept
{
    void* const handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        ::dlclose(handle);  // the object stays loaded: it was before
    return static_cast<HMODULE>(handle);
}

// Whether `module` is the handle of the executable or of a shared object in the process.
bool is_loaded_object(HMODULE module)
{
    if (module == handle_of_loaded(nullptr))
        return true;
    for (const std::string& path : loaded_object_paths())
        if (handle_of_loaded(path.c_str()) == module)
            return true;
    return false;
}

HMODULE find_module(LPCWSTR module_name)
{
    if (module_name == nullptr)
        return handle_of_loaded(nullptr);
    const std::optional<std::string> name = io::path_to_utf8(module_name);
    if (!name || name->empty())
        return fail_with(ERROR_MOD_NOT_FOUND, HMODULE{});
    const bool has_folder = name->find('/') != std::string::npos;
    for (const std::string& path : loaded_object_paths())
    {
        const std::string_view file = has_folder
                                          ? std::string_view(path)
                                          : std::string_view(path).substr(path.rfind('/') + 1);
        if (same_name(file, *name))
            if (const HMODULE module = handle_of_loaded(path.c_str()))
                return module;
    }
    return fail_with(ERROR_MOD_NOT_FOUND, HMODULE{});
}

}  // namespace

HMODULE load_library_module(LPCWSTR file_name) noexcept
{
    try
    {
        return load_library(file_name);
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

bool try_free_library_module(HMODULE module) noexcept
{
    auto& registry = t_library_registry::instance();
    const std::lock_guard lock(loader_lock());
    auto& libraries = registry.libraries();
    const auto found = libraries.find(module);
    if (found == libraries.end())
        return false;
    if (--found->second.load_count != 0)
        return true;
    const t_library library = found->second;
    if (library.entry_point != nullptr)
        call_entry_point(library.entry_point, module, DLL_PROCESS_DETACH);
    libraries.erase(module);
    if (library.registers_resources)
        t_resource_module_table::instance().remove(module, t_resource_module_kind::loaded);
    const t_free_scope unmapping;  // the glue's detach calls, if unmapped now, are FreeLibrary's
    ::dlclose(module);
    return true;
}

}  // namespace voka::platform

HMODULE WINAPI LoadLibraryW(LPCWSTR file_name)
{
    using namespace voka::platform;
    if (file_name == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, HMODULE{});
    return load_library_module(file_name);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name)
{
    using namespace voka::platform;
    try
    {
        const std::lock_guard lock(loader_lock());
        return find_module(module_name);
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HMODULE{});
    }
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    using namespace voka::platform;
    if (name == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, FARPROC{});
    if (reinterpret_cast<std::uintptr_t>(name) < 0x10000)
        return fail_with(ERROR_NOT_SUPPORTED, FARPROC{});
    try
    {
        auto& registry = t_library_registry::instance();
        const std::lock_guard lock(loader_lock());
        if (module == nullptr)
            module = handle_of_loaded(nullptr);
        else if (!registry.libraries().contains(module) && !is_announced_module(module) &&
                 !is_loaded_object(module))
            return fail_with(ERROR_MOD_NOT_FOUND, FARPROC{});
        ::dlerror();
        void* const symbol = ::dlsym(module, name);
        if (symbol == nullptr)
            return fail_with(ERROR_PROC_NOT_FOUND, FARPROC{});
        return reinterpret_cast<FARPROC>(symbol);
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, FARPROC{});
    }
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module)
{
    using namespace voka::platform;
    auto& registry = t_library_registry::instance();
    const std::lock_guard lock(loader_lock());
    if (disable_thread_calls(module) || registry.libraries().contains(module))
        return TRUE;
    return fail_with(ERROR_INVALID_HANDLE, FALSE);
}
