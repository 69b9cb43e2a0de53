// oxa_task_pll__controller_impl: one submission of a task to a parallel manager. The client
// waits, cancels, reads the state and rethrows the failure through it; the manager links it into
// its lists and attaches a worker. Its own reference count lets the last release recycle it
// through the manager's pool: events and lock are made once and reused for many submissions.
//
// Internal state (which list of the data object holds it; changed under the data's list lock):
// 0 free, 1 wait queue, 2 canceled (no list), 3 running list, 4 finished list.
#pragma once

#include "pll/oxa_event.h"
#include "pll/oxa_intrusive_list.h"
#include "pll/oxa_lock.h"
#include "pll/oxa_task_pll__thread.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_pll__data;
class oxa_task_pll__manager_impl;

class oxa_task_pll__controller_impl final : public oxa_task_pll__controller,
                                            public oxa_list_links<oxa_task_pll__controller_impl>
{
public:
    enum : std::uint32_t
    {
        internal_free = 0,
        internal_wait = 1,
        internal_canceled = 2,
        internal_run = 3,
        internal_completed = 4,
    };

    // A new controller for `manager` (counted) and `task` (counted), with count 0: the caller
    // takes the first reference. Raises message 21 when an event cannot be made.
    oxa_task_pll__controller_impl(oxa_task_pll__manager_impl* manager, oxa_task* task);
    ~oxa_task_pll__controller_impl() override;

    // Every controller lives in the private memory.
    static void* operator new(std::size_t size) { return oxa_raw_memory::allocate(size); }
    static void operator delete(void* block) noexcept { oxa_raw_memory::deallocate(block); }

    // oxa_task_pll__controller
    void add_ref() override;
    void release() override;
    bool wait(std::uint32_t milliseconds) override;
    void cancel(bool wait) override;
    oxa_task_controller_id get_controller() override { return this; }
    t_smart_object_ptr<oxa_task> get_task() override;
    std::uint32_t get_state() override { return m_public_state.load(std::memory_order_acquire); }
    bool is_completed() override;
    HANDLE get_done_event() override { return m_done_event.handle(); }
    void rethrow_task_error() override;

    // For the data object and its threads.
    void reinitialize(oxa_task_pll__manager_impl* manager, oxa_task* task);
    void attach_and_start(oxa_task_pll__thread* worker);
    void capture_exception() noexcept { m_exception = std::current_exception(); }

    std::uint32_t internal_state() const noexcept
    {
        return m_internal_state.load(std::memory_order_acquire);
    }
    void set_internal_state(std::uint32_t state) noexcept
    {
        m_internal_state.exchange(state, std::memory_order_acq_rel);
    }
    void set_public_state(std::uint32_t state) noexcept
    {
        m_public_state.exchange(state, std::memory_order_acq_rel);
    }
    void set_states(std::uint32_t state) noexcept
    {
        set_internal_state(state);
        set_public_state(state);
    }
    bool cancel_requested() const noexcept
    {
        return m_cancel_flag.load(std::memory_order_acquire) != 0;
    }
    oxa_task* task() const noexcept { return m_task.get(); }
    oxa_event& done_event() noexcept { return m_done_event; }
    HANDLE cancel_event() const noexcept { return m_cancel_event.handle(); }

    // A counted reference to the attached worker, taken under the lock.
    t_smart_object_ptr<oxa_task_pll__thread> attached_worker();
    // Takes the attached worker away (its current controller := null) under the lock.
    t_smart_object_ptr<oxa_task_pll__thread> detach_worker();
    // Under one hold of the lock: takes the attached worker away (its current controller :=
    // null) and keeps it in the hand-over slot until it is parked; returns it (no reference).
    oxa_task_pll__thread* detach_to_hand_over();
    // The hand-over slot between detaching a worker and parking it.
    void set_hand_over(t_smart_object_ptr<oxa_task_pll__thread> worker);
    // Clears task, hand-over slot and exception for the pool; the idle age restarts.
    void clear_for_pool();

    std::uint64_t increment_idle_age() noexcept
    {
        return m_idle_age.fetch_add(1, std::memory_order_acq_rel) + 1;
    }

private:
    void final_release();
    oxa_task_pll__data* data_of(oxa_task_pll__manager_impl* manager) const noexcept;

    std::atomic<oxa_task_pll__manager_impl*> m_manager{nullptr};
    t_smart_object_ptr<oxa_task> m_task;
    std::atomic<std::uint32_t> m_internal_state{internal_free};
    std::atomic<std::uint32_t> m_public_state{oxa_task_state_none};
    oxa_critical_section m_lock;
    t_smart_object_ptr<oxa_task_pll__thread> m_attached;
    t_smart_object_ptr<oxa_task_pll__thread> m_hand_over;
    oxa_event m_done_event;
    std::atomic<std::uint32_t> m_cancel_flag{0};
    oxa_event m_cancel_event;
    std::exception_ptr m_exception;
    std::atomic<std::uint64_t> m_idle_age{0};
    std::atomic<std::int64_t> m_count{0};
};

}  // namespace voka::infrastructure::multitasking::oxa
