// A task object embedded by value in its owner: a fixed name and two bound callables, one for
// execute and one for on_cancel. Counting it does nothing; the owner's lifetime governs it.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

#include <cstddef>
#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_std__static : public oxa_task
{
public:
    using execute_callable = oxa_bound_callable<std::uint32_t(oxa_task_signals*)>;
    using cancel_callable = oxa_bound_callable<void()>;

    // Copies at most 63 characters of `name` (null is the empty name).
    oxa_task_std__static(const wchar_t* name, const execute_callable& execute,
                         const cancel_callable& cancel = cancel_callable()) noexcept
        : m_execute(execute), m_cancel(cancel)
    {
        std::size_t length = 0;
        if (name != nullptr)
        {
            for (; length < k_name_capacity - 1 && name[length] != L'\0'; ++length)
                m_name[length] = name[length];
        }
        m_name[length] = L'\0';
    }

    oxa_task_std__static(const oxa_task_std__static&) = delete;
    oxa_task_std__static& operator=(const oxa_task_std__static&) = delete;
    ~oxa_task_std__static() = default;

    void add_ref() override {}
    void release() override {}
    const wchar_t* get_name() override { return m_name; }
    std::uint32_t execute(oxa_task_signals* signals) override { return m_execute(signals); }
    // Does nothing while the cancel callable is empty.
    void on_cancel() override
    {
        if (m_cancel.is_set())
            m_cancel();
    }

private:
    static constexpr std::size_t k_name_capacity = 64;

    execute_callable m_execute;
    cancel_callable m_cancel;
    wchar_t m_name[k_name_capacity] = {};
};

}  // namespace voka::infrastructure::multitasking::oxa
