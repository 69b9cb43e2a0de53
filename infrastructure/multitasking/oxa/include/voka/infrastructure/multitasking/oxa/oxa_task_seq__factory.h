// The task library's sequential manager as a client sees it: tasks added to it run one after
// another, never two at once, on one task slot it borrows from a parallel manager that the
// client's connector provides. Each added task gets a controller to wait for it, stop or cancel
// it, read its state and have its failure rethrown. Virtual functions are in their slot order.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_api.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

// Options of oxa_task_seq__manager::add_task.
enum : std::uint32_t
{
    // Run the task again in every pass until it is stopped or canceled.
    oxa_task_seq_option_repeat = 0x01,
    // With oxa_task_seq_option_repeat: run it again also after it threw.
    oxa_task_seq_option_repeat_after_error = 0x03,
};

// One task added to a sequential manager.
class oxa_task_seq__controller : public t_smart_interface
{
public:
    // Blocks until the task is finished, or until the run of the manager that accepted it has
    // ended (the task is then finished as abnormally terminated).
    virtual void wait() = 0;
    // A repeating task ends after its current execution; a queued one never executes again.
    // With `wait`, a queued task is finished at once and an executing one is waited for.
    virtual void stop(bool wait) = 0;
    // Sets the cancel flag and event and calls the task's on_cancel. With `wait`, a queued task
    // is finished at once as canceled and an executing one is waited for.
    virtual void cancel(bool wait) = 0;
    // The controller itself, as the identity that oxa_task_signals::get_controller returns.
    virtual oxa_task_controller_id get_controller() = 0;
    virtual t_smart_object_ptr<oxa_task> get_task() = 0;
    // 0 none, 1 wait, 4 executing, 2 canceled, 5 completed.
    virtual std::uint32_t get_state() = 0;
    // True for public states 2 and 5.
    virtual bool is_completed() = 0;
    // The manual-reset event signalled when the task is finished; no reference is added.
    virtual HANDLE get_done_event() = 0;
    // Once finished: throws the task's own exception, or the abnormal-termination error; returns
    // normally when there is nothing to report. Raises when the task is not finished.
    virtual void rethrow_task_error() = 0;

protected:
    virtual ~oxa_task_seq__controller() = default;
};

// The sequential task manager.
class oxa_task_seq__manager : public t_smart_interface
{
public:
    // Queues `task` (not null) behind every task added before; the options are the
    // oxa_task_seq_option_* bits.
    virtual t_smart_object_ptr<oxa_task_seq__controller> add_task(oxa_task* task,
                                                                  std::uint32_t options) = 0;

protected:
    ~oxa_task_seq__manager() = default;
};

class OXA_API oxa_task_seq__factory
{
public:
    using manager_ptr =
        t_smart_object_ptr<oxa_task_seq__manager, t_sptr_traits<oxa_task_seq__manager>>;

    // A new sequential manager that reaches its parallel manager through `connector` (not null;
    // the manager keeps a counted reference to it). Nothing is started until the first task.
    static manager_ptr create_manager(oxa_task_pll__manager_connector2* connector);
};

}  // namespace voka::infrastructure::multitasking::oxa
