// WaitForSingleObject and WaitForMultipleObjects: argument checks, which index wins, what a
// multi-object wait consumes, time-outs, and the races between signals and time-outs.
#include "kernel_test_support.h"

#include <atomic>
#include <chrono>
#include <random>
#include <vector>

using namespace kernel_test;

namespace
{

const DWORD k_timeout = static_cast<DWORD>(WAIT_TIMEOUT);

std::vector<t_handle> make_events(int count, bool manual_reset)
{
    std::vector<t_handle> events;
    for (int i = 0; i < count; ++i)
        events.push_back(make_event(manual_reset, false));
    return events;
}

std::vector<HANDLE> raw(const std::vector<t_handle>& handles)
{
    std::vector<HANDLE> result;
    for (const t_handle& handle : handles)
        result.push_back(handle.get());
    return result;
}

TEST(WaitTest, BadArgumentsFailWithInvalidParameterOrNotSupported)
{
    const auto events = make_events(MAXIMUM_WAIT_OBJECTS + 1, true);
    const std::vector<HANDLE> handles = raw(events);
    const HANDLE twice[] = {handles[0], handles[1], handles[0]};
    const struct
    {
        const char* what;
        DWORD count;
        const HANDLE* handles;
        BOOL wait_all;
        DWORD error;
    } cases[] = {
        {"no handles", 0, handles.data(), FALSE, ERROR_INVALID_PARAMETER},
        {"too many", MAXIMUM_WAIT_OBJECTS + 1, handles.data(), FALSE, ERROR_INVALID_PARAMETER},
        {"null array", 2, nullptr, FALSE, ERROR_INVALID_PARAMETER},
        {"a handle twice", 3, twice, FALSE, ERROR_INVALID_PARAMETER},
        {"wait-all", 2, handles.data(), TRUE, ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, c.wait_all, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(WaitTest, WaitAllOfOneHandleIsAPlainWait)
{
    const t_handle event = make_event(false, true);
    const HANDLE handle = event.get();
    EXPECT_EQ(WaitForMultipleObjects(1, &handle, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(1, &handle, TRUE, 0), k_timeout);
}

TEST(WaitTest, AClosedHandleAmongValidOnesFailsTheWait)
{
    const t_handle valid = make_event(true, true);
    HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    const HANDLE handles[] = {valid.get(), closed};
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Every non-empty set of signalled objects, auto- and manual-reset: the lowest index wins, and
// only that object's auto-reset signal is consumed.
TEST(WaitTest, LowestSignalledIndexWinsAndOnlyItIsConsumed)
{
    constexpr int k_count = 4;
    for (const bool manual_reset : {false, true})
        for (unsigned set = 1; set < (1u << k_count); ++set)
        {
            SCOPED_TRACE(testing::Message() << "manual " << manual_reset << " set " << set);
            const auto events = make_events(k_count, manual_reset);
            const std::vector<HANDLE> handles = raw(events);
            for (int i = 0; i < k_count; ++i)
                if ((set & (1u << i)) != 0)
                {
                    ASSERT_TRUE(SetEvent(handles[i]));
                }
            const DWORD lowest = static_cast<DWORD>(__builtin_ctz(set));
            EXPECT_EQ(WaitForMultipleObjects(k_count, handles.data(), FALSE, 0),
                      WAIT_OBJECT_0 + lowest);
            for (int i = 0; i < k_count; ++i)
            {
                const bool still_set =
                    (set & (1u << i)) != 0 && (manual_reset || static_cast<DWORD>(i) != lowest);
                EXPECT_EQ(poll(handles[i]), still_set) << "event " << i;
            }
        }
}

TEST(WaitTest, SixtyFourHandlesAreAccepted)
{
    const auto events = make_events(MAXIMUM_WAIT_OBJECTS, false);
    const std::vector<HANDLE> handles = raw(events);
    ASSERT_TRUE(SetEvent(handles[63]));
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, 0),
              WAIT_OBJECT_0 + 63);
    t_counter started;
    DWORD result = WAIT_FAILED;
    {
        t_thread waiter(
            [&]
            {
                started.add();
                result =
                    WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, k_bound_ms);
                return 0u;
            });
        ASSERT_TRUE(started.wait_for_at_least(1));
        ASSERT_TRUE(SetEvent(handles[40]));
    }
    EXPECT_EQ(result, WAIT_OBJECT_0 + 40);
    for (const HANDLE handle : handles)
    {
        EXPECT_FALSE(poll(handle));
    }
}

TEST(WaitTest, TimeOutsReturnWaitTimeoutAndNeverEarly)
{
    const auto events = make_events(3, false);
    const std::vector<HANDLE> handles = raw(events);
    for (const DWORD milliseconds : {0u, 1u, 25u})
    {
        SCOPED_TRACE(milliseconds);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(handles[0], milliseconds), k_timeout);
        EXPECT_GE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(milliseconds));
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForMultipleObjects(3, handles.data(), FALSE, milliseconds), k_timeout);
        EXPECT_GE(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(milliseconds));
    }
}

TEST(WaitTest, ThreadHandleEndsAMultiObjectWait)
{
    const t_handle idle = make_event(false, false);
    const t_handle gate = make_event(true, false);
    t_thread worker([&] { return WaitForSingleObject(gate.get(), k_bound_ms); });
    const HANDLE handles[] = {idle.get(), worker.handle()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), k_timeout);
    ASSERT_TRUE(SetEvent(gate.get()));
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, k_bound_ms), WAIT_OBJECT_0 + 1);
}

// A waiter on {A, B} released by B must leave A's later signal to A's other waiter.
TEST(WaitTest, WaiterReleasedByOneObjectLeavesTheOthersSignal)
{
    const t_handle a = make_event(false, false);
    const t_handle b = make_event(false, false);
    t_counter started;
    DWORD both_result = WAIT_FAILED;
    DWORD a_result = WAIT_FAILED;
    t_thread on_a(
        [&]
        {
            started.add();
            a_result = WaitForSingleObject(a.get(), k_bound_ms);
            return 0u;
        });
    {
        t_thread on_both(
            [&]
            {
                const HANDLE handles[] = {a.get(), b.get()};
                started.add();
                both_result = WaitForMultipleObjects(2, handles, FALSE, k_bound_ms);
                return 0u;
            });
        ASSERT_TRUE(started.wait_for_at_least(2));
        ASSERT_TRUE(SetEvent(b.get()));
        ASSERT_TRUE(on_both.join());
    }
    EXPECT_EQ(both_result, WAIT_OBJECT_0 + 1);
    ASSERT_TRUE(SetEvent(a.get()));
    ASSERT_TRUE(on_a.join());
    EXPECT_EQ(a_result, WAIT_OBJECT_0);
    EXPECT_FALSE(poll(a.get()));
    EXPECT_FALSE(poll(b.get()));
}

// The same with both signals racing: whoever gets what, each signal is delivered exactly once.
TEST(WaitTest, RacingSignalsOnAMultiObjectWaitAreEachDeliveredOnce)
{
    const t_handle stop = make_event(true, false);
    for (int round = 0; round < 300; ++round)
    {
        SCOPED_TRACE(round);
        ASSERT_TRUE(ResetEvent(stop.get()));
        const t_handle a = make_event(false, false);
        const t_handle b = make_event(false, false);
        t_counter started;
        DWORD both_result = WAIT_FAILED;
        DWORD a_result = WAIT_FAILED;
        {
            t_thread on_a(
                [&]
                {
                    const HANDLE handles[] = {a.get(), stop.get()};
                    started.add();
                    a_result = WaitForMultipleObjects(2, handles, FALSE, k_bound_ms);
                    return 0u;
                });
            t_thread on_both(
                [&]
                {
                    const HANDLE handles[] = {a.get(), b.get()};
                    started.add();
                    both_result = WaitForMultipleObjects(2, handles, FALSE, k_bound_ms);
                    return 0u;
                });
            ASSERT_TRUE(started.wait_for_at_least(2));
            if (round % 2 == 0)
            {
                ASSERT_TRUE(SetEvent(b.get()));
                ASSERT_TRUE(SetEvent(a.get()));
            }
            else
            {
                ASSERT_TRUE(SetEvent(a.get()));
                ASSERT_TRUE(SetEvent(b.get()));
            }
            ASSERT_TRUE(on_both.join());
            ASSERT_TRUE(SetEvent(stop.get()));
        }
        ASSERT_TRUE(both_result == WAIT_OBJECT_0 || both_result == WAIT_OBJECT_0 + 1);
        ASSERT_TRUE(a_result == WAIT_OBJECT_0 || a_result == WAIT_OBJECT_0 + 1);
        const int a_deliveries =
            (both_result == WAIT_OBJECT_0) + (a_result == WAIT_OBJECT_0) + poll(a.get());
        const int b_deliveries = (both_result == WAIT_OBJECT_0 + 1) + poll(b.get());
        EXPECT_EQ(a_deliveries, 1);
        EXPECT_EQ(b_deliveries, 1);
    }
}

// A signal that lands while a waiter's time-out expires is either returned by that wait or left
// in the event: never both, never neither.
TEST(WaitTest, SignalDuringTimeOutIsNeitherLostNorDoubled)
{
    std::mt19937 random(12345);
    int returned = 0;
    int left = 0;
    for (int round = 0; round < 400; ++round)
    {
        SCOPED_TRACE(round);
        const t_handle event = make_event(false, false);
        const t_handle other = make_event(false, false);
        const bool multi = round % 2 == 1;
        t_counter started;
        DWORD result = WAIT_FAILED;
        {
            t_thread waiter(
                [&]
                {
                    const HANDLE handles[] = {other.get(), event.get()};
                    started.add();
                    result = multi ? WaitForMultipleObjects(2, handles, FALSE, 1)
                                   : WaitForSingleObject(event.get(), 1);
                    return 0u;
                });
            ASSERT_TRUE(started.wait_for_at_least(1));
            // Land the signal somewhere around the waiter's time-out.
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 2000);
            while (std::chrono::steady_clock::now() < until)
            {
            }
            ASSERT_TRUE(SetEvent(event.get()));
        }
        const DWORD expected_release = multi ? WAIT_OBJECT_0 + 1 : WAIT_OBJECT_0;
        ASSERT_TRUE(result == expected_release || result == k_timeout) << result;
        const bool delivered = result == expected_release;
        const bool kept = poll(event.get());
        EXPECT_NE(delivered, kept);
        EXPECT_FALSE(poll(other.get()));
        (delivered ? returned : left) += 1;
    }
    RecordProperty("returned", returned);
    RecordProperty("left", left);
}

}  // namespace
