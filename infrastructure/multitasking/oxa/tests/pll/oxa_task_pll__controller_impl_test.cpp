// The parallel controller through its public interface: public states and their transitions,
// the execution results, the task's own exception, waits with and without a worker, cancel of
// queued and running tasks, rethrow before the end and after a worker died, the last release of
// a queued or running controller, and recycling with the same events.
#include "pll_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace
{

using namespace oxa_pll_test;
using oxa::oxa_lock_guard;

class pll_controller : public ::testing::Test
{
protected:
    // Nothing ages during a test unless it asks for the short settings.
    void SetUp() override { use_settings(k_long_settings); }
    void use_settings(const oxa::oxa_task_pll__settings& settings)
    {
        m_manager = make_manager(settings, &m_data);
    }
    void TearDown() override
    {
        m_manager.reset();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);
    }

    std::int32_t m_blocks_at_start = oxa::oxa_raw_memory::live_blocks();
    oxa::oxa_task_pll__data* m_data = nullptr;
    t_smart_object_ptr<oxa::oxa_task_pll__manager_impl> m_manager;
};

// ---- States and results ----

TEST_F(pll_controller, a_new_controller_has_state_none)
{
    const auto task = make_returning(0);
    const t_smart_object_ptr<oxa::oxa_task_pll__controller_impl> controller(
        new oxa::oxa_task_pll__controller_impl(m_manager.get(), task.get()));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_none);
    EXPECT_FALSE(controller->is_completed());
}

TEST_F(pll_controller, immediate_start_goes_through_run_executing_completed)
{
    t_gate started;
    t_gate finish;
    const auto task = make_task(
        [&](oxa::oxa_task_signals*)
        {
            started.open();
            finish.wait();
            return 0u;
        });
    const auto controller = m_manager->add_task(task.get(), 0);
    const std::uint32_t state_after_submit = controller->get_state();
    EXPECT_TRUE(state_after_submit == oxa::oxa_task_state_run ||
                state_after_submit == oxa::oxa_task_state_executing);
    ASSERT_TRUE(started.wait());
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_executing);
    EXPECT_FALSE(controller->is_completed());
    EXPECT_FALSE(controller->wait(0));
    finish.open();
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_TRUE(controller->is_completed());
    EXPECT_EQ(::WaitForSingleObject(controller->get_done_event(), 0), WAIT_OBJECT_0);
    EXPECT_NO_THROW(controller->rethrow_task_error());
}

TEST_F(pll_controller, deferred_start_goes_through_wait_then_run)
{
    const auto task = make_returning(0);
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
    {
        oxa_lock_guard idle(m_data->idle_lock());  // the run thread stops before taking a worker
        {
            oxa_lock_guard list(m_data->list_lock());  // the run thread cannot dispatch yet
            controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
            EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_wait);
        }
        EXPECT_TRUE(eventually([&] { return controller->get_state() == oxa::oxa_task_state_run; }));
        EXPECT_EQ(task->executions.load(), 0);
    }
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions.load(), 1);
}

struct t_result_case
{
    std::uint32_t result;
    std::uint32_t state;
};

class pll_controller_results : public pll_controller,
                               public ::testing::WithParamInterface<t_result_case>
{
};

TEST_P(pll_controller_results, the_low_four_bits_of_the_result_give_the_final_state)
{
    for (const std::uint32_t options : {0u, oxa::oxa_task_option_deferred})
    {
        const auto task = make_returning(GetParam().result);
        const auto controller = m_manager->add_task(task.get(), options);
        EXPECT_TRUE(controller->wait(INFINITE));
        EXPECT_EQ(controller->get_state(), GetParam().state) << "options " << options;
        EXPECT_TRUE(controller->is_completed());
        EXPECT_NO_THROW(controller->rethrow_task_error());
    }
}

INSTANTIATE_TEST_SUITE_P(results, pll_controller_results,
                         ::testing::Values(t_result_case{0, oxa::oxa_task_state_completed},
                                           t_result_case{1, oxa::oxa_task_state_completed},
                                           t_result_case{2, oxa::oxa_task_state_canceled},
                                           t_result_case{0x12, oxa::oxa_task_state_canceled},
                                           t_result_case{0x10, oxa::oxa_task_state_completed},
                                           t_result_case{0xF2, oxa::oxa_task_state_canceled},
                                           t_result_case{0x13, oxa::oxa_task_state_completed}));

// ---- Failures ----

struct t_task_error
{
    std::string text;
};

TEST_F(pll_controller, the_task_exception_is_rethrown_as_the_same_object_and_the_worker_lives_on)
{
    std::atomic<const void*> thrown{nullptr};
    const auto failing = make_task(
        [&](oxa::oxa_task_signals*) -> std::uint32_t
        {
            try
            {
                throw t_task_error{"disk full"};
            }
            catch (t_task_error& error)
            {
                thrown = &error;
                throw;
            }
        });
    const auto controller = m_manager->add_task(failing.get(), 0);
    ASSERT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    for (int round = 0; round < 2; ++round)  // every call rethrows the same object
    {
        try
        {
            controller->rethrow_task_error();
            ADD_FAILURE() << "nothing rethrown";
        }
        catch (const t_task_error& error)
        {
            EXPECT_EQ(error.text, "disk full");
            EXPECT_EQ(static_cast<const void*>(&error), thrown.load());
        }
    }
    const auto next = make_returning(0);
    const auto next_controller = m_manager->add_task(next.get(), 0);
    ASSERT_TRUE(next_controller->wait(INFINITE));
    EXPECT_EQ(next->last_thread.load(), failing->last_thread.load());
}

TEST_F(pll_controller, rethrow_before_the_end_raises_not_completed_in_every_unfinished_state)
{
    const std::wstring expected =
        L"Bug check at [oxa_task_pll__controller_impl::rethrow_task_error] [#001]: Task "
        L"[Unfinished "
        L"Task] is not completed.";
    t_gate started;
    t_gate finish;
    const auto task = make_task(
        [&](oxa::oxa_task_signals*)
        {
            started.open();
            finish.wait();
            return 0u;
        },
        L"Unfinished Task");
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
    {
        oxa_lock_guard idle(m_data->idle_lock());
        {
            oxa_lock_guard list(m_data->list_lock());
            controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
            const t_raised in_wait = catch_raised([&] { controller->rethrow_task_error(); });
            EXPECT_EQ(in_wait.message_id, 1);
            EXPECT_EQ(in_wait.text, expected);
        }
        ASSERT_TRUE(eventually([&] { return controller->get_state() == oxa::oxa_task_state_run; }));
        const t_raised in_run = catch_raised([&] { controller->rethrow_task_error(); });
        EXPECT_EQ(in_run.text, expected);
    }
    ASSERT_TRUE(started.wait());
    const t_raised executing = catch_raised([&] { controller->rethrow_task_error(); });
    EXPECT_EQ(executing.message_id, 1);
    EXPECT_EQ(static_cast<HRESULT>(executing.code), E_FAIL);
    EXPECT_EQ(executing.text, expected);
    finish.open();
    EXPECT_TRUE(controller->wait(INFINITE));
}

TEST_F(pll_controller, a_worker_that_dies_with_its_task_completes_it_and_reports_the_thread)
{
    const auto dying = make_task([](oxa::oxa_task_signals*) -> std::uint32_t { ::ExitThread(7); });
    const auto controller = m_manager->add_task(dying.get(), 0);
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(::WaitForSingleObject(controller->get_done_event(), 0), WAIT_OBJECT_0);
    const t_raised raised = catch_raised([&] { controller->rethrow_task_error(); });
    EXPECT_EQ(raised.message_id, 26);
    EXPECT_EQ(raised.text, L"The work of thread [Quorlink Task Thread] was abnormally terminated.");
    // The dead worker is never parked: the next task gets another thread.
    const auto next = make_returning(0);
    const auto next_controller = m_manager->add_task(next.get(), 0);
    ASSERT_TRUE(next_controller->wait(INFINITE));
    EXPECT_NE(next->last_thread.load(), dying->last_thread.load());
}

TEST_F(pll_controller, the_resource_thread_finishes_a_task_whose_worker_died)
{
    use_settings(k_short_settings);
    const auto dying = make_task([](oxa::oxa_task_signals*) -> std::uint32_t { ::ExitThread(7); });
    const auto controller = m_manager->add_task(dying.get(), 0);
    // No wait on the controller: only the resource thread's check can finish it.
    EXPECT_TRUE(eventually([&] { return controller->is_completed(); }));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(::WaitForSingleObject(controller->get_done_event(), 0), WAIT_OBJECT_0);
    std::uint32_t wait = 0, running = 0, finished = 0;
    EXPECT_TRUE(eventually(
        [&]
        {
            m_data->list_counts(&wait, &running, &finished);
            return finished == 1;
        }));
    EXPECT_EQ(running, 0u);
}

// ---- Waits ----

TEST_F(pll_controller, wait_on_a_queued_task_gives_up_after_its_time_out)
{
    const auto task = make_returning(0);
    oxa_lock_guard list(m_data->list_lock());  // keeps the task queued
    const auto controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
    EXPECT_FALSE(controller->wait(0));
    EXPECT_FALSE(controller->wait(1));
    EXPECT_FALSE(controller->wait(2500));  // slices 1000, 1000, 500
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_wait);
    list.unlock();
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(task->executions.load(), 1);
}

TEST_F(pll_controller, an_infinite_wait_notices_a_worker_attached_meanwhile)
{
    t_gate finish;
    const auto task = make_task(
        [&](oxa::oxa_task_signals*)
        {
            finish.wait();
            return 0u;
        });
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
    {
        oxa_lock_guard list(m_data->list_lock());
        controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
    }
    std::thread opener(
        [&]
        {
            ::Sleep(30);
            finish.open();
        });
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    opener.join();
}

// ---- Cancel ----

TEST_F(pll_controller, a_queued_task_canceled_before_dispatch_never_executes)
{
    const auto task = make_returning(0);
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
    {
        oxa_lock_guard list(m_data->list_lock());
        controller = m_manager->add_task(task.get(), oxa::oxa_task_option_deferred);
        controller->cancel(false);
        EXPECT_EQ(task->cancels.load(), 1);
        EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_wait);
    }
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_canceled);
    EXPECT_EQ(task->executions.load(), 0);
    EXPECT_NO_THROW(controller->rethrow_task_error());
}

TEST_F(pll_controller, cancel_with_wait_returns_after_execute_returned)
{
    std::atomic<bool> returned{false};
    std::atomic<bool> saw_flag{false};
    t_gate started;
    const auto task = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            EXPECT_EQ(signals->is_canceled(), 0u);
            started.open();
            ::WaitForSingleObject(signals->get_cancel_event(), INFINITE);
            saw_flag = signals->is_canceled() != 0;
            ::Sleep(20);
            returned = true;
            return static_cast<std::uint32_t>(oxa::oxa_task_result_canceled);
        });
    const auto controller = m_manager->add_task(task.get(), 0);
    ASSERT_TRUE(started.wait());
    controller->cancel(true);
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(saw_flag.load());
    EXPECT_EQ(task->cancels.load(), 1);
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_canceled);
}

TEST_F(pll_controller, exceptions_of_on_cancel_are_dropped)
{
    const auto throwing_cancel = make_task([](oxa::oxa_task_signals*) { return 0u; }, L"t",
                                           [] { throw std::runtime_error("ignored"); });
    const auto controller = m_manager->add_task(throwing_cancel.get(), 0);
    EXPECT_NO_THROW(controller->cancel(true));
    EXPECT_EQ(throwing_cancel->cancels.load(), 1);
}

// ---- Last release ----

TEST_F(pll_controller, releasing_the_only_reference_to_a_queued_controller_drops_the_task)
{
    const auto dropped = make_returning(0);
    const auto later = make_returning(0);
    t_smart_object_ptr<oxa::oxa_task_pll__controller> later_controller;
    {
        oxa_lock_guard list(m_data->list_lock());
        auto controller = m_manager->add_task(dropped.get(), oxa::oxa_task_option_deferred);
        controller.reset();  // cancels it and takes it out of the queue
        EXPECT_EQ(dropped->cancels.load(), 1);
        later_controller = m_manager->add_task(later.get(), oxa::oxa_task_option_deferred);
    }
    EXPECT_TRUE(later_controller->wait(INFINITE));
    EXPECT_EQ(later->executions.load(), 1);
    EXPECT_EQ(dropped->executions.load(), 0);
}

TEST_F(pll_controller, releasing_the_only_reference_to_a_running_controller_waits_for_it)
{
    std::atomic<bool> returned{false};
    t_gate started;
    const auto task = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            started.open();
            ::WaitForSingleObject(signals->get_cancel_event(), INFINITE);
            ::Sleep(20);
            returned = true;
            return 2u;
        });
    auto controller = m_manager->add_task(task.get(), 0);
    ASSERT_TRUE(started.wait());
    controller.reset();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(task->cancels.load(), 1);
}

// ---- Identity and recycling ----

TEST_F(pll_controller, signals_name_the_controller_and_the_task_is_held)
{
    std::atomic<oxa::oxa_task_controller_id> seen{nullptr};
    const auto task = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            seen = signals->get_controller();
            return 0u;
        });
    const auto controller = m_manager->add_task(task.get(), 0);
    ASSERT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(seen.load(), controller->get_controller());
    EXPECT_EQ(controller->get_task().get(), task.get());
}

TEST_F(pll_controller, a_recycled_controller_keeps_its_events_and_starts_non_signalled)
{
    const auto first = make_returning(0);
    auto controller = m_manager->add_task(first.get(), 0);
    ASSERT_TRUE(controller->wait(INFINITE));
    controller->cancel(false);
    const oxa::oxa_task_controller_id identity = controller->get_controller();
    const HANDLE done = controller->get_done_event();
    controller.reset();
    ASSERT_EQ(m_data->pool_count(), 1u);

    const auto second = make_returning(0);
    oxa_lock_guard list(m_data->list_lock());
    controller = m_manager->add_task(second.get(), oxa::oxa_task_option_deferred);
    EXPECT_EQ(controller->get_controller(), identity);
    EXPECT_EQ(controller->get_done_event(), done);
    EXPECT_EQ(::WaitForSingleObject(controller->get_done_event(), 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(controller->get_task().get(), second.get());
    list.unlock();
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(),
              oxa::oxa_task_state_completed);  // the cancel flag was cleared
}

}  // namespace
