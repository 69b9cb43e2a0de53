// The library's imports from the COM gate. The table refers to the three functions whichever code
// of the library calls them, so the gate is always a load-time dependency of the library (loading
// the library loads the gate), as the import table of the Windows module makes it.
#include "runtime/gate_imports.h"

#include "voka/infrastructure/os/windows/ole32/gate.h"

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

[[gnu::used]] constinit const oxa_gate_import_table k_gate_imports{
    &VOKA_OS__CoInitializeEx, &VOKA_OS__CoUninitialize, &VOKA_OS__SetErrorInfo};

}  // namespace

const oxa_gate_import_table& oxa_gate_imports() noexcept
{
    return k_gate_imports;
}

}  // namespace voka::infrastructure::multitasking::oxa
