// The per-thread last-error value.
#include "voka/win32.h"

namespace
{
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError()
{
    return t_last_error;
}

void WINAPI SetLastError(DWORD error_code)
{
    t_last_error = error_code;
}
