// The client-visible parallel manager: a thin counted object that points to its data object.
// oxa_task_pll__manager_base counts the live managers of the process in the manager registry;
// when the last one goes, the registry drops its reference to the shared data.
#pragma once

#include "pll/oxa_task_pll__data.h"
#include "runtime/oxa_raw_memory.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"

namespace voka::infrastructure::multitasking::oxa
{

class oxa_task_pll__manager_base
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<oxa_task_pll__manager,
                                                                         oxa_allocator>
{
public:
    // Counts one more live manager.
    oxa_task_pll__manager_base() noexcept;
    // Counts one less; the last one drops the registry's shared data.
    ~oxa_task_pll__manager_base() override;
};

class oxa_task_pll__manager_impl final : public oxa_task_pll__manager_base
{
public:
    // A manager without data yet (set_data gives it one).
    oxa_task_pll__manager_impl() noexcept = default;
    explicit oxa_task_pll__manager_impl(oxa_task_pll__data* data) : m_data(data) {}
    ~oxa_task_pll__manager_impl() override { m_data.reset(); }

    t_smart_object_ptr<oxa_task_pll__controller> add_task(oxa_task* task,
                                                          std::uint32_t options) override;
    void on_final_release() override {}

    void set_data(oxa_task_pll__data* data) { m_data = data; }
    oxa_task_pll__data* data() const noexcept { return m_data.get(); }

private:
    t_smart_object_ptr<oxa_task_pll__data> m_data;
};

}  // namespace voka::infrastructure::multitasking::oxa
