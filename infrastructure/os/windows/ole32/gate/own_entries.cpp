// The gate's entries with code of their own: the API identifier and the task allocator entries.
// The registry storage service's entry is in storage/service_entry.cpp.
#include "voka/infrastructure/os/windows/ole32/gate.h"

#include <cstring>

namespace
{

// {A7602B24-06D8-4111-B5A1-DAC303A5CDB1}: identifies the gate's API, the set of its exports.
constexpr GUID k_com_api_id = {
    0xA7602B24, 0x06D8, 0x4111, {0xB5, 0xA1, 0xDA, 0xC3, 0x03, 0xA5, 0xCD, 0xB1}};

}  // namespace

BOOL VOKA_OS__GetComApiID(GUID* out)
{
    if (out == nullptr)
        return FALSE;
    std::memcpy(out, &k_com_api_id, sizeof k_com_api_id);
    return TRUE;
}

LPVOID VOKA_OS__CoTaskMemAlloc(SIZE_T bytes)
{
    return CoTaskMemAlloc(bytes);
}

void VOKA_OS__CoTaskMemFree(LPVOID block)
{
    CoTaskMemFree(block);
}
