// The parallel manager's shared state: submission, the run and resource thread bodies, worker
// and controller recycling, and the execution of one task on a worker.
#include "pll/oxa_task_pll__data.h"

#include "pll/oxa_pll_names.h"
#include "pll/oxa_task_pll__manager_impl.h"
#include "voka/infrastructure/core/thread_exit.h"

#include <algorithm>
#include <utility>

namespace voka::infrastructure::multitasking::oxa
{

oxa_task_pll__data::oxa_task_pll__data() : oxa_task_pll__data(k_oxa_task_pll__default_settings) {}

oxa_task_pll__data::oxa_task_pll__data(const oxa_task_pll__settings& settings)
    : m_run_wait(settings.run_wait), m_resource_idle_limit(settings.resource_idle_limit),
      m_resource_tick(settings.resource_tick), m_idle_lifetime(settings.idle_lifetime),
      m_run_thread(t_service_thread::body_type::bind(this, &oxa_task_pll__data::run_thread_body),
                   &oxa_static_string<k_name_run_thread>),
      m_run_thread__start_event(false, false, &oxa_static_string<k_name_run_start_event>),
      m_resource_thread(
          t_service_thread::body_type::bind(this, &oxa_task_pll__data::resource_thread_body),
          &oxa_static_string<k_name_resource_thread>)
{
}

oxa_task_pll__data::~oxa_task_pll__data()
{
    m_run_thread.stop();
    m_resource_thread.stop();
    {
        oxa_lock_guard idle(m_idle_lock);
        while (oxa_task_pll__thread* const worker = m_idle.pop_oldest())
        {
            worker->os_thread()->stop_and_join();
            worker->release();
        }
    }
    {
        oxa_lock_guard pool(m_pool_lock);
        while (oxa_task_pll__controller_impl* const controller = m_pool.pop_oldest())
            delete controller;
    }
}

// ---- Submission ----

void oxa_task_pll__data::submit(t_smart_object_ptr<oxa_task_pll__controller>* out,
                                oxa_task_pll__manager_impl* manager, oxa_task* task,
                                std::uint32_t options)
{
    const t_smart_object_ptr<oxa_task_pll__controller_impl> controller(
        get_controller(manager, task));
    if ((options & oxa_task_option_deferred) != 0)
    {
        // Under the list lock, so that a run thread deciding to end cannot miss this task.
        oxa_lock_guard list(m_list_lock);
        m_wait_queue.push_newest(controller.get());
        controller->set_states(oxa_task_pll__controller_impl::internal_wait);
        try
        {
            m_run_thread__start_event.set_checked();
            m_run_thread.ensure_started();
        }
        catch (...)
        {
            // Out of the queue before the list lock goes: a run thread still dispatching must
            // not start a task whose submission failed.
            m_wait_queue.unlink(controller.get());
            controller->set_internal_state(oxa_task_pll__controller_impl::internal_free);
            throw;
        }
        *out = controller.get();
        return;
    }
    {
        oxa_lock_guard list(m_list_lock);
        m_running.push_newest(controller.get());
        controller->set_states(oxa_task_pll__controller_impl::internal_run);
    }
    try
    {
        m_resource_thread.ensure_started();
        const t_smart_object_ptr<oxa_task_pll__thread> worker = get_thread();
        controller->attach_and_start(worker.get());
    }
    catch (...)
    {
        oxa_lock_guard list(m_list_lock);
        m_running.unlink(controller.get());
        controller->set_internal_state(oxa_task_pll__controller_impl::internal_free);
        throw;
    }
    *out = controller.get();
}

oxa_task_pll__controller_impl*
oxa_task_pll__data::get_controller(oxa_task_pll__manager_impl* manager, oxa_task* task)
{
    {
        oxa_lock_guard pool(m_pool_lock);
        while (oxa_task_pll__controller_impl* const controller = m_pool.pop_newest())
        {
            try
            {
                controller->reinitialize(manager, task);
                return controller;
            }
            catch (...)
            {
                delete controller;
            }
        }
    }
    return new oxa_task_pll__controller_impl(manager, task);
}

t_smart_object_ptr<oxa_task_pll__thread> oxa_task_pll__data::get_thread()
{
    for (;;)
    {
        t_smart_object_ptr<oxa_task_pll__thread> worker;
        {
            oxa_lock_guard idle(m_idle_lock);
            oxa_task_pll__thread* const newest = m_idle.pop_newest();
            if (newest == nullptr)
                break;
            worker = newest;    // the local reference ...
            newest->release();  // ... replaces the list's
        }
        if (!worker->os_thread()->helper__wait_thread(0))
            return worker;
        // Its thread has ended: dropping the last reference frees it.
    }
    return oxa_task_pll__thread::create(this);
}

void oxa_task_pll__data::park_thread(oxa_task_pll__thread* worker)
{
    {
        oxa_lock_guard idle(m_idle_lock);
        m_idle.push_newest(worker);
        worker->add_ref();
        worker->clear_idle_age();
    }
    // A resource tick that looked at the idle list before the push may be its last one; the
    // restart request makes it look again. This comes before the task's controller completes,
    // so the resource thread cannot have ended for want of running tasks yet.
    m_resource_thread.request_restart_if_alive();
}

// ---- Execution on a worker ----

VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES void
oxa_task_pll__data::execute(oxa_task_pll__controller_impl* controller, oxa_thread** context)
{
    tag_task_signals signals(controller, context);
    controller->set_public_state(oxa_task_state_executing);
    std::uint32_t result = 0;
    try
    {
        result = controller->task()->execute(&signals);
    }
    // The thread-exit unwinding passes: the thread ends with the task attached, and waiters see
    // its end.
    VOKA_LET_THREAD_EXIT_PASS
    catch (...)
    {
        controller->capture_exception();
        result = 1;
    }
    oxa_task_pll__thread* const parked = controller->detach_to_hand_over();
    (*context)->reset_user_data();
    if (parked != nullptr)
        park_thread(parked);  // back on the idle list before the done event: a client that
                              // submits as soon as its wait returns gets this warm worker
    controller->set_hand_over(nullptr);
    controller->set_public_state(oxa_task_state_of_result(result));
    controller->done_event().set();
}

// ---- Final release of a controller ----

void oxa_task_pll__data::leave_lists(oxa_task_pll__controller_impl* controller)
{
    oxa_lock_guard list(m_list_lock);
    switch (controller->internal_state())
    {
    case oxa_task_pll__controller_impl::internal_wait:
        m_wait_queue.unlink(controller);
        controller->set_internal_state(oxa_task_pll__controller_impl::internal_free);
        break;
    case oxa_task_pll__controller_impl::internal_run:
    case oxa_task_pll__controller_impl::internal_completed:
        list.unlock();
        controller->wait(INFINITE);
        {
            oxa_lock_guard again(m_list_lock);
            const std::uint32_t state = controller->internal_state();
            if (state == oxa_task_pll__controller_impl::internal_run)
                m_running.unlink(controller);
            else if (state == oxa_task_pll__controller_impl::internal_completed)
                m_finished.unlink(controller);
            if (state == oxa_task_pll__controller_impl::internal_run ||
                state == oxa_task_pll__controller_impl::internal_completed)
                controller->set_internal_state(oxa_task_pll__controller_impl::internal_free);
        }
        break;
    default:
        break;
    }
}

void oxa_task_pll__data::return_controller(oxa_task_pll__controller_impl* controller)
{
    if (const t_smart_object_ptr<oxa_task_pll__thread> worker = controller->attached_worker())
        worker->os_thread()->stop_and_join();
    controller->detach_worker();
    controller->clear_for_pool();
    {
        oxa_lock_guard pool(m_pool_lock);
        if (m_resource_thread.request_restart_if_alive())
        {
            m_pool.push_newest(controller);
            return;
        }
    }
    delete controller;
}

// ---- Run thread ----

void oxa_task_pll__data::run_thread_body(t_service_thread::t_context* context)
{
    oxa_thread* const thread = *context->thread;
    if (thread->stop_requested())
        return;
    const HANDLE handles[2] = {thread->stop_event(), m_run_thread__start_event.handle()};
    bool first_pass = true;
    for (;;)
    {
        const DWORD result = first_pass ? WAIT_OBJECT_0 + 1
                                        : ::WaitForMultipleObjects(2, handles, FALSE, m_run_wait);
        first_pass = false;
        if (result == WAIT_OBJECT_0)
            return;
        if (result == WAIT_OBJECT_0 + 1)
        {
            context->service->mark_running();
            ::ResetEvent(m_run_thread__start_event.handle());
            dispatch(thread);
        }
        else if (result == static_cast<DWORD>(WAIT_TIMEOUT))
        {
            return;
        }
        if (thread->stop_requested())
            return;
    }
}

void oxa_task_pll__data::dispatch(oxa_thread* thread)
{
    while (!thread->stop_requested())
    {
        oxa_lock_guard list(m_list_lock);
        oxa_task_pll__controller_impl* const controller = m_wait_queue.pop_oldest();
        if (controller == nullptr)
            return;
        if (controller->cancel_requested())
        {
            controller->set_states(oxa_task_pll__controller_impl::internal_canceled);
            controller->done_event().set();
            continue;
        }
        m_running.push_newest(controller);
        controller->set_states(oxa_task_pll__controller_impl::internal_run);
        list.unlock();
        try
        {
            m_resource_thread.ensure_started();
            const t_smart_object_ptr<oxa_task_pll__thread> worker = get_thread();
            controller->attach_and_start(worker.get());
        }
        catch (...)
        {
            // Kept for the client, who sees it through rethrow_task_error.
            controller->capture_exception();
            controller->set_public_state(oxa_task_state_completed);
            controller->done_event().set();
        }
    }
}

// ---- Resource thread ----

void oxa_task_pll__data::resource_thread_body(t_service_thread::t_context* context)
{
    oxa_thread* const thread = *context->thread;
    const std::uint64_t tick_limit =
        std::max<std::uint64_t>(1, m_resource_tick != 0 ? m_idle_lifetime / m_resource_tick : 1);
    std::uint32_t quiet_time = 0;
    if (thread->stop_requested())
        return;
    const HANDLE stop_event = thread->stop_event();
    for (;;)
    {
        const DWORD result = ::WaitForMultipleObjects(1, &stop_event, FALSE, m_resource_tick);
        if (result == WAIT_OBJECT_0)
            return;
        if (result == static_cast<DWORD>(WAIT_TIMEOUT))
        {
            context->service->mark_running();
            const bool idle_left = age_idle(thread, tick_limit);
            const bool running = check_running(thread);
            const bool pooled = age_pool(thread, tick_limit);
            if (pooled || idle_left || running)
            {
                quiet_time = 0;
            }
            else
            {
                quiet_time += m_resource_tick;
                if (quiet_time >= m_resource_idle_limit)
                    return;
            }
        }
        if (thread->stop_requested())
            return;
    }
}

bool oxa_task_pll__data::age_idle(oxa_thread* thread, std::uint64_t tick_limit)
{
    // Aged workers are chained through their free links and released after the lock, so that
    // joining their threads does not hold up clients taking workers.
    oxa_task_pll__thread* aged = nullptr;
    bool idle_left = false;
    {
        oxa_lock_guard idle(m_idle_lock);
        oxa_task_pll__thread* worker = m_idle.oldest();
        while (worker != nullptr && !thread->stop_requested())
        {
            oxa_task_pll__thread* const next = m_idle.newer(worker);
            if (worker->increment_idle_age() >= tick_limit)
            {
                m_idle.unlink(worker);
                worker->m_newer = aged;
                aged = worker;
            }
            worker = next;
        }
        idle_left = !m_idle.empty();
    }
    while (aged != nullptr)
    {
        oxa_task_pll__thread* const next = std::exchange(aged->m_newer, nullptr);
        aged->release();
        aged = next;
    }
    return idle_left;
}

bool oxa_task_pll__data::check_running(oxa_thread* thread)
{
    oxa_lock_guard list(m_list_lock);
    oxa_task_pll__controller_impl* controller = m_running.oldest();
    while (controller != nullptr && !thread->stop_requested())
    {
        oxa_task_pll__controller_impl* const next = m_running.newer(controller);
        if (const t_smart_object_ptr<oxa_task_pll__thread> worker = controller->attached_worker())
        {
            if (worker->os_thread()->helper__wait_thread(0))
            {
                controller->set_public_state(oxa_task_state_completed);
                controller->done_event().set();
            }
        }
        if (controller->is_completed())
        {
            m_running.unlink(controller);
            m_finished.push_newest(controller);
            controller->set_internal_state(oxa_task_pll__controller_impl::internal_completed);
        }
        controller = next;
    }
    return !m_wait_queue.empty() || !m_running.empty();
}

bool oxa_task_pll__data::age_pool(oxa_thread* thread, std::uint64_t tick_limit)
{
    oxa_lock_guard pool(m_pool_lock);
    oxa_task_pll__controller_impl* controller = m_pool.oldest();
    while (controller != nullptr && !thread->stop_requested())
    {
        oxa_task_pll__controller_impl* const next = m_pool.newer(controller);
        if (controller->increment_idle_age() >= tick_limit)
        {
            m_pool.unlink(controller);
            delete controller;
        }
        controller = next;
    }
    return !m_pool.empty();
}

// ---- Observation ----

std::uint32_t oxa_task_pll__data::idle_count()
{
    oxa_lock_guard idle(m_idle_lock);
    return m_idle.count();
}

std::uint32_t oxa_task_pll__data::pool_count()
{
    oxa_lock_guard pool(m_pool_lock);
    return m_pool.count();
}

std::uint32_t oxa_task_pll__data::list_counts(std::uint32_t* wait, std::uint32_t* running,
                                              std::uint32_t* finished)
{
    oxa_lock_guard list(m_list_lock);
    *wait = m_wait_queue.count();
    *running = m_running.count();
    *finished = m_finished.count();
    return *wait + *running + *finished;
}

}  // namespace voka::infrastructure::multitasking::oxa
