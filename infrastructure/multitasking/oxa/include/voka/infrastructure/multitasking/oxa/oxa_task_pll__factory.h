// The task library's entry points for parallel managers: a manager on the process-wide shared
// state (one worker pool, one queue, one run and one resource thread for all its users), or one
// with private state of its own.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_api.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

namespace voka::infrastructure::multitasking::oxa
{

class OXA_API oxa_task_pll__factory
{
public:
    using manager_ptr =
        t_smart_object_ptr<oxa_task_pll__manager, t_sptr_traits<oxa_task_pll__manager>>;

    // A new manager with private state (its own workers and service threads).
    static manager_ptr create_manager();

    // A new manager on the shared state; the state is made by the first call and dropped when
    // the last manager of any kind is released.
    static manager_ptr get_manager();
};

}  // namespace voka::infrastructure::multitasking::oxa
