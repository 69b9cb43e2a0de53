// The parallel manager object and the live-manager count of the manager registry.
#include "pll/oxa_task_pll__manager_impl.h"

#include "runtime/oxa_module.h"

#include <utility>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

// Guards the registry's lock for one scope.
class t_registry_lock
{
public:
    explicit t_registry_lock(oxa_manager_registry* registry) noexcept : m_registry(registry)
    {
        ::EnterCriticalSection(&m_registry->lock);
    }
    ~t_registry_lock() { ::LeaveCriticalSection(&m_registry->lock); }

    t_registry_lock(const t_registry_lock&) = delete;
    t_registry_lock& operator=(const t_registry_lock&) = delete;

private:
    oxa_manager_registry* m_registry;
};

}  // namespace

oxa_task_pll__manager_base::oxa_task_pll__manager_base() noexcept
{
    if (oxa_manager_registry* const registry = oxa_registry())
        registry->live_managers.fetch_add(1, std::memory_order_acq_rel);
}

oxa_task_pll__manager_base::~oxa_task_pll__manager_base()
{
    oxa_manager_registry* const registry = oxa_registry();
    if (registry == nullptr || registry->live_managers.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    t_smart_object_ptr<voka::infrastructure::core::structure::t_smart_interface> shared;
    {
        const t_registry_lock lock(registry);
        if (registry->live_managers.load(std::memory_order_acquire) == 0)
            shared = std::move(registry->shared_data);
    }
    // The last reference stops and joins the shared data's threads here, on the releasing thread.
    shared.reset();
}

t_smart_object_ptr<oxa_task_pll__controller>
oxa_task_pll__manager_impl::add_task(oxa_task* task, std::uint32_t options)
{
    t_smart_object_ptr<oxa_task_pll__controller> controller;
    m_data->submit(&controller, this, task, options);
    return controller;
}

}  // namespace voka::infrastructure::multitasking::oxa
