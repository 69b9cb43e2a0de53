// The functions the library imports from the COM gate at load time (COM start and end on worker
// threads, clearing a thread's COM error object), as one table.
#pragma once

#include "voka/win32.h"

namespace voka::infrastructure::multitasking::oxa
{

struct oxa_gate_import_table
{
    HRESULT (*co_initialize_ex)(LPVOID reserved, DWORD co_init);
    void (*co_uninitialize)();
    HRESULT (*set_error_info)(ULONG reserved, IErrorInfo* error_info);
};

// The gate's VOKA_OS__CoInitializeEx, VOKA_OS__CoUninitialize and VOKA_OS__SetErrorInfo.
const oxa_gate_import_table& oxa_gate_imports() noexcept;

}  // namespace voka::infrastructure::multitasking::oxa
