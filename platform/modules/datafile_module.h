// Modules loaded as data files (LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE): the registry of
// their handles, through which FreeLibrary frees them.
#pragma once

#include "voka/win32.h"

namespace voka::platform
{

// LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE, for a non-null `file_name`: the module's handle,
// or NULL with the last error (see voka/posix/modules.h).
HMODULE load_datafile_module(LPCWSTR file_name) noexcept;

// Frees `module` if it is a data-file module: unregisters its resources and drops the mapping
// (once no lookup in progress holds it). Returns false, touching nothing, for any other handle.
bool try_free_datafile_module(HMODULE module) noexcept;

}  // namespace voka::platform
