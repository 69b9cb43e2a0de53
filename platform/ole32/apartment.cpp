// CoInitialize, CoInitializeEx, CoUninitialize, OleInitialize and OleUninitialize: per-thread
// apartment membership, counted as OLE32 counts it.
#include "thread_state.h"

using voka::platform::ole32::current_thread_state;
using voka::platform::ole32::t_apartment;

namespace
{

constexpr DWORD k_known_co_init_flags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

}  // namespace

HRESULT CoInitializeEx(LPVOID reserved, DWORD co_init)
{
    if (reserved != nullptr || (co_init & ~k_known_co_init_flags) != 0)
        return E_INVALIDARG;
    const t_apartment wanted = (co_init & COINIT_APARTMENTTHREADED) != 0
                                   ? t_apartment::single_threaded
                                   : t_apartment::multithreaded;
    auto& state = current_thread_state();
    if (state.apartment == t_apartment::none)
    {
        state.apartment = wanted;
        state.apartment_count = 1;
        return S_OK;
    }
    if (state.apartment != wanted)
        return RPC_E_CHANGED_MODE;  // counts nothing: the caller must not uninitialize
    ++state.apartment_count;
    return S_FALSE;
}

HRESULT CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    auto& state = current_thread_state();
    if (state.apartment_count == 0)
        return;
    if (--state.apartment_count == 0)
        state.apartment = t_apartment::none;
}

HRESULT OleInitialize(LPVOID reserved)
{
    if (reserved != nullptr)
        return E_INVALIDARG;
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result))
        ++current_thread_state().ole_count;
    return result;
}

void OleUninitialize()
{
    auto& state = current_thread_state();
    if (state.ole_count == 0)
        return;
    --state.ole_count;
    CoUninitialize();
}
