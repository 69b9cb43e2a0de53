// A test hook for kernel objects: makes chosen calls of CreateEventW, SetEvent, ResetEvent or
// _beginthreadex fail on purpose with a chosen error, so that a component's failure paths for
// events and threads can be tested. Not part of the Windows API.
#pragma once

#include "voka/win32.h"

#include <cerrno>

namespace voka::platform
{

// The calls the hook can make fail.
enum class t_kernel_call
{
    create_event,  // CreateEventW: returns NULL
    set_event,     // SetEvent: returns FALSE, the event stays as it was
    reset_event,   // ResetEvent: returns FALSE, the event stays as it was
    begin_thread,  // _beginthreadex: returns 0, no thread is started
};

// Whose calls a plan counts.
enum class t_kernel_fault_scope
{
    // Only the calls made on the thread that armed the plan: background threads of the process
    // are not disturbed. What is left of the plan when the thread ends goes with it.
    calling_thread,
    // The calls of every thread, in whatever order the threads make them: for failures that
    // must happen on a thread the test does not run itself.
    process,
};

// Which calls fail and how.
struct t_kernel_fault_plan
{
    unsigned skip = 0;                      // calls that succeed first
    unsigned count = 1;                     // calls that fail after them
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;  // the last error a failing call sets
    int error_number = EAGAIN;              // errno a failing _beginthreadex sets (_get_errno)
    t_kernel_fault_scope scope = t_kernel_fault_scope::calling_thread;
};

// Arms `plan` for `call`, replacing the plan of that call and scope: of the next calls of `call`
// in the plan's scope, `skip` succeed and the `count` after them fail, then calls behave normally
// again. A failing call sets the last error (and errno for _beginthreadex) and has no other
// effect. A call on a thread whose own plan still counts calls is counted by that plan only;
// the process-wide plan counts the others. Thread-safe.
void arm_kernel_fault(t_kernel_call call, const t_kernel_fault_plan& plan) noexcept;

// Makes the next `count` calls of `call` on the calling thread fail with `error`.
inline void fail_next_kernel_calls(t_kernel_call call, unsigned count, DWORD error) noexcept
{
    arm_kernel_fault(call, t_kernel_fault_plan{0, count, error});
}

// How many calls the plan of `call` in `scope` (the calling thread's own, or the process-wide
// one) still counts: those it lets pass first plus those it makes fail.
unsigned pending_kernel_call_failures(t_kernel_call call, t_kernel_fault_scope scope) noexcept;

// Disarms the calling thread's plans and the process-wide plans.
void clear_kernel_call_failures() noexcept;

// Disarms the calling thread's plans and the process-wide plans when it goes, so that a test
// that stops early leaves no failure behind for the next one.
class t_kernel_fault_guard
{
public:
    t_kernel_fault_guard() noexcept = default;
    ~t_kernel_fault_guard() { clear_kernel_call_failures(); }
    t_kernel_fault_guard(const t_kernel_fault_guard&) = delete;
    t_kernel_fault_guard& operator=(const t_kernel_fault_guard&) = delete;
};

}  // namespace voka::platform
