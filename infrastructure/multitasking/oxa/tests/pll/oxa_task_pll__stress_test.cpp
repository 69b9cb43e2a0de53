// A bounded stress run: client threads submit immediate and deferred tasks to two managers on one
// data object with short settings (so that workers age, controllers recycle and service threads
// end and restart meanwhile), and wait, cancel and release at random; tasks return, get canceled,
// throw or end their worker with ExitThread. Afterwards every kept controller is final and every
// block of the engine is freed.
#include "pll_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{

using namespace oxa_pll_test;

constexpr int k_clients = 4;
constexpr int k_rounds_per_client = 1500;

struct t_stress_error : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// What one task does, chosen by the client.
enum class t_kind
{
    returns,
    returns_canceled,
    throws,
    waits_for_cancel,
    exits_thread,
};

t_kind pick_kind(std::mt19937& random)
{
    const int roll = static_cast<int>(random() % 100);
    if (roll < 40)
        return t_kind::returns;
    if (roll < 55)
        return t_kind::returns_canceled;
    if (roll < 70)
        return t_kind::throws;
    if (roll < 97)
        return t_kind::waits_for_cancel;
    return t_kind::exits_thread;
}

t_smart_object_ptr<t_fn_task> make_stress_task(t_kind kind)
{
    return make_task(
        [kind](oxa::oxa_task_signals* signals) -> std::uint32_t
        {
            switch (kind)
            {
            case t_kind::returns:
                return 0;
            case t_kind::returns_canceled:
                return oxa::oxa_task_result_canceled;
            case t_kind::throws:
                throw t_stress_error("task failed");
            case t_kind::waits_for_cancel:
                return ::WaitForSingleObject(signals->get_cancel_event(), 3) == WAIT_OBJECT_0
                           ? oxa::oxa_task_result_canceled
                           : 0;
            case t_kind::exits_thread:
                ::ExitThread(1);
            }
            return 0;
        },
        L"Stress Task");
}

void client(const std::vector<oxa::oxa_task_pll__manager*>& managers, unsigned seed,
            std::atomic<int>& non_final)
{
    std::mt19937 random(seed);
    std::vector<t_smart_object_ptr<oxa::oxa_task_pll__controller>> kept;
    for (int round = 0; round < k_rounds_per_client; ++round)
    {
        const auto task = make_stress_task(pick_kind(random));
        oxa::oxa_task_pll__manager* const manager = managers[random() % managers.size()];
        const std::uint32_t options = random() % 2 == 0 ? 0 : oxa::oxa_task_option_deferred;
        auto controller = manager->add_task(task.get(), options);
        switch (random() % 6)
        {
        case 0:
            controller->wait(INFINITE);
            if (!controller->is_completed())
                non_final.fetch_add(1);
            try
            {
                controller->rethrow_task_error();
            }
            catch (const t_stress_error&)
            {
            }
            catch (const oxa::t_oxa_exception&)  // a worker that ended with its task
            {
            }
            break;
        case 1:
            controller->wait(0);
            break;
        case 2:
            controller->cancel(false);
            break;
        case 3:
            controller->cancel(true);
            if (!controller->is_completed())
                non_final.fetch_add(1);
            break;
        case 4:
            break;  // released at once, whatever its state
        default:
            kept.push_back(controller);
            break;
        }
        if (!kept.empty() && random() % 4 == 0)
            kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(random() % kept.size()));
    }
    for (const auto& controller : kept)
    {
        controller->wait(INFINITE);
        if (!controller->is_completed())
            non_final.fetch_add(1);
    }
}

TEST(pll_stress, random_clients_end_with_final_controllers_and_no_blocks_left)
{
    const std::int32_t blocks_at_start = oxa::oxa_raw_memory::live_blocks();
    {
        oxa::oxa_task_pll__data* data = nullptr;
        auto first = make_manager(oxa::oxa_task_pll__settings{20, 40, 5, 15}, &data);
        const t_smart_object_ptr<oxa::oxa_task_pll__manager_impl> second(
            new oxa::oxa_task_pll__manager_impl(data));
        const std::vector<oxa::oxa_task_pll__manager*> managers{first.get(), second.get()};
        std::atomic<int> non_final{0};
        std::vector<std::thread> clients;
        for (int i = 0; i < k_clients; ++i)
            clients.emplace_back(
                [&, i] { client(managers, 1234u + static_cast<unsigned>(i), non_final); });
        for (auto& thread : clients)
            thread.join();
        EXPECT_EQ(non_final.load(), 0);
    }
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks_at_start);
}

}  // namespace
