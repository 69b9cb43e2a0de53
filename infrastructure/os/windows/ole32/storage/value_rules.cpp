// Value kinds, registry types and data rules of the registry storage service.
#include "value_rules.h"

#include <cstring>
#include <iterator>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

namespace
{

struct t_kind
{
    DWORD kind;
    DWORD type;
};

constexpr t_kind k_kinds[] = {
    {12, REG_SZ},    {13, REG_BINARY},   {16, REG_DWORD},
    {17, REG_QWORD}, {20, REG_MULTI_SZ}, {21, REG_EXPAND_SZ},
};

// The wide character that ends `count` characters before the end of the data (1: the last).
wchar_t character_from_end(const BYTE* data, DWORD size, DWORD count) noexcept
{
    wchar_t character = 0;
    std::memcpy(&character, data + size - count * sizeof(wchar_t), sizeof(wchar_t));
    return character;
}

}  // namespace

bool registry_type_of_kind(DWORD kind, DWORD& type) noexcept
{
    for (const t_kind& entry : k_kinds)
        if (entry.kind == kind)
        {
            type = entry.type;
            return true;
        }
    return false;
}

bool kind_of_registry_type(DWORD type, DWORD& kind) noexcept
{
    for (const t_kind& entry : k_kinds)
        if (entry.type == type)
        {
            kind = entry.kind;
            return true;
        }
    return false;
}

bool string_data_fits(DWORD type, DWORD size, const BYTE* data) noexcept
{
    DWORD zeros = 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        zeros = 1;
    else if (type == REG_MULTI_SZ)
        zeros = 2;
    else
        return true;
    if (size % sizeof(wchar_t) != 0 || size < zeros * sizeof(wchar_t))
        return false;
    if (data == nullptr)
        return true;
    for (DWORD count = 1; count <= zeros; ++count)
        if (character_from_end(data, size, count) != L'\0')
            return false;
    return true;
}

bool data_fits_type(DWORD type, DWORD size, const BYTE* data) noexcept
{
    switch (type)
    {
    case REG_DWORD:
        return size == 4;
    case REG_QWORD:
        return size == 8;
    default:
        return string_data_fits(type, size, data);
    }
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
