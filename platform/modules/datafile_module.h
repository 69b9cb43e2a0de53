// Modules loaded as data files (LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE): the registry of
// their handles, through which FreeLibrary frees them.
#pragma once

#include "voka/win32.h"

namespace voka::platform
{

// Frees `module` if it is a data-file module: unregisters its resources and drops the mapping
// (once no lookup in progress holds it). Returns false, touching nothing, for any other handle.
bool try_free_datafile_module(HMODULE module) noexcept;

}  // namespace voka::platform
