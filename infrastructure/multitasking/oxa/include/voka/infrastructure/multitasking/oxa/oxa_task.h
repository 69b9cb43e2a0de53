// The task model of the task library: the task a client writes, the signals a running task
// receives, the parallel manager and controller a client holds, the connector through which a
// sequential manager reaches a parallel one, the execution-result encoding and the public states.
//
// Every interface here except the signals is counted (t_smart_interface): objects cross the
// library boundary in t_smart_object_ptr, and the last release frees (or, for controllers,
// recycles) them. Virtual functions are declared in their slot order; do not reorder them.
#pragma once

#include "voka/infrastructure/core/smart_interface.h"
#include "voka/infrastructure/multitasking/oxa/oxa_bound_callable.h"
#include "voka/win32.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

using voka::infrastructure::core::structure::t_smart_interface;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::infrastructure::core::structure::t_sptr_traits;

// Public task states, read with get_state(). 2 and 5 are final for one submission.
inline constexpr std::uint32_t oxa_task_state_none = 0;  // new or re-initialised, nothing submitted
inline constexpr std::uint32_t oxa_task_state_wait = 1;  // queued for the run thread (deferred)
inline constexpr std::uint32_t oxa_task_state_canceled = 2;  // canceled before it began, or code 2
inline constexpr std::uint32_t oxa_task_state_run = 3;       // taken, a worker is (being) signalled
inline constexpr std::uint32_t oxa_task_state_executing = 4;  // execute runs on a worker
inline constexpr std::uint32_t oxa_task_state_completed = 5;  // another code, threw, or worker died

// The execution result that oxa_task::execute returns: the low four bits are the completion
// code (2 means stopped because canceled), bit 4 asks the sequential manager to run the task
// again; other bits mean nothing.
inline constexpr std::uint32_t oxa_task_result_code_mask = 0x0F;
inline constexpr std::uint32_t oxa_task_result_canceled = 0x02;
inline constexpr std::uint32_t oxa_task_result_run_again = 0x10;

// Options of oxa_task_pll__manager::add_task: bit 2 queues the task for the run thread.
inline constexpr std::uint32_t oxa_task_option_deferred = 0x04;

// The public state a parallel controller reaches for an execution result.
constexpr std::uint32_t oxa_task_state_of_result(std::uint32_t result) noexcept
{
    return (result & oxa_task_result_code_mask) == oxa_task_result_canceled
               ? oxa_task_state_canceled
               : oxa_task_state_completed;
}

// The identity of a controller: comparable by address only.
using oxa_task_controller_id = const void*;

class oxa_task_signals;

// The unit of work, written by the client.
class oxa_task : public t_smart_interface
{
public:
    // Display name used in the engine's messages; owned by the task.
    virtual const wchar_t* get_name() = 0;
    // Does the work on a worker thread; may throw anything.
    virtual std::uint32_t execute(oxa_task_signals* signals) = 0;
    // Cancel notification on the canceling thread, possibly while execute runs elsewhere;
    // whatever it throws is dropped.
    virtual void on_cancel() = 0;

protected:
    ~oxa_task() = default;
};

// What a running task receives: valid only during one execute call, on its worker thread.
class oxa_task_signals
{
public:
    // The controller running this task (same identity as its own get_controller).
    virtual oxa_task_controller_id get_controller() = 0;
    // Non-zero once the controller was canceled.
    virtual std::uint32_t is_canceled() = 0;
    // The controller's manual-reset cancel event.
    virtual HANDLE get_cancel_event() = 0;
    // Initialises COM (multithreaded apartment) once for the worker thread.
    virtual void initialize_COM() = 0;
    // Clears the worker thread's COM error object.
    virtual void reset_user_data() = 0;

protected:
    ~oxa_task_signals() = default;
};

// The client's handle on one task submitted to a parallel manager.
class oxa_task_pll__controller : public t_smart_interface
{
public:
    // True when the task is finished; INFINITE waits without limit.
    virtual bool wait(std::uint32_t milliseconds) = 0;
    // Sets the cancel flag and event, calls the task's on_cancel, then waits when asked.
    virtual void cancel(bool wait) = 0;
    // The controller itself, as the identity that oxa_task_signals::get_controller returns.
    virtual oxa_task_controller_id get_controller() = 0;
    virtual t_smart_object_ptr<oxa_task> get_task() = 0;
    virtual std::uint32_t get_state() = 0;
    // True for public states 2 and 5.
    virtual bool is_completed() = 0;
    // The manual-reset event signalled when the task is finished; no reference is added.
    virtual HANDLE get_done_event() = 0;
    // Throws the task's own exception once it is finished; raises when it is not finished.
    virtual void rethrow_task_error() = 0;

protected:
    virtual ~oxa_task_pll__controller() = default;
};

// The parallel task manager.
class oxa_task_pll__manager : public t_smart_interface
{
public:
    // Submits `task` (not null); option oxa_task_option_deferred queues it for the run thread,
    // otherwise it starts at once on a worker taken in the calling thread.
    virtual t_smart_object_ptr<oxa_task_pll__controller> add_task(oxa_task* task,
                                                                  std::uint32_t options) = 0;

protected:
    ~oxa_task_pll__manager() = default;
};

// Implemented by the client: how a sequential manager reaches a parallel manager.
class oxa_task_pll__manager_connector2 : public t_smart_interface
{
public:
    // Stores a counted reference to a parallel manager in `out` and returns `out`.
    virtual t_smart_object_ptr<oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa_task_pll__manager>* out) = 0;

protected:
    ~oxa_task_pll__manager_connector2() = default;
};

}  // namespace voka::infrastructure::multitasking::oxa
