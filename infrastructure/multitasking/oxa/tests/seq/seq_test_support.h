// What the sequential-manager tests share: probe tasks, a connector over a real parallel manager
// that records every run it is asked to start, the fixture that checks the private memory comes
// back to where it started, and readers for the library's error records.
#pragma once

#include "pll/oxa_task_pll__data.h"
#include "pll/oxa_task_pll__manager_impl.h"
#include "runtime/oxa_raw_memory.h"
#include "seq/oxa_task_seq__manager_impl.h"
#include "voka/infrastructure/core/err_record.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace seq_test
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

using seq_manager_ptr = t_smart_object_ptr<oxa::oxa_task_seq__manager_impl>;
using seq_controller_ptr = t_smart_object_ptr<oxa::oxa_task_seq__controller>;
using pll_controller_ptr = t_smart_object_ptr<oxa::oxa_task_pll__controller>;

// A manual-reset event owned by the test.
class t_test_event
{
public:
    t_test_event() : m_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~t_test_event() { CloseHandle(m_handle); }
    t_test_event(const t_test_event&) = delete;
    t_test_event& operator=(const t_test_event&) = delete;

    void set() { SetEvent(m_handle); }
    // True when signalled within `milliseconds`.
    bool wait(DWORD milliseconds = INFINITE) const
    {
        return WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0;
    }
    HANDLE handle() const { return m_handle; }

private:
    HANDLE m_handle;
};

// A task whose execute runs `body` (0 when there is none) and counts its calls.
class t_probe_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    using body_type = std::function<std::uint32_t(oxa::oxa_task_signals*)>;

    explicit t_probe_task(std::wstring name = L"probe", body_type body = {})
        : m_name(std::move(name)), m_body(std::move(body))
    {
    }

    const wchar_t* get_name() override { return m_name.c_str(); }
    std::uint32_t execute(oxa::oxa_task_signals* signals) override
    {
        const int call = ++m_executions;
        (void)call;
        return m_body ? m_body(signals) : 0;
    }
    void on_cancel() override { ++m_cancels; }

    int executions() const { return m_executions.load(); }
    int cancels() const { return m_cancels.load(); }

private:
    std::wstring m_name;
    body_type m_body;
    std::atomic<int> m_executions{0};
    std::atomic<int> m_cancels{0};
};

inline t_smart_object_ptr<t_probe_task> make_task(std::wstring name = L"probe",
                                                  t_probe_task::body_type body = {})
{
    return t_smart_object_ptr<t_probe_task>(new t_probe_task(std::move(name), std::move(body)));
}

// What the recording manager submits in place of a task: it passes execute on and keeps a copy of
// the name. Its on_cancel does nothing (as the resource task's does), so that a run the test still
// holds may be released after the owner of the real task is gone.
class t_forwarding_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    explicit t_forwarding_task(oxa::oxa_task* target) : m_target(target), m_name(target->get_name())
    {
    }

    const wchar_t* get_name() override { return m_name.c_str(); }
    std::uint32_t execute(oxa::oxa_task_signals* signals) override
    {
        return m_target->execute(signals);
    }
    void on_cancel() override {}

private:
    oxa::oxa_task* m_target;
    std::wstring m_name;
};

// A parallel manager that passes every task to a real one and keeps the controllers it returns
// (the runs of a sequential manager's resource task).
class t_recording_pll_manager
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager>
{
public:
    explicit t_recording_pll_manager(oxa::oxa_task_pll__manager* inner) : m_inner(inner) {}

    t_smart_object_ptr<oxa::oxa_task_pll__controller> add_task(oxa::oxa_task* task,
                                                               std::uint32_t options) override
    {
        const t_smart_object_ptr<t_forwarding_task> forwarding(new t_forwarding_task(task));
        pll_controller_ptr run = m_inner->add_task(forwarding.get(), options);
        const std::lock_guard<std::mutex> lock(m_lock);
        m_runs.push_back(run);
        m_options.push_back(options);
        return run;
    }

    std::size_t run_count()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_runs.size();
    }
    pll_controller_ptr run(std::size_t index)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_runs.at(index);
    }
    std::vector<std::uint32_t> options()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_options;
    }
    void forget_runs()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_runs.clear();
    }

private:
    t_smart_object_ptr<oxa::oxa_task_pll__manager> m_inner;
    std::mutex m_lock;
    std::vector<pll_controller_ptr> m_runs;
    std::vector<std::uint32_t> m_options;
};

// The client's connector: hands out the recording manager and counts the requests.
class t_test_connector
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
{
public:
    explicit t_test_connector(t_recording_pll_manager* manager) : m_manager(manager) {}

    t_smart_object_ptr<oxa::oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>* out) override
    {
        ++m_requests;
        *out = m_manager.get();
        return out;
    }

    int requests() const { return m_requests.load(); }

private:
    t_smart_object_ptr<t_recording_pll_manager> m_manager;
    std::atomic<int> m_requests{0};
};

// A connector that hands out the parallel manager itself.
class t_plain_connector
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
{
public:
    explicit t_plain_connector(oxa::oxa_task_pll__manager* manager) : m_manager(manager) {}

    t_smart_object_ptr<oxa::oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>* out) override
    {
        *out = m_manager.get();
        return out;
    }

private:
    t_smart_object_ptr<oxa::oxa_task_pll__manager> m_manager;
};

// The parallel side ticks every 20 ms, so that a worker that died is noticed at once, and keeps
// idle workers and pooled controllers for the whole test, so that the live-block count moves only
// with what a test does.
inline constexpr oxa::oxa_task_pll__settings k_fast_pll_settings{1000, 1000, 20, 60000};

// A real parallel manager with private state and short times.
inline t_smart_object_ptr<oxa::oxa_task_pll__manager> make_fast_pll_manager()
{
    const t_smart_object_ptr<oxa::oxa_task_pll__data> data(
        new oxa::oxa_task_pll__data(k_fast_pll_settings));
    return t_smart_object_ptr<oxa::oxa_task_pll__manager>(
        new oxa::oxa_task_pll__manager_impl(data.get()));
}

// Pass wait and idle lifetime of the managers under test: 10 ms passes, pooled controllers freed
// after 3 passes.
inline constexpr std::uint32_t k_test_pass_ms = 10;
inline constexpr std::uint32_t k_test_idle_lifetime_ms = 3000;

// Every test starts and ends with the same number of live blocks of the private memory.
class seq_fixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_blocks_at_start = oxa::oxa_raw_memory::live_blocks();
        m_pll = new t_recording_pll_manager(make_fast_pll_manager().get());
        m_connector = new t_test_connector(m_pll.get());
    }

    void TearDown() override
    {
        m_pll->forget_runs();
        m_connector.reset();
        m_pll.reset();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);
    }

    seq_manager_ptr make_manager(std::uint32_t idle_lifetime_ms = k_test_idle_lifetime_ms,
                                 std::uint32_t pass_ms = k_test_pass_ms)
    {
        return seq_manager_ptr(
            new oxa::oxa_task_seq__manager_impl(m_connector.get(), idle_lifetime_ms, pass_ms));
    }

    std::int32_t m_blocks_at_start = 0;
    t_smart_object_ptr<t_recording_pll_manager> m_pll;
    t_smart_object_ptr<t_test_connector> m_connector;
};

// Waits (bounded, 20 s) until `condition` holds; false when it never did.
inline bool eventually(const std::function<bool()>& condition)
{
    for (int round = 0; round < 2000; ++round)
    {
        if (condition())
            return true;
        Sleep(10);
    }
    return condition();
}

// The English text of the first error record an exception of the library carries.
inline std::wstring english_description(const std::exception& error)
{
    const auto* const records =
        dynamic_cast<const voka::infrastructure::core::structure::t_err_records_r*>(&error);
    if (records == nullptr || records->get_record_count() < 1)
        return L"<no record>";
    std::wstring text;
    records->get_record(0)->get_description(0, 0x0009, nullptr, &text);
    return text;
}

// The English text of what rethrow_task_error raises; empty when it returns normally.
template <typename t_controller>
std::wstring rethrown_text(t_controller& controller)
{
    try
    {
        controller.rethrow_task_error();
    }
    catch (const std::exception& error)
    {
        return english_description(error);
    }
    return L"";
}

// A failure of a task's own type.
struct t_task_failure
{
    int value;
};

}  // namespace seq_test
