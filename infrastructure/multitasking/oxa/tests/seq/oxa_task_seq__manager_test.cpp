// The sequential manager on a real parallel manager: when and in which order tasks run, the
// repeat options and execution results, failures, the controller pool, the life of the resource
// task, and what waiters see when a run ends while tasks are queued.
#include "seq_test_support.h"

#include <thread>

namespace seq_test
{
namespace
{

using OxaSeqManagerTest = seq_fixture;

// A task that blocks the pass until the test lets it go: the tasks behind it stay queued.
struct t_blocker
{
    t_test_event started;
    t_test_event release;
    t_smart_object_ptr<t_probe_task> task = make_task(L"blocker",
                                                      [this](oxa::oxa_task_signals*)
                                                      {
                                                          started.set();
                                                          release.wait();
                                                          return 0u;
                                                      });
};

TEST_F(OxaSeqManagerTest, TheFirstTaskWaitsForAPassAndOneRunServesBothTasks)
{
    // The factory's pass time: one second.
    const auto manager = oxa::oxa_task_seq__factory::create_manager(m_connector.get());
    const auto first_task = make_task(L"first");
    const auto second_task = make_task(L"second");
    const seq_controller_ptr first = manager->add_task(first_task.get(), 0);
    EXPECT_EQ(first->get_state(), oxa::oxa_task_state_wait);
    const seq_controller_ptr second = manager->add_task(second_task.get(), 0);
    first->wait();
    second->wait();
    EXPECT_EQ(first->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(second->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(first_task->executions(), 1);
    EXPECT_EQ(second_task->executions(), 1);
    EXPECT_EQ(m_pll->run_count(), 1u) << "the second task joined the first run";
    EXPECT_EQ(m_connector->requests(), 1);
    EXPECT_EQ(m_pll->options(), std::vector<std::uint32_t>{0}) << "immediate start";
    EXPECT_STREQ(m_pll->run(0)->get_task()->get_name(), L"Resource Task");
}

TEST_F(OxaSeqManagerTest, TasksRunInTheOrderAddedAndNeverOverlap)
{
    const auto manager = make_manager();
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<t_smart_object_ptr<t_probe_task>> tasks;
    std::vector<seq_controller_ptr> controllers;
    for (int index = 0; index < 20; ++index)
    {
        tasks.push_back(make_task(L"ordered",
                                  [&, index](oxa::oxa_task_signals*)
                                  {
                                      if (inside.fetch_add(1) != 0)
                                          overlapped = true;
                                      Sleep(1);
                                      {
                                          const std::lock_guard<std::mutex> guard(lock);
                                          order.push_back(index);
                                      }
                                      inside.fetch_sub(1);
                                      return 0u;
                                  }));
        controllers.push_back(manager->add_task(tasks.back().get(), 0));
    }
    for (const auto& controller : controllers)
        controller->wait();
    std::vector<int> expected(20);
    for (int index = 0; index < 20; ++index)
        expected[index] = index;
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(overlapped.load());
}

// A repeating task runs once per pass until its controller ends it.
struct t_repeat_case
{
    const char* name;
    bool by_cancel;
    std::uint32_t final_state;
};

class OxaSeqRepeatTest : public seq_fixture, public ::testing::WithParamInterface<t_repeat_case>
{
};

TEST_P(OxaSeqRepeatTest, RepeatsUntilItsControllerEndsIt)
{
    const auto manager = make_manager();
    t_test_event third_run;
    const auto counter = make_task(L"counter");
    const auto repeating = make_task(L"repeating",
                                     [&, counted = 0](oxa::oxa_task_signals*) mutable
                                     {
                                         if (++counted == 3)
                                             third_run.set();
                                         return 0u;
                                     });
    const seq_controller_ptr controller =
        manager->add_task(repeating.get(), oxa::oxa_task_seq_option_repeat);
    ASSERT_TRUE(third_run.wait(20000));
    if (GetParam().by_cancel)
        controller->cancel(true);
    else
        controller->stop(true);
    EXPECT_TRUE(controller->is_completed());
    EXPECT_EQ(controller->get_state(), GetParam().final_state);
    EXPECT_EQ(rethrown_text(*controller), L"");
    const int executions = repeating->executions();
    // A later task's end proves that at least one more pass has run.
    const seq_controller_ptr later = manager->add_task(counter.get(), 0);
    later->wait();
    EXPECT_EQ(repeating->executions(), executions);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, OxaSeqRepeatTest,
    ::testing::Values(t_repeat_case{"stop", false, oxa::oxa_task_state_completed},
                      t_repeat_case{"cancel", true, oxa::oxa_task_state_canceled}),
    [](const auto& info) { return std::string(info.param.name); });

// Execution results: the run-again flag, the completion code and the repeat options.
struct t_result_case
{
    const char* name;
    std::vector<std::uint32_t> results;  // one per execution; 0xFFFFFFFF throws instead
    std::uint32_t options;
    int executions;
    std::uint32_t final_state;
    bool rethrows;
};

constexpr std::uint32_t k_throw = 0xFFFFFFFFu;

class OxaSeqResultTest : public seq_fixture, public ::testing::WithParamInterface<t_result_case>
{
};

TEST_P(OxaSeqResultTest, TheResultDecidesWhetherTheTaskRunsAgainAndHowItEnds)
{
    const t_result_case& param = GetParam();
    const auto manager = make_manager();
    const auto task = make_task(L"result",
                                [&, call = 0u](oxa::oxa_task_signals*) mutable
                                {
                                    const std::uint32_t result = param.results.at(call++);
                                    if (result == k_throw)
                                        throw t_task_failure{static_cast<int>(call)};
                                    return result;
                                });
    const seq_controller_ptr controller = manager->add_task(task.get(), param.options);
    controller->wait();
    EXPECT_EQ(task->executions(), param.executions);
    EXPECT_EQ(controller->get_state(), param.final_state);
    if (param.rethrows)
    {
        try
        {
            controller->rethrow_task_error();
            ADD_FAILURE() << "nothing rethrown";
        }
        catch (const t_task_failure& failure)
        {
            EXPECT_EQ(failure.value, param.executions) << "the last execution's own object";
        }
    }
    else
    {
        EXPECT_NO_THROW(controller->rethrow_task_error());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, OxaSeqResultTest,
    ::testing::Values(
        t_result_case{"Completed", {0}, 0, 1, oxa::oxa_task_state_completed, false},
        t_result_case{"CodeOneCompleted", {1}, 0, 1, oxa::oxa_task_state_completed, false},
        t_result_case{"CodeTwoCanceled", {2}, 0, 1, oxa::oxa_task_state_canceled, false},
        t_result_case{"OnlyLowBitsCount", {0x22}, 0, 1, oxa::oxa_task_state_canceled, false},
        t_result_case{"RunAgainFlag", {0x10, 0x10, 0}, 0, 3, oxa::oxa_task_state_completed, false},
        t_result_case{
            "RunAgainThenCanceled", {0x10, 0x12}, 0, 2, oxa::oxa_task_state_canceled, false},
        t_result_case{"RepeatEndedByCodeTwo", {0, 0, 2}, 1, 3, oxa::oxa_task_state_canceled, false},
        t_result_case{
            "ThrowKeepsTheException", {k_throw}, 0, 1, oxa::oxa_task_state_completed, true},
        t_result_case{"ThrowEndsARepeatWithoutBitOne",
                      {0, k_throw},
                      1,
                      2,
                      oxa::oxa_task_state_completed,
                      true},
        t_result_case{"ThrowRepeatsWithOptionsThree",
                      {k_throw, k_throw, 2},
                      3,
                      3,
                      oxa::oxa_task_state_canceled,
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OxaSeqManagerTest, ACanceledQueuedTaskNeverRuns)
{
    const auto manager = make_manager();
    t_blocker blocker;
    const seq_controller_ptr blocking = manager->add_task(blocker.task.get(), 0);
    ASSERT_TRUE(blocker.started.wait(20000));
    const auto task = make_task(L"queued");
    const seq_controller_ptr controller = manager->add_task(task.get(), 0);
    controller->cancel(false);
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_wait) << "finished by the next pass";
    EXPECT_EQ(task->cancels(), 1);
    blocker.release.set();
    controller->wait();
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_canceled);
    EXPECT_EQ(task->executions(), 0);
    EXPECT_EQ(rethrown_text(*controller), L"");
}

TEST_F(OxaSeqManagerTest, StopAndCancelWithWaitFinishQueuedTasksAtOnce)
{
    const auto manager = make_manager();
    t_blocker blocker;
    const seq_controller_ptr blocking = manager->add_task(blocker.task.get(), 0);
    ASSERT_TRUE(blocker.started.wait(20000));
    const auto stopped_task = make_task(L"stopped");
    const auto canceled_task = make_task(L"canceled");
    const seq_controller_ptr stopped = manager->add_task(stopped_task.get(), 0);
    const seq_controller_ptr canceled = manager->add_task(canceled_task.get(), 0);
    stopped->stop(true);
    canceled->cancel(true);
    // Finished while the blocker still holds the pass.
    EXPECT_EQ(stopped->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(canceled->get_state(), oxa::oxa_task_state_canceled);
    EXPECT_EQ(WaitForSingleObject(stopped->get_done_event(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(canceled->get_done_event(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(manager->queue_count(), 1u);
    blocker.release.set();
    blocking->wait();
    const auto later_task = make_task(L"later");
    manager->add_task(later_task.get(), 0)->wait();
    EXPECT_EQ(stopped_task->executions(), 0);
    EXPECT_EQ(canceled_task->executions(), 0);
    EXPECT_EQ(rethrown_text(*stopped), L"");
}

// stop(true) and cancel(true) on an executing repeating task return after that execution.
class OxaSeqWaitOnExecutingTest : public seq_fixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P(OxaSeqWaitOnExecutingTest, ReturnsAfterTheExecution)
{
    const bool by_cancel = GetParam();
    const auto manager = make_manager();
    t_test_event started;
    t_test_event release;
    std::atomic<int> finished{0};
    const auto task = make_task(L"executing",
                                [&](oxa::oxa_task_signals*)
                                {
                                    started.set();
                                    release.wait();
                                    ++finished;
                                    return 0u;
                                });
    const seq_controller_ptr controller =
        manager->add_task(task.get(), oxa::oxa_task_seq_option_repeat);
    ASSERT_TRUE(started.wait(20000));
    std::atomic<int> finished_when_returned{-1};
    std::thread ender(
        [&]
        {
            if (by_cancel)
                controller->cancel(true);
            else
                controller->stop(true);
            finished_when_returned = finished.load();
        });
    // The ender is blocked until the execution ends.
    Sleep(20);
    release.set();
    ender.join();
    EXPECT_GE(finished_when_returned.load(), 1);
    EXPECT_EQ(controller->get_state(),
              by_cancel ? oxa::oxa_task_state_canceled : oxa::oxa_task_state_completed);
}

INSTANTIATE_TEST_SUITE_P(Ends, OxaSeqWaitOnExecutingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Cancel" : "Stop"; });

TEST_F(OxaSeqManagerTest, PooledControllersAreReusedWithTheirEventsAndFreedAfterIdlePasses)
{
    const auto manager = make_manager();
    // A repeating task keeps the resource task running.
    const auto keeper_task = make_task(L"keeper");
    const seq_controller_ptr keeper =
        manager->add_task(keeper_task.get(), oxa::oxa_task_seq_option_repeat);
    const auto task = make_task(L"pooled");
    seq_controller_ptr first = manager->add_task(task.get(), 0);
    first->wait();
    const HANDLE done_event = first->get_done_event();
    const std::int32_t blocks = oxa::oxa_raw_memory::live_blocks();
    first.reset();
    EXPECT_EQ(manager->pool_count(), 1u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks) << "pooled, not freed";

    seq_controller_ptr second = manager->add_task(task.get(), 0);
    EXPECT_EQ(second->get_done_event(), done_event);
    EXPECT_EQ(manager->pool_count(), 0u);
    second->wait();
    EXPECT_EQ(task->executions(), 2);
    second.reset();
    ASSERT_EQ(manager->pool_count(), 1u);
    EXPECT_TRUE(eventually([&] { return manager->pool_count() == 0; }));
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks - 1) << "freed after the idle passes";
    keeper->stop(true);
}

TEST_F(OxaSeqManagerTest, AReusedControllerStartsWithBothEventsReset)
{
    const auto manager = make_manager();
    const auto keeper_task = make_task(L"keeper");
    const seq_controller_ptr keeper =
        manager->add_task(keeper_task.get(), oxa::oxa_task_seq_option_repeat);
    t_blocker blocker;
    const seq_controller_ptr blocking = manager->add_task(blocker.task.get(), 0);
    ASSERT_TRUE(blocker.started.wait(20000));
    // Canceled in the queue: both of its events are signalled when it goes to the pool.
    const auto canceled_task = make_task(L"canceled");
    seq_controller_ptr canceled = manager->add_task(canceled_task.get(), 0);
    canceled->cancel(true);
    const HANDLE done_event = canceled->get_done_event();
    canceled.reset();
    ASSERT_EQ(manager->pool_count(), 1u);

    std::atomic<bool> cancel_event_clear{false};
    const auto probe =
        make_task(L"probe",
                  [&](oxa::oxa_task_signals* signals)
                  {
                      cancel_event_clear =
                          WaitForSingleObject(signals->get_cancel_event(), 0) == WAIT_TIMEOUT &&
                          signals->is_canceled() == 0;
                      return 0u;
                  });
    const seq_controller_ptr reused = manager->add_task(probe.get(), 0);
    EXPECT_EQ(reused->get_done_event(), done_event);
    EXPECT_EQ(WaitForSingleObject(reused->get_done_event(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(reused->get_state(), oxa::oxa_task_state_wait);
    EXPECT_EQ(reused->get_task().get(), probe.get());
    blocker.release.set();
    reused->wait();
    EXPECT_TRUE(cancel_event_clear.load());
    EXPECT_EQ(reused->get_state(), oxa::oxa_task_state_completed);
    keeper->stop(true);
}

TEST_F(OxaSeqManagerTest, TheResourceTaskEndsWhenIdleAndStartsAgainWithTheNextTask)
{
    const auto manager = make_manager();
    const auto task = make_task(L"once");
    manager->add_task(task.get(), 0)->wait();
    ASSERT_EQ(m_pll->run_count(), 1u);
    // The released controller is pooled, aged for three passes and freed; then the run ends.
    m_pll->run(0)->wait(INFINITE);
    EXPECT_EQ(m_pll->run(0)->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(manager->pool_count(), 0u);
    manager->add_task(task.get(), 0)->wait();
    EXPECT_EQ(m_pll->run_count(), 2u);
    EXPECT_EQ(task->executions(), 2);
}

TEST_F(OxaSeqManagerTest, AControllerReleasedAfterTheRunEndedIsFreedAtOnce)
{
    const auto manager = make_manager();
    const auto task = make_task(L"held");
    seq_controller_ptr controller = manager->add_task(task.get(), 0);
    controller->wait();
    m_pll->run(0)->wait(INFINITE);
    const std::int32_t blocks = oxa::oxa_raw_memory::live_blocks();
    controller.reset();
    EXPECT_EQ(manager->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks - 1);
}

TEST_F(OxaSeqManagerTest, ReleasingTheManagerCancelsAndWaitsForTheRunAndFreesThePool)
{
    // Pooled controllers live for 1000 passes: the pool keeps the run going.
    auto manager = make_manager(1000000);
    const auto keeper_task = make_task(L"keeper");
    seq_controller_ptr keeper =
        manager->add_task(keeper_task.get(), oxa::oxa_task_seq_option_repeat);
    const auto task = make_task(L"pooled");
    manager->add_task(task.get(), 0)->wait();
    EXPECT_EQ(manager->pool_count(), 1u);
    keeper->stop(true);
    keeper.reset();
    EXPECT_EQ(manager->pool_count(), 2u);
    const pll_controller_ptr run = m_pll->run(0);
    EXPECT_FALSE(run->is_completed()) << "kept alive by the pool";
    manager.reset();
    EXPECT_EQ(run->get_state(), oxa::oxa_task_state_canceled);
}

TEST_F(OxaSeqManagerTest, ARunCanceledWhileTasksAreQueuedLeavesThemAbnormallyTerminated)
{
    const auto manager = make_manager();
    t_blocker blocker;
    const seq_controller_ptr blocking = manager->add_task(blocker.task.get(), 0);
    ASSERT_TRUE(blocker.started.wait(20000));
    const auto task = make_task(L"queued");
    const seq_controller_ptr queued = manager->add_task(task.get(), 0);
    m_pll->run(0)->cancel(false);
    blocker.release.set();
    queued->wait();
    EXPECT_EQ(queued->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions(), 0);
    EXPECT_EQ(rethrown_text(*queued),
              L"Bug check at [oxa_task_seq__controller_impl::rethrow_task_error] [#002]: "
              L"Sequential Task [queued] was abnormally terminated.");

    // The canceled run is not restarted: the next task is finished at once, never executed.
    const seq_controller_ptr late = manager->add_task(task.get(), 0);
    EXPECT_EQ(late->get_state(), oxa::oxa_task_state_completed);
    late->wait();
    EXPECT_EQ(rethrown_text(*late),
              L"Bug check at [oxa_task_seq__controller_impl::rethrow_task_error] [#002]: "
              L"Sequential Task [queued] was abnormally terminated.");
    EXPECT_EQ(m_pll->run_count(), 1u);
    EXPECT_EQ(task->executions(), 0);
}

TEST_F(OxaSeqManagerTest, ARunThatFailsWhileTasksAreQueuedReportsItsOwnFailure)
{
    const auto manager = make_manager();
    t_test_event started;
    t_test_event release;
    // The worker thread of the run ends in the middle of the task.
    const auto dying = make_task(L"dying",
                                 [&](oxa::oxa_task_signals*) -> std::uint32_t
                                 {
                                     started.set();
                                     release.wait();
                                     ExitThread(7);
                                 });
    const seq_controller_ptr dying_controller = manager->add_task(dying.get(), 0);
    ASSERT_TRUE(started.wait(20000));
    const auto task = make_task(L"queued");
    const seq_controller_ptr queued = manager->add_task(task.get(), 0);
    release.set();
    queued->wait();
    dying_controller->wait();
    for (oxa::oxa_task_seq__controller* controller : {queued.get(), dying_controller.get()})
    {
        EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
        const std::wstring text = rethrown_text(*controller);
        EXPECT_NE(text, L"");
        EXPECT_EQ(text.find(L"Sequential Task"), std::wstring::npos)
            << "the run's own failure comes first: " << std::string(text.begin(), text.end());
    }
    EXPECT_EQ(task->executions(), 0);

    // The next task starts a new run, which executes it.
    const seq_controller_ptr next = manager->add_task(task.get(), 0);
    next->wait();
    EXPECT_EQ(task->executions(), 1);
    EXPECT_EQ(m_pll->run_count(), 2u);
}

}  // namespace
}  // namespace seq_test
