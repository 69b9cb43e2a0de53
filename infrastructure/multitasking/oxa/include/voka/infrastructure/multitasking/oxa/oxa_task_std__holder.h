// The standard task holder: keeps one static task running on a parallel manager reached through a
// connector, and restarts it on request without two runs of it ever overlapping.
//
// The owner calls start_v2 whenever it has new work. With no run in progress a new run starts
// (code 1); while a run has not yet left the static task's execute, a restart request is recorded
// and the function is called once more before the run ends (code 2); once the run has left it,
// start_v2 waits for the run to end and starts a new one; after a canceled run nothing starts
// (code 3). The function says by its execution result whether it has more to do: the run ends
// when it has nothing left and no new work was announced meanwhile.
//
// Locks: start_v2 and stop serialise on the main lock; run and the function use only the
// holder-state lock. Order: main lock before holder-state lock. start_v2 may wait with the main
// lock held for a run that is finishing (state 2); run never takes the main lock.
//
// The holder raises its one failure through the task library's error texts, so it is meant to be
// instantiated inside the library.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_bound_callable.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_std__static.h"
#include "voka/win32.h"

#include <cstdint>
#include <utility>

namespace voka::infrastructure::multitasking::oxa
{

namespace detail
{

// A critical section that lives exactly as long as its owner object.
class oxa_critical_section
{
public:
    oxa_critical_section() noexcept { InitializeCriticalSection(&m_section); }
    ~oxa_critical_section() { DeleteCriticalSection(&m_section); }
    oxa_critical_section(const oxa_critical_section&) = delete;
    oxa_critical_section& operator=(const oxa_critical_section&) = delete;

    CRITICAL_SECTION* get() noexcept { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

// Holds a critical section from construction to destruction; unlock and lock give it up for a
// while (a guard that does not hold the section at its end leaves it alone).
class oxa_critical_section_guard
{
public:
    explicit oxa_critical_section_guard(oxa_critical_section& section) noexcept
        : m_section(section.get())
    {
        EnterCriticalSection(m_section);
    }
    ~oxa_critical_section_guard()
    {
        if (m_held)
            LeaveCriticalSection(m_section);
    }
    oxa_critical_section_guard(const oxa_critical_section_guard&) = delete;
    oxa_critical_section_guard& operator=(const oxa_critical_section_guard&) = delete;

    void unlock() noexcept
    {
        m_held = false;
        LeaveCriticalSection(m_section);
    }
    void lock() noexcept
    {
        EnterCriticalSection(m_section);
        m_held = true;
    }
    bool held() const noexcept { return m_held; }

private:
    CRITICAL_SECTION* m_section;
    bool m_held = true;
};

// Sets a flag under a guard's section when it goes, taking the section again if the guard gave it
// up: declared after the guard, it runs on every way out of the guard's scope, exceptions too.
class oxa_set_flag_on_exit
{
public:
    oxa_set_flag_on_exit(oxa_critical_section_guard& guard, bool& flag) noexcept
        : m_guard(guard), m_flag(flag)
    {
    }
    ~oxa_set_flag_on_exit()
    {
        if (!m_guard.held())
            m_guard.lock();
        m_flag = true;
    }
    oxa_set_flag_on_exit(const oxa_set_flag_on_exit&) = delete;
    oxa_set_flag_on_exit& operator=(const oxa_set_flag_on_exit&) = delete;

private:
    oxa_critical_section_guard& m_guard;
    bool& m_flag;
};

// Raises "unexpected state of task [%1]: %2" for start_v2 (check point #001).
[[noreturn]] void oxa_task_std__holder__raise_unexpected_state(const wchar_t* task_name,
                                                               std::uint32_t state);

}  // namespace detail

// Options of the holder.
enum : std::uint32_t
{
    // Do not rethrow a failure of the completed previous run when a new run is started.
    oxa_task_std__holder_option_ignore_run_failure = 0x01,
    // On a restart request end the run with the run-again flag instead of calling the function
    // again.
    oxa_task_std__holder_option_restart_as_run_again = 0x02,
};

// Answers of start_v2.
enum : std::uint32_t
{
    oxa_task_std__holder_started = 1,      // a new run was started
    oxa_task_std__holder_joined = 2,       // the running run will call the function again
    oxa_task_std__holder_not_started = 3,  // the previous run ended canceled; nothing started
};

// States of the holder, guarded by its holder-state lock.
enum : std::uint32_t
{
    oxa_task_std__holder_running = 0,          // no new work announced since the function looked
    oxa_task_std__holder_restart_request = 1,  // new work announced during the run
    oxa_task_std__holder_finished = 2,         // the run is ending or has ended
};

// TTaskMngConnector: counted (add_ref, release) with
// get_pll_manager(t_smart_object_ptr<oxa_task_pll__manager>* out) -> out.
template <typename TTaskMngConnector>
class oxa_task_std__holder
{
public:
    // What the function receives: this holder and the signals of the run.
    struct tag_context
    {
        oxa_task_std__holder* holder;
        oxa_task_signals* signals;
    };

    // The function the run calls; it returns a task execution result.
    using function_type = oxa_bound_callable<std::uint32_t(tag_context*)>;

    struct tag_start_result
    {
        t_smart_object_ptr<oxa_task_pll__controller> run;  // null when nothing runs
        std::uint32_t code;                                // oxa_task_std__holder_started, ...
    };

    // Takes a reference to `connector` (not null); the task name keeps at most 63 characters.
    // Nothing is started.
    oxa_task_std__holder(TTaskMngConnector* connector, const wchar_t* task_name,
                         const function_type& function, std::uint32_t options)
        : m_connector(connector),
          m_task(task_name,
                 oxa_task_std__static::execute_callable::bind(this, &oxa_task_std__holder::run)),
          m_function(function), m_options(options)
    {
    }

    // Stops the current run and waits for it.
    ~oxa_task_std__holder() { stop(); }

    oxa_task_std__holder(const oxa_task_std__holder&) = delete;
    oxa_task_std__holder& operator=(const oxa_task_std__holder&) = delete;

    // Starts a run of the task or joins the current one; see the codes above. A failure of the
    // connector, of the parallel manager or of the previous run (when it is rethrown) reaches the
    // caller with no current run.
    tag_start_result start_v2()
    {
        detail::oxa_critical_section_guard main(m_main_lock);
        if (m_current_run)
        {
            if (!m_current_run->is_completed())
            {
                detail::oxa_critical_section_guard state(m_state_lock);
                // Only a run that will still look at the state calls the function again; one
                // that has left run() (run-again result, option bit 1, an exception) does not.
                if (m_state != oxa_task_std__holder_finished && !m_run_left)
                {
                    m_state = oxa_task_std__holder_restart_request;
                    return {m_current_run, oxa_task_std__holder_joined};
                }
            }
            // Finished, finishing or left: the next run must not overlap it.
            m_current_run->wait(INFINITE);
            const std::uint32_t run_state = m_current_run->get_state();
            if (run_state == oxa_task_state_canceled)
                return {nullptr, oxa_task_std__holder_not_started};
            if (run_state != oxa_task_state_completed)
                detail::oxa_task_std__holder__raise_unexpected_state(m_task.get_name(), run_state);
            // The previous run's failure is reported once: the run is dropped before it is
            // rethrown, so the next call starts a new run.
            const t_smart_object_ptr<oxa_task_pll__controller> previous = std::move(m_current_run);
            if ((m_options & oxa_task_std__holder_option_ignore_run_failure) == 0)
                previous->rethrow_task_error();
        }
        {
            detail::oxa_critical_section_guard state(m_state_lock);
            m_state = oxa_task_std__holder_running;
            m_run_left = false;
        }
        t_smart_object_ptr<oxa_task_pll__manager> manager;
        m_connector->get_pll_manager(&manager);
        m_current_run = manager->add_task(&m_task, 0);
        return {m_current_run, oxa_task_std__holder_started};
    }

    // Cancels the current run, waits until it has ended and drops it.
    void stop()
    {
        detail::oxa_critical_section_guard main(m_main_lock);
        t_smart_object_ptr<oxa_task_pll__controller> run = std::move(m_current_run);
        if (run)
            run->cancel(true);
    }

    // The static task's execute: calls the function until it has nothing left and no restart
    // request is pending. The function's exceptions leave the run; the state is then unchanged.
    // However it leaves, the run is marked as left under the holder-state lock, so that no
    // request is recorded for it afterwards.
    std::uint32_t run(oxa_task_signals* signals)
    {
        tag_context context{this, signals};
        detail::oxa_critical_section_guard state(m_state_lock);
        const detail::oxa_set_flag_on_exit left(state, m_run_left);
        state.unlock();
        std::uint32_t result = m_function(&context);
        state.lock();
        for (;;)
        {
            if ((result & oxa_task_result_code_mask) == oxa_task_result_canceled)
            {
                m_state = oxa_task_std__holder_finished;
                return result;
            }
            if (signals->is_canceled() != 0)
            {
                const std::uint32_t previous =
                    std::exchange(m_state, oxa_task_std__holder_finished);
                return previous == oxa_task_std__holder_restart_request ? oxa_task_result_canceled
                                                                        : result;
            }
            if (m_state == oxa_task_std__holder_restart_request)
            {
                m_state = oxa_task_std__holder_running;
                if ((m_options & oxa_task_std__holder_option_restart_as_run_again) != 0)
                    return result | oxa_task_result_run_again;
                state.unlock();
                result = m_function(&context);
                state.lock();
                continue;
            }
            if ((result & oxa_task_result_run_again) == 0)
                m_state = oxa_task_std__holder_finished;
            return result;
        }
    }

    // For the function: clears a pending restart request before it looks for work, so that a
    // request made after this point makes the run call it again.
    void clear_restart_request()
    {
        detail::oxa_critical_section_guard state(m_state_lock);
        m_state = oxa_task_std__holder_running;
    }

    // For the owner (its own lock taken first): when the current run has not completed, is not
    // finishing and has not left run(), records a restart request, so that the run goes on; true
    // then.
    bool request_restart_if_running()
    {
        detail::oxa_critical_section_guard main(m_main_lock);
        if (!m_current_run || m_current_run->is_completed())
            return false;
        detail::oxa_critical_section_guard state(m_state_lock);
        if (m_state == oxa_task_std__holder_finished || m_run_left)
            return false;
        m_state = oxa_task_std__holder_restart_request;
        return true;
    }

    // The holder state, read under the holder-state lock.
    std::uint32_t get_holder_state()
    {
        detail::oxa_critical_section_guard state(m_state_lock);
        return m_state;
    }

    const wchar_t* get_task_name() noexcept { return m_task.get_name(); }

private:
    // Destroyed in reverse order: the state lock, the current run, the main lock, the connector.
    t_smart_object_ptr<TTaskMngConnector> m_connector;
    detail::oxa_critical_section m_main_lock;
    oxa_task_std__static m_task;
    t_smart_object_ptr<oxa_task_pll__controller> m_current_run;  // under m_main_lock
    detail::oxa_critical_section m_state_lock;
    std::uint32_t m_state = oxa_task_std__holder_running;  // under m_state_lock
    bool m_run_left = false;  // the current run has left run(); under m_state_lock
    function_type m_function;
    std::uint32_t m_options;
};

}  // namespace voka::infrastructure::multitasking::oxa
