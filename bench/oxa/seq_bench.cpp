// Sequential manager benchmark: 10,000 empty tasks added while the resource task's run is active
// execute in one pass. Measures the time per task inside that pass and the cost of add_task with
// a pooled controller, each against its floor measured in the same run: a virtual call of the
// same task's execute, and the kernel work add_task cannot avoid (two event resets and two
// critical-section round trips).
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"
#include "voka/win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;
using bench_clock = std::chrono::steady_clock;

constexpr int k_tasks = 10000;
constexpr int k_rounds = 3;

double microseconds(bench_clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

// An empty task that notes when the first and the last of a round run, and which pass they ran in
// (the keeper counts the passes).
class t_counting_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    explicit t_counting_task(const std::atomic<int>& passes) : m_passes(passes) {}

    const wchar_t* get_name() override { return L"bench empty"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        const int count = m_count.fetch_add(1, std::memory_order_relaxed) + 1;
        if (count == 1)
        {
            m_first = bench_clock::now();
            m_first_pass = m_passes.load();
        }
        else if (count == m_round)
        {
            m_last = bench_clock::now();
            m_last_pass = m_passes.load();
        }
        return 0;
    }
    void on_cancel() override {}

    void start_round(int tasks)
    {
        m_round = tasks;
        m_count = 0;
    }

    std::atomic<int> m_count{0};
    int m_round = 0;
    bench_clock::time_point m_first{};
    bench_clock::time_point m_last{};
    int m_first_pass = -1;
    int m_last_pass = -2;

private:
    const std::atomic<int>& m_passes;
};

// Counts executions; added with the repeat option it runs once per pass and keeps the run alive.
class t_keeper_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    const wchar_t* get_name() override { return L"bench keeper"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        m_passes.fetch_add(1);
        return 0;
    }
    void on_cancel() override {}

    std::atomic<int> m_passes{0};
};

// Holds the pass until the benchmark lets it go.
class t_gate_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    t_gate_task()
        : m_entered(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_release(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~t_gate_task() override
    {
        CloseHandle(m_entered);
        CloseHandle(m_release);
    }

    const wchar_t* get_name() override { return L"bench gate"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        SetEvent(m_entered);
        WaitForSingleObject(m_release, INFINITE);
        return 0;
    }
    void on_cancel() override {}

    HANDLE m_entered;
    HANDLE m_release;
};

class t_bench_connector
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
{
public:
    t_smart_object_ptr<oxa::oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>* out) override
    {
        *out = m_manager;
        return out;
    }

private:
    t_smart_object_ptr<oxa::oxa_task_pll__manager> m_manager =
        oxa::oxa_task_pll__factory::create_manager();
};

struct t_round_result
{
    double add_task_us;
    double per_task_us;
    bool one_pass;
};

// One round: the gate holds the pass while k_tasks empty tasks are added, then lets it go.
t_round_result run_round(oxa::oxa_task_seq__manager* manager, t_counting_task* empty,
                         std::vector<t_smart_object_ptr<oxa::oxa_task_seq__controller>>& held)
{
    const t_smart_object_ptr<t_gate_task> gate(new t_gate_task());
    const auto gate_controller = manager->add_task(gate.get(), 0);
    WaitForSingleObject(gate->m_entered, INFINITE);

    empty->start_round(k_tasks);
    held.clear();
    held.reserve(k_tasks);
    const auto added_from = bench_clock::now();
    for (int index = 0; index < k_tasks; ++index)
        held.push_back(manager->add_task(empty, 0));
    const auto added_to = bench_clock::now();

    SetEvent(gate->m_release);
    for (const auto& controller : held)
        controller->wait();
    gate_controller->wait();
    return {microseconds(added_to - added_from) / k_tasks,
            microseconds(empty->m_last - empty->m_first) / (k_tasks - 1),
            empty->m_first_pass == empty->m_last_pass};
}

// The cost per call of `body`, the best of many short chunks (a loaded machine preempts some).
template <typename t_body>
double best_per_call_us(t_body&& body)
{
    constexpr int k_chunks = 50;
    constexpr int k_calls = 20000;
    double best = 1e9;
    for (int chunk = 0; chunk < k_chunks; ++chunk)
    {
        const auto from = bench_clock::now();
        for (int index = 0; index < k_calls; ++index)
            body();
        best = std::min(best, microseconds(bench_clock::now() - from) / k_calls);
    }
    return best;
}

// The floor of a task inside a pass: calling execute through the interface.
double virtual_call_floor_us(oxa::oxa_task* task)
{
    return best_per_call_us([task] { task->execute(nullptr); });
}

// The floor of add_task with a pooled controller: the two event resets of re-initialisation and
// two critical-section round trips (pool, queue).
double kernel_work_floor_us()
{
    CRITICAL_SECTION first;
    CRITICAL_SECTION second;
    InitializeCriticalSection(&first);
    InitializeCriticalSection(&second);
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const double floor = best_per_call_us(
        [&]
        {
            EnterCriticalSection(&first);
            ResetEvent(done);
            ResetEvent(cancel);
            LeaveCriticalSection(&first);
            EnterCriticalSection(&second);
            LeaveCriticalSection(&second);
        });
    CloseHandle(done);
    CloseHandle(cancel);
    DeleteCriticalSection(&first);
    DeleteCriticalSection(&second);
    return floor;
}

}  // namespace

void oxa_bench_sequential()
{
    const t_smart_object_ptr<t_bench_connector> connector(new t_bench_connector());
    auto manager = oxa::oxa_task_seq__factory::create_manager(connector.get());

    // The keeper keeps the run alive between rounds, so that released controllers are pooled.
    const t_smart_object_ptr<t_keeper_task> keeper(new t_keeper_task());
    const auto keeper_controller = manager->add_task(keeper.get(), oxa::oxa_task_seq_option_repeat);
    const t_smart_object_ptr<t_counting_task> empty(new t_counting_task(keeper->m_passes));
    std::vector<t_smart_object_ptr<oxa::oxa_task_seq__controller>> held;

    // The first round makes the controllers; releasing them fills the pool. The best of the
    // following rounds counts (each round needs a pass of its own: about one second).
    run_round(manager.get(), empty.get(), held);
    held.clear();
    t_round_result measured{1e9, 1e9, true};
    for (int round = 0; round < k_rounds; ++round)
    {
        const t_round_result result = run_round(manager.get(), empty.get(), held);
        held.clear();
        measured.add_task_us = std::min(measured.add_task_us, result.add_task_us);
        measured.per_task_us = std::min(measured.per_task_us, result.per_task_us);
        measured.one_pass = measured.one_pass && result.one_pass;
    }
    keeper_controller->stop(true);

    const double call_floor = virtual_call_floor_us(empty.get());
    const double kernel_floor = kernel_work_floor_us();
    std::printf(
        "oxa_seq: %d empty tasks added during an active run executed in one pass each round: %s\n",
        k_tasks, measured.one_pass ? "yes" : "no");
    std::printf("oxa_seq: per task inside the pass %.3f us = %.1fx a virtual execute call "
                "(%.4f us; target at most 2 us)\n",
                measured.per_task_us, measured.per_task_us / call_floor, call_floor);
    std::printf("oxa_seq: add_task with a pooled controller %.3f us = %.1fx two event resets and "
                "two lock round trips (%.4f us; target at most 1 us)\n",
                measured.add_task_us, measured.add_task_us / kernel_floor, kernel_floor);
    std::printf("oxa_seq: per_task_us=%.3f add_task_us=%.3f\n", measured.per_task_us,
                measured.add_task_us);
}
