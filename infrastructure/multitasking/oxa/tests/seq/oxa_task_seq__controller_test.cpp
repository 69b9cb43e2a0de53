// The sequential controller: what it reports before the task is finished, canceling without
// waiting, a cancel that the executing task ignores, its identity in the task's signals, and its
// final release while queued.
#include "seq_test_support.h"

namespace seq_test
{
namespace
{

using OxaSeqControllerTest = seq_fixture;

const std::wstring k_not_completed =
    L"Bug check at [oxa_task_seq__controller_impl::rethrow_task_error] [#001]: "
    L"Task [watched] is not completed.";

TEST_F(OxaSeqControllerTest, RethrowBeforeTheEndSaysTheTaskIsNotCompleted)
{
    const auto manager = make_manager();
    t_test_event executing;
    t_test_event release;
    const auto task = make_task(L"watched",
                                [&](oxa::oxa_task_signals*)
                                {
                                    executing.set();
                                    release.wait();
                                    return 0u;
                                });
    const seq_controller_ptr first = manager->add_task(task.get(), 0);
    const seq_controller_ptr second = manager->add_task(task.get(), 0);
    EXPECT_EQ(rethrown_text(*second), k_not_completed) << "waiting";
    ASSERT_TRUE(executing.wait(20000));
    EXPECT_EQ(first->get_state(), oxa::oxa_task_state_executing);
    EXPECT_FALSE(first->is_completed());
    EXPECT_EQ(rethrown_text(*first), k_not_completed) << "executing";
    release.set();
    first->wait();
    second->wait();
    EXPECT_EQ(rethrown_text(*first), L"");
    EXPECT_TRUE(first->is_completed());
}

TEST_F(OxaSeqControllerTest, CancelingAnExecutingTaskThatIgnoresItEndsItCompleted)
{
    const auto manager = make_manager();
    t_test_event executing;
    std::atomic<bool> saw_cancel{false};
    const auto task = make_task(L"stubborn",
                                [&](oxa::oxa_task_signals* signals)
                                {
                                    executing.set();
                                    // Waits for the cancellation, notices it, and still reports
                                    // completion.
                                    WaitForSingleObject(signals->get_cancel_event(), INFINITE);
                                    saw_cancel = signals->is_canceled() != 0;
                                    return 0u;
                                });
    const seq_controller_ptr controller = manager->add_task(task.get(), 0);
    ASSERT_TRUE(executing.wait(20000));
    controller->cancel(true);
    EXPECT_TRUE(saw_cancel.load());
    EXPECT_EQ(task->cancels(), 1);
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
}

TEST_F(OxaSeqControllerTest, TheSignalsNameTheControllerAndPassComToTheRun)
{
    const auto manager = make_manager();
    std::atomic<oxa::oxa_task_controller_id> seen{nullptr};
    std::atomic<bool> com_ok{false};
    const auto task = make_task(L"signals",
                                [&](oxa::oxa_task_signals* signals)
                                {
                                    seen = signals->get_controller();
                                    signals->initialize_COM();
                                    signals->initialize_COM();
                                    signals->reset_user_data();
                                    com_ok = true;
                                    return 0u;
                                });
    const seq_controller_ptr controller = manager->add_task(task.get(), 0);
    controller->wait();
    EXPECT_EQ(seen.load(), controller->get_controller());
    EXPECT_TRUE(com_ok.load());
    EXPECT_EQ(rethrown_text(*controller), L"");
}

TEST_F(OxaSeqControllerTest, ReleasingTheLastReferenceOfAQueuedControllerTakesItOut)
{
    const auto manager = make_manager();
    t_test_event executing;
    t_test_event release;
    const auto blocker = make_task(L"blocker",
                                   [&](oxa::oxa_task_signals*)
                                   {
                                       executing.set();
                                       release.wait();
                                       return 0u;
                                   });
    const seq_controller_ptr blocking = manager->add_task(blocker.get(), 0);
    ASSERT_TRUE(executing.wait(20000));
    const auto task = make_task(L"dropped");
    manager->add_task(task.get(), 0);  // the only reference goes at once
    EXPECT_EQ(manager->queue_count(), 1u);
    EXPECT_EQ(task->cancels(), 1) << "the final release cancels";
    release.set();
    blocking->wait();
    const auto later = make_task(L"later");
    manager->add_task(later.get(), 0)->wait();
    EXPECT_EQ(task->executions(), 0);
}

TEST_F(OxaSeqControllerTest, TheControllerHoldsTheTaskUntilItIsReleased)
{
    class t_watched_task : public t_probe_task
    {
    public:
        explicit t_watched_task(std::atomic<bool>& destroyed) : m_destroyed(destroyed) {}
        ~t_watched_task() override { m_destroyed = true; }

    private:
        std::atomic<bool>& m_destroyed;
    };
    const auto manager = make_manager();
    std::atomic<bool> destroyed{false};
    seq_controller_ptr controller;
    {
        const t_smart_object_ptr<t_watched_task> task(new t_watched_task(destroyed));
        controller = manager->add_task(task.get(), 0);
    }
    controller->wait();
    EXPECT_FALSE(destroyed.load());
    EXPECT_STREQ(controller->get_task()->get_name(), L"probe");
    controller.reset();
    EXPECT_TRUE(destroyed.load()) << "released when the controller went back to its manager";
}

}  // namespace
}  // namespace seq_test
