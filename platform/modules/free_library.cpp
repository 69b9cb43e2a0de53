// FreeLibrary: hands the module to the loader that made it.
#include "datafile_module.h"
#include "error_map.h"
#include "library_module.h"

BOOL WINAPI FreeLibrary(HMODULE module)
{
    const DWORD saved_error = ::GetLastError();
    if (!voka::platform::try_free_datafile_module(module) &&
        !voka::platform::try_free_library_module(module))
        return voka::platform::fail_with(ERROR_MOD_NOT_FOUND, FALSE);
    ::SetLastError(saved_error);
    return TRUE;
}
