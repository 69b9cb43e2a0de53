// Events and handles: creation, set and reset, auto- and manual-reset release rules, and what a
// closed or unknown handle gives.
#include "kernel_test_support.h"

#include <atomic>
#include <vector>

using namespace kernel_test;

namespace
{

TEST(EventTest, CreateRejectsNamesAndSecurityAttributes)
{
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const struct
    {
        LPSECURITY_ATTRIBUTES attributes;
        LPCWSTR name;
    } cases[] = {{nullptr, L"named"}, {&attributes, nullptr}, {&attributes, L""}};
    for (const auto& c : cases)
    {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateEventW(c.attributes, TRUE, FALSE, c.name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    }
}

TEST(EventTest, InitialStateAndResetKindDecideWhatPollsSee)
{
    const struct
    {
        bool manual_reset;
        bool initial_state;
        bool first_poll;
        bool second_poll;
    } cases[] = {
        {false, false, false, false},
        {false, true, true, false},  // the first wait consumes the signal
        {true, false, false, false},
        {true, true, true, true},  // stays signalled
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << "manual " << c.manual_reset << " initial " << c.initial_state);
        const t_handle event = make_event(c.manual_reset, c.initial_state);
        EXPECT_EQ(poll(event.get()), c.first_poll);
        EXPECT_EQ(poll(event.get()), c.second_poll);
    }
}

TEST(EventTest, SignalsDoNotAccumulate)
{
    const t_handle event = make_event(false, false);
    EXPECT_TRUE(SetEvent(event.get()));
    EXPECT_TRUE(SetEvent(event.get()));
    EXPECT_TRUE(poll(event.get()));
    EXPECT_FALSE(poll(event.get()));
}

TEST(EventTest, ResetEventClearsEitherKind)
{
    for (const bool manual_reset : {false, true})
    {
        const t_handle event = make_event(manual_reset, true);
        EXPECT_TRUE(ResetEvent(event.get()));
        EXPECT_FALSE(poll(event.get()));
        EXPECT_TRUE(ResetEvent(event.get()));  // resetting a clear event succeeds
        EXPECT_TRUE(SetEvent(event.get()));
        EXPECT_TRUE(poll(event.get()));
    }
}

TEST(EventTest, AutoResetReleasesExactlyOneWaiterPerSignal)
{
    constexpr int k_waiters = 8;
    const t_handle event = make_event(false, false);
    t_counter started;
    t_counter released;
    std::vector<std::unique_ptr<t_thread>> waiters;
    std::atomic<int> failures{0};
    for (int i = 0; i < k_waiters; ++i)
        waiters.push_back(std::make_unique<t_thread>(
            [&]
            {
                started.add();
                if (WaitForSingleObject(event.get(), k_bound_ms) != WAIT_OBJECT_0)
                    failures.fetch_add(1);
                released.add();
                return 0u;
            }));
    ASSERT_TRUE(started.wait_for_at_least(k_waiters));
    for (int signal = 1; signal <= k_waiters; ++signal)
    {
        ASSERT_TRUE(SetEvent(event.get()));
        ASSERT_TRUE(released.wait_for_at_least(signal));
        EXPECT_EQ(released.value(), signal) << "one signal released several waiters";
    }
    waiters.clear();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_FALSE(poll(event.get())) << "a signal was delivered and also kept";
}

TEST(EventTest, ManualResetReleasesEveryWaiterAndStaysSignalled)
{
    constexpr int k_waiters = 6;
    const t_handle event = make_event(true, false);
    const t_handle other = make_event(false, false);
    t_counter started;
    std::atomic<int> released{0};
    std::vector<std::unique_ptr<t_thread>> waiters;
    for (int i = 0; i < k_waiters; ++i)
        waiters.push_back(std::make_unique<t_thread>(
            [&, i]
            {
                started.add();
                const HANDLE handles[] = {other.get(), event.get()};
                const DWORD result = i % 2 == 0
                                         ? WaitForSingleObject(event.get(), k_bound_ms)
                                         : WaitForMultipleObjects(2, handles, FALSE, k_bound_ms);
                if (result == (i % 2 == 0 ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + 1))
                    released.fetch_add(1);
                return 0u;
            }));
    ASSERT_TRUE(started.wait_for_at_least(k_waiters));
    ASSERT_TRUE(SetEvent(event.get()));
    waiters.clear();
    EXPECT_EQ(released.load(), k_waiters);
    EXPECT_TRUE(poll(event.get()));
    EXPECT_FALSE(poll(other.get()));
}

TEST(EventTest, BadHandlesFailWithInvalidHandle)
{
    HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(closed, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    const HANDLE bad_handles[] = {nullptr,
                                  INVALID_HANDLE_VALUE,
                                  closed,
                                  reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4)),
                                  reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ff0)),
                                  reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x123457))};
    for (const HANDLE bad : bad_handles)
    {
        SCOPED_TRACE(testing::Message() << bad);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(ResetEvent(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(EventTest, ThreadHandleIsNotAnEvent)
{
    const t_handle gate = make_event(true, false);
    t_thread thread([&] { return WaitForSingleObject(gate.get(), k_bound_ms); });
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEvent(thread.handle()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ResetEvent(thread.handle()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(SetEvent(gate.get()));
}

// A handle closed while another thread waits on it: the wait goes on and ends through the other
// object. (A close that wins the race against the wait's start fails that wait instead.)
TEST(EventTest, ClosingAHandleDoesNotDisturbAWaitInProgress)
{
    int waits_in_progress = 0;
    for (int round = 0; round < 50; ++round)
    {
        SCOPED_TRACE(round);
        HANDLE doomed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(doomed, nullptr);
        const t_handle release = make_event(false, false);
        t_counter started;
        DWORD result = WAIT_FAILED;
        DWORD error = ERROR_SUCCESS;
        {
            t_thread waiter(
                [&]
                {
                    const HANDLE handles[] = {doomed, release.get()};
                    started.add();
                    result = WaitForMultipleObjects(2, handles, FALSE, k_bound_ms);
                    error = GetLastError();
                    return 0u;
                });
            ASSERT_TRUE(started.wait_for_at_least(1));
            EXPECT_TRUE(CloseHandle(doomed));
            EXPECT_TRUE(SetEvent(release.get()));
        }
        if (result == WAIT_FAILED)
        {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
            EXPECT_TRUE(poll(release.get()));  // the failed wait did not consume it
        }
        else
        {
            EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
            ++waits_in_progress;
        }
    }
    RecordProperty("waits_in_progress", waits_in_progress);
}

TEST(EventTest, WaiterSeesWritesMadeBeforeTheSignalAndMayCloseAtOnce)
{
    for (int round = 0; round < 200; ++round)
    {
        HANDLE event = CreateEventW(nullptr, round % 2 == 0 ? FALSE : TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        int payload = 0;  // plain memory: ordered by the event alone
        int seen = -1;
        bool closed = false;
        {
            t_thread waiter(
                [&]
                {
                    if (WaitForSingleObject(event, k_bound_ms) == WAIT_OBJECT_0)
                        seen = payload;
                    closed = CloseHandle(event) != FALSE;  // while SetEvent may still be returning
                    return 0u;
                });
            payload = round + 1;
            EXPECT_TRUE(SetEvent(event));
        }
        EXPECT_EQ(seen, round + 1);
        EXPECT_TRUE(closed);
    }
}

}  // namespace
