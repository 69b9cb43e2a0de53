// The parallel manager's data object: LIFO reuse of workers, aging of idle workers and pooled
// controllers, service threads that end by themselves and restart, a deferred task submitted as
// the run thread times out, pooling only while the resource thread lives, no allocation on a warm
// path, a worker parked during the resource thread's last tick still aged, and everything freed
// with the last manager.
#include "pll_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace
{

using namespace oxa_pll_test;

class pll_data : public ::testing::Test
{
protected:
    void TearDown() override
    {
        m_manager.reset();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);
    }

    void use_settings(const oxa::oxa_task_pll__settings& settings)
    {
        m_manager = make_manager(settings, &m_data);
    }

    // Runs a task returning 0 to its end and releases its controller; returns its thread.
    DWORD run_one(std::uint32_t options = 0)
    {
        const auto task = make_returning(0);
        const auto controller = m_manager->add_task(task.get(), options);
        EXPECT_TRUE(controller->wait(INFINITE));
        return task->last_thread.load();
    }

    std::int32_t m_blocks_at_start = oxa::oxa_raw_memory::live_blocks();
    oxa::oxa_task_pll__data* m_data = nullptr;
    t_smart_object_ptr<oxa::oxa_task_pll__manager_impl> m_manager;
};

TEST_F(pll_data, two_parallel_tasks_make_two_workers_and_the_last_finished_runs_the_next)
{
    use_settings(k_long_settings);
    t_gate first_started, second_started, first_finish, second_finish;
    const auto first = make_task(
        [&](oxa::oxa_task_signals*)
        {
            first_started.open();
            first_finish.wait();
            return 0u;
        });
    const auto second = make_task(
        [&](oxa::oxa_task_signals*)
        {
            second_started.open();
            second_finish.wait();
            return 0u;
        });
    const auto first_controller = m_manager->add_task(first.get(), 0);
    const auto second_controller = m_manager->add_task(second.get(), 0);
    ASSERT_TRUE(first_started.wait());
    ASSERT_TRUE(second_started.wait());  // both run at once: two workers
    EXPECT_NE(first->last_thread.load(), second->last_thread.load());
    EXPECT_EQ(m_data->idle_count(), 0u);

    first_finish.open();
    ASSERT_TRUE(first_controller->wait(INFINITE));
    second_finish.open();
    ASSERT_TRUE(second_controller->wait(INFINITE));
    EXPECT_EQ(m_data->idle_count(), 2u);

    EXPECT_EQ(run_one(), second->last_thread.load());
    EXPECT_EQ(run_one(oxa::oxa_task_option_deferred), second->last_thread.load());
}

TEST_F(pll_data, a_warm_submission_allocates_nothing)
{
    use_settings(k_long_settings);
    run_one();  // one idle worker and one pooled controller now
    ASSERT_EQ(m_data->idle_count(), 1u);
    ASSERT_EQ(m_data->pool_count(), 1u);
    const std::int32_t warm = oxa::oxa_raw_memory::live_blocks();
    const auto task = make_returning(0);
    const auto controller = m_manager->add_task(task.get(), 0);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), warm);
    ASSERT_TRUE(controller->wait(INFINITE));
}

TEST_F(pll_data, idle_workers_and_pooled_controllers_age_out_then_the_resource_thread_ends)
{
    use_settings(k_short_settings);
    const std::int32_t empty = oxa::oxa_raw_memory::live_blocks();
    run_one();
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), empty + 4);  // worker, its thread, controller,
                                                               // resource thread
    EXPECT_NE(m_data->resource_thread_id(), 0u);
    EXPECT_TRUE(eventually([&] { return m_data->idle_count() == 0 && m_data->pool_count() == 0; }));
    EXPECT_TRUE(eventually([&] { return m_data->resource_thread_id() == 0; }));
    EXPECT_TRUE(eventually([&] { return oxa::oxa_raw_memory::live_blocks() == empty + 1; }));
    // The next submission starts the resource thread again.
    run_one();
    EXPECT_NE(m_data->resource_thread_id(), 0u);
}

TEST_F(pll_data, the_run_thread_ends_without_start_signals_and_restarts_on_demand)
{
    use_settings(k_short_settings);
    run_one(oxa::oxa_task_option_deferred);
    const DWORD first_run_thread = m_data->run_thread_id();
    EXPECT_NE(first_run_thread, 0u);
    EXPECT_TRUE(eventually([&] { return m_data->run_thread_id() == 0; }));
    run_one(oxa::oxa_task_option_deferred);  // would hang without a new run thread
    EXPECT_TRUE(eventually([&] { return m_data->run_thread_id() == 0; }));
}

TEST_F(pll_data, deferred_tasks_submitted_as_the_run_thread_times_out_still_run)
{
    // A run wait of 10 ms and submissions spaced around it: many of them meet a run thread that
    // is deciding to end.
    use_settings(oxa::oxa_task_pll__settings{10, 200, 20, 60});
    for (int round = 0; round < 60; ++round)
    {
        ::Sleep(6 + round % 9);
        const auto task = make_returning(0);
        const auto controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
        ASSERT_TRUE(controller->wait(30000)) << "round " << round;
        EXPECT_EQ(task->executions.load(), 1);
    }
}

TEST_F(pll_data, a_controller_released_after_the_resource_thread_ended_is_freed)
{
    use_settings(k_short_settings);
    const auto task = make_returning(0);
    auto controller = m_manager->add_task(task.get(), 0);
    ASSERT_TRUE(controller->wait(INFINITE));
    // The idle worker ages out; then nothing is left to manage and the resource thread ends.
    ASSERT_TRUE(eventually([&] { return m_data->resource_thread_id() == 0; }));
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    controller.reset();
    EXPECT_EQ(m_data->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before - 1);
}

TEST_F(pll_data, a_controller_released_while_the_resource_thread_lives_is_pooled)
{
    use_settings(k_long_settings);
    run_one();
    EXPECT_EQ(m_data->pool_count(), 1u);
    run_one();
    EXPECT_EQ(m_data->pool_count(), 1u);  // the pooled one was reused
}

TEST_F(pll_data, the_last_manager_stops_every_thread_and_frees_everything)
{
    use_settings(k_long_settings);
    std::vector<t_smart_object_ptr<oxa::oxa_task_pll__controller>> controllers;
    std::vector<t_smart_object_ptr<t_fn_task>> tasks;
    for (int i = 0; i < 8; ++i)
    {
        tasks.push_back(make_returning(0));
        controllers.push_back(m_manager->add_task(tasks.back().get(),
                                                  i % 2 == 0 ? 0 : oxa::oxa_task_option_deferred));
    }
    for (auto& controller : controllers)
        EXPECT_TRUE(controller->wait(INFINITE));
    controllers.clear();
    EXPECT_NE(m_data->run_thread_id(), 0u);
    EXPECT_NE(m_data->resource_thread_id(), 0u);
    // TearDown releases the manager and checks that nothing of the engine is left.
}

TEST_F(pll_data, a_worker_parked_during_the_last_resource_tick_is_still_aged_out)
{
    // One quiet tick ends the resource thread; an idle worker ages out at the first tick that
    // sees it.
    use_settings(oxa::oxa_task_pll__settings{1000, 50, 50, 50});
    t_gate last_started, last_finish;
    const auto last = make_task(
        [&](oxa::oxa_task_signals*)
        {
            last_started.open();
            last_finish.wait();
            return 0u;
        });
    // The last running task keeps the resource thread ticking meanwhile.
    const auto last_controller = m_manager->add_task(last.get(), 0);
    ASSERT_TRUE(last_started.wait());

    // Hold a resource tick after its look at the idle list, blocked on the list lock in front of
    // its look at the running tasks. The proof: a marker worker parked after the list lock was
    // taken disappears from the idle list, which only that tick can have done. A tick that had
    // already looked before the marker parked keeps it; the test then lets go and tries again.
    // A controller released now would be pooled and restart the resource thread by itself, so
    // the successful marker's is kept to the end.
    t_smart_object_ptr<oxa::oxa_task_pll__controller> kept_marker;
    bool tick_held = false;
    for (int attempt = 0; attempt < 10 && !tick_held; ++attempt)
    {
        t_gate marker_started, marker_finish;
        const auto marker = make_task(
            [&](oxa::oxa_task_signals*)
            {
                marker_started.open();
                marker_finish.wait();
                return 0u;
            });
        auto marker_controller = m_manager->add_task(marker.get(), 0);
        ASSERT_TRUE(marker_started.wait());
        m_data->list_lock().enter();
        marker_finish.open();
        ASSERT_TRUE(marker_controller->wait(30000));  // its worker is parked now
        for (int round = 0; round < 400 && !tick_held; ++round)
        {
            tick_held = m_data->idle_count() == 0;
            if (!tick_held)
                ::Sleep(5);
        }
        if (!tick_held)
        {
            m_data->list_lock().leave();
            marker_controller.reset();  // its final release takes the list lock
        }
        else
        {
            // The last task ends while the held tick has already looked at the idle list.
            last_finish.open();
            EXPECT_TRUE(last_controller->wait(30000));
            EXPECT_EQ(m_data->idle_count(), 1u);
            m_data->list_lock().leave();  // the held tick finds nothing running: its last one
            kept_marker = std::move(marker_controller);
        }
    }
    ASSERT_TRUE(tick_held) << "no resource tick could be held after its look at the idle list";
    EXPECT_TRUE(eventually([&] { return m_data->idle_count() == 0; }))
        << "the worker parked during the last tick was never aged out";
    EXPECT_TRUE(eventually([&] { return m_data->resource_thread_id() == 0; }));
}

}  // namespace
