// The resource task of the sequential manager: its entry point, one pass over the queue, the
// choice of the next task to execute and the ageing of the controller pool. All of it runs on the
// worker thread of the parallel manager that executes the current run of the resource task.
#include "runtime/oxa_errors.h"
#include "seq/oxa_task_seq__manager_impl.h"
#include "voka/infrastructure/core/thread_exit.h"

#include <algorithm>
#include <string>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

struct tag_execution
{
    std::uint32_t result = 0;
    bool threw = false;
};

// Executes the task outside every lock; its exception is kept in the controller. The thread-exit
// unwinding passes (the controller then stays in the run state, and a later pass or a waiter
// finishes it as abnormally terminated).
VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES tag_execution execute_task(oxa_task* task,
                                                               oxa_task_signals* signals,
                                                               std::exception_ptr& captured)
{
    tag_execution execution;
    try
    {
        execution.result = task->execute(signals);
    }
    VOKA_LET_THREAD_EXIT_PASS
    catch (...)
    {
        captured = std::current_exception();
        execution.threw = true;
    }
    return execution;
}

}  // namespace

std::uint32_t oxa_task_seq__manager_impl::thread__entry_point(run_context* context)
{
    oxa_task_signals* const signals = context->signals;
    const HANDLE cancel_event = signals->get_cancel_event();
    if (signals->is_canceled() != 0)
        return oxa_task_result_canceled;
    for (;;)
    {
        const DWORD result = WaitForMultipleObjects(1, &cancel_event, FALSE, m_pass_wait);
        if (result == WAIT_OBJECT_0)
            return oxa_task_result_canceled;
        if (result != WAIT_TIMEOUT)
            oxa_raise_bug_check(L"oxa_task_seq__manager_impl::thread__entry_point", L"#001",
                                L"Get wrong wait result code: %1", {std::to_wstring(result)});
        // The pass about to run sees every task added so far.
        context->holder->clear_restart_request();
        const bool queue_left = thread__process_queue(context);
        const bool pool_left = thread__free_idle_controllers(context);
        if (!queue_left && !pool_left)
            return 1;
        if (signals->is_canceled() != 0)
            return oxa_task_result_canceled;
    }
}

bool oxa_task_seq__manager_impl::thread__process_queue(run_context* context)
{
    detail::oxa_critical_section_guard queue(m_queue_lock);
    oxa_task_seq__controller_impl* current = nullptr;
    for (;;)
    {
        oxa_task_seq__controller_impl* const next = thread__get_next_for_exec(context, current);
        if (next == nullptr)
            return !m_queue.empty();
        next->set_states(oxa_seq_internal_run, oxa_task_state_executing);
        next->m_exception = nullptr;
        queue.unlock();

        tag_execution execution;
        {
            tag_task_signals signals(next, context);
            const t_smart_object_ptr<oxa_task> task = next->m_task;
            execution = execute_task(task.get(), &signals, next->m_exception);
        }
        context->signals->reset_user_data();

        queue.lock();
        const std::uint32_t options = next->m_options;
        const bool canceled_result =
            !execution.threw &&
            (execution.result & oxa_task_result_code_mask) == oxa_task_result_canceled;
        bool again;
        if (execution.threw)
            again = (options & oxa_task_seq_option_repeat_after_error) ==
                    oxa_task_seq_option_repeat_after_error;
        else if ((options & oxa_task_seq_option_repeat) != 0)
            again = true;
        else
            again = (execution.result & oxa_task_result_run_again) != 0;

        if (again && !canceled_result && next->m_cancel_flag.load() == 0 &&
            next->m_stop_flag.load() == 0)
        {
            // Runs again in the next pass, from its place in the queue.
            next->set_states(oxa_seq_internal_wait, oxa_task_state_wait);
            current = next;
            continue;
        }
        current = m_queue.older(next);
        if (canceled_result || (again && next->m_cancel_flag.load() != 0))
            queue__finish(next, oxa_seq_internal_canceled, oxa_task_state_canceled);
        else
            queue__finish(next, oxa_seq_internal_completed, oxa_task_state_completed);
    }
}

oxa_task_seq__controller_impl*
oxa_task_seq__manager_impl::thread__get_next_for_exec(run_context* context,
                                                      oxa_task_seq__controller_impl* current)
{
    oxa_task_signals* const signals = context->signals;
    const oxa_task_controller_id this_run = signals->get_controller();
    for (;;)
    {
        if (signals->is_canceled() != 0)
            return nullptr;
        oxa_task_seq__controller_impl* const candidate =
            current == nullptr ? m_queue.oldest() : m_queue.newer(current);
        if (candidate == nullptr)
            return nullptr;
        const std::uint32_t internal = candidate->m_internal_state.load();
        // What is finished here is unlinked; the walk goes on after its predecessor.
        current = m_queue.older(candidate);
        if (internal == oxa_seq_internal_run)
        {
            // Left executing by a run that ended while executing it.
            queue__finish(candidate, oxa_seq_internal_completed, oxa_task_state_completed, true);
            continue;
        }
        if (internal != oxa_seq_internal_wait)
            oxa_raise_bug_check(L"oxa_task_seq__manager_impl::thread__get_next_for_exec", L"#001",
                                L"wrong controller state: %1. expected [wait] state.",
                                {std::to_wstring(internal)});
        const oxa_task_pll__controller* const owner = candidate->m_owner_run.get();
        const oxa_task_controller_id owner_run =
            owner != nullptr ? candidate->m_owner_run->get_controller() : nullptr;
        if (owner_run != this_run)
            queue__finish(candidate, oxa_seq_internal_completed, oxa_task_state_completed, true);
        else if (candidate->m_cancel_flag.load() != 0)
            queue__finish(candidate, oxa_seq_internal_canceled, oxa_task_state_canceled);
        else if (candidate->m_stop_flag.load() != 0)
            queue__finish(candidate, oxa_seq_internal_completed, oxa_task_state_completed);
        else
            return candidate;
    }
}

bool oxa_task_seq__manager_impl::thread__free_idle_controllers(run_context* context)
{
    const std::uint64_t limit = std::max<std::uint32_t>(1, m_idle_lifetime / 1000);
    detail::oxa_critical_section_guard pool(m_pool_lock);
    oxa_task_seq__controller_impl* element = m_pool.oldest();
    while (element != nullptr)
    {
        if (context->signals->is_canceled() != 0)
            break;
        oxa_task_seq__controller_impl* const newer = m_pool.newer(element);
        if (element->m_idle_age.fetch_add(1) + 1 >= limit)
        {
            m_pool.unlink(element);
            delete element;
        }
        element = newer;
    }
    return !m_pool.empty();
}

}  // namespace voka::infrastructure::multitasking::oxa
