// The parallel manager against its peers and the floor, in one run, on a warm shared manager:
// the round trip of an empty task with immediate and with deferred start (add_task, wait,
// release), a burst of 10,000 empty tasks submitted from one thread and then all waited, the
// same work with std::async (and oneTBB's task_group when it is installed), a raw futex
// ping-pong between two threads (the floor of handing work to another thread and back), and the
// resident memory per idle worker with 1,000 workers alive. Round trips run interleaved, several
// times each; the median counts. The futex floor and the reading of /proc are the only Linux
// calls: they are what the library is measured against.
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"
#include "voka/win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <future>
#include <linux/futex.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(VOKA_BENCH_HAS_TBB)
#include <tbb/task_group.h>
#endif

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using t_clock = std::chrono::steady_clock;

constexpr int k_round_trips = 4000;
constexpr int k_async_round_trips = 1000;
constexpr int k_runs = 7;
constexpr int k_burst = 10000;
constexpr int k_bursts = 3;
constexpr int k_rss_workers = 1000;

double elapsed_us(t_clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(t_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// An empty task living for the whole run: counting it does nothing.
class t_empty_task final : public oxa::oxa_task
{
public:
    void add_ref() override {}
    void release() override {}
    const wchar_t* get_name() override { return L"empty"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override { return 0; }
    void on_cancel() override {}
};

// A task that holds its worker until the gate opens.
class t_gated_task final : public oxa::oxa_task
{
public:
    explicit t_gated_task(HANDLE gate) : m_gate(gate) {}
    void add_ref() override {}
    void release() override {}
    const wchar_t* get_name() override { return L"gated"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        started.fetch_add(1);
        ::WaitForSingleObject(m_gate, INFINITE);
        return 0;
    }
    void on_cancel() override {}

    std::atomic<int> started{0};

private:
    HANDLE m_gate;
};

// ---- The floor: a futex ping-pong ----

long futex(std::atomic<std::uint32_t>* word, int op, std::uint32_t value)
{
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), op, value, nullptr, nullptr,
                     0);
}

// One direction of a hand-off: post sets the word and wakes; wait sleeps until it is set and
// clears it.
struct t_futex_flag
{
    std::atomic<std::uint32_t> word{0};

    void post()
    {
        word.store(1, std::memory_order_release);
        futex(&word, FUTEX_WAKE_PRIVATE, 1);
    }
    void wait()
    {
        while (word.exchange(0, std::memory_order_acquire) == 0)
            futex(&word, FUTEX_WAIT_PRIVATE, 0);
    }
};

double futex_round_trip_us()
{
    t_futex_flag ping;
    t_futex_flag pong;
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
    const double us = elapsed_us(start) / k_round_trips;
    partner.join();
    return us;
}

// ---- The library ----

double oxa_round_trip_us(oxa::oxa_task_pll__manager* manager, std::uint32_t options)
{
    t_empty_task task;
    const auto start = t_clock::now();
    for (int i = 0; i < k_round_trips; ++i)
    {
        const auto controller = manager->add_task(&task, options);
        controller->wait(INFINITE);
    }
    return elapsed_us(start) / k_round_trips;
}

double oxa_burst_ms(oxa::oxa_task_pll__manager* manager)
{
    t_empty_task task;
    std::vector<oxa::t_smart_object_ptr<oxa::oxa_task_pll__controller>> controllers;
    controllers.reserve(k_burst);
    const auto start = t_clock::now();
    for (int i = 0; i < k_burst; ++i)
        controllers.push_back(manager->add_task(&task, 0));
    for (const auto& controller : controllers)
        controller->wait(INFINITE);
    controllers.clear();
    return elapsed_us(start) / 1000.0;
}

// ---- Peers ----

double async_round_trip_us()
{
    const auto start = t_clock::now();
    for (int i = 0; i < k_async_round_trips; ++i)
        std::async(std::launch::async, [] {}).get();
    return elapsed_us(start) / k_async_round_trips;
}

double async_burst_ms()
{
    std::vector<std::future<void>> futures;
    futures.reserve(k_burst);
    const auto start = t_clock::now();
    for (int i = 0; i < k_burst; ++i)
        futures.push_back(std::async(std::launch::async, [] {}));
    for (auto& future : futures)
        future.get();
    return elapsed_us(start) / 1000.0;
}

#if defined(VOKA_BENCH_HAS_TBB)
double tbb_burst_ms()
{
    tbb::task_group group;
    const auto start = t_clock::now();
    for (int i = 0; i < k_burst; ++i)
        group.run([] {});
    group.wait();
    return elapsed_us(start) / 1000.0;
}
#endif

// ---- Memory ----

// The resident set of the process in KiB, from /proc/self/status.
long resident_kib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// 1,000 workers of a private manager, each held by a task until all have started, then idle.
double resident_kib_per_idle_worker()
{
    const auto manager = oxa::oxa_task_pll__factory::create_manager();
    t_empty_task warm;
    manager->add_task(&warm, 0)->wait(INFINITE);  // the service thread and one worker exist
    const long before = resident_kib();
    const HANDLE gate = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    t_gated_task task(gate);
    std::vector<oxa::t_smart_object_ptr<oxa::oxa_task_pll__controller>> controllers;
    controllers.reserve(k_rss_workers);
    for (int i = 0; i < k_rss_workers; ++i)
        controllers.push_back(manager->add_task(&task, 0));
    while (task.started.load() < k_rss_workers)
        ::Sleep(1);
    ::SetEvent(gate);
    for (const auto& controller : controllers)
        controller->wait(INFINITE);
    controllers.clear();
    const long after = resident_kib();  // every worker idle now
    ::CloseHandle(gate);
    return static_cast<double>(after - before) / (k_rss_workers - 1);
}

}  // namespace

void oxa_bench_parallel()
{
    const auto manager = oxa::oxa_task_pll__factory::get_manager();
    oxa_round_trip_us(manager.get(), 0);  // warm: workers, controllers, service threads
    oxa_round_trip_us(manager.get(), oxa::oxa_task_option_deferred);
    oxa_burst_ms(manager.get());

    std::vector<double> rt, deferred, floor, async_rt;
    for (int run = 0; run < k_runs; ++run)
    {
        floor.push_back(futex_round_trip_us());
        rt.push_back(oxa_round_trip_us(manager.get(), 0));
        deferred.push_back(oxa_round_trip_us(manager.get(), oxa::oxa_task_option_deferred));
        async_rt.push_back(async_round_trip_us());
    }
    std::vector<double> burst, async_burst, tbb_burst;
    for (int run = 0; run < k_bursts; ++run)
    {
        burst.push_back(oxa_burst_ms(manager.get()));
        async_burst.push_back(async_burst_ms());
#if defined(VOKA_BENCH_HAS_TBB)
        tbb_burst.push_back(tbb_burst_ms());
#endif
    }
    const double rt_us = median(rt);
    const double deferred_us = median(deferred);
    const double futex_us = median(floor);
    const double async_us = median(async_rt);
    const double burst_ms = median(burst);
    const double async_ms = median(async_burst);
    const double rss_kb = resident_kib_per_idle_worker();

    std::printf("parallel manager, warm shared manager, empty tasks (median of %d runs)\n", k_runs);
    std::printf("  futex ping-pong (floor)         %8.2f us\n", futex_us);
    std::printf("  add_task + wait, immediate      %8.2f us  %5.2fx floor (target <= 1.5)  "
                "%5.2fx faster than std::async (target >= 2.5)\n",
                rt_us, rt_us / futex_us, async_us / rt_us);
    std::printf("  add_task + wait, deferred       %8.2f us  %5.2fx floor (target <= 2.5)\n",
                deferred_us, deferred_us / futex_us);
    std::printf("  std::async + get                %8.2f us\n", async_us);
    std::printf("  burst of %d, immediate       %8.2f ms  %5.2fx faster than std::async "
                "(target >= 10)\n",
                k_burst, burst_ms, async_ms / burst_ms);
    std::printf("  burst of %d, std::async      %8.2f ms\n", k_burst, async_ms);
    std::string tbb_text = "n/a";
#if defined(VOKA_BENCH_HAS_TBB)
    const double tbb_ms = median(tbb_burst);
    std::printf("  burst of %d, tbb::task_group %8.2f ms  (library %5.2fx its time)\n", k_burst,
                tbb_ms, burst_ms / tbb_ms);
    char tbb_buffer[32];
    std::snprintf(tbb_buffer, sizeof tbb_buffer, "%.2f", tbb_ms);
    tbb_text = tbb_buffer;
#else
    std::printf("  burst of %d, tbb::task_group      n/a (libtbb-dev is not installed)\n", k_burst);
#endif
    std::printf("  resident memory per idle worker (%d alive) %6.1f KiB (target <= 64)\n",
                k_rss_workers, rss_kb);
    std::printf("oxa: rt_us=%.2f deferred_us=%.2f futex_us=%.2f async_us=%.2f burst_ms=%.2f "
                "async_burst_ms=%.2f tbb_burst_ms=%s rss_per_worker_kb=%.1f\n",
                rt_us, deferred_us, futex_us, async_us, burst_ms, async_ms, tbb_text.c_str(),
                rss_kb);
}
