// The parallel manager's worker thread: creation, the sleep-execute loop and destruction.
#include "pll/oxa_task_pll__thread.h"

#include "pll/oxa_pll_names.h"
#include "pll/oxa_task_pll__data.h"

namespace voka::infrastructure::multitasking::oxa
{

oxa_task_pll__thread::oxa_task_pll__thread(oxa_task_pll__data* owner)
    : m_owner(owner), m_start_event(false, false, &oxa_static_string<k_name_worker_start_event>)
{
}

t_smart_object_ptr<oxa_task_pll__thread> oxa_task_pll__thread::create(oxa_task_pll__data* owner)
{
    t_smart_object_ptr<oxa_task_pll__thread> worker(new oxa_task_pll__thread(owner));
    worker->m_thread = oxa_thread::create(
        oxa_thread::body_type::bind(worker.get(), &oxa_task_pll__thread::worker_body),
        &oxa_static_string<k_name_worker_thread>);
    return worker;
}

oxa_task_pll__thread::~oxa_task_pll__thread()
{
    if (m_thread)
    {
        m_thread->stop_and_join();
        m_thread.reset();
    }
}

void oxa_task_pll__thread::worker_body(oxa_thread** context)
{
    oxa_thread* const thread = *context;
    if (thread->stop_requested())
        return;
    const HANDLE handles[2] = {thread->stop_event(), m_start_event.handle()};
    for (;;)
    {
        const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0)
            return;
        if (result == WAIT_OBJECT_0 + 1)
            m_owner->execute(m_current.load(std::memory_order_acquire), context);
        if (thread->stop_requested())
            return;
    }
}

}  // namespace voka::infrastructure::multitasking::oxa
