// Bounded stress: many threads wait, signal, create and close handles at random for a fixed
// number of rounds; the checks are counts (signals conserved, handles balanced), never time.
#include "kernel_test_support.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>
#include <random>
#include <vector>

using namespace kernel_test;

namespace
{

const DWORD k_timeout = static_cast<DWORD>(WAIT_TIMEOUT);

// Each auto-reset event holds one token. A thread that wins a wait holds that event's token
// alone and gives it back with SetEvent: no signal may be lost or handed to two threads.
TEST(KernelStressTest, AutoResetTokensAreConservedUnderRandomMultiWaits)
{
    constexpr int k_events = 4;
    constexpr int k_threads = 6;
    constexpr int k_rounds = 1500;
    std::vector<t_handle> events;
    for (int i = 0; i < k_events; ++i)
        events.push_back(make_event(false, true));
    std::array<std::atomic<bool>, k_events> held{};
    std::atomic<int> double_holds{0};
    std::atomic<int> bad_results{0};
    std::atomic<int> acquisitions{0};
    {
        std::vector<std::unique_ptr<t_thread>> threads;
        for (int t = 0; t < k_threads; ++t)
            threads.push_back(std::make_unique<t_thread>(
                [&, t]
                {
                    std::mt19937 random(1000 + t);
                    std::array<int, k_events> order{};
                    std::iota(order.begin(), order.end(), 0);
                    for (int round = 0; round < k_rounds; ++round)
                    {
                        std::shuffle(order.begin(), order.end(), random);
                        const DWORD count = 1 + random() % k_events;
                        std::array<HANDLE, k_events> handles{};
                        for (DWORD i = 0; i < count; ++i)
                            handles[i] = events[order[i]].get();
                        const DWORD timeout_ms = random() % 3;  // 0 polls; 1 and 2 time out often
                        const DWORD result =
                            WaitForMultipleObjects(count, handles.data(), FALSE, timeout_ms);
                        if (result == k_timeout)
                            continue;
                        if (result >= WAIT_OBJECT_0 + count)
                        {
                            bad_results.fetch_add(1);
                            continue;
                        }
                        const int event = order[result - WAIT_OBJECT_0];
                        if (held[event].exchange(true))
                            double_holds.fetch_add(1);
                        acquisitions.fetch_add(1);
                        if (random() % 4 == 0)
                            Sleep(0);
                        held[event].store(false);
                        if (!SetEvent(events[event].get()))
                            bad_results.fetch_add(1);
                    }
                    return 0u;
                }));
    }
    EXPECT_EQ(double_holds.load(), 0);
    EXPECT_EQ(bad_results.load(), 0);
    EXPECT_GT(acquisitions.load(), 0);
    for (int i = 0; i < k_events; ++i)
    {
        EXPECT_TRUE(poll(events[i].get())) << "token " << i << " was lost";
    }
}

// Handles are created, published, used and closed by different threads at once. A use that
// races with a close may fail, but only with ERROR_INVALID_HANDLE; every handle made is closed
// exactly once.
TEST(KernelStressTest, ConcurrentCreateUseAndCloseKeepHandlesBalanced)
{
    constexpr int k_slots = 8;
    constexpr int k_threads = 6;
    constexpr int k_rounds = 3000;
    std::array<std::atomic<HANDLE>, k_slots> slots{};
    std::atomic<int> created{0};
    std::atomic<int> closed{0};
    std::atomic<int> unexpected{0};
    auto publish = [&](std::atomic<HANDLE>& slot, HANDLE handle)
    {
        created.fetch_add(1);
        if (const HANDLE old = slot.exchange(handle); old != nullptr)
            closed.fetch_add(CloseHandle(old) ? 1 : 0);
    };
    // A failed call must be a handle that another thread closed meanwhile.
    auto check_failure = [&]
    {
        if (GetLastError() != static_cast<DWORD>(ERROR_INVALID_HANDLE))
            unexpected.fetch_add(1);
    };
    {
        std::vector<std::unique_ptr<t_thread>> threads;
        for (int t = 0; t < k_threads; ++t)
            threads.push_back(std::make_unique<t_thread>(
                [&, t]
                {
                    std::mt19937 random(2000 + t);
                    const t_handle own = make_event(false, false);
                    for (int round = 0; round < k_rounds; ++round)
                    {
                        std::atomic<HANDLE>& slot = slots[random() % k_slots];
                        const HANDLE seen = slot.load();
                        switch (random() % 8)
                        {
                        case 0:
                            if (HANDLE event =
                                    CreateEventW(nullptr, random() % 2, random() % 2, nullptr))
                                publish(slot, event);
                            else
                                unexpected.fetch_add(1);
                            break;
                        case 1:
                            if (random() % 8 == 0)
                            {
                                const uintptr_t thread = _beginthreadex(
                                    nullptr, 0, [](void*) -> unsigned { return 5; }, nullptr, 0,
                                    nullptr);
                                if (thread != 0)
                                    publish(slot, reinterpret_cast<HANDLE>(thread));
                                else
                                    unexpected.fetch_add(1);
                            }
                            break;
                        case 2:
                            if (const HANDLE taken = slot.exchange(nullptr); taken != nullptr)
                                closed.fetch_add(CloseHandle(taken) ? 1 : 0);
                            break;
                        case 3:
                            if (seen != nullptr && !SetEvent(seen))
                                check_failure();
                            break;
                        case 4:
                            if (seen != nullptr && !ResetEvent(seen))
                                check_failure();
                            break;
                        case 5:
                            if (seen != nullptr &&
                                WaitForSingleObject(seen, random() % 2) == WAIT_FAILED)
                                check_failure();
                            break;
                        default:
                            if (seen != nullptr)
                            {
                                const HANDLE handles[] = {own.get(), seen};
                                if (WaitForMultipleObjects(2, handles, FALSE, random() % 2) ==
                                    WAIT_FAILED)
                                    check_failure();
                            }
                            break;
                        }
                    }
                    return 0u;
                }));
    }
    for (std::atomic<HANDLE>& slot : slots)
        if (const HANDLE left = slot.exchange(nullptr); left != nullptr)
            closed.fetch_add(CloseHandle(left) ? 1 : 0);
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_GT(created.load(), 0);
    EXPECT_EQ(closed.load(), created.load());
}

}  // namespace
