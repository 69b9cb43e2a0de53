// The exported entry point that makes sequential managers.
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"

#include "seq/oxa_task_seq__manager_impl.h"

namespace voka::infrastructure::multitasking::oxa
{

oxa_task_seq__factory::manager_ptr
oxa_task_seq__factory::create_manager(oxa_task_pll__manager_connector2* connector)
{
    return manager_ptr(new oxa_task_seq__manager_impl(connector));
}

}  // namespace voka::infrastructure::multitasking::oxa
