// The registry of modules and their resources, by HMODULE: what FindResourceExW, LoadResource and
// SizeofResource consult. Modules registered from memory get a handle the table makes up; module
// loaders (data-file modules, shared libraries) register under the handles they hand out.
#pragma once

#include "resource_view.h"
#include "voka/win32.h"

#include <memory>
#include <shared_mutex>
#include <unordered_map>

namespace voka::platform
{

// How a module came to be registered; only the one who registered a module removes it.
enum class t_resource_module_kind
{
    from_memory,  // register_resource_module: the table made up the handle
    loaded,       // a module loader's own handle
};

// Threading: every method may be called from any thread. m_lock guards m_modules. Views are
// immutable and handed out as shared references, so nobody reads resources under the lock.
class t_resource_module_table
{
public:
    // The process-wide table.
    static t_resource_module_table& instance() noexcept;

    // Registers `view` under a new handle: never null, never one of a live registration (it is the
    // address of a block the registration owns). A null `view` registers a module without
    // resources. Throws std::bad_alloc.
    HMODULE add(std::shared_ptr<const t_resource_view> view);

    // Registers `view` (null: the module has no resource section) under a loader's `module`
    // handle; a null `module` stands for the process's executable, as in FindResourceExW(NULL,
    // ...). Returns false when `module` is registered already. Throws std::bad_alloc.
    bool add(HMODULE module, std::shared_ptr<const t_resource_view> view);

    // Ends the registration of `module` if it is of `kind`; returns whether it did. Pointers into
    // its resources stay valid only while some lookup still holds the view.
    bool remove(HMODULE module, t_resource_module_kind kind) noexcept;

    // What the table knows of `module`.
    struct t_lookup
    {
        bool is_registered = false;
        std::shared_ptr<const t_resource_view> view;  // null for a module without resources
    };
    t_lookup find(HMODULE module) const noexcept;

private:
    // One registration; a made-up handle is the address of `token`.
    struct t_entry
    {
        std::shared_ptr<const t_resource_view> view;
        t_resource_module_kind kind = t_resource_module_kind::loaded;
        std::unique_ptr<char> token;
    };

    mutable std::shared_mutex m_lock;
    std::unordered_map<HMODULE, t_entry> m_modules;  // guarded by m_lock
};

}  // namespace voka::platform
