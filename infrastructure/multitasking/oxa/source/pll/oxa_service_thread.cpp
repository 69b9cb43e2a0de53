// The restartable service thread: start on demand, restart requests, the loop on the thread.
#include "pll/oxa_service_thread.h"

#include <utility>

namespace voka::infrastructure::multitasking::oxa
{

t_service_thread::t_service_thread(const body_type& body, oxa_const_string* name)
    : m_body(body), m_name(name)
{
}

t_service_thread::~t_service_thread()
{
    stop();
}

void t_service_thread::stop()
{
    t_smart_object_ptr<oxa_thread> thread;
    {
        oxa_lock_guard main(m_main_lock);
        thread = std::move(m_thread);
        if (thread)
            thread->stop_and_join();
    }
}

bool t_service_thread::ensure_started()
{
    oxa_lock_guard main(m_main_lock);
    if (m_thread)
    {
        {
            oxa_lock_guard state(m_state_lock);
            if (m_state != state_finished && !m_thread->helper__wait_thread(0))
            {
                m_state = state_restart;
                return false;
            }
        }
        const t_smart_object_ptr<oxa_thread> ended = std::move(m_thread);
        ended->helper__wait_thread(INFINITE);
        ended->rethrow_thread_error();
    }
    {
        oxa_lock_guard state(m_state_lock);
        m_state = state_running;
    }
    m_thread = oxa_thread::create(oxa_thread::body_type::bind(this, &t_service_thread::loop),
                                  m_name.get());
    return true;
}

void t_service_thread::mark_running() noexcept
{
    oxa_lock_guard state(m_state_lock);
    m_state = state_running;
}

bool t_service_thread::request_restart_if_alive()
{
    oxa_lock_guard main(m_main_lock);
    if (!m_thread)
        return false;
    oxa_lock_guard state(m_state_lock);
    if (m_state == state_finished || m_thread->helper__wait_thread(0))
        return false;
    m_state = state_restart;
    return true;
}

DWORD t_service_thread::live_thread_id()
{
    oxa_lock_guard main(m_main_lock);
    if (!m_thread || m_thread->helper__wait_thread(0))
        return 0;
    return m_thread->thread_id();
}

void t_service_thread::loop(oxa_thread** thread)
{
    t_context context{this, thread};
    m_body(&context);
    while (!(*thread)->stop_requested())
    {
        oxa_lock_guard state(m_state_lock);
        if (m_state != state_restart)
        {
            m_state = state_finished;
            return;
        }
        m_state = state_running;
        state.unlock();
        m_body(&context);
    }
}

}  // namespace voka::infrastructure::multitasking::oxa
