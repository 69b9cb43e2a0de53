// GUID strings: CLSIDFromString parses and StringFromGUID2 writes the registry form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "voka/win32.h"

#include <cstddef>
#include <cstdint>

namespace
{

constexpr int k_guid_string_length = 38;  // without the terminating NUL

// The positions of the 32 hex digits in the string form, as groups: 8-4-4-4-12 digits after
// the opening brace, each group followed by a dash except the last, which the closing brace
// follows.
constexpr bool is_dash_position(int index) noexcept
{
    return index == 9 || index == 14 || index == 19 || index == 24;
}

int hex_value(wchar_t character) noexcept
{
    if (character >= L'0' && character <= L'9')
        return character - L'0';
    if (character >= L'A' && character <= L'F')
        return character - L'A' + 10;
    if (character >= L'a' && character <= L'f')
        return character - L'a' + 10;
    return -1;
}

// Reads the 32 digits of a string in the exact form; false for anything else.
bool try_parse_guid(LPCOLESTR text, GUID& guid) noexcept
{
    std::uint8_t digits[32] = {};
    int digit_count = 0;
    for (int index = 0; index < k_guid_string_length; ++index)
    {
        const wchar_t character = text[index];
        if (character == L'\0')
            return false;
        if (index == 0)
        {
            if (character != L'{')
                return false;
        }
        else if (index == k_guid_string_length - 1)
        {
            if (character != L'}')
                return false;
        }
        else if (is_dash_position(index))
        {
            if (character != L'-')
                return false;
        }
        else
        {
            const int value = hex_value(character);
            if (value < 0)
                return false;
            digits[digit_count++] = static_cast<std::uint8_t>(value);
        }
    }
    if (text[k_guid_string_length] != L'\0')
        return false;

    auto read = [&digits](int first, int count) noexcept
    {
        std::uint32_t value = 0;
        for (int index = first; index < first + count; ++index)
            value = (value << 4) | digits[index];
        return value;
    };
    guid.Data1 = read(0, 8);
    guid.Data2 = static_cast<WORD>(read(8, 4));
    guid.Data3 = static_cast<WORD>(read(12, 4));
    for (int index = 0; index < 8; ++index)
        guid.Data4[index] = static_cast<BYTE>(read(16 + 2 * index, 2));
    return true;
}

}  // namespace

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID class_id)
{
    if (class_id == nullptr)
        return E_INVALIDARG;
    *class_id = CLSID_NULL;
    if (text == nullptr)
        return S_OK;
    if (try_parse_guid(text, *class_id))
        return S_OK;
    *class_id = CLSID_NULL;
    if (text[0] == L'{')
        return CO_E_CLASSSTRING;
    // Any other text names a program id.
    return CLSIDFromProgID(text, class_id);
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int buffer_size)
{
    if (buffer == nullptr || buffer_size < k_guid_string_length + 1)
        return 0;
    static constexpr wchar_t k_digits[] = L"0123456789ABCDEF";
    wchar_t* out = buffer;
    auto write = [&out](std::uint32_t value, int count) noexcept
    {
        for (int shift = (count - 1) * 4; shift >= 0; shift -= 4)
            *out++ = k_digits[(value >> shift) & 0xF];
    };
    *out++ = L'{';
    write(guid.Data1, 8);
    *out++ = L'-';
    write(guid.Data2, 4);
    *out++ = L'-';
    write(guid.Data3, 4);
    *out++ = L'-';
    write(guid.Data4[0], 2);
    write(guid.Data4[1], 2);
    *out++ = L'-';
    for (int index = 2; index < 8; ++index)
        write(guid.Data4[index], 2);
    *out++ = L'}';
    *out = L'\0';
    return k_guid_string_length + 1;
}
