// The parallel engine's failure paths for events and threads, provoked with the platform's kernel
// test hook: message 21 for every event the engine creates, 22 and 23 for checked signalling and
// resetting, 24 for every thread it starts (with the thread's name, the CRT error and the WIN32
// error), and what each failure leaves behind: nothing allocated, nothing linked, the shared data
// of get_manager still null, a deferred task finished with the failure, a pooled controller freed.
#include "pll/oxa_event.h"
#include "pll/oxa_pll_names.h"
#include "pll/oxa_thread.h"
#include "pll_test_support.h"
#include "runtime/oxa_module.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"
#include "voka/platform/kernel_test_hook.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace
{

using namespace oxa_pll_test;
using voka::platform::arm_kernel_fault;
using voka::platform::fail_next_kernel_calls;
using voka::platform::t_kernel_call;
using voka::platform::t_kernel_fault_guard;
using voka::platform::t_kernel_fault_plan;
using voka::platform::t_kernel_fault_scope;

constexpr DWORD k_error = 1450;  // ERROR_NO_SYSTEM_RESOURCES
constexpr std::int32_t k_kind_win32 = 1;
constexpr std::int32_t k_kind_hresult = 2;
constexpr std::int32_t k_e_fail = static_cast<std::int32_t>(0x80004005u);

std::wstring event_create_text(const std::wstring& name)
{
    return L"[win32] Fail at creation of event object [" + name + L"].";
}

std::wstring thread_create_text(const std::wstring& name, int crt_error, DWORD win32_error)
{
    return L"[crt] Fail at creation of thread object [" + name + L"]. CRT error code: " +
           std::to_wstring(crt_error) + L". WIN32 error code: " + std::to_wstring(win32_error) +
           L".";
}

// Every test ends with what it started with: no armed failure, no live block more or less.
class pll_failures : public ::testing::Test
{
protected:
    void SetUp() override { m_blocks_at_start = oxa::oxa_raw_memory::live_blocks(); }
    void TearDown() override
    {
        voka::platform::clear_kernel_call_failures();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);
    }

    std::int32_t m_blocks_at_start = 0;
    t_kernel_fault_guard m_guard;
};

// ---- oxa_thread and the event object ----

inline constexpr wchar_t k_test_thread_name[] = L"Test Thread";

void empty_body(oxa::oxa_thread**) {}

struct t_body_holder
{
    void run(oxa::oxa_thread** context) { empty_body(context); }
};

t_smart_object_ptr<oxa::oxa_thread> start_test_thread(t_body_holder* holder)
{
    return oxa::oxa_thread::create(oxa::oxa_thread::body_type::bind(holder, &t_body_holder::run),
                                   &oxa::oxa_static_string<k_test_thread_name>);
}

TEST_F(pll_failures, a_thread_whose_stop_event_cannot_be_created_raises_21_and_starts_nothing)
{
    t_body_holder holder;
    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    std::string narrow;
    const t_raised raised = catch_raised(
        [&]
        {
            try
            {
                start_test_thread(&holder);
            }
            catch (const oxa::t_oxa_exception& error)
            {
                narrow = error.what();
                throw;
            }
        });
    EXPECT_EQ(raised.message_id, 21);
    EXPECT_EQ(raised.kind, k_kind_win32);
    EXPECT_EQ(raised.code, static_cast<std::int32_t>(k_error));
    EXPECT_EQ(raised.text, event_create_text(L"oxa_thread::m_stop_event"));
    EXPECT_EQ(narrow, "[voka.infrastructure.multitasking.oxa]:[win32] Fail at creation of event "
                      "object [oxa_thread::m_stop_event].");
    EXPECT_EQ(voka::platform::pending_kernel_call_failures(t_kernel_call::begin_thread,
                                                           t_kernel_fault_scope::calling_thread),
              0u);
}

struct t_thread_failure_case
{
    const char* label;
    DWORD win32_error;
    int crt_error;
};

class pll_thread_failures : public pll_failures,
                            public ::testing::WithParamInterface<t_thread_failure_case>
{
};

TEST_P(pll_thread_failures, a_thread_that_cannot_be_started_raises_24_with_both_error_codes)
{
    const t_thread_failure_case& c = GetParam();
    t_body_holder holder;
    arm_kernel_fault(t_kernel_call::begin_thread, {0, 1, c.win32_error, c.crt_error});
    const t_raised raised = catch_raised([&] { start_test_thread(&holder); });
    EXPECT_EQ(raised.message_id, 24);
    EXPECT_EQ(raised.kind, k_kind_hresult);
    EXPECT_EQ(raised.code, k_e_fail);
    EXPECT_EQ(raised.text, thread_create_text(k_test_thread_name, c.crt_error, c.win32_error));
    // The next start works.
    EXPECT_TRUE(start_test_thread(&holder)->helper__wait_thread(INFINITE));
}

INSTANTIATE_TEST_SUITE_P(
    errors, pll_thread_failures,
    ::testing::Values(t_thread_failure_case{"no_memory", ERROR_NOT_ENOUGH_MEMORY, EAGAIN},
                      t_thread_failure_case{"access_denied", ERROR_ACCESS_DENIED, EACCES},
                      // The CRT error is signed, the WIN32 error unsigned.
                      t_thread_failure_case{"extremes", 0xC0000005u, -7}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(pll_failures, checked_signalling_and_resetting_raise_22_and_23_with_the_event_name)
{
    oxa::oxa_event event(true, false, &oxa::oxa_static_string<oxa::k_name_worker_start_event>);
    fail_next_kernel_calls(t_kernel_call::set_event, 1, k_error);
    const t_raised set = catch_raised([&] { event.set_checked(); });
    EXPECT_EQ(set.message_id, 22);
    EXPECT_EQ(set.kind, k_kind_win32);
    EXPECT_EQ(set.code, static_cast<std::int32_t>(k_error));
    EXPECT_EQ(set.text, L"[win32] Can't set an event object [oxa_task_pll__thread::m_start_event] "
                        L"to the signaled state.");
    EXPECT_EQ(::WaitForSingleObject(event.handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    event.set_checked();
    fail_next_kernel_calls(t_kernel_call::reset_event, 1, ERROR_ACCESS_DENIED);
    const t_raised reset = catch_raised([&] { event.reset_checked(); });
    EXPECT_EQ(reset.message_id, 23);
    EXPECT_EQ(reset.kind, k_kind_win32);
    EXPECT_EQ(reset.code, static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(reset.text, L"[win32] Can't set an event object "
                          L"[oxa_task_pll__thread::m_start_event] to the nonsignaled state.");
    EXPECT_EQ(::WaitForSingleObject(event.handle(), 0), WAIT_OBJECT_0);
}

// ---- The data object and the factories ----

TEST_F(pll_failures, a_data_object_whose_start_event_cannot_be_created_raises_21)
{
    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    const t_raised direct = catch_raised([] { make_manager(k_long_settings); });
    EXPECT_EQ(direct.message_id, 21);
    EXPECT_EQ(direct.code, static_cast<std::int32_t>(k_error));
    EXPECT_EQ(direct.text, event_create_text(L"oxa_task_pll__data::m_run_thread__start_event"));

    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    const t_raised factory = catch_raised([] { oxa::oxa_task_pll__factory::create_manager(); });
    EXPECT_EQ(factory.message_id, 21);
    EXPECT_EQ(factory.text, direct.text);
}

TEST_F(pll_failures, get_manager_leaves_the_shared_data_null_after_a_failed_creation)
{
    oxa::oxa_manager_registry* const registry = oxa::oxa_registry();
    ASSERT_NE(registry, nullptr);
    ASSERT_FALSE(registry->shared_data) << "no shared manager before this test";
    const std::int32_t managers_before = registry->live_managers.load();

    fail_next_kernel_calls(t_kernel_call::create_event, 1, k_error);
    const t_raised raised = catch_raised([] { oxa::oxa_task_pll__factory::get_manager(); });
    EXPECT_EQ(raised.message_id, 21);
    EXPECT_EQ(raised.text, event_create_text(L"oxa_task_pll__data::m_run_thread__start_event"));
    EXPECT_FALSE(registry->shared_data);
    EXPECT_EQ(registry->live_managers.load(), managers_before) << "the new manager was destroyed";
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);

    {
        const auto manager = oxa::oxa_task_pll__factory::get_manager();
        EXPECT_TRUE(registry->shared_data) << "the next call makes the shared data";
        const auto task = make_returning(0);
        const auto controller = manager->add_task(task.get(), 0);
        EXPECT_TRUE(controller->wait(INFINITE));
        EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    }
    EXPECT_FALSE(registry->shared_data);
    EXPECT_EQ(registry->live_managers.load(), managers_before);
}

// ---- Submission on a fresh manager: every event and thread it creates, in order ----

struct t_submit_failure_case
{
    const char* label;
    t_kernel_call call;
    unsigned skip;          // calls of that kind that succeed first
    std::uint32_t options;  // 0 immediate, 4 deferred
    std::int32_t message_id;
    std::wstring text;
};

class pll_submit_failures : public pll_failures,
                            public ::testing::WithParamInterface<t_submit_failure_case>
{
};

TEST_P(pll_submit_failures, the_failure_reaches_the_submitter_and_leaves_nothing_behind)
{
    const t_submit_failure_case& c = GetParam();
    oxa::oxa_task_pll__data* data = nullptr;
    const auto manager = make_manager(k_long_settings, &data);
    const auto task = make_returning(0);
    arm_kernel_fault(c.call, {c.skip, 1, ERROR_NOT_ENOUGH_MEMORY, EAGAIN});
    const t_raised raised = catch_raised([&] { manager->add_task(task.get(), c.options); });
    EXPECT_EQ(raised.message_id, c.message_id);
    EXPECT_EQ(raised.text, c.text);
    std::uint32_t wait = 0, running = 0, finished = 0;
    EXPECT_EQ(data->list_counts(&wait, &running, &finished), 0u) << "unlinked again";
    EXPECT_EQ(task->executions.load(), 0);

    // The manager works on.
    const auto controller = manager->add_task(task.get(), c.options);
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions.load(), 1);
}

const std::wstring k_no_memory_thread = L"]. CRT error code: 11. WIN32 error code: 8.";

INSTANTIATE_TEST_SUITE_P(
    calls, pll_submit_failures,
    ::testing::Values(
        // A new controller: its done event, then its cancel event.
        t_submit_failure_case{"done_event", t_kernel_call::create_event, 0, 0, 21,
                              event_create_text(L"oxa_task_pll__controller_impl::m_done_event")},
        t_submit_failure_case{"cancel_event", t_kernel_call::create_event, 1, 0, 21,
                              event_create_text(L"oxa_task_pll__controller_impl::m_cancel_event")},
        // The resource thread: its stop event, then the thread.
        t_submit_failure_case{"resource_thread_stop_event", t_kernel_call::create_event, 2, 0, 21,
                              event_create_text(L"oxa_thread::m_stop_event")},
        t_submit_failure_case{"resource_thread", t_kernel_call::begin_thread, 0, 0, 24,
                              thread_create_text(L"Quorlink Task Manager Resource Thread", EAGAIN,
                                                 ERROR_NOT_ENOUGH_MEMORY)},
        // The worker: its start event, its thread's stop event, then the thread.
        t_submit_failure_case{"worker_start_event", t_kernel_call::create_event, 3, 0, 21,
                              event_create_text(L"oxa_task_pll__thread::m_start_event")},
        t_submit_failure_case{"worker_stop_event", t_kernel_call::create_event, 4, 0, 21,
                              event_create_text(L"oxa_thread::m_stop_event")},
        t_submit_failure_case{
            "worker_thread", t_kernel_call::begin_thread, 1, 0, 24,
            thread_create_text(L"Quorlink Task Thread", EAGAIN, ERROR_NOT_ENOUGH_MEMORY)},
        // Waking the worker.
        t_submit_failure_case{"worker_start_signal", t_kernel_call::set_event, 0, 0, 22,
                              L"[win32] Can't set an event object "
                              L"[oxa_task_pll__thread::m_start_event] to the signaled state."},
        // Deferred: waking the run thread, then starting it.
        t_submit_failure_case{"run_thread_start_signal", t_kernel_call::set_event, 0,
                              oxa::oxa_task_option_deferred, 22,
                              L"[win32] Can't set an event object "
                              L"[oxa_task_pll__data::m_run_thread__start_event] to the signaled "
                              L"state."},
        t_submit_failure_case{"run_thread", t_kernel_call::begin_thread, 0,
                              oxa::oxa_task_option_deferred, 24,
                              thread_create_text(L"Quorlink Task Manager Run Thread", EAGAIN,
                                                 ERROR_NOT_ENOUGH_MEMORY)}),
    [](const auto& info) { return std::string(info.param.label); });

// A failed deferred submission while a run thread lives: the task is out of the wait queue before
// the list lock goes, so that the run thread, woken by any later submission, cannot start it. The
// task's cancel notice comes with the controller's final release as the failure leaves; the wait
// queue is looked at from there.
TEST_F(pll_failures, a_failed_deferred_submission_leaves_nothing_queued_for_the_run_thread)
{
    oxa::oxa_task_pll__data* data = nullptr;
    const auto manager = make_manager(k_long_settings, &data);
    {
        const auto warm_up = make_returning(0);
        const auto controller = manager->add_task(warm_up.get(), oxa::oxa_task_option_deferred);
        ASSERT_TRUE(controller->wait(INFINITE));
    }
    ASSERT_NE(data->run_thread_id(), 0u);

    std::uint32_t queued_at_cancel = 0xFFFFFFFFu;
    const auto task = make_task([](oxa::oxa_task_signals*) { return 0u; }, L"test task",
                                [&]
                                {
                                    std::uint32_t running = 0, finished = 0;
                                    data->list_counts(&queued_at_cancel, &running, &finished);
                                });
    fail_next_kernel_calls(t_kernel_call::set_event, 1, k_error);
    const t_raised raised =
        catch_raised([&] { manager->add_task(task.get(), oxa::oxa_task_option_deferred); });
    EXPECT_EQ(raised.message_id, 22);
    EXPECT_EQ(task->cancels.load(), 1);
    EXPECT_EQ(queued_at_cancel, 0u) << "still queued for the run thread after the failure";

    // The next submission wakes the run thread: only the new task runs.
    const auto next_task = make_returning(0);
    const auto next = manager->add_task(next_task.get(), oxa::oxa_task_option_deferred);
    EXPECT_TRUE(next->wait(INFINITE));
    EXPECT_EQ(next_task->executions.load(), 1);
    EXPECT_EQ(task->executions.load(), 0);
    std::uint32_t wait = 0, running = 0, finished = 0;
    data->list_counts(&wait, &running, &finished);
    EXPECT_EQ(wait, 0u);
}

// ---- The run thread ----

struct t_dispatch_failure_case
{
    const char* label;
    t_kernel_call call;
    std::wstring text;
};

class pll_dispatch_failures : public pll_failures,
                              public ::testing::WithParamInterface<t_dispatch_failure_case>
{
};

TEST_P(pll_dispatch_failures, a_deferred_task_whose_worker_cannot_start_ends_in_state_5)
{
    const t_dispatch_failure_case& c = GetParam();
    oxa::oxa_task_pll__data* data = nullptr;
    const auto manager = make_manager(k_long_settings, &data);

    // A deferred task that keeps the only worker busy: the run and resource threads are up and
    // the idle list is empty, so the next dispatch must make a new worker.
    t_gate release;
    t_gate started;
    const auto blocker = make_task(
        [&](oxa::oxa_task_signals*)
        {
            started.open();
            release.wait();
            return 0u;
        });
    const auto blocking = manager->add_task(blocker.get(), oxa::oxa_task_option_deferred);
    ASSERT_TRUE(started.wait());

    // The run thread dispatches only after the list lock is given up; the failure is armed for
    // the whole process by then, after this thread has made its controller.
    const auto task = make_returning(0);
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
    {
        oxa::oxa_lock_guard list(data->list_lock());
        controller = manager->add_task(task.get(), oxa::oxa_task_option_deferred);
        arm_kernel_fault(c.call,
                         {0, 1, ERROR_NOT_ENOUGH_MEMORY, EAGAIN, t_kernel_fault_scope::process});
    }
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_TRUE(controller->is_completed());
    EXPECT_EQ(task->executions.load(), 0);
    EXPECT_EQ(voka::platform::pending_kernel_call_failures(c.call, t_kernel_fault_scope::process),
              0u);
    const t_raised raised = catch_raised([&] { controller->rethrow_task_error(); });
    EXPECT_EQ(raised.text, c.text);

    // The next deferred task gets a worker.
    const auto next = manager->add_task(task.get(), oxa::oxa_task_option_deferred);
    EXPECT_TRUE(next->wait(INFINITE));
    EXPECT_EQ(next->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions.load(), 1);
    release.open();
    EXPECT_TRUE(blocking->wait(INFINITE));
}

INSTANTIATE_TEST_SUITE_P(
    calls, pll_dispatch_failures,
    ::testing::Values(
        t_dispatch_failure_case{"worker_start_event", t_kernel_call::create_event,
                                event_create_text(L"oxa_task_pll__thread::m_start_event")},
        t_dispatch_failure_case{
            "worker_thread", t_kernel_call::begin_thread,
            thread_create_text(L"Quorlink Task Thread", EAGAIN, ERROR_NOT_ENOUGH_MEMORY)},
        t_dispatch_failure_case{"worker_start_signal", t_kernel_call::set_event,
                                L"[win32] Can't set an event object "
                                L"[oxa_task_pll__thread::m_start_event] to the signaled state."}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- The controller pool ----

class pll_pool_failures : public pll_failures, public ::testing::WithParamInterface<unsigned>
{
};

// Re-initialisation resets the done event, then the cancel event; either failing (message 23)
// frees that controller and the next pooled one is taken.
TEST_P(pll_pool_failures, a_controller_that_cannot_be_reinitialised_is_freed_and_the_next_taken)
{
    oxa::oxa_task_pll__data* data = nullptr;
    const auto manager = make_manager(k_long_settings, &data);
    const auto task = make_returning(0);
    oxa::oxa_task_controller_id older = nullptr;
    oxa::oxa_task_controller_id younger = nullptr;
    {
        const auto first = manager->add_task(task.get(), 0);
        const auto second = manager->add_task(task.get(), 0);
        ASSERT_TRUE(first->wait(INFINITE));
        ASSERT_TRUE(second->wait(INFINITE));
        older = first->get_controller();
        younger = second->get_controller();
    }  // released in reverse order: the first one ends up newest in the pool
    ASSERT_EQ(data->pool_count(), 2u);
    const std::int32_t blocks_pooled = oxa::oxa_raw_memory::live_blocks();

    arm_kernel_fault(t_kernel_call::reset_event, {GetParam(), 1, k_error});
    // The controller released last (the first one) is tried first; the other one is reused.
    const auto controller = manager->add_task(task.get(), 0);
    EXPECT_EQ(controller->get_controller(), younger);
    EXPECT_NE(controller->get_controller(), older);
    EXPECT_EQ(data->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks_pooled - 1) << "one controller freed";
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(::WaitForSingleObject(controller->get_done_event(), 0), WAIT_OBJECT_0);
}

INSTANTIATE_TEST_SUITE_P(events, pll_pool_failures, ::testing::Values(0u, 1u),
                         [](const auto& info)
                         { return std::string(info.param == 0 ? "done_event" : "cancel_event"); });

TEST_F(pll_failures, when_every_pooled_controller_fails_a_new_one_is_made)
{
    oxa::oxa_task_pll__data* data = nullptr;
    const auto manager = make_manager(k_long_settings, &data);
    const auto task = make_returning(0);
    {
        const auto first = manager->add_task(task.get(), 0);
        const auto second = manager->add_task(task.get(), 0);
        ASSERT_TRUE(first->wait(INFINITE));
        ASSERT_TRUE(second->wait(INFINITE));
    }
    ASSERT_EQ(data->pool_count(), 2u);
    const std::int32_t blocks_pooled = oxa::oxa_raw_memory::live_blocks();
    fail_next_kernel_calls(t_kernel_call::reset_event, 2, k_error);
    const auto controller = manager->add_task(task.get(), 0);
    EXPECT_EQ(data->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks_pooled - 1) << "two freed, one made";
    EXPECT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
}

}  // namespace
