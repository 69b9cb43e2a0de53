// The sequential manager: runs the tasks given to it one after another, never two at once,
// without a thread of its own. One static task, "Resource Task", kept running on a parallel
// manager by a standard task holder, executes the queue in passes that each follow a wait of up
// to one pass time (one second). While the queue or the controller pool holds anything the
// resource task stays alive; when both are empty it ends, and the next added task starts it again.
// Released controllers wait in a pool for reuse and are freed after the idle lifetime.
//
// Locks, outermost first: queue lock, then the holder's main lock, then its holder-state lock
// (add_task); pool lock, then the holder's locks (return_controller). A pass takes the queue lock
// alone and never holds it while a task executes; the trimming takes the pool lock alone.
#pragma once

#include "runtime/oxa_raw_memory.h"
#include "pll/oxa_intrusive_list.h"
#include "seq/oxa_task_seq__controller_impl.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_std__holder.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_seq__manager_impl final
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<oxa_task_seq__manager,
                                                                         oxa_allocator>
{
public:
    using holder_type = oxa_task_std__holder<oxa_task_pll__manager_connector2>;
    using run_context = holder_type::tag_context;

    // What everything the factory makes uses.
    static constexpr std::uint32_t k_idle_lifetime_ms = 30000;
    static constexpr std::uint32_t k_pass_wait_ms = 1000;

    // Takes a reference to `connector` (not null); nothing is started.
    explicit oxa_task_seq__manager_impl(oxa_task_pll__manager_connector2* connector);
    // For tests: a shorter pass wait and idle lifetime. A pooled controller is freed after
    // idle_lifetime_ms / 1000 passes (at least one).
    oxa_task_seq__manager_impl(oxa_task_pll__manager_connector2* connector,
                               std::uint32_t idle_lifetime_ms, std::uint32_t pass_wait_ms);
    // Stops the resource task (cancels its run and waits for it) and frees the pool.
    ~oxa_task_seq__manager_impl() override;

    t_smart_object_ptr<oxa_task_seq__controller> add_task(oxa_task* task,
                                                          std::uint32_t options) override;

    // A pooled controller re-initialised for the task, or a new one; reference count 0.
    oxa_task_seq__controller_impl* create_controller(oxa_task* task, std::uint32_t options);
    // Called by a controller's final release: pools the controller while a run of the resource
    // task will age the pool, frees it otherwise.
    void return_controller(oxa_task_seq__controller_impl* controller) noexcept;

    // The body of the resource task: passes until there is no more work (1) or the run is
    // canceled (2).
    std::uint32_t thread__entry_point(run_context* context);
    // One pass over the queue; true when the queue is not empty at its end.
    bool thread__process_queue(run_context* context);
    // The next controller to execute after `current` (none: from the start); queue lock held.
    oxa_task_seq__controller_impl*
    thread__get_next_for_exec(run_context* context, oxa_task_seq__controller_impl* current);
    // Ages the pool by one pass and frees the controllers unused for the idle lifetime; true when
    // the pool is not empty at the end.
    bool thread__free_idle_controllers(run_context* context);

    // For controllers: the queue lock, and queue changes made under it.
    detail::oxa_critical_section& queue_lock() noexcept { return m_queue_lock; }
    void queue__unlink(oxa_task_seq__controller_impl* controller) noexcept;
    // Unlinks a queued controller, gives it its final states and signals its done event.
    void queue__finish(oxa_task_seq__controller_impl* controller, std::uint32_t internal,
                       std::uint32_t state, bool abnormal = false) noexcept;

    // For tests: the lengths of the queue and the pool.
    std::uint32_t queue_count();
    std::uint32_t pool_count();

    class tag_task_signals;

private:
    std::uint32_t m_idle_lifetime;
    std::uint32_t m_pass_wait;
    holder_type m_holder;
    detail::oxa_critical_section m_queue_lock;
    oxa_intrusive_list<oxa_task_seq__controller_impl> m_queue;  // under m_queue_lock, FIFO
    detail::oxa_critical_section m_pool_lock;
    oxa_intrusive_list<oxa_task_seq__controller_impl> m_pool;  // under m_pool_lock, LIFO
};

// What a queued task receives while it executes: its own controller's cancel flag and event, and
// the resource task's run for COM, so that COM belongs to the worker thread that runs the pass.
class oxa_task_seq__manager_impl::tag_task_signals final : public oxa_task_signals
{
public:
    tag_task_signals(oxa_task_seq__controller_impl* controller, run_context* context) noexcept
        : m_controller(controller), m_context(context)
    {
    }

    oxa_task_controller_id get_controller() override { return m_controller; }
    std::uint32_t is_canceled() override { return m_controller->m_cancel_flag.load(); }
    HANDLE get_cancel_event() override { return m_controller->m_cancel_event.handle(); }
    void initialize_COM() override { m_context->signals->initialize_COM(); }
    void reset_user_data() override { m_context->signals->reset_user_data(); }

private:
    oxa_task_seq__controller_impl* m_controller;
    run_context* m_context;
};

}  // namespace voka::infrastructure::multitasking::oxa
