// BSTR strings (OLEAUT32's on Windows): a 32-bit byte length just before the characters and a
// NUL after them, so that a BSTR reads as an ordinary wide string too.
//
// Layout of one allocation: [unused 4 bytes][byte length: DWORD][characters...][NUL]. The unused
// word keeps the characters 8-byte aligned, as they are on Windows.
#include "voka/win32.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace
{

struct t_bstr_header
{
    DWORD unused;
    DWORD byte_length;
};

constexpr UINT k_max_length =
    (std::numeric_limits<DWORD>::max() - sizeof(t_bstr_header)) / sizeof(OLECHAR) - 1;

t_bstr_header* header_of(BSTR text) noexcept
{
    return reinterpret_cast<t_bstr_header*>(reinterpret_cast<char*>(text) - sizeof(t_bstr_header));
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > k_max_length)
        return nullptr;
    const std::size_t bytes = sizeof(t_bstr_header) + (std::size_t{length} + 1) * sizeof(OLECHAR);
    void* const block = std::malloc(bytes);
    if (block == nullptr)
        return nullptr;
    auto* const header = static_cast<t_bstr_header*>(block);
    header->unused = 0;
    header->byte_length = static_cast<DWORD>(length * sizeof(OLECHAR));
    auto* const characters = reinterpret_cast<OLECHAR*>(header + 1);
    if (text != nullptr)
        std::memcpy(characters, text, length * sizeof(OLECHAR));
    else
        std::memset(characters, 0, length * sizeof(OLECHAR));
    characters[length] = L'\0';
    return characters;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr)
        return nullptr;
    const std::size_t length = std::wcslen(text);
    if (length > k_max_length)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR text)
{
    if (text != nullptr)
        std::free(header_of(text));
}

UINT SysStringByteLen(BSTR text)
{
    return text != nullptr ? header_of(text)->byte_length : 0;
}

UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}
