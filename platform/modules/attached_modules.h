// Modules whose entry point the platform calls because their module-entry glue announced them
// (see voka/platform/module_entry.h), the loader lock, and the per-thread state of a LoadLibraryW
// or FreeLibrary in progress.
#pragma once

#include "voka/win32.h"

#include <mutex>

namespace voka::platform
{

// The one process-wide loader lock: held while modules are loaded, freed or looked up, and while
// entry points run. Recursive, so that an entry point may load, free and look up modules.
std::recursive_mutex& loader_lock() noexcept;

// A LoadLibraryW in progress on this thread, while its dlopen runs: the modules the system loader
// maps meanwhile attach through it, and the first failed attach makes every later one in the same
// load skip its entry point, as Windows stops initialising a load at its first failure.
class t_load_scope
{
public:
    t_load_scope() noexcept;
    ~t_load_scope();
    t_load_scope(const t_load_scope&) = delete;
    t_load_scope& operator=(const t_load_scope&) = delete;

    bool failed() const noexcept { return m_failed; }
    void set_failed() noexcept { m_failed = true; }
    static t_load_scope* current() noexcept;

private:
    t_load_scope* m_outer;
    bool m_failed = false;
};

// A FreeLibrary in progress on this thread: modules unmapped meanwhile are detached with a null
// `reserved`, as by FreeLibrary; outside it they are detached at process end.
class t_free_scope
{
public:
    t_free_scope() noexcept;
    ~t_free_scope();
    t_free_scope(const t_free_scope&) = delete;
    t_free_scope& operator=(const t_free_scope&) = delete;
    static bool active() noexcept;

private:
    bool m_outer;
};

// Whether `module` was announced by its glue and is still mapped. Call under the loader lock.
bool is_announced_module(HMODULE module) noexcept;

// A module that the system loader kept mapped when a failed load was undone (a library marked
// never to be unloaded) is not constructed again by its next load, so its glue does not attach
// it. This attaches such a module, announced but not attached, as Windows would attach a freshly
// loaded one; false, after the detach call, when its entry point refuses. Call under the loader
// lock.
bool attach_if_detached(HMODULE module) noexcept;

// Switches DLL_THREAD_* calls off for an announced module; false for any other.
bool disable_thread_calls(HMODULE module) noexcept;

// DLL_THREAD_ATTACH / DLL_THREAD_DETACH to every attached module that wants them, called by the
// threads the layer starts at their beginning and end.
void notify_thread_attach() noexcept;
void notify_thread_detach() noexcept;

}  // namespace voka::platform
