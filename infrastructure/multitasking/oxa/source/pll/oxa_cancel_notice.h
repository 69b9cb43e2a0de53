// The one way the engine calls a task's cancel notification: whatever it throws is dropped, but
// the thread-exit unwinding of ExitThread passes. GCC's UBSan misreads the binding of that
// unwinding's handler as a null reference, and must not see the handler inlined elsewhere.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

#include <cxxabi.h>

namespace voka::infrastructure::multitasking::oxa
{

__attribute__((noinline, no_sanitize("null"))) inline void oxa_notify_cancel(oxa_task* task)
{
    try
    {
        task->on_cancel();
    }
    catch (const abi::__forced_unwind&)
    {
        throw;
    }
    catch (...)
    {
    }
}

}  // namespace voka::infrastructure::multitasking::oxa
