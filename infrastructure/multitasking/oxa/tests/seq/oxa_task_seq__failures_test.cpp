// The sequential controller's event failures, provoked with the platform's kernel test hook: a
// new controller whose done or cancel event cannot be created (message 21 to the caller of
// add_task, nothing queued), an event that cannot be reset (message 23), and a pooled controller
// whose re-initialisation fails, which is freed while the next pooled one is taken.
#include "pll/oxa_event.h"
#include "runtime/oxa_error_traits.h"
#include "seq_test_support.h"
#include "voka/platform/kernel_test_hook.h"

namespace seq_test
{
namespace
{

using voka::platform::arm_kernel_fault;
using voka::platform::t_kernel_call;
using voka::platform::t_kernel_fault_guard;

constexpr DWORD k_error = 1450;  // ERROR_NO_SYSTEM_RESOURCES

// What the library raised: the first record's message id, kind and code, its English text and
// the exception's narrow text.
struct t_raised
{
    std::int32_t message_id = -1;
    std::int32_t kind = 0;
    std::int32_t code = 0;
    std::wstring text;
    std::string narrow;
};

template <typename t_action>
t_raised catch_raised(t_action&& action)
{
    t_raised raised;
    try
    {
        action();
        ADD_FAILURE() << "nothing was raised";
    }
    catch (const oxa::t_oxa_exception& error)
    {
        const auto record = error.get_record(0);
        if (auto* const own = dynamic_cast<oxa::t_oxa_err_record*>(record.get()))
            raised.message_id = own->data().message_id;
        raised.kind = record->get_error_kind();
        raised.code = record->get_error_code();
        raised.text = english_description(error);
        raised.narrow = error.what();
    }
    return raised;
}

class OxaSeqFailuresTest : public seq_fixture
{
protected:
    void TearDown() override
    {
        voka::platform::clear_kernel_call_failures();
        seq_fixture::TearDown();
    }

    t_kernel_fault_guard m_guard;
};

struct t_event_case
{
    const char* label;
    unsigned skip;  // the done event is made (and reset) first, then the cancel event
    const char* name;
};

const t_event_case k_event_cases[] = {
    {"done_event", 0, "oxa_task_seq__controller_impl::m_done_event"},
    {"cancel_event", 1, "oxa_task_seq__controller_impl::m_cancel_event"},
};

std::string event_label(const ::testing::TestParamInfo<t_event_case>& info)
{
    return info.param.label;
}

std::wstring wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class OxaSeqEventCreationTest : public OxaSeqFailuresTest,
                                public ::testing::WithParamInterface<t_event_case>
{
};

TEST_P(OxaSeqEventCreationTest, AddTaskRaises21AndQueuesNothing)
{
    const t_event_case& c = GetParam();
    const auto manager = make_manager();
    const auto task = make_task(L"never");
    arm_kernel_fault(t_kernel_call::create_event, {c.skip, 1, k_error});
    const t_raised raised = catch_raised([&] { manager->add_task(task.get(), 0); });
    EXPECT_EQ(raised.message_id, 21);
    EXPECT_EQ(raised.kind, 1);
    EXPECT_EQ(raised.code, static_cast<std::int32_t>(k_error));
    EXPECT_EQ(raised.text, L"[win32] Fail at creation of event object [" + wide(c.name) + L"].");
    EXPECT_EQ(raised.narrow, std::string("[voka.infrastructure.multitasking.oxa]:[win32] Fail at "
                                         "creation of event object [") +
                                 c.name + "].");
    EXPECT_EQ(manager->queue_count(), 0u);
    EXPECT_EQ(m_connector->requests(), 0) << "the resource task was not started";
    EXPECT_EQ(task->executions(), 0);

    // The manager works on.
    const seq_controller_ptr controller = manager->add_task(task.get(), 0);
    controller->wait();
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions(), 1);
}

INSTANTIATE_TEST_SUITE_P(Events, OxaSeqEventCreationTest, ::testing::ValuesIn(k_event_cases),
                         event_label);

TEST_F(OxaSeqFailuresTest, AnEventThatCannotBeResetRaises23WithItsName)
{
    static constexpr wchar_t k_name[] = L"oxa_task_seq__controller_impl::m_cancel_event";
    oxa::oxa_event event(true, false, &oxa::oxa_static_string<k_name>);
    event.set();
    arm_kernel_fault(t_kernel_call::reset_event, {0, 1, ERROR_ACCESS_DENIED});
    const t_raised raised = catch_raised([&] { event.reset_checked(); });
    EXPECT_EQ(raised.message_id, 23);
    EXPECT_EQ(raised.kind, 1);
    EXPECT_EQ(raised.code, static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(raised.text, L"[win32] Can't set an event object "
                           L"[oxa_task_seq__controller_impl::m_cancel_event] to the nonsignaled "
                           L"state.");
    EXPECT_EQ(WaitForSingleObject(event.handle(), 0), WAIT_OBJECT_0) << "still signalled";
    event.reset_checked();
    EXPECT_EQ(WaitForSingleObject(event.handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Puts two controllers into the manager's pool while a first task keeps the resource task
// running; the one released last is first in the pool.
struct t_pooled_pair
{
    oxa::oxa_task_controller_id released_first = nullptr;
    oxa::oxa_task_controller_id released_last = nullptr;
};

class OxaSeqPoolTest : public OxaSeqFailuresTest
{
protected:
    void SetUp() override
    {
        OxaSeqFailuresTest::SetUp();
        m_manager = make_manager();
        m_blocker = make_task(L"blocker",
                              [this](oxa::oxa_task_signals*)
                              {
                                  m_executing.set();
                                  m_release.wait();
                                  return 0u;
                              });
        m_blocking = m_manager->add_task(m_blocker.get(), 0);
        ASSERT_TRUE(m_executing.wait(20000));
        const auto queued = make_task(L"queued");
        seq_controller_ptr first = m_manager->add_task(queued.get(), 0);
        seq_controller_ptr last = m_manager->add_task(queued.get(), 0);
        m_pooled.released_first = first->get_controller();
        m_pooled.released_last = last->get_controller();
        first.reset();
        last.reset();
        ASSERT_EQ(m_manager->pool_count(), 2u);
        EXPECT_EQ(queued->executions(), 0);
    }

    void TearDown() override
    {
        m_release.set();
        if (m_blocking)
            m_blocking->wait();
        m_blocking.reset();
        m_manager.reset();
        OxaSeqFailuresTest::TearDown();
    }

    seq_manager_ptr m_manager;
    t_smart_object_ptr<t_probe_task> m_blocker;
    seq_controller_ptr m_blocking;
    t_test_event m_executing;
    t_test_event m_release;
    t_pooled_pair m_pooled;
};

class OxaSeqReinitialisationTest : public OxaSeqPoolTest,
                                   public ::testing::WithParamInterface<t_event_case>
{
};

TEST_P(OxaSeqReinitialisationTest, APooledControllerThatFailsIsFreedAndTheNextTaken)
{
    const std::int32_t blocks_pooled = oxa::oxa_raw_memory::live_blocks();
    arm_kernel_fault(t_kernel_call::reset_event, {GetParam().skip, 1, k_error});
    const auto task = make_task(L"next");
    const seq_controller_ptr controller = m_manager->add_task(task.get(), 0);
    EXPECT_EQ(controller->get_controller(), m_pooled.released_first)
        << "the first in the pool failed; the next one was re-initialised";
    EXPECT_EQ(m_manager->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks_pooled - 1) << "one controller freed";
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_wait);
    EXPECT_EQ(WaitForSingleObject(controller->get_done_event(), 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    m_release.set();
    controller->wait();
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions(), 1);
}

INSTANTIATE_TEST_SUITE_P(Events, OxaSeqReinitialisationTest, ::testing::ValuesIn(k_event_cases),
                         event_label);

TEST_F(OxaSeqPoolTest, WhenEveryPooledControllerFailsANewOneIsMade)
{
    const std::int32_t blocks_pooled = oxa::oxa_raw_memory::live_blocks();
    arm_kernel_fault(t_kernel_call::reset_event, {0, 2, k_error});
    const auto task = make_task(L"next");
    const seq_controller_ptr controller = m_manager->add_task(task.get(), 0);
    EXPECT_EQ(m_manager->pool_count(), 0u);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), blocks_pooled - 1) << "two freed, one made";
    m_release.set();
    controller->wait();
    EXPECT_EQ(controller->get_state(), oxa::oxa_task_state_completed);
    EXPECT_EQ(task->executions(), 1);
}

}  // namespace
}  // namespace seq_test
