// A stand-in for the COM gate with the gate's imported functions and a faulty identifier check,
// chosen by VOKA_STAND_IN_GATE_KIND: 1 no VOKA_OS__GetComApiID export, 2 an export that answers
// FALSE, 3 an export that answers another identifier.
#include "voka/win32.h"

#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))

STAND_IN_EXPORT HRESULT VOKA_OS__CoInitializeEx(LPVOID, DWORD)
{
    return E_NOTIMPL;
}

STAND_IN_EXPORT void VOKA_OS__CoUninitialize() {}

STAND_IN_EXPORT HRESULT VOKA_OS__SetErrorInfo(ULONG, IErrorInfo*)
{
    return E_NOTIMPL;
}

#if VOKA_STAND_IN_GATE_KIND == 2
STAND_IN_EXPORT BOOL VOKA_OS__GetComApiID(GUID*)
{
    return FALSE;
}
#elif VOKA_STAND_IN_GATE_KIND == 3
// {0123ABCD-4567-89EF-0011-2233445566FF}
STAND_IN_EXPORT BOOL VOKA_OS__GetComApiID(GUID* out)
{
    if (out == nullptr)
        return FALSE;
    *out = GUID{0x0123ABCD, 0x4567, 0x89EF, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF}};
    return TRUE;
}
#endif
