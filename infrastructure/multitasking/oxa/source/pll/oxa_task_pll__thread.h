// oxa_task_pll__thread: a worker thread of the parallel manager. Its OS thread sleeps on the
// auto-reset start event; each signal makes it execute the task of the controller attached to it,
// after which it parks itself on its owner's idle list and sleeps again.
#pragma once

#include "pll/oxa_event.h"
#include "pll/oxa_intrusive_list.h"
#include "pll/oxa_thread.h"

#include <atomic>
#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_pll__data;
class oxa_task_pll__controller_impl;

class oxa_task_pll__thread final
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
          voka::infrastructure::core::structure::t_smart_interface, oxa_allocator>,
      public oxa_list_links<oxa_task_pll__thread>
{
public:
    // Makes the worker and starts its thread. Raises messages 21 and 24.
    static t_smart_object_ptr<oxa_task_pll__thread> create(oxa_task_pll__data* owner);

    // Stops and joins the OS thread.
    ~oxa_task_pll__thread() override;

    oxa_thread* os_thread() const noexcept { return m_thread.get(); }
    oxa_event& start_event() noexcept { return m_start_event; }

    // The controller whose task the next start executes; written under that controller's lock
    // before the start event is signalled.
    void set_current(oxa_task_pll__controller_impl* controller) noexcept
    {
        m_current.store(controller, std::memory_order_release);
    }

    // Resource ticks spent on the idle list.
    std::uint64_t increment_idle_age() noexcept
    {
        return m_idle_age.fetch_add(1, std::memory_order_acq_rel) + 1;
    }
    void clear_idle_age() noexcept { m_idle_age.exchange(0, std::memory_order_acq_rel); }

private:
    explicit oxa_task_pll__thread(oxa_task_pll__data* owner);

    void worker_body(oxa_thread** context);

    oxa_task_pll__data* m_owner;
    std::atomic<oxa_task_pll__controller_impl*> m_current{nullptr};
    oxa_event m_start_event;
    t_smart_object_ptr<oxa_thread> m_thread;
    std::atomic<std::uint64_t> m_idle_age{0};
};

}  // namespace voka::infrastructure::multitasking::oxa
