// The one way the engine calls a task's cancel notification: whatever it throws is dropped, but
// the thread-exit unwinding of ExitThread passes (see thread_exit.h for the handler's attributes).
#pragma once

#include "voka/infrastructure/core/thread_exit.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

namespace voka::infrastructure::multitasking::oxa
{

VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES inline void oxa_notify_cancel(oxa_task* task)
{
    try
    {
        task->on_cancel();
    }
    VOKA_LET_THREAD_EXIT_PASS
    catch (...) {}
}

}  // namespace voka::infrastructure::multitasking::oxa
