// The check of the COM gate at load: every listed gate module must be in the process, export
// VOKA_OS__GetComApiID and answer it, and all must answer the same identifier. Failures are traced
// ("OXA_MT: ..."), never thrown.
#pragma once

#include "voka/infrastructure/multitasking/oxa/oxa_api.h"
#include "voka/win32.h"

#include <span>

namespace voka::infrastructure::multitasking::oxa
{

// The file names of the gate modules the library checks: the one COM gate.
std::span<const wchar_t* const> oxa_gate_module_names() noexcept;

// Checks `names` in order; on success stores the identifier of the first in `bound` and returns
// true. On a failure traces its line and returns false, leaving `bound` as it was. May throw
// (no memory for a message); the module start turns that into a failed load.
bool oxa_check_gates(std::span<const wchar_t* const> names, GUID& bound);

}  // namespace voka::infrastructure::multitasking::oxa

// The identifier of the gate API the library was bound to at load: FALSE for a null `out`,
// otherwise its 16 bytes (GUID_NULL while the library is not started) and TRUE.
extern "C" OXA_API BOOL VOKA_OS__GetComApiID(GUID* out);
