// Modules loaded to run (LoadLibraryW, LoadLibraryExW with flags 0): shared objects with an entry
// point, counted per module; FreeLibrary reaches them through this header.
#pragma once

#include "voka/win32.h"

namespace voka::platform
{

// LoadLibraryW for a non-null `file_name`: the module's handle, or NULL with the last error (see
// voka/posix/modules.h).
HMODULE load_library_module(LPCWSTR file_name) noexcept;

// Takes one off the load count of `module` if it is a module loaded to run; the last one calls
// its entry point with DLL_PROCESS_DETACH and unloads it. Returns false, touching nothing, for
// any other handle.
bool try_free_library_module(HMODULE module) noexcept;

}  // namespace voka::platform
