// The sequential controller: waiting, stopping, canceling, reporting the task's failure, and the
// final release that hands it back to its manager.
#include "seq/oxa_task_seq__controller_impl.h"

#include "pll/oxa_cancel_notice.h"
#include "runtime/oxa_errors.h"
#include "seq/oxa_task_seq__manager_impl.h"

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

constexpr wchar_t k_done_event_name[] = L"oxa_task_seq__controller_impl::m_done_event";
constexpr wchar_t k_cancel_event_name[] = L"oxa_task_seq__controller_impl::m_cancel_event";
constexpr wchar_t k_rethrow_source[] = L"oxa_task_seq__controller_impl::rethrow_task_error";

bool is_final_state(std::uint32_t state) noexcept
{
    return state == oxa_task_state_canceled || state == oxa_task_state_completed;
}

}  // namespace

oxa_task_seq__controller_impl::oxa_task_seq__controller_impl(oxa_task_seq__manager_impl* manager,
                                                             oxa_task* task, std::uint32_t options)
    : m_task(task), m_options(options),
      m_done_event(true, false, &oxa_static_string<k_done_event_name>),
      m_cancel_event(true, false, &oxa_static_string<k_cancel_event_name>)
{
    manager->add_ref();
    m_manager.store(manager);
}

oxa_task_seq__controller_impl::~oxa_task_seq__controller_impl() = default;

void oxa_task_seq__controller_impl::reinitialize(oxa_task_seq__manager_impl* manager,
                                                 oxa_task* task, std::uint32_t options)
{
    m_options = options;
    m_internal_state.store(oxa_seq_internal_free);
    m_public_state.store(oxa_task_state_none);
    m_abnormal_flag.store(0);
    m_done_event.reset_checked();
    m_stop_flag.store(0);
    m_cancel_flag.store(0);
    m_cancel_event.reset_checked();
    m_task.reset(task);
    manager->add_ref();
    m_manager.store(manager);
}

void oxa_task_seq__controller_impl::add_ref()
{
    m_ref_count.fetch_add(1, std::memory_order_relaxed);
}

void oxa_task_seq__controller_impl::release()
{
    if (m_ref_count.fetch_sub(1, std::memory_order_acq_rel) == 1)
        final_release();
}

void oxa_task_seq__controller_impl::final_release()
{
    oxa_task_seq__manager_impl* const manager = m_manager.exchange(nullptr);
    cancel(false);
    {
        detail::oxa_critical_section_guard queue(manager->queue_lock());
        const std::uint32_t internal = m_internal_state.load();
        if (internal == oxa_seq_internal_wait)
        {
            manager->queue__unlink(this);
            m_internal_state.store(oxa_seq_internal_free);
        }
        else if (internal == oxa_seq_internal_run || internal == oxa_seq_internal_completed)
        {
            // The executing pass finishes it; the lock is given up so that it can.
            queue.unlock();
            wait();
            queue.lock();
            if (m_internal_state.load() == oxa_seq_internal_run)
            {
                manager->queue__unlink(this);
                m_internal_state.store(oxa_seq_internal_free);
            }
        }
    }
    manager->return_controller(this);
    manager->release();
}

void oxa_task_seq__controller_impl::set_states(std::uint32_t internal, std::uint32_t state) noexcept
{
    m_internal_state.store(internal);
    m_public_state.store(state);
}

void oxa_task_seq__controller_impl::wait()
{
    HANDLE handles[2] = {m_done_event.handle(), nullptr};
    DWORD count = 1;
    if (m_owner_run)
    {
        handles[1] = m_owner_run->get_done_event();
        count = 2;
    }
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0 + 1)
    {
        // The run that accepted the task ended before the task was finished.
        if (!is_final_state(m_public_state.load()))
            m_abnormal_flag.store(1);
        m_public_state.store(oxa_task_state_completed);
        m_done_event.set();
    }
}

void oxa_task_seq__controller_impl::finish_if_queued(std::uint32_t internal, std::uint32_t state)
{
    oxa_task_seq__manager_impl* const manager = m_manager.load();
    detail::oxa_critical_section_guard queue(manager->queue_lock());
    switch (m_internal_state.load())
    {
    case oxa_seq_internal_wait:
        manager->queue__finish(this, internal, state);
        break;
    case oxa_seq_internal_canceled:
    case oxa_seq_internal_completed:
        break;
    default:
        queue.unlock();
        wait();
        break;
    }
}

void oxa_task_seq__controller_impl::stop(bool wait)
{
    m_stop_flag.store(1);
    if (wait)
        finish_if_queued(oxa_seq_internal_completed, oxa_task_state_completed);
}

void oxa_task_seq__controller_impl::cancel(bool wait)
{
    m_cancel_flag.store(1);
    m_cancel_event.set();
    oxa_notify_cancel(m_task.get());
    if (wait)
        finish_if_queued(oxa_seq_internal_canceled, oxa_task_state_canceled);
}

bool oxa_task_seq__controller_impl::is_completed()
{
    return is_final_state(m_public_state.load());
}

void oxa_task_seq__controller_impl::rethrow_task_error()
{
    if (!is_final_state(m_public_state.load()))
        oxa_raise_bug_check(k_rethrow_source, L"#001", L"Task [%1] is not completed",
                            {m_task->get_name()});
    if (m_abnormal_flag.load() != 0)
    {
        if (m_owner_run)
            m_owner_run->rethrow_task_error();
        oxa_raise_bug_check(k_rethrow_source, L"#002",
                            L"Sequential Task [%1] was abnormally terminated",
                            {m_task->get_name()});
    }
    if (m_exception)
        std::rethrow_exception(m_exception);
}

}  // namespace voka::infrastructure::multitasking::oxa
