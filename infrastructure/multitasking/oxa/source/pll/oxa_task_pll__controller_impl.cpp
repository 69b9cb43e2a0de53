// The parallel controller: client operations, the recycling final release, and the hooks the
// data object and its worker threads use.
#include "pll/oxa_task_pll__controller_impl.h"

#include "pll/oxa_pll_names.h"
#include "pll/oxa_task_pll__data.h"
#include "pll/oxa_task_pll__manager_impl.h"
#include "pll/oxa_cancel_notice.h"
#include "runtime/oxa_errors.h"

#include <utility>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

constexpr DWORD k_wait_slice_ms = 1000;

}  // namespace

oxa_task_pll__controller_impl::oxa_task_pll__controller_impl(oxa_task_pll__manager_impl* manager,
                                                             oxa_task* task)
    : m_task(task), m_done_event(true, false, &oxa_static_string<k_name_done_event>),
      m_cancel_event(true, false, &oxa_static_string<k_name_cancel_event>)
{
    manager->add_ref();
    m_manager.store(manager, std::memory_order_release);
}

oxa_task_pll__controller_impl::~oxa_task_pll__controller_impl()
{
    if (const t_smart_object_ptr<oxa_task_pll__thread> worker = attached_worker())
        worker->os_thread()->stop_and_join();
    detach_worker();
}

void oxa_task_pll__controller_impl::add_ref()
{
    m_count.fetch_add(1, std::memory_order_relaxed);
}

void oxa_task_pll__controller_impl::release()
{
    if (m_count.fetch_sub(1, std::memory_order_acq_rel) == 1)
        final_release();
}

oxa_task_pll__data*
oxa_task_pll__controller_impl::data_of(oxa_task_pll__manager_impl* manager) const noexcept
{
    return manager->data();
}

// The last reference went: cancel, leave the data's lists (waiting for a running task first),
// then go back to the manager, which pools or frees this object.
void oxa_task_pll__controller_impl::final_release()
{
    oxa_task_pll__manager_impl* const manager =
        m_manager.exchange(nullptr, std::memory_order_acq_rel);
    oxa_task_pll__data* const data = data_of(manager);
    cancel(false);
    data->leave_lists(this);
    data->return_controller(this);
    manager->release();
}

bool oxa_task_pll__controller_impl::wait(std::uint32_t milliseconds)
{
    std::uint32_t remaining = milliseconds;
    for (;;)
    {
        const t_smart_object_ptr<oxa_task_pll__thread> worker = attached_worker();
        if (worker)
        {
            const HANDLE handles[2] = {m_done_event.handle(), worker->os_thread()->handle()};
            const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, milliseconds);
            if (result == WAIT_OBJECT_0)
                return true;
            if (result == WAIT_OBJECT_0 + 1)
            {
                // The worker's thread ended while the task was attached.
                set_public_state(oxa_task_state_completed);
                m_done_event.set();
                return true;
            }
            if (milliseconds == INFINITE)
                continue;
            return false;
        }
        // No worker yet: wait in slices so that a worker attached meanwhile is noticed.
        DWORD slice = k_wait_slice_ms;
        if (milliseconds != INFINITE)
        {
            if (remaining >= k_wait_slice_ms)
                remaining -= k_wait_slice_ms;
            else
                slice = std::exchange(remaining, 0);
        }
        if (::WaitForSingleObject(m_done_event.handle(), slice) == WAIT_OBJECT_0)
            return true;
        if (milliseconds != INFINITE && remaining == 0)
            return false;
    }
}

void oxa_task_pll__controller_impl::cancel(bool wait)
{
    m_cancel_flag.exchange(1, std::memory_order_acq_rel);
    m_cancel_event.set();
    if (oxa_task* const task = m_task.get())
        oxa_notify_cancel(task);
    if (wait)
        this->wait(INFINITE);
}

t_smart_object_ptr<oxa_task> oxa_task_pll__controller_impl::get_task()
{
    return m_task;
}

bool oxa_task_pll__controller_impl::is_completed()
{
    const std::uint32_t state = get_state();
    return state == oxa_task_state_canceled || state == oxa_task_state_completed;
}

void oxa_task_pll__controller_impl::rethrow_task_error()
{
    static constexpr wchar_t k_source[] = L"oxa_task_pll__controller_impl::rethrow_task_error";
    if (!is_completed())
        oxa_raise_bug_check(k_source, L"#001", L"Task [%1] is not completed", {m_task->get_name()});
    {
        oxa_lock_guard lock(m_lock);
        if (m_attached)
        {
            m_attached->os_thread()->rethrow_thread_error();
            oxa_raise_bug_check(k_source, L"#002", L"Thread of task [%1] was abnormally terminated",
                                {m_task->get_name()});
        }
    }
    if (m_exception)
        std::rethrow_exception(m_exception);
}

void oxa_task_pll__controller_impl::reinitialize(oxa_task_pll__manager_impl* manager,
                                                 oxa_task* task)
{
    set_states(internal_free);
    m_done_event.reset_checked();
    m_cancel_flag.exchange(0, std::memory_order_acq_rel);
    m_cancel_event.reset_checked();
    m_task = task;
    manager->add_ref();
    m_manager.store(manager, std::memory_order_release);
}

void oxa_task_pll__controller_impl::attach_and_start(oxa_task_pll__thread* worker)
{
    oxa_lock_guard lock(m_lock);
    m_attached = worker;
    worker->set_current(this);
    try
    {
        worker->start_event().set_checked();
    }
    catch (...)
    {
        worker->set_current(nullptr);
        m_attached.reset();
        throw;
    }
}

t_smart_object_ptr<oxa_task_pll__thread> oxa_task_pll__controller_impl::attached_worker()
{
    oxa_lock_guard lock(m_lock);
    return m_attached;
}

t_smart_object_ptr<oxa_task_pll__thread> oxa_task_pll__controller_impl::detach_worker()
{
    oxa_lock_guard lock(m_lock);
    if (m_attached)
        m_attached->set_current(nullptr);
    return std::move(m_attached);
}

oxa_task_pll__thread* oxa_task_pll__controller_impl::detach_to_hand_over()
{
    t_smart_object_ptr<oxa_task_pll__thread> previous;
    oxa_lock_guard lock(m_lock);
    oxa_task_pll__thread* const worker = m_attached.get();
    if (worker != nullptr)
        worker->set_current(nullptr);
    previous = std::exchange(m_hand_over, std::move(m_attached));
    return worker;
}

void oxa_task_pll__controller_impl::set_hand_over(t_smart_object_ptr<oxa_task_pll__thread> worker)
{
    t_smart_object_ptr<oxa_task_pll__thread> previous;
    {
        oxa_lock_guard lock(m_lock);
        previous = std::exchange(m_hand_over, std::move(worker));
    }
}

void oxa_task_pll__controller_impl::clear_for_pool()
{
    set_hand_over(nullptr);
    m_task.reset();
    m_exception = nullptr;
    m_idle_age.exchange(0, std::memory_order_acq_rel);
}

}  // namespace voka::infrastructure::multitasking::oxa
