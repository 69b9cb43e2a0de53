// The exported factories of parallel managers: private state, or the process-wide shared state
// that the manager registry holds.
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"

#include "pll/oxa_task_pll__manager_impl.h"
#include "runtime/oxa_errors.h"
#include "runtime/oxa_module.h"

namespace voka::infrastructure::multitasking::oxa
{

oxa_task_pll__factory::manager_ptr oxa_task_pll__factory::create_manager()
{
    const t_smart_object_ptr<oxa_task_pll__data> data(new oxa_task_pll__data());
    return manager_ptr(new oxa_task_pll__manager_impl(data.get()));
}

oxa_task_pll__factory::manager_ptr oxa_task_pll__factory::get_manager()
{
    oxa_manager_registry* const registry = oxa_registry();
    if (registry == nullptr)
        oxa_raise_bug_check(L"oxa_task_pll__factory::get_manager", L"#001",
                            L"The library is not started");
    const t_smart_object_ptr<oxa_task_pll__manager_impl> manager(new oxa_task_pll__manager_impl());
    ::EnterCriticalSection(&registry->lock);
    try
    {
        if (!registry->shared_data)
            registry->shared_data = new oxa_task_pll__data();
        manager->set_data(static_cast<oxa_task_pll__data*>(registry->shared_data.get()));
    }
    catch (...)
    {
        ::LeaveCriticalSection(&registry->lock);
        throw;
    }
    ::LeaveCriticalSection(&registry->lock);
    return manager_ptr(manager.get());
}

}  // namespace voka::infrastructure::multitasking::oxa
