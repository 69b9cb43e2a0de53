// Measures the kernel objects of the platform layer against the floor and a standard peer, in
// one run: a round trip between two threads through two auto-reset events, the same through
// raw futexes (the floor: one wake and one sleep per hand-off, nothing else) and through
// std::condition_variable; a round trip through two-handle WaitForMultipleObjects; and SetEvent
// plus ResetEvent without a waiter. The variants run interleaved, several times each, and the
// median counts. The futex floor is the one place outside the layer that calls Linux directly:
// it is what the layer is measured against.
#include "voka/win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

constexpr int k_round_trips = 10000;
constexpr int k_runs = 11;
constexpr long k_set_reset_pairs = 5000000;

using t_clock = std::chrono::steady_clock;

// One direction of a hand-off: `post` releases one `wait`.
struct t_channel
{
    std::function<void()> post;
    std::function<void()> wait;
};

// Microseconds per round trip: the main thread posts `ping` and waits for `pong`; the partner
// waits for `ping` and posts `pong`.
double round_trip_us(const t_channel& ping, const t_channel& pong)
{
    std::thread partner(
        [&]
        {
            for (int i = 0; i < k_round_trips; ++i)
            {
                ping.wait();
                pong.post();
            }
        });
    const auto start = t_clock::now();
    for (int i = 0; i < k_round_trips; ++i)
    {
        ping.post();
        pong.wait();
    }
    const auto elapsed = t_clock::now() - start;
    partner.join();
    return std::chrono::duration<double, std::micro>(elapsed).count() / k_round_trips;
}

// The floor: a binary semaphore on one futex word (0 empty, 1 posted, 2 a sleeper waits);
// a post makes a system call only when someone sleeps.
class t_futex_semaphore
{
public:
    void post()
    {
        if (m_word.exchange(1) == 2)
            ::syscall(SYS_futex, &m_word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
    void wait()
    {
        for (;;)
        {
            std::uint32_t value = 1;
            if (m_word.compare_exchange_strong(value, 0))
                return;
            if (value == 0 && !m_word.compare_exchange_strong(value, 2))
                continue;  // posted meanwhile
            ::syscall(SYS_futex, &m_word, FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
        }
    }

private:
    std::atomic<std::uint32_t> m_word{0};
};

class t_condvar_semaphore
{
public:
    void post()
    {
        {
            std::lock_guard lock(m_mutex);
            m_posted = true;
        }
        m_changed.notify_one();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_posted; });
        m_posted = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_posted = false;  // guarded by m_mutex
};

HANDLE make_event()
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
    {
        std::fprintf(stderr, "CreateEventW failed: %u\n", GetLastError());
        std::exit(1);
    }
    return event;
}

void expect_signalled(DWORD result, DWORD expected)
{
    if (result != expected)
    {
        std::fprintf(stderr, "unexpected wait result %u (last error %u)\n", result, GetLastError());
        std::exit(1);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double set_reset_ns(HANDLE event)
{
    const auto start = t_clock::now();
    for (long i = 0; i < k_set_reset_pairs; ++i)
    {
        SetEvent(event);
        ResetEvent(event);
    }
    const auto elapsed = t_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() / k_set_reset_pairs;
}

}  // namespace

int main()
{
    t_futex_semaphore futex_ping, futex_pong;
    t_condvar_semaphore condvar_ping, condvar_pong;
    const HANDLE event_ping = make_event();
    const HANDLE event_pong = make_event();
    const HANDLE idle_main = make_event();     // never signalled: the other handle of a
    const HANDLE idle_partner = make_event();  // two-handle wait
    const HANDLE lone = make_event();

    const t_channel futex[] = {{[&] { futex_ping.post(); }, [&] { futex_ping.wait(); }},
                               {[&] { futex_pong.post(); }, [&] { futex_pong.wait(); }}};
    const t_channel condvar[] = {{[&] { condvar_ping.post(); }, [&] { condvar_ping.wait(); }},
                                 {[&] { condvar_pong.post(); }, [&] { condvar_pong.wait(); }}};
    const t_channel event[] = {
        {[&] { SetEvent(event_ping); },
         [&] { expect_signalled(WaitForSingleObject(event_ping, INFINITE), WAIT_OBJECT_0); }},
        {[&] { SetEvent(event_pong); },
         [&] { expect_signalled(WaitForSingleObject(event_pong, INFINITE), WAIT_OBJECT_0); }}};
    // The engine's shape: the stop event first, the work event second.
    const HANDLE partner_handles[] = {idle_partner, event_ping};
    const HANDLE main_handles[] = {idle_main, event_pong};
    const t_channel wfmo[] = {
        {[&] { SetEvent(event_ping); },
         [&]
         {
             expect_signalled(WaitForMultipleObjects(2, partner_handles, FALSE, INFINITE),
                              WAIT_OBJECT_0 + 1);
         }},
        {[&] { SetEvent(event_pong); },
         [&] {
             expect_signalled(WaitForMultipleObjects(2, main_handles, FALSE, INFINITE),
                              WAIT_OBJECT_0 + 1);
         }}};

    std::vector<double> futex_us, condvar_us, event_us, wfmo_us, set_reset;
    for (int run = 0; run < k_runs; ++run)
    {
        futex_us.push_back(round_trip_us(futex[0], futex[1]));
        event_us.push_back(round_trip_us(event[0], event[1]));
        condvar_us.push_back(round_trip_us(condvar[0], condvar[1]));
        wfmo_us.push_back(round_trip_us(wfmo[0], wfmo[1]));
        set_reset.push_back(set_reset_ns(lone));
    }
    const double f = median(futex_us);
    const double e = median(event_us);
    const double c = median(condvar_us);
    const double m = median(wfmo_us);
    const double s = median(set_reset);

    std::printf("round trip between two threads, median of %d runs of %d:\n", k_runs,
                k_round_trips);
    std::printf("  raw futex (floor)                 %8.2f us  x%.2f\n", f, 1.0);
    std::printf("  SetEvent + WaitForSingleObject    %8.2f us  x%.2f of floor (target <= 1.30)\n",
                e, e / f);
    std::printf("  std::condition_variable           %8.2f us  x%.2f of floor, event x%.2f of it\n",
                c, c / f, e / c);
    std::printf("  WaitForMultipleObjects, 2 handles %8.2f us  x%.2f of single wait (target <= "
                "1.20)\n",
                m, m / e);
    std::printf("SetEvent + ResetEvent, no waiter    %8.2f ns  (target <= 50)\n", s);
    std::printf("kernel: event_rt_us=%.2f futex_rt_us=%.2f condvar_rt_us=%.2f ratio=%.2f "
                "wfmo2_rt_us=%.2f setreset_ns=%.1f\n",
                e, f, c, e / f, m, s);

    for (const HANDLE handle : {event_ping, event_pong, idle_main, idle_partner, lone})
        CloseHandle(handle);
    return 0;
}
