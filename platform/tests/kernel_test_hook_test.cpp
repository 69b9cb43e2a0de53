// The kernel test hook: armed failures of CreateEventW, SetEvent, ResetEvent and _beginthreadex,
// their error values, the calls they let pass first, and who they hit (the arming thread or any
// thread).
#include "kernel_test_support.h"
#include "voka/platform/kernel_test_hook.h"

#include <atomic>
#include <cerrno>
#include <thread>

using namespace kernel_test;
using voka::platform::arm_kernel_fault;
using voka::platform::clear_kernel_call_failures;
using voka::platform::fail_next_kernel_calls;
using voka::platform::pending_kernel_call_failures;
using voka::platform::t_kernel_call;
using voka::platform::t_kernel_fault_guard;
using voka::platform::t_kernel_fault_plan;
using voka::platform::t_kernel_fault_scope;

namespace
{

constexpr DWORD k_error = 1450;  // ERROR_NO_SYSTEM_RESOURCES: a code no call here sets itself

std::atomic<int> g_thread_runs{0};

unsigned __stdcall count_run(void*)
{
    g_thread_runs.fetch_add(1);
    return 0;
}

// Makes one call of `call` on a fresh event (or thread); true when it succeeded. The handle made
// by a successful call is closed (a thread is waited for first).
bool call_once(t_kernel_call call)
{
    switch (call)
    {
    case t_kernel_call::create_event:
    {
        const t_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        return event.get() != nullptr;
    }
    case t_kernel_call::set_event:
    case t_kernel_call::reset_event:
    {
        const t_handle event = make_event(true, call == t_kernel_call::reset_event);
        return call == t_kernel_call::set_event ? SetEvent(event.get()) != FALSE
                                                : ResetEvent(event.get()) != FALSE;
    }
    case t_kernel_call::begin_thread:
    {
        const t_handle thread(
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &count_run, nullptr, 0, nullptr)));
        if (thread.get() == nullptr)
            return false;
        EXPECT_EQ(WaitForSingleObject(thread.get(), k_bound_ms), WAIT_OBJECT_0);
        return true;
    }
    }
    return false;
}

// Runs `action` on a thread of its own (std::thread, so that _beginthreadex is not involved)
// and returns its result.
template <typename t_action>
bool on_other_thread(t_action action)
{
    bool result = false;
    std::thread other([&] { result = action(); });
    other.join();
    return result;
}

constexpr t_kernel_call k_calls[] = {t_kernel_call::create_event, t_kernel_call::set_event,
                                     t_kernel_call::reset_event, t_kernel_call::begin_thread};

const char* name_of(t_kernel_call call)
{
    switch (call)
    {
    case t_kernel_call::create_event:
        return "CreateEventW";
    case t_kernel_call::set_event:
        return "SetEvent";
    case t_kernel_call::reset_event:
        return "ResetEvent";
    case t_kernel_call::begin_thread:
        return "_beginthreadex";
    }
    return "?";
}

TEST(KernelTestHookTest, TheNextCallsFailWithTheArmedErrorThenCallsSucceedAgain)
{
    for (const t_kernel_call call : k_calls)
    {
        SCOPED_TRACE(name_of(call));
        const t_kernel_fault_guard guard;
        fail_next_kernel_calls(call, 2, k_error);
        EXPECT_EQ(pending_kernel_call_failures(call, t_kernel_fault_scope::calling_thread), 2u);
        for (int failure = 0; failure < 2; ++failure)
        {
            SetLastError(0);
            EXPECT_FALSE(call_once(call));
            EXPECT_EQ(GetLastError(), k_error);
        }
        EXPECT_EQ(pending_kernel_call_failures(call, t_kernel_fault_scope::calling_thread), 0u);
        EXPECT_TRUE(call_once(call));
    }
}

TEST(KernelTestHookTest, OnlyTheArmedCallFails)
{
    const t_kernel_fault_guard guard;
    fail_next_kernel_calls(t_kernel_call::reset_event, 1, k_error);
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
    EXPECT_TRUE(call_once(t_kernel_call::set_event));
    EXPECT_TRUE(call_once(t_kernel_call::begin_thread));
    EXPECT_FALSE(call_once(t_kernel_call::reset_event));
}

TEST(KernelTestHookTest, AFailedSetOrResetLeavesTheEventAsItWas)
{
    const t_kernel_fault_guard guard;
    const t_handle off = make_event(true, false);
    const t_handle on = make_event(true, true);
    fail_next_kernel_calls(t_kernel_call::set_event, 1, k_error);
    fail_next_kernel_calls(t_kernel_call::reset_event, 1, k_error);
    EXPECT_FALSE(SetEvent(off.get()));
    EXPECT_FALSE(ResetEvent(on.get()));
    EXPECT_EQ(WaitForSingleObject(off.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(on.get(), 0), WAIT_OBJECT_0);
}

TEST(KernelTestHookTest, AFailedThreadStartRunsNothingAndSetsErrnoAndLastError)
{
    const t_kernel_fault_guard guard;
    const int runs_before = g_thread_runs.load();
    arm_kernel_fault(t_kernel_call::begin_thread, {0, 1, ERROR_NOT_ENOUGH_MEMORY, EAGAIN});
    errno = 0;
    SetLastError(0);
    unsigned id = 77;
    EXPECT_EQ(_beginthreadex(nullptr, 0, &count_run, nullptr, 0, &id), 0u);
    int crt_error = 0;
    EXPECT_EQ(_get_errno(&crt_error), 0);
    EXPECT_EQ(crt_error, EAGAIN);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(id, 77u) << "no id is reported";
    EXPECT_EQ(g_thread_runs.load(), runs_before);
}

TEST(KernelTestHookTest, SkippedCallsSucceedBeforeTheFailingOnes)
{
    const t_kernel_fault_guard guard;
    arm_kernel_fault(t_kernel_call::create_event, {2, 1, k_error});
    EXPECT_EQ(pending_kernel_call_failures(t_kernel_call::create_event,
                                           t_kernel_fault_scope::calling_thread),
              3u);
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
    EXPECT_FALSE(call_once(t_kernel_call::create_event));
    EXPECT_EQ(GetLastError(), k_error);
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
}

TEST(KernelTestHookTest, ArmingReplacesThePlanOfTheSameCallAndScope)
{
    const t_kernel_fault_guard guard;
    fail_next_kernel_calls(t_kernel_call::create_event, 5, ERROR_ACCESS_DENIED);
    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    EXPECT_FALSE(call_once(t_kernel_call::create_event));
    EXPECT_EQ(GetLastError(), k_error);
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
    fail_next_kernel_calls(t_kernel_call::create_event, 3, k_error);
    fail_next_kernel_calls(t_kernel_call::create_event, 0, k_error);  // disarms
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
}

TEST(KernelTestHookTest, CallingThreadFailuresDoNotTouchOtherThreads)
{
    const t_kernel_fault_guard guard;
    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    EXPECT_TRUE(on_other_thread([] { return call_once(t_kernel_call::create_event); }));
    EXPECT_EQ(pending_kernel_call_failures(t_kernel_call::create_event,
                                           t_kernel_fault_scope::calling_thread),
              1u);
    EXPECT_FALSE(call_once(t_kernel_call::create_event));
}

TEST(KernelTestHookTest, ProcessWideFailuresHitWhicheverThreadCallsNext)
{
    const t_kernel_fault_guard guard;
    arm_kernel_fault(t_kernel_call::set_event, {0, 2, k_error, 0, t_kernel_fault_scope::process});
    EXPECT_EQ(pending_kernel_call_failures(t_kernel_call::set_event, t_kernel_fault_scope::process),
              2u);
    EXPECT_EQ(pending_kernel_call_failures(t_kernel_call::set_event,
                                           t_kernel_fault_scope::calling_thread),
              0u);
    DWORD other_error = 0;
    EXPECT_FALSE(on_other_thread(
        [&]
        {
            const bool result = call_once(t_kernel_call::set_event);
            other_error = GetLastError();
            return result;
        }));
    EXPECT_EQ(other_error, k_error);
    EXPECT_FALSE(call_once(t_kernel_call::set_event));
    EXPECT_TRUE(on_other_thread([] { return call_once(t_kernel_call::set_event); }));
    EXPECT_TRUE(call_once(t_kernel_call::set_event));
}

TEST(KernelTestHookTest, AThreadUsesItsOwnFailuresBeforeProcessWideOnes)
{
    const t_kernel_fault_guard guard;
    arm_kernel_fault(t_kernel_call::reset_event,
                     {0, 1, ERROR_ACCESS_DENIED, 0, t_kernel_fault_scope::process});
    fail_next_kernel_calls(t_kernel_call::reset_event, 1, k_error);
    EXPECT_FALSE(call_once(t_kernel_call::reset_event));
    EXPECT_EQ(GetLastError(), k_error);
    EXPECT_FALSE(call_once(t_kernel_call::reset_event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(call_once(t_kernel_call::reset_event));
}

TEST(KernelTestHookTest, ClearingDisarmsTheThreadsOwnAndTheProcessWideFailures)
{
    fail_next_kernel_calls(t_kernel_call::create_event, 3, k_error);
    arm_kernel_fault(t_kernel_call::begin_thread,
                     {0, 3, k_error, EAGAIN, t_kernel_fault_scope::process});
    {
        const t_kernel_fault_guard guard;  // what a test that stops early relies on
    }
    for (const t_kernel_call call : k_calls)
    {
        SCOPED_TRACE(name_of(call));
        EXPECT_EQ(pending_kernel_call_failures(call, t_kernel_fault_scope::calling_thread), 0u);
        EXPECT_EQ(pending_kernel_call_failures(call, t_kernel_fault_scope::process), 0u);
        EXPECT_TRUE(call_once(call));
    }
    clear_kernel_call_failures();  // clearing with nothing armed is harmless
    EXPECT_TRUE(call_once(t_kernel_call::create_event));
}

TEST(KernelTestHookTest, ManyThreadsCountExactlyTheProcessWidePlan)
{
    const t_kernel_fault_guard guard;
    const t_handle event = make_event(true, false);
    constexpr int k_threads = 4;
    constexpr int k_calls_each = 200;
    constexpr unsigned k_armed = 300;
    arm_kernel_fault(t_kernel_call::set_event,
                     {100, k_armed, k_error, 0, t_kernel_fault_scope::process});
    std::atomic<int> failures{0};
    std::thread threads[k_threads];
    for (std::thread& thread : threads)
        thread = std::thread(
            [&]
            {
                for (int i = 0; i < k_calls_each; ++i)
                    if (!SetEvent(event.get()))
                        failures.fetch_add(1);
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), static_cast<int>(k_armed)) << "100 passed, 300 failed, 400 passed";
    EXPECT_EQ(pending_kernel_call_failures(t_kernel_call::set_event, t_kernel_fault_scope::process),
              0u);
}

}  // namespace
