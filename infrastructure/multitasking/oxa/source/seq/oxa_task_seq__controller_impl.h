// The controller of one task added to a sequential manager, and the unit of the manager's queue
// and controller pool. Its last release does not free it: the manager takes it back into its pool
// (or frees it when no run of the resource task would age the pool).
//
// States: internal 0 free, 1 wait, 3 run, 2 canceled, 4 completed (changed under the manager's
// queue lock, which also guards the queue links); public 0 none, 1 wait, 4 executing,
// 2 canceled, 5 completed. Flags, states, the count and the idle age are atomic, so get_state and
// is_completed take no lock.
#pragma once

#include "runtime/oxa_raw_memory.h"
#include "pll/oxa_event.h"
#include "pll/oxa_intrusive_list.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_seq__manager_impl;

// Internal states.
enum : std::uint32_t
{
    oxa_seq_internal_free = 0,
    oxa_seq_internal_wait = 1,
    oxa_seq_internal_canceled = 2,
    oxa_seq_internal_run = 3,
    oxa_seq_internal_completed = 4,
};

class oxa_task_seq__controller_impl final
    : public oxa_task_seq__controller,
      public oxa_list_links<oxa_task_seq__controller_impl>
{
public:
    // A new controller with reference count 0, holding `task` and `manager` (both counted).
    // Raises message 21 when an event cannot be made; nothing is left behind then.
    oxa_task_seq__controller_impl(oxa_task_seq__manager_impl* manager, oxa_task* task,
                                  std::uint32_t options);
    ~oxa_task_seq__controller_impl() override;

    // Prepares a pooled controller for its next task: both states 0, flags clear, both events
    // reset (message 23 on failure, before the task or the manager is taken), task and manager
    // taken (counted).
    void reinitialize(oxa_task_seq__manager_impl* manager, oxa_task* task, std::uint32_t options);

    void add_ref() override;
    void release() override;
    void wait() override;
    void stop(bool wait) override;
    void cancel(bool wait) override;
    oxa_task_controller_id get_controller() override { return this; }
    t_smart_object_ptr<oxa_task> get_task() override { return m_task; }
    std::uint32_t get_state() override { return m_public_state.load(); }
    bool is_completed() override;
    HANDLE get_done_event() override { return m_done_event.handle(); }
    void rethrow_task_error() override;

    // Private memory: one live block per controller.
    static void* operator new(std::size_t size) { return oxa_allocator::allocate(size); }
    static void operator delete(void* block) noexcept { oxa_allocator::deallocate(block); }

private:
    friend class oxa_task_seq__manager_impl;

    void final_release();
    void set_states(std::uint32_t internal, std::uint32_t state) noexcept;
    // Finishes the task while it is queued: used by stop(true) and cancel(true).
    void finish_if_queued(std::uint32_t internal, std::uint32_t state);

    std::atomic<std::uint64_t> m_ref_count{0};
    std::atomic<oxa_task_seq__manager_impl*> m_manager{nullptr};  // counted while set
    t_smart_object_ptr<oxa_task> m_task;
    std::uint32_t m_options;
    t_smart_object_ptr<oxa_task_pll__controller> m_owner_run;  // written under the queue lock
    std::atomic<std::uint32_t> m_internal_state{oxa_seq_internal_free};
    std::atomic<std::uint32_t> m_public_state{oxa_task_state_none};
    oxa_event m_done_event;
    std::atomic<std::uint32_t> m_stop_flag{0};
    std::atomic<std::uint32_t> m_cancel_flag{0};
    oxa_event m_cancel_event;
    std::atomic<std::uint32_t> m_abnormal_flag{0};
    std::exception_ptr m_exception;  // written by the executing pass, read once finished
    std::atomic<std::uint64_t> m_idle_age{0};
};

}  // namespace voka::infrastructure::multitasking::oxa
