// Threads: _beginthreadex and its failures, thread handles, ExitThread, thread ids and Sleep.
#include "kernel_test_support.h"

#include <cxxabi.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <vector>

using namespace kernel_test;

namespace
{

const DWORD k_timeout = static_cast<DWORD>(WAIT_TIMEOUT);

struct t_start_record
{
    DWORD id_seen = 0;
    void* argument_seen = nullptr;
};

unsigned __stdcall record_and_return(void* argument)
{
    auto* record = static_cast<t_start_record*>(argument);
    record->id_seen = GetCurrentThreadId();
    record->argument_seen = argument;
    return 1234;
}

TEST(ThreadTest, RunsTheRoutineAndReportsItsIdAndExitCode)
{
    t_start_record record;
    unsigned id = 0;
    const t_handle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 8192, &record_and_return, &record, 0, &id)));
    ASSERT_NE(thread.get(), nullptr);
    ASSERT_EQ(WaitForSingleObject(thread.get(), k_bound_ms), WAIT_OBJECT_0);
    EXPECT_EQ(record.argument_seen, &record);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(record.id_seen, id);
    EXPECT_NE(record.id_seen, GetCurrentThreadId());
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &exit_code));
    EXPECT_EQ(exit_code, 1234u);
}

TEST(ThreadTest, BadArgumentsFailWithErrnoAndLastError)
{
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const struct
    {
        const char* what;
        void* security;
        unsigned (*start)(void*);
        unsigned flags;
        DWORD error;
    } cases[] = {
        {"no routine", nullptr, nullptr, 0, ERROR_INVALID_PARAMETER},
        {"security attributes", &attributes, &record_and_return, 0, ERROR_NOT_SUPPORTED},
        {"suspended", nullptr, &record_and_return, 4 /* CREATE_SUSPENDED */, ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        t_start_record record;
        SetLastError(ERROR_SUCCESS);
        errno = 0;
        EXPECT_EQ(_beginthreadex(c.security, 0, c.start, &record, c.flags, nullptr), 0u);
        int error_number = 0;
        EXPECT_EQ(_get_errno(&error_number), 0);
        EXPECT_EQ(error_number, EINVAL);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(_get_errno(nullptr), EINVAL);
}

TEST(ThreadTest, HandleIsSignalledWhenTheThreadEndsAndStaysSo)
{
    const t_handle gate = make_event(true, false);
    t_thread thread(
        [&]
        {
            WaitForSingleObject(gate.get(), k_bound_ms);
            return 7u;
        });
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 0), k_timeout);
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.handle(), &exit_code));
    EXPECT_EQ(exit_code, STILL_ACTIVE);

    ASSERT_TRUE(SetEvent(gate.get()));
    EXPECT_EQ(WaitForSingleObject(thread.handle(), k_bound_ms), WAIT_OBJECT_0);
    const HANDLE handles[] = {gate.get(), thread.handle()};
    for (int again = 0; again < 3; ++again)
    {
        EXPECT_EQ(WaitForSingleObject(thread.handle(), 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0);  // gate first
    }
    ASSERT_TRUE(ResetEvent(gate.get()));
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(GetExitCodeThread(thread.handle(), &exit_code));
    EXPECT_EQ(exit_code, 7u);
}

TEST(ThreadTest, GetExitCodeThreadAcceptsThreadHandlesOnly)
{
    const t_handle event = make_event(true, true);
    DWORD exit_code = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetExitCodeThread(event.get(), &exit_code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

struct t_sets_flag_on_destruction
{
    bool* flag;
    ~t_sets_flag_on_destruction() { *flag = true; }
};

[[noreturn]] void exit_from_deep_inside(DWORD code, bool* inner_destroyed)
{
    const t_sets_flag_on_destruction inner{inner_destroyed};
    ExitThread(code);
}

struct t_exit_outcome
{
    bool outer_destroyed = false;
    bool inner_destroyed = false;
    bool ran_past_exit = false;
    bool caught_as_failure = false;
};

// A thread body with the catch-all handler that worker threads use. GCC's null-reference check
// misreads the binding of the forced unwinding's handler (there is no object to bind), hence the
// attribute.
__attribute__((no_sanitize("null"))) unsigned body_that_exits(t_exit_outcome& outcome)
{
    const t_sets_flag_on_destruction outer{&outcome.outer_destroyed};
    try
    {
        exit_from_deep_inside(42, &outcome.inner_destroyed);
    }
    catch (const abi::__forced_unwind&)
    {
        throw;  // the thread's end must pass
    }
    catch (...)
    {
        outcome.caught_as_failure = true;
    }
    outcome.ran_past_exit = true;
    return 0;
}

TEST(ThreadTest, ExitThreadUnwindsRunsDestructorsAndSignalsTheHandle)
{
    t_exit_outcome outcome;
    t_thread thread([&] { return body_that_exits(outcome); });
    ASSERT_TRUE(thread.join());
    EXPECT_TRUE(outcome.inner_destroyed);
    EXPECT_TRUE(outcome.outer_destroyed);
    EXPECT_FALSE(outcome.ran_past_exit);
    EXPECT_FALSE(outcome.caught_as_failure);
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.handle(), &exit_code));
    EXPECT_EQ(exit_code, 42u);
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 0), WAIT_OBJECT_0);
}

TEST(ThreadTest, IdsAreUniqueAmongLiveThreadsAndMatchTheReportedOnes)
{
    constexpr int k_threads = 16;
    const t_handle gate = make_event(true, false);
    t_counter started;
    std::vector<DWORD> seen(k_threads, 0);
    std::vector<std::unique_ptr<t_thread>> threads;
    for (int i = 0; i < k_threads; ++i)
        threads.push_back(std::make_unique<t_thread>(
            [&, i]
            {
                seen[i] = GetCurrentThreadId();
                EXPECT_EQ(seen[i], GetCurrentThreadId());  // stable within a thread
                started.add();
                return WaitForSingleObject(gate.get(), k_bound_ms);  // stay alive together
            }));
    ASSERT_TRUE(started.wait_for_at_least(k_threads));
    std::set<DWORD> ids{GetCurrentThreadId()};
    for (int i = 0; i < k_threads; ++i)
    {
        EXPECT_NE(seen[i], 0u);
        EXPECT_EQ(seen[i], threads[i]->id());
        ids.insert(seen[i]);
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(k_threads + 1));
    ASSERT_TRUE(SetEvent(gate.get()));
}

// Windows reserves at least 1 MiB for every thread; the size passed is only a commit hint.
TEST(ThreadTest, SmallStackSizeStillGivesAFullStack)
{
    bool done = false;
    t_thread thread(
        [&]
        {
            volatile char buffer[512 * 1024];
            for (std::size_t i = 0; i < sizeof(buffer); i += 4096)
                buffer[i] = static_cast<char>(i);
            done = buffer[4096] == static_cast<char>(4096);
            return 0u;
        },
        8192);
    ASSERT_TRUE(thread.join());
    EXPECT_TRUE(done);
}

TEST(ThreadTest, ClosingTheHandleLeavesTheThreadRunning)
{
    const t_handle gate = make_event(true, false);
    const t_handle finished = make_event(true, false);
    unsigned id = 0;
    struct t_context
    {
        HANDLE gate;
        HANDLE finished;
    } context{gate.get(), finished.get()};
    const uintptr_t thread = _beginthreadex(
        nullptr, 0,
        [](void* raw) -> unsigned
        {
            const auto* c = static_cast<t_context*>(raw);
            WaitForSingleObject(c->gate, k_bound_ms);
            SetEvent(c->finished);
            return 0;
        },
        &context, 0, &id);
    ASSERT_NE(thread, 0u);
    EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(thread)));
    ASSERT_TRUE(SetEvent(gate.get()));
    EXPECT_EQ(WaitForSingleObject(finished.get(), k_bound_ms), WAIT_OBJECT_0);
}

TEST(ThreadTest, SleepReturnsAndNeverEarly)
{
    Sleep(0);
    for (const DWORD milliseconds : {1u, 20u})
    {
        const auto start = std::chrono::steady_clock::now();
        Sleep(milliseconds);
        EXPECT_GE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace
