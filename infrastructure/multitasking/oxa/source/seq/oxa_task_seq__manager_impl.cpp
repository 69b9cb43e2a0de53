// The sequential manager's client side: construction, add_task, and the controller pool
// (taking a controller for a new task and taking one back after its final release).
#include "seq/oxa_task_seq__manager_impl.h"

#include "voka/infrastructure/core/thread_exit.h"

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

constexpr wchar_t k_resource_task_name[] = L"Resource Task";

// Holder options: a failed previous run is not rethrown; a restart request calls the entry point
// again within the same run.
constexpr std::uint32_t k_holder_options = oxa_task_std__holder_option_ignore_run_failure;

// Frees a pooled controller whose re-initialisation failed; the thread-exit unwinding passes.
VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES bool try_reinitialize(oxa_task_seq__controller_impl* controller,
                                                          oxa_task_seq__manager_impl* manager,
                                                          oxa_task* task, std::uint32_t options)
{
    try
    {
        controller->reinitialize(manager, task, options);
        return true;
    }
    VOKA_LET_THREAD_EXIT_PASS
    catch (...)
    {
        delete controller;
        return false;
    }
}

}  // namespace

oxa_task_seq__manager_impl::oxa_task_seq__manager_impl(oxa_task_pll__manager_connector2* connector)
    : oxa_task_seq__manager_impl(connector, k_idle_lifetime_ms, k_pass_wait_ms)
{
}

oxa_task_seq__manager_impl::oxa_task_seq__manager_impl(oxa_task_pll__manager_connector2* connector,
                                                       std::uint32_t idle_lifetime_ms,
                                                       std::uint32_t pass_wait_ms)
    : m_idle_lifetime(idle_lifetime_ms), m_pass_wait(pass_wait_ms),
      m_holder(
          connector, k_resource_task_name,
          holder_type::function_type::bind(this, &oxa_task_seq__manager_impl::thread__entry_point),
          k_holder_options)
{
}

oxa_task_seq__manager_impl::~oxa_task_seq__manager_impl()
{
    m_holder.stop();
    detail::oxa_critical_section_guard pool(m_pool_lock);
    while (oxa_task_seq__controller_impl* const controller = m_pool.newest())
    {
        m_pool.unlink(controller);
        delete controller;
    }
}

t_smart_object_ptr<oxa_task_seq__controller>
oxa_task_seq__manager_impl::add_task(oxa_task* task, std::uint32_t options)
{
    // If anything below throws, the release of this reference takes the controller out of the
    // queue again.
    const t_smart_object_ptr<oxa_task_seq__controller_impl> controller =
        create_controller(task, options);
    detail::oxa_critical_section_guard queue(m_queue_lock);
    m_queue.push_newest(controller.get());
    controller->set_states(oxa_seq_internal_wait, oxa_task_state_wait);
    holder_type::tag_start_result started = m_holder.start_v2();
    controller->m_owner_run = std::move(started.run);
    if (started.code == oxa_task_std__holder_not_started)
    {
        // No run will ever see it: finish it now, so that nobody waits for it without end.
        queue__finish(controller.get(), oxa_seq_internal_completed, oxa_task_state_completed, true);
    }
    return controller;
}

oxa_task_seq__controller_impl* oxa_task_seq__manager_impl::create_controller(oxa_task* task,
                                                                             std::uint32_t options)
{
    {
        detail::oxa_critical_section_guard pool(m_pool_lock);
        while (oxa_task_seq__controller_impl* const controller = m_pool.newest())
        {
            m_pool.unlink(controller);
            if (try_reinitialize(controller, this, task, options))
                return controller;
        }
    }
    return new oxa_task_seq__controller_impl(this, task, options);
}

void oxa_task_seq__manager_impl::return_controller(
    oxa_task_seq__controller_impl* controller) noexcept
{
    controller->m_owner_run.reset();
    controller->m_task.reset();
    controller->m_exception = nullptr;
    controller->m_idle_age.store(0);
    detail::oxa_critical_section_guard pool(m_pool_lock);
    // A restart request keeps the resource task running, so that the pool is aged.
    if (m_holder.request_restart_if_running())
    {
        m_pool.push_newest(controller);
        return;
    }
    pool.unlock();
    delete controller;
}

void oxa_task_seq__manager_impl::queue__unlink(oxa_task_seq__controller_impl* controller) noexcept
{
    m_queue.unlink(controller);
}

void oxa_task_seq__manager_impl::queue__finish(oxa_task_seq__controller_impl* controller,
                                               std::uint32_t internal, std::uint32_t state,
                                               bool abnormal) noexcept
{
    m_queue.unlink(controller);
    if (abnormal)
        controller->m_abnormal_flag.store(1);
    controller->set_states(internal, state);
    controller->m_done_event.set();
}

std::uint32_t oxa_task_seq__manager_impl::queue_count()
{
    detail::oxa_critical_section_guard queue(m_queue_lock);
    return m_queue.count();
}

std::uint32_t oxa_task_seq__manager_impl::pool_count()
{
    detail::oxa_critical_section_guard pool(m_pool_lock);
    return m_pool.count();
}

}  // namespace voka::infrastructure::multitasking::oxa
