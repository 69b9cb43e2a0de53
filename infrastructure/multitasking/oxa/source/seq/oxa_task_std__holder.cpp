// The failure the standard task holder raises, in the library's error texts.
#include "voka/infrastructure/multitasking/oxa/oxa_task_std__holder.h"

#include "runtime/oxa_errors.h"

#include <string>

namespace voka::infrastructure::multitasking::oxa::detail
{

void oxa_task_std__holder__raise_unexpected_state(const wchar_t* task_name, std::uint32_t state)
{
    oxa_raise_bug_check(L"oxa_task_std__holder<TTaskMngConnector>::start_v2", L"#001",
                        L"unexpected state of task [%1]: %2", {task_name, std::to_wstring(state)});
}

}  // namespace voka::infrastructure::multitasking::oxa::detail
