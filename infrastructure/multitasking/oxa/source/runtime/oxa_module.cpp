// The module start and stop: the module handle, the manager registry in the private memory, the
// gate check, and the leak line when the library goes.
#include "runtime/oxa_module.h"

#include "runtime/gate_check.h"
#include "runtime/oxa_module_handle_scope.h"
#include "runtime/oxa_raw_memory.h"

#include <new>
#include <utility>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

// Written only by the start and the stop, which the loader serialises.
constinit HINSTANCE g_module_handle = nullptr;
constinit std::atomic<oxa_manager_registry*> g_registry{nullptr};

// The registry in one block of the private memory; its lock initialised, its identifier null.
oxa_manager_registry* create_registry()
{
    void* const block = oxa_raw_memory::allocate(sizeof(oxa_manager_registry));
    auto* const registry = new (block) oxa_manager_registry();
    ::InitializeCriticalSection(&registry->lock);
    registry->api_id = GUID_NULL;
    return registry;
}

void destroy_registry(oxa_manager_registry* registry) noexcept
{
    // Releasing the shared data may stop its threads: done before the lock goes.
    try
    {
        registry->shared_data.reset();
    }
    catch (...)  // a failing release must not keep the library from unloading
    {
    }
    ::DeleteCriticalSection(&registry->lock);
    registry->~oxa_manager_registry();
    oxa_raw_memory::deallocate(registry);
}

}  // namespace

HINSTANCE oxa_module_handle() noexcept
{
    return g_module_handle;
}

oxa_manager_registry* oxa_registry() noexcept
{
    return g_registry.load(std::memory_order_acquire);
}

bool oxa_module_start(HINSTANCE instance) noexcept
{
    try
    {
        if (!::DisableThreadLibraryCalls(instance))
        {
            oxa_module_stop();
            return false;
        }
        g_module_handle = instance;
        oxa_manager_registry* const registry = create_registry();
        g_registry.store(registry, std::memory_order_release);
        if (!oxa_check_gates(oxa_gate_module_names(), registry->api_id))
        {
            oxa_module_stop();
            return false;
        }
        return true;
    }
    catch (...)
    {
        oxa_module_stop();
        return false;
    }
}

t_oxa_module_handle_scope::t_oxa_module_handle_scope(HINSTANCE module) noexcept
    : m_previous(std::exchange(g_module_handle, module))
{
}

t_oxa_module_handle_scope::~t_oxa_module_handle_scope()
{
    g_module_handle = m_previous;
}

void oxa_module_stop() noexcept
{
    if (oxa_manager_registry* const registry =
            g_registry.exchange(nullptr, std::memory_order_acq_rel))
        destroy_registry(registry);
    oxa_report_leaks();
}

}  // namespace voka::infrastructure::multitasking::oxa
