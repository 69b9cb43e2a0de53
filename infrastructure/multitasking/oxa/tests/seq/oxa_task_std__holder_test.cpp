// The standard task holder on a real parallel manager: starting, joining and not starting a run,
// the two option bits, a function that ends its run as canceled, stopping, the task name, and a
// start in the tail of a run that has left the function for good.
#include "seq_test_support.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_std__holder.h"

#include <deque>
#include <exception>
#include <ostream>
#include <string>
#include <thread>

namespace seq_test
{
namespace
{

using holder_type = oxa::oxa_task_std__holder<oxa::oxa_task_pll__manager_connector2>;

// The holder's owner: a function that takes its results from a script, one per call (throwing
// for k_throw), and can be held inside a call until the test lets it go.
class t_owner
{
public:
    static constexpr std::uint32_t k_throw = 0xFFFFFFFFu;

    explicit t_owner(oxa::oxa_task_pll__manager_connector2* connector, std::uint32_t options,
                     const wchar_t* name = L"Holder Task")
        : m_holder(connector, name, holder_type::function_type::bind(this, &t_owner::function),
                   options)
    {
    }

    void script(std::deque<std::uint32_t> results)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_results = std::move(results);
    }
    // The next call blocks (after signalling `entered`) until release is set.
    void hold_next_call() { m_hold = true; }

    holder_type m_holder;
    t_test_event entered;
    t_test_event release;
    std::atomic<int> calls{0};

private:
    std::uint32_t function(holder_type::tag_context* context)
    {
        EXPECT_EQ(context->holder, &m_holder);
        ++calls;
        if (m_hold.exchange(false))
        {
            entered.set();
            release.wait();
        }
        std::uint32_t result = 1;
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            if (!m_results.empty())
            {
                result = m_results.front();
                m_results.pop_front();
            }
        }
        if (result == k_throw)
            throw t_task_failure{calls.load()};
        return result;
    }

    std::mutex m_lock;
    std::deque<std::uint32_t> m_results;
    std::atomic<bool> m_hold{false};
};

using OxaStdHolderTest = seq_fixture;

TEST_F(OxaStdHolderTest, ASecondStartWhileTheFunctionRunsJoinsTheRunAndCallsItAgain)
{
    t_owner owner(m_connector.get(), 0);
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    EXPECT_EQ(first.code, oxa::oxa_task_std__holder_started);
    ASSERT_TRUE(first.run);
    ASSERT_TRUE(owner.entered.wait(20000));
    const auto second = owner.m_holder.start_v2();
    EXPECT_EQ(second.code, oxa::oxa_task_std__holder_joined);
    EXPECT_EQ(second.run.get(), first.run.get());
    owner.release.set();
    first.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 2);
    EXPECT_EQ(first.run->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(owner.m_holder.get_holder_state(), oxa::oxa_task_std__holder_finished);
    EXPECT_EQ(m_pll->run_count(), 1u);
    EXPECT_EQ(m_pll->options(), std::vector<std::uint32_t>{0});
}

TEST_F(OxaStdHolderTest, AFunctionAskingToRunAgainEndsTheRunWithoutFinishingTheHolder)
{
    t_owner owner(m_connector.get(), 0);
    owner.script({oxa::oxa_task_result_run_again | 1});
    const auto first = owner.m_holder.start_v2();
    first.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 1);
    EXPECT_EQ(owner.m_holder.get_holder_state(), oxa::oxa_task_std__holder_running);
    const auto second = owner.m_holder.start_v2();
    EXPECT_EQ(second.code, oxa::oxa_task_std__holder_started);
    second.run->wait(INFINITE);
    EXPECT_EQ(m_pll->run_count(), 2u);
}

// Option bit 0 drops the failure of the previous run; without it the next start rethrows it once.
class OxaStdHolderFailureTest : public seq_fixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P(OxaStdHolderFailureTest, TheFailureOfThePreviousRun)
{
    const bool ignore_failure = GetParam();
    t_owner owner(m_connector.get(),
                  ignore_failure ? oxa::oxa_task_std__holder_option_ignore_run_failure : 0u);
    owner.script({t_owner::k_throw});
    const auto failed = owner.m_holder.start_v2();
    failed.run->wait(INFINITE);
    EXPECT_EQ(failed.run->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(owner.m_holder.get_holder_state(), oxa::oxa_task_std__holder_running)
        << "a failure leaves the state as it was";
    if (!ignore_failure)
    {
        try
        {
            owner.m_holder.start_v2();
            ADD_FAILURE() << "the previous run's failure was not rethrown";
        }
        catch (const t_task_failure& failure)
        {
            EXPECT_EQ(failure.value, 1);
        }
        EXPECT_EQ(m_pll->run_count(), 1u);
    }
    const auto next = owner.m_holder.start_v2();
    EXPECT_EQ(next.code, oxa::oxa_task_std__holder_started);
    next.run->wait(INFINITE);
    EXPECT_EQ(next.run->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(owner.calls.load(), 2);
    EXPECT_EQ(m_pll->run_count(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Options, OxaStdHolderFailureTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ignored" : "Rethrown"; });

TEST_F(OxaStdHolderTest, OptionBitOneEndsTheRunWithTheRunAgainFlagOnARestartRequest)
{
    t_owner owner(m_connector.get(), oxa::oxa_task_std__holder_option_restart_as_run_again);
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    ASSERT_TRUE(owner.entered.wait(20000));
    EXPECT_EQ(owner.m_holder.start_v2().code, oxa::oxa_task_std__holder_joined);
    owner.release.set();
    first.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 1) << "not called again within the run";
    EXPECT_EQ(first.run->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(owner.m_holder.get_holder_state(), oxa::oxa_task_std__holder_running);
    const auto second = owner.m_holder.start_v2();
    EXPECT_EQ(second.code, oxa::oxa_task_std__holder_started);
    second.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 2);
}

TEST_F(OxaStdHolderTest, CodeTwoEndsTheRunAtOnceAndTheNextStartAnswersNotStarted)
{
    t_owner owner(m_connector.get(), 0);
    owner.script({oxa::oxa_task_result_canceled});
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    ASSERT_TRUE(owner.entered.wait(20000));
    EXPECT_EQ(owner.m_holder.start_v2().code, oxa::oxa_task_std__holder_joined);
    owner.release.set();
    first.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 1) << "the pending restart request is dropped";
    EXPECT_EQ(first.run->get_state(), oxa::oxa_task_state_canceled);
    for (int round = 0; round < 2; ++round)
    {
        const auto refused = owner.m_holder.start_v2();
        EXPECT_EQ(refused.code, oxa::oxa_task_std__holder_not_started);
        EXPECT_FALSE(refused.run);
    }
    EXPECT_EQ(m_pll->run_count(), 1u);
}

TEST_F(OxaStdHolderTest, ACanceledRunWithARestartRequestEndsAsCanceled)
{
    t_owner owner(m_connector.get(), 0);
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    ASSERT_TRUE(owner.entered.wait(20000));
    owner.m_holder.start_v2();  // restart request
    first.run->cancel(false);
    owner.release.set();
    first.run->wait(INFINITE);
    EXPECT_EQ(first.run->get_state(), oxa::oxa_task_state_canceled);
    EXPECT_EQ(owner.calls.load(), 1);
    EXPECT_EQ(owner.m_holder.get_holder_state(), oxa::oxa_task_std__holder_finished);
}

TEST_F(OxaStdHolderTest, StopCancelsTheRunAndWaitsForIt)
{
    t_owner owner(m_connector.get(), 0);
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    ASSERT_TRUE(owner.entered.wait(20000));
    std::thread releaser(
        [&]
        {
            Sleep(20);
            owner.release.set();
        });
    owner.m_holder.stop();
    EXPECT_TRUE(first.run->is_completed()) << "stop returned before the run ended";
    releaser.join();
    // Nothing is current any more: the next start begins a new run.
    const auto next = owner.m_holder.start_v2();
    EXPECT_EQ(next.code, oxa::oxa_task_std__holder_started);
    next.run->wait(INFINITE);
}

TEST_F(OxaStdHolderTest, TheTaskNameKeepsAtMost63Characters)
{
    const std::wstring long_name(70, L'n');
    t_owner owner(m_connector.get(), 0, long_name.c_str());
    EXPECT_EQ(std::wstring(owner.m_holder.get_task_name()), long_name.substr(0, 63));
    const auto run = owner.m_holder.start_v2().run;
    EXPECT_EQ(std::wstring(run->get_task()->get_name()), long_name.substr(0, 63));
    run->wait(INFINITE);
}

TEST_F(OxaStdHolderTest, AFailingConnectorReachesTheCallerWithNoCurrentRun)
{
    class t_failing_connector
        : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
    {
    public:
        t_smart_object_ptr<oxa::oxa_task_pll__manager>*
        get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>*) override
        {
            throw t_task_failure{-1};
        }
    };
    const t_smart_object_ptr<t_failing_connector> connector(new t_failing_connector());
    t_owner owner(connector.get(), 0);
    EXPECT_THROW(owner.m_holder.start_v2(), t_task_failure);
    EXPECT_THROW(owner.m_holder.start_v2(), t_task_failure) << "no run was kept";
}

// A parallel manager whose runs end in a state no real run ends in: executing, yet completed.
class t_odd_run : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__controller>
{
public:
    bool wait(std::uint32_t) override { return true; }
    void cancel(bool) override {}
    oxa::oxa_task_controller_id get_controller() override { return this; }
    t_smart_object_ptr<oxa::oxa_task> get_task() override { return {}; }
    std::uint32_t get_state() override { return oxa::oxa_task_state_executing; }
    bool is_completed() override { return true; }
    HANDLE get_done_event() override { return nullptr; }
    void rethrow_task_error() override {}
};

class t_odd_manager : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager>
{
public:
    t_smart_object_ptr<oxa::oxa_task_pll__controller> add_task(oxa::oxa_task*,
                                                               std::uint32_t) override
    {
        return t_smart_object_ptr<oxa::oxa_task_pll__controller>(new t_odd_run());
    }
};

TEST(OxaStdHolderStateTest, ARunEndingInAnUnexpectedStateIsReported)
{
    const t_smart_object_ptr<t_plain_connector> connector(new t_plain_connector(
        t_smart_object_ptr<oxa::oxa_task_pll__manager>(new t_odd_manager()).get()));
    t_owner owner(connector.get(), oxa::oxa_task_std__holder_option_ignore_run_failure);
    EXPECT_EQ(owner.m_holder.start_v2().code, oxa::oxa_task_std__holder_started);
    try
    {
        owner.m_holder.start_v2();
        ADD_FAILURE() << "nothing raised";
    }
    catch (const std::exception& error)
    {
        EXPECT_EQ(english_description(error),
                  L"Bug check at [oxa_task_std__holder<TTaskMngConnector>::start_v2] [#001]: "
                  L"unexpected state of task [Holder Task]: 4.");
    }
}

// A parallel manager over a real one whose tasks and runs tell the test two things: that the
// holder's run has left the static task's execute (returned or thrown), and that somebody waits
// for a run.
class t_watching_pll_manager
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager>
{
public:
    explicit t_watching_pll_manager(oxa::oxa_task_pll__manager* inner) : m_inner(inner) {}

    t_smart_object_ptr<oxa::oxa_task_pll__controller> add_task(oxa::oxa_task* task,
                                                               std::uint32_t options) override
    {
        const t_smart_object_ptr<t_watched_task> watched(new t_watched_task(task, this));
        return t_smart_object_ptr<oxa::oxa_task_pll__controller>(
            new t_watched_run(m_inner->add_task(watched.get(), options), this));
    }

    t_test_event run_left;     // a run's execute has returned or thrown
    t_test_event run_waited;   // wait was called on a run

private:
    class t_watched_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
    {
    public:
        t_watched_task(oxa::oxa_task* target, t_watching_pll_manager* owner)
            : m_target(target), m_name(target->get_name()), m_owner(owner)
        {
        }
        const wchar_t* get_name() override { return m_name.c_str(); }
        std::uint32_t execute(oxa::oxa_task_signals* signals) override
        {
            struct t_on_exit
            {
                t_watching_pll_manager* owner;
                ~t_on_exit() { owner->run_left.set(); }
            } on_exit{m_owner};
            return m_target->execute(signals);
        }
        void on_cancel() override {}

    private:
        oxa::oxa_task* m_target;
        std::wstring m_name;
        t_watching_pll_manager* m_owner;
    };

    class t_watched_run : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__controller>
    {
    public:
        t_watched_run(pll_controller_ptr inner, t_watching_pll_manager* owner)
            : m_inner(std::move(inner)), m_owner(owner)
        {
        }
        bool wait(std::uint32_t milliseconds) override
        {
            m_owner->run_waited.set();
            return m_inner->wait(milliseconds);
        }
        void cancel(bool wait) override { m_inner->cancel(wait); }
        oxa::oxa_task_controller_id get_controller() override { return m_inner->get_controller(); }
        t_smart_object_ptr<oxa::oxa_task> get_task() override { return m_inner->get_task(); }
        std::uint32_t get_state() override { return m_inner->get_state(); }
        bool is_completed() override { return m_inner->is_completed(); }
        HANDLE get_done_event() override { return m_inner->get_done_event(); }
        void rethrow_task_error() override { m_inner->rethrow_task_error(); }

    private:
        pll_controller_ptr m_inner;
        t_watching_pll_manager* m_owner;
    };

    t_smart_object_ptr<oxa::oxa_task_pll__manager> m_inner;
};

// How the first call of the function leaves the run for good while the run's parallel controller
// has not completed yet.
struct t_tail_case
{
    const char* name;
    std::uint32_t options;
    std::uint32_t first_result;
    bool restart_during_call;  // a start while the function runs, answered "joined"
};

void PrintTo(const t_tail_case& tail, std::ostream* out)
{
    *out << tail.name;
}

class OxaStdHolderTailTest : public ::testing::TestWithParam<t_tail_case>
{
protected:
    void SetUp() override
    {
        m_data = new oxa::oxa_task_pll__data(k_fast_pll_settings);
        m_pll = new t_watching_pll_manager(
            t_smart_object_ptr<oxa::oxa_task_pll__manager>(
                new oxa::oxa_task_pll__manager_impl(m_data.get()))
                .get());
        m_connector = new t_plain_connector(m_pll.get());
    }

    t_smart_object_ptr<oxa::oxa_task_pll__data> m_data;
    t_smart_object_ptr<t_watching_pll_manager> m_pll;
    t_smart_object_ptr<t_plain_connector> m_connector;
};

// A start that comes after the run has left run() but before its controller completed must not
// be answered "joined": nothing would call the function again. It waits for the run's end and
// starts a new run instead.
TEST_P(OxaStdHolderTailTest, AStartAfterTheRunLeftTheFunctionStartsANewRun)
{
    const t_tail_case& tail = GetParam();
    t_owner owner(m_connector.get(), tail.options);
    owner.script({tail.first_result});
    owner.hold_next_call();
    const auto first = owner.m_holder.start_v2();
    ASSERT_EQ(first.code, oxa::oxa_task_std__holder_started);
    ASSERT_TRUE(owner.entered.wait(20000));
    if (tail.restart_during_call)
    {
        EXPECT_EQ(owner.m_holder.start_v2().code, oxa::oxa_task_std__holder_joined);
    }

    // The idle lock holds the worker after run() has returned, before the controller completes.
    m_data->idle_lock().enter();
    owner.release.set();
    ASSERT_TRUE(m_pll->run_left.wait(20000));
    EXPECT_FALSE(first.run->is_completed());

    holder_type::tag_start_result second{nullptr, 0};
    std::exception_ptr failure;
    t_test_event answered;
    std::thread starter(
        [&]
        {
            try
            {
                second = owner.m_holder.start_v2();
            }
            catch (...)
            {
                failure = std::current_exception();
            }
            answered.set();
        });
    // Either it answers at once, or it waits for the first run, which cannot end before the idle
    // lock goes.
    const HANDLE either[2] = {answered.handle(), m_pll->run_waited.handle()};
    EXPECT_LT(WaitForMultipleObjects(2, either, FALSE, 20000), WAIT_OBJECT_0 + 2);
    m_data->idle_lock().leave();
    starter.join();
    ASSERT_FALSE(failure);

    EXPECT_EQ(second.code, oxa::oxa_task_std__holder_started);
    ASSERT_TRUE(second.run);
    EXPECT_NE(second.run.get(), first.run.get());
    EXPECT_TRUE(first.run->is_completed());
    second.run->wait(INFINITE);
    EXPECT_EQ(owner.calls.load(), 2) << "the function was not called for the new work";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, OxaStdHolderTailTest,
    ::testing::Values(
        t_tail_case{"RunAgainResult", 0, oxa::oxa_task_result_run_again | 1, false},
        t_tail_case{"RestartAsRunAgain", oxa::oxa_task_std__holder_option_restart_as_run_again, 1,
                    true},
        t_tail_case{"FunctionThrew", oxa::oxa_task_std__holder_option_ignore_run_failure,
                    t_owner::k_throw, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace seq_test
