// t_service_thread: a background thread that exists only while it has work. ensure_started
// starts it on demand; the thread ends by itself when its body returns, unless a request came
// while the body ran, in which case the same thread runs the body once more.
//
// Service state (under the state lock): 0 running, 1 finished (the body returned and will not
// run again), 2 restart requested. Lock order: main lock, then state lock; the thread itself
// takes only the state lock, so ensure_started may hold the main lock while it joins an ended
// thread.
#pragma once

#include "pll/oxa_lock.h"
#include "pll/oxa_thread.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

class t_service_thread
{
public:
    // What the body receives: the holder and the address of the current run's thread word.
    struct t_context
    {
        t_service_thread* service;
        oxa_thread** thread;
    };
    using body_type = oxa_bound_callable<void(t_context*)>;

    enum : std::uint32_t
    {
        state_running = 0,
        state_finished = 1,
        state_restart = 2,
    };

    // Nothing is started.
    t_service_thread(const body_type& body, oxa_const_string* name);
    // Stops and joins the current run, if any.
    ~t_service_thread();

    t_service_thread(const t_service_thread&) = delete;
    t_service_thread& operator=(const t_service_thread&) = delete;

    // Starts a new run (true), or asks the running one to run its body again (false). A previous
    // run that ended by an exception has it rethrown here once, leaving the holder without a
    // thread. Raises message 24 when the thread cannot be started.
    bool ensure_started();

    // Called by the body at the start of each pass: the service state becomes 0.
    void mark_running() noexcept;

    // Under the main lock: if a run exists that has not finished and whose thread still runs,
    // asks it to run its body again and returns true; otherwise false.
    bool request_restart_if_alive();

    // Stops and joins the current run, if any, and drops it.
    void stop();

    // Observation: the id of the current run's thread while it still runs, else 0.
    DWORD live_thread_id();

private:
    void loop(oxa_thread** thread);

    oxa_critical_section m_main_lock;
    t_smart_object_ptr<oxa_thread> m_thread;
    oxa_critical_section m_state_lock;
    std::uint32_t m_state = state_running;
    body_type m_body;
    t_smart_object_ptr<oxa_const_string> m_name;
};

}  // namespace voka::infrastructure::multitasking::oxa
