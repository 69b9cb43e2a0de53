// The registry form of a GUID.
#include "runtime/guid_text.h"

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

void append_hex(std::wstring& text, std::uint32_t value, int digits)
{
    constexpr wchar_t k_digits[] = L"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += k_digits[(value >> shift) & 0xF];
}

}  // namespace

std::wstring oxa_guid_registry_text(const GUID& guid)
{
    std::wstring text;
    text.reserve(38);
    text += L'{';
    append_hex(text, guid.Data1, 8);
    text += L'-';
    append_hex(text, guid.Data2, 4);
    text += L'-';
    append_hex(text, guid.Data3, 4);
    text += L'-';
    for (int index = 0; index < 8; ++index)
    {
        if (index == 2)
            text += L'-';
        append_hex(text, guid.Data4[index], 2);
    }
    text += L'}';
    return text;
}

}  // namespace voka::infrastructure::multitasking::oxa
