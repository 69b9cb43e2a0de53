// LoadLibraryExW: hands the file to the loader of the mode the flags ask for.
#include "datafile_module.h"
#include "error_map.h"
#include "library_module.h"

HMODULE WINAPI LoadLibraryExW(LPCWSTR file_name, HANDLE file, DWORD flags)
{
    using namespace voka::platform;
    if (file_name == nullptr || file != nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, HMODULE{});
    // The other LOAD_LIBRARY_* modes are outside the subset.
    if (flags == 0)
        return load_library_module(file_name);
    if (flags != LOAD_LIBRARY_AS_DATAFILE)
        return fail_with(ERROR_NOT_SUPPORTED, HMODULE{});
    return load_datafile_module(file_name);
}
