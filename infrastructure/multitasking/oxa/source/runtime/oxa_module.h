// The task library's process-wide state: its own module handle and the manager registry, made by
// the module start and freed by the module stop.
#pragma once

#include "voka/infrastructure/core/smart_interface.h"
#include "voka/win32.h"

#include <atomic>
#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

// One block of the private memory. The shared data is held as a counted t_smart_interface
// reference; its owner (the parallel factory) knows its real type.
struct oxa_manager_registry
{
    std::atomic<std::int32_t> live_managers{0};
    CRITICAL_SECTION lock{};  // guards shared_data
    voka::infrastructure::core::structure::t_smart_object_ptr<
        voka::infrastructure::core::structure::t_smart_interface>
        shared_data;
    GUID api_id{};  // GUID_NULL until the gate check has passed
};

// The library's module handle (its message tables are read from it); null before the start.
HINSTANCE oxa_module_handle() noexcept;

// The manager registry, or null while the library is not started.
oxa_manager_registry* oxa_registry() noexcept;

// The module start and stop the entry point runs; start returns false when the library must not
// load (the stop has run by then). Stop may run more than once.
bool oxa_module_start(HINSTANCE instance) noexcept;
void oxa_module_stop() noexcept;

}  // namespace voka::infrastructure::multitasking::oxa
