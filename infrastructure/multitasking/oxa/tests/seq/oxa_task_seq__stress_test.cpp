// Sequential managers under load: client threads, two per manager, add tasks of every kind
// (plain, throwing, canceled by result, repeating then stopped or canceled, dropped at once,
// canceled with wait, and a few whose worker thread ends in the middle) for a fixed number of
// iterations. Every controller must end final, no two tasks of one manager may overlap, nothing
// may deadlock, and the private memory must come back to where it started.
#include "seq_test_support.h"

#include <random>
#include <thread>

namespace seq_test
{
namespace
{

constexpr int k_managers = 3;
constexpr int k_threads_per_manager = 2;
constexpr int k_iterations = 1000;
constexpr int k_batch = 25;

struct t_manager_probe
{
    seq_manager_ptr manager;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<int> executions{0};

    std::uint32_t enter_and_leave(std::uint32_t result)
    {
        if (inside.fetch_add(1) != 0)
            overlapped = true;
        ++executions;
        inside.fetch_sub(1);
        return result;
    }
};

using OxaSeqStressTest = seq_fixture;

TEST_F(OxaSeqStressTest, ManyClientsManyKindsAllControllersEndFinal)
{
    // The parallel manager itself, with nothing between it and the sequential managers.
    const t_smart_object_ptr<t_plain_connector> connector(
        new t_plain_connector(make_fast_pll_manager().get()));
    t_manager_probe probes[k_managers];
    for (auto& probe : probes)
        probe.manager = new oxa::oxa_task_seq__manager_impl(connector.get(), 200, 2);

    std::atomic<int> not_final{0};
    std::atomic<int> threads_exited{0};
    auto client = [&](int index)
    {
        t_manager_probe& probe = probes[index % k_managers];
        std::minstd_rand random(static_cast<unsigned>(index) + 1);
        const auto plain =
            make_task(L"plain", [&](oxa::oxa_task_signals*) { return probe.enter_and_leave(0); });
        const auto throwing = make_task(L"throwing",
                                        [&](oxa::oxa_task_signals*) -> std::uint32_t
                                        {
                                            probe.enter_and_leave(0);
                                            throw t_task_failure{index};
                                        });
        const auto canceling =
            make_task(L"canceling", [&](oxa::oxa_task_signals*)
                      { return probe.enter_and_leave(oxa::oxa_task_result_canceled); });
        const auto dying = make_task(L"dying",
                                     [&](oxa::oxa_task_signals*) -> std::uint32_t
                                     {
                                         probe.enter_and_leave(0);
                                         ++threads_exited;
                                         ExitThread(3);
                                     });
        std::vector<seq_controller_ptr> controllers;
        std::vector<seq_controller_ptr> repeating;
        for (int iteration = 0; iteration < k_iterations; ++iteration)
        {
            const auto& manager = probe.manager;
            const unsigned kind = random() % 7;
            if (iteration == 260 && index < k_managers && index != 1)
                controllers.push_back(manager->add_task(dying.get(), 0));
            else if (kind == 0)
                controllers.push_back(manager->add_task(plain.get(), 0));
            else if (kind == 1)
                controllers.push_back(manager->add_task(
                    throwing.get(), (random() % 2) ? oxa::oxa_task_seq_option_repeat : 0u));
            else if (kind == 2)
                controllers.push_back(manager->add_task(canceling.get(), 0));
            else if (kind == 3)
                repeating.push_back(
                    manager->add_task(plain.get(), oxa::oxa_task_seq_option_repeat));
            else if (kind == 4)
                manager->add_task(plain.get(), 0);  // dropped at once
            else if (kind == 5)
                manager->add_task(plain.get(), 0)->cancel(true);
            else
                manager->add_task(throwing.get(), 0)->stop(true);

            if ((iteration + 1) % k_batch == 0)
            {
                for (std::size_t at = 0; at < repeating.size(); ++at)
                {
                    if (at % 2 == 0)
                        repeating[at]->stop(false);
                    else
                        repeating[at]->cancel(false);
                }
                for (auto* list : {&controllers, &repeating})
                {
                    for (const auto& controller : *list)
                    {
                        controller->wait();
                        if (!controller->is_completed())
                            ++not_final;
                        try
                        {
                            controller->rethrow_task_error();
                        }
                        catch (...)
                        {
                        }
                    }
                    list->clear();
                }
            }
        }
    };

    std::vector<std::thread> clients;
    for (int index = 0; index < k_managers * k_threads_per_manager; ++index)
        clients.emplace_back(client, index);
    for (auto& thread : clients)
        thread.join();

    EXPECT_EQ(not_final.load(), 0);
    EXPECT_EQ(threads_exited.load(), 2);
    for (auto& probe : probes)
    {
        EXPECT_FALSE(probe.overlapped.load());
        EXPECT_GT(probe.executions.load(), 0);
        EXPECT_EQ(probe.manager->queue_count(), 0u);
        probe.manager.reset();
    }
}

}  // namespace
}  // namespace seq_test
