// Armed failures of CreateEventW, SetEvent, ResetEvent and _beginthreadex for tests: plans per
// thread (thread-local) and process-wide (under a mutex), with a process-wide count of armed
// plans that keeps the check in the hooked calls to one atomic load while nothing is armed.
#include "kernel_fault.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

namespace voka::platform
{
namespace
{

constexpr std::size_t k_call_count = 4;

// Plans (thread-local or process-wide) that still count calls: 0 means no call anywhere fails.
std::atomic<unsigned> g_armed_plans{0};

// What is left of one plan. Trivially destructible, so that a thread's plans stay usable by
// hooked calls made while its other thread-local objects are destroyed.
struct t_plan_state
{
    unsigned skip;
    unsigned count;
    DWORD error;
    int error_number;

    bool active() const noexcept { return skip != 0 || count != 0; }

    // Counts one call; true when it is to fail.
    bool count_call(t_kernel_fault* fault) noexcept
    {
        const bool was_active = active();
        bool fails = false;
        if (skip != 0)
        {
            --skip;
        }
        else if (count != 0)
        {
            --count;
            fault->error = error;
            fault->error_number = error_number;
            fails = true;
        }
        if (was_active && !active())
            g_armed_plans.fetch_sub(1, std::memory_order_acq_rel);
        return fails;
    }

    void arm(const t_kernel_fault_plan& plan) noexcept
    {
        const bool was_active = active();
        skip = plan.skip;
        count = plan.count;
        error = plan.error;
        error_number = plan.error_number;
        if (!was_active && active())
            g_armed_plans.fetch_add(1, std::memory_order_acq_rel);
        else if (was_active && !active())
            g_armed_plans.fetch_sub(1, std::memory_order_acq_rel);
    }
};

using t_plans = std::array<t_plan_state, k_call_count>;

// A thread that ends with a plan left keeps the count raised: later calls then only take the
// slower look at the plans.
thread_local constinit t_plans t_own_plans{};

std::mutex g_process_lock;
t_plans g_process_plans{};  // guarded by g_process_lock

}  // namespace

void arm_kernel_fault(t_kernel_call call, const t_kernel_fault_plan& plan) noexcept
{
    const auto index = static_cast<std::size_t>(call);
    if (index >= k_call_count)
        return;
    if (plan.scope == t_kernel_fault_scope::calling_thread)
    {
        t_own_plans[index].arm(plan);
        return;
    }
    const std::lock_guard<std::mutex> lock(g_process_lock);
    g_process_plans[index].arm(plan);
}

unsigned pending_kernel_call_failures(t_kernel_call call, t_kernel_fault_scope scope) noexcept
{
    const auto index = static_cast<std::size_t>(call);
    if (index >= k_call_count)
        return 0;
    if (scope == t_kernel_fault_scope::calling_thread)
        return t_own_plans[index].skip + t_own_plans[index].count;
    const std::lock_guard<std::mutex> lock(g_process_lock);
    return g_process_plans[index].skip + g_process_plans[index].count;
}

void clear_kernel_call_failures() noexcept
{
    const t_kernel_fault_plan nothing{0, 0, 0, 0};
    for (t_plan_state& plan : t_own_plans)
        plan.arm(nothing);
    const std::lock_guard<std::mutex> lock(g_process_lock);
    for (t_plan_state& plan : g_process_plans)
        plan.arm(nothing);
}

bool take_kernel_fault(t_kernel_call call, t_kernel_fault* fault) noexcept
{
    if (g_armed_plans.load(std::memory_order_acquire) == 0)
        return false;
    const auto index = static_cast<std::size_t>(call);
    if (index >= k_call_count)
        return false;
    if (t_own_plans[index].active())
        return t_own_plans[index].count_call(fault);
    const std::lock_guard<std::mutex> lock(g_process_lock);
    return g_process_plans[index].count_call(fault);
}

}  // namespace voka::platform
