// oxa_task_pll__data: the state behind one or more parallel managers. It holds the controller
// lists (FIFO wait queue, running list, finished list), the LIFO idle list of worker threads,
// the LIFO controller pool, and two service threads: the run thread starts deferred tasks, the
// resource thread ages idle workers and pooled controllers and notices workers that died.
//
// Locks, outermost first: list lock, then a service thread's main lock, then its state lock.
// Pool lock, then the resource thread's main lock, then its state lock. A controller's own lock
// may be taken under the list lock, never the reverse. The idle lock is taken alone. No task
// ever executes while one of these locks is held.
#pragma once

#include "pll/oxa_event.h"
#include "pll/oxa_intrusive_list.h"
#include "pll/oxa_lock.h"
#include "pll/oxa_service_thread.h"
#include "pll/oxa_task_pll__controller_impl.h"
#include "pll/oxa_task_pll__thread.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_pll__manager_impl;

// The four time settings of a data object, in milliseconds.
struct oxa_task_pll__settings
{
    std::uint32_t run_wait;             // the run thread ends after this long without a start
    std::uint32_t resource_idle_limit;  // the resource thread ends after this long with nothing
    std::uint32_t resource_tick;        // period of the resource thread
    std::uint32_t idle_lifetime;        // how long an idle worker or pooled controller is kept
};

// What every data object the library hands out uses.
inline constexpr oxa_task_pll__settings k_oxa_task_pll__default_settings{60000, 60000, 5000, 30000};

class oxa_task_pll__data final
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
          voka::infrastructure::core::structure::t_smart_interface, oxa_allocator>
{
public:
    // Raises message 21 when the run thread's start event cannot be made. Nothing is started.
    oxa_task_pll__data();
    // Internal: other time settings, for tests that cannot wait for minutes.
    explicit oxa_task_pll__data(const oxa_task_pll__settings& settings);

    // Stops and joins the service threads and the idle workers, frees the pooled controllers.
    ~oxa_task_pll__data() override;

    // Submits `task` for `manager`; `*out` receives the controller.
    void submit(t_smart_object_ptr<oxa_task_pll__controller>* out,
                oxa_task_pll__manager_impl* manager, oxa_task* task, std::uint32_t options);

    // Runs the task of `controller` on the calling worker thread (`context` is its thread word).
    void execute(oxa_task_pll__controller_impl* controller, oxa_thread** context);

    // For a controller's final release: takes it off the list its internal state names; a
    // running one is waited for first, outside the list lock.
    void leave_lists(oxa_task_pll__controller_impl* controller);

    // Clears a released controller and pools it while a live resource thread will age it;
    // frees it otherwise.
    void return_controller(oxa_task_pll__controller_impl* controller);

    // Observation for tests: counts under the owning locks.
    std::uint32_t idle_count();
    std::uint32_t pool_count();
    std::uint32_t list_counts(std::uint32_t* wait, std::uint32_t* running, std::uint32_t* finished);
    // Observation for tests: the service threads' ids while they run, else 0.
    DWORD run_thread_id() { return m_run_thread.live_thread_id(); }
    DWORD resource_thread_id() { return m_resource_thread.live_thread_id(); }
    // For tests that hold the engine at a chosen point: the list lock stops the run thread's
    // dispatch, the idle lock stops every taking of a worker.
    oxa_critical_section& list_lock() noexcept { return m_list_lock; }
    oxa_critical_section& idle_lock() noexcept { return m_idle_lock; }

    class tag_task_signals;

private:
    oxa_task_pll__controller_impl* get_controller(oxa_task_pll__manager_impl* manager,
                                                  oxa_task* task);
    t_smart_object_ptr<oxa_task_pll__thread> get_thread();
    void park_thread(oxa_task_pll__thread* worker);

    void run_thread_body(t_service_thread::t_context* context);
    void dispatch(oxa_thread* thread);
    void resource_thread_body(t_service_thread::t_context* context);
    bool age_idle(oxa_thread* thread, std::uint64_t tick_limit);
    bool check_running(oxa_thread* thread);
    bool age_pool(oxa_thread* thread, std::uint64_t tick_limit);

    const std::uint32_t m_run_wait;
    const std::uint32_t m_resource_idle_limit;
    const std::uint32_t m_resource_tick;
    const std::uint32_t m_idle_lifetime;

    oxa_critical_section m_list_lock;
    oxa_intrusive_list<oxa_task_pll__controller_impl> m_wait_queue;
    oxa_intrusive_list<oxa_task_pll__controller_impl> m_running;
    oxa_intrusive_list<oxa_task_pll__controller_impl> m_finished;
    t_service_thread m_run_thread;
    oxa_event m_run_thread__start_event;
    t_service_thread m_resource_thread;
    oxa_critical_section m_idle_lock;
    oxa_intrusive_list<oxa_task_pll__thread> m_idle;
    oxa_critical_section m_pool_lock;
    oxa_intrusive_list<oxa_task_pll__controller_impl> m_pool;
};

// The signals a task receives on a worker: built on the worker's stack for one execution.
class oxa_task_pll__data::tag_task_signals final : public oxa_task_signals
{
public:
    tag_task_signals(oxa_task_pll__controller_impl* controller, oxa_thread** context) noexcept
        : m_controller(controller), m_context(context)
    {
    }
    ~tag_task_signals() = default;

    oxa_task_controller_id get_controller() override { return m_controller->get_controller(); }
    std::uint32_t is_canceled() override { return m_controller->cancel_requested() ? 1 : 0; }
    HANDLE get_cancel_event() override { return m_controller->cancel_event(); }
    void initialize_COM() override { (*m_context)->initialize_COM(); }
    void reset_user_data() override { (*m_context)->reset_user_data(); }

private:
    oxa_task_pll__controller_impl* m_controller;
    oxa_thread** m_context;
};

}  // namespace voka::infrastructure::multitasking::oxa
