// Helpers of the parallel engine's tests: tasks built from lambdas, gates that hold a task until
// the test lets it go, short time settings, a reader of the library's raised errors, and a
// bounded poll for conditions that background threads bring about.
#pragma once

#include "pll/oxa_task_pll__data.h"
#include "pll/oxa_task_pll__manager_impl.h"
#include "runtime/oxa_error_traits.h"
#include "runtime/oxa_raw_memory.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace oxa_pll_test
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::t_smart_object_ptr;

// Settings that let service threads and aging act within a fraction of a second: run wait
// 150 ms, resource idle limit 200 ms, tick 20 ms, idle lifetime 60 ms (3 ticks).
inline constexpr oxa::oxa_task_pll__settings k_short_settings{150, 200, 20, 60};

// Settings under which nothing ages or ends during a test.
inline constexpr oxa::oxa_task_pll__settings k_long_settings{600000, 600000, 600000, 600000};

// A private manager on a data object with the given settings; `data_out` sees the data.
inline t_smart_object_ptr<oxa::oxa_task_pll__manager_impl>
make_manager(const oxa::oxa_task_pll__settings& settings,
             oxa::oxa_task_pll__data** data_out = nullptr)
{
    const t_smart_object_ptr<oxa::oxa_task_pll__data> data(new oxa::oxa_task_pll__data(settings));
    if (data_out != nullptr)
        *data_out = data.get();
    return t_smart_object_ptr<oxa::oxa_task_pll__manager_impl>(
        new oxa::oxa_task_pll__manager_impl(data.get()));
}

// A manual-reset event owned for one test.
class t_gate
{
public:
    t_gate() : m_handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~t_gate() { ::CloseHandle(m_handle); }
    t_gate(const t_gate&) = delete;
    t_gate& operator=(const t_gate&) = delete;

    void open() { ::SetEvent(m_handle); }
    // Waits at most `milliseconds` (a bound against hangs, not a timing check).
    bool wait(DWORD milliseconds = 30000) const
    {
        return ::WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0;
    }
    HANDLE handle() const { return m_handle; }

private:
    HANDLE m_handle;
};

// A client task whose work is a function; counts its executions and cancel notifications.
class t_fn_task final
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    using body_type = std::function<std::uint32_t(oxa::oxa_task_signals*)>;

    explicit t_fn_task(body_type body, std::wstring name = L"test task",
                       std::function<void()> on_cancel = {})
        : m_body(std::move(body)), m_name(std::move(name)), m_on_cancel(std::move(on_cancel))
    {
    }

    const wchar_t* get_name() override { return m_name.c_str(); }
    std::uint32_t execute(oxa::oxa_task_signals* signals) override
    {
        executions.fetch_add(1);
        last_thread.store(::GetCurrentThreadId());
        return m_body(signals);
    }
    void on_cancel() override
    {
        cancels.fetch_add(1);
        if (m_on_cancel)
            m_on_cancel();
    }

    std::atomic<int> executions{0};
    std::atomic<int> cancels{0};
    std::atomic<DWORD> last_thread{0};

private:
    body_type m_body;
    std::wstring m_name;
    std::function<void()> m_on_cancel;
};

inline t_smart_object_ptr<t_fn_task> make_task(t_fn_task::body_type body,
                                               std::wstring name = L"test task",
                                               std::function<void()> on_cancel = {})
{
    return t_smart_object_ptr<t_fn_task>(
        new t_fn_task(std::move(body), std::move(name), std::move(on_cancel)));
}

// A task returning `result` at once.
inline t_smart_object_ptr<t_fn_task> make_returning(std::uint32_t result)
{
    return make_task([result](oxa::oxa_task_signals*) { return result; });
}

// What the library raised: the first record's message id, kind, code and English text.
struct t_raised
{
    std::int32_t message_id = -1;
    std::int32_t kind = 0;
    std::int32_t code = 0;
    std::wstring text;
};

inline t_raised raised_of(const oxa::t_oxa_exception& error)
{
    t_raised raised;
    const auto record = error.get_record(0);
    if (auto* const own = dynamic_cast<oxa::t_oxa_err_record*>(record.get()))
        raised.message_id = own->data().message_id;
    raised.kind = record->get_error_kind();
    raised.code = record->get_error_code();
    record->get_description(0, 0x0009, nullptr, &raised.text);
    return raised;
}

// Runs `action` and returns what it raised; a test failure when it raised nothing of ours.
template <typename t_action>
t_raised catch_raised(t_action&& action)
{
    try
    {
        action();
    }
    catch (const oxa::t_oxa_exception& error)
    {
        return raised_of(error);
    }
    ADD_FAILURE() << "no error of the library was raised";
    return {};
}

// Polls `condition` until it holds, for at most about 20 s (a bound against hangs).
template <typename t_condition>
bool eventually(t_condition&& condition)
{
    for (int i = 0; i < 4000; ++i)
    {
        if (condition())
            return true;
        ::Sleep(5);
    }
    return condition();
}

}  // namespace oxa_pll_test
