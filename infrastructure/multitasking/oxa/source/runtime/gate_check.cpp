// The gate check of the module start and the library's own VOKA_OS__GetComApiID.
#include "runtime/gate_check.h"

#include "runtime/guid_text.h"
#include "runtime/oxa_module.h"
#include "runtime/oxa_raw_memory.h"

#include <cstring>
#include <sstream>
#include <string>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

// The gate's file name as the platform's loader names the module.
#ifdef _WIN32
constexpr const wchar_t* k_gate_modules[] = {L"voka.infrastructure.os.windows.ole32-v01_w32.dll"};
#else
constexpr const wchar_t* k_gate_modules[] = {L"libvoka.infrastructure.os.windows.ole32-v01_w32.so"};
#endif

using t_get_com_api_id = BOOL (*)(GUID*);

void trace(const std::wostringstream& message)
{
    const std::wstring text = message.str();
    oxa_trace(text.c_str());
}

}  // namespace

std::span<const wchar_t* const> oxa_gate_module_names() noexcept
{
    return k_gate_modules;
}

bool oxa_check_gates(std::span<const wchar_t* const> names, GUID& bound)
{
    GUID expected = GUID_NULL;
    for (std::size_t index = 0; index < names.size(); ++index)
    {
        const wchar_t* const name = names[index];
        std::wostringstream message;
        const HMODULE module = ::GetModuleHandleW(name);
        if (module == nullptr)
        {
            message << L"[" << name << L"] was not found!";
            trace(message);
            return false;
        }
        // Through void (*)(): the SDK's FARPROC returns INT_PTR, and only a cast from the generic
        // function type is free of -Wcast-function-type.
        const auto get_com_api_id = reinterpret_cast<t_get_com_api_id>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "VOKA_OS__GetComApiID")));
        if (get_com_api_id == nullptr)
        {
            message << L"[" << name << L"] doesn't export VOKA_OS__GetComApiID function!";
            trace(message);
            return false;
        }
        GUID answered = GUID_NULL;
        if (!get_com_api_id(&answered))
        {
            message << L"[" << name << L"].[VOKA_OS__GetComApiID] returns FALSE!";
            trace(message);
            return false;
        }
        if (index == 0)
        {
            expected = answered;
        }
        else if (std::memcmp(&answered, &expected, sizeof(GUID)) != 0)
        {
            message << L"[" << name << L"] provides unexpected API:"
                    << oxa_guid_registry_text(answered) << L". Expected API:"
                    << oxa_guid_registry_text(expected);
            trace(message);
            return false;
        }
    }
    bound = expected;
    return true;
}

}  // namespace voka::infrastructure::multitasking::oxa

extern "C" OXA_API BOOL VOKA_OS__GetComApiID(GUID* out)
{
    if (out == nullptr)
        return FALSE;
    // Written once by the module start, before any client can call.
    const auto* const registry = voka::infrastructure::multitasking::oxa::oxa_registry();
    const GUID bound = registry != nullptr ? registry->api_id : GUID_NULL;
    std::memcpy(out, &bound, sizeof(GUID));
    return TRUE;
}
