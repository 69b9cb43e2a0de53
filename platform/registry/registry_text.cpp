// Conversions between the caller's wide characters and the registry's UTF-16, and name folding.
#include "registry_text.h"

#include "registry_upcase.h"

#include <cstring>
#include <type_traits>

namespace voka::platform::registry
{
namespace
{

// The bits of a wide character as a number: a negative wchar_t is no character, as a value above
// U+10FFFF is not.
std::uint32_t code_of(wchar_t character) noexcept
{
    return static_cast<std::make_unsigned_t<wchar_t>>(character);
}

bool is_scalar_value(std::uint32_t value) noexcept
{
    return value < 0xD800 || (value > 0xDFFF && value <= 0x10FFFF);
}

void append_unit_be(std::string& out, char16_t unit)
{
    out.push_back(static_cast<char>(unit >> 8));
    out.push_back(static_cast<char>(unit & 0xFF));
}

void append_unit_le(std::string& out, char16_t unit)
{
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

t_name_result make_name(std::wstring_view wide, std::size_t max_units, t_name& out)
{
    out.text.clear();
    out.fold.clear();
    out.text.reserve(wide.size());
    for (const wchar_t character : wide)
    {
        const std::uint32_t value = code_of(character);
        if (!is_scalar_value(value))
            return t_name_result::not_text;
        if (value < 0x10000)
        {
            out.text.push_back(static_cast<char16_t>(value));
        }
        else
        {
            out.text.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            out.text.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
        }
        if (out.text.size() > max_units)
            return t_name_result::too_long;
    }
    out.fold.reserve(out.text.size() * 2);
    for (const char16_t unit : out.text)
        append_unit_be(out.fold, upcase_unit(unit));
    out.length = static_cast<DWORD>(wide.size());
    return t_name_result::ok;
}

std::wstring wide_from_utf16(std::u16string_view text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
        {
            wide.push_back(
                static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
            ++i;
        }
        else
        {
            wide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return wide;
}

bool is_string_type(DWORD type) noexcept
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
}

void store_value_data(DWORD type, const BYTE* data, DWORD size, t_stored_data& out)
{
    out.size = size;
    out.is_utf16 = false;
    out.bytes.clear();
    if (is_string_type(type) && size % sizeof(wchar_t) == 0)
    {
        const std::size_t count = size / sizeof(wchar_t);
        out.bytes.reserve(size / 2);
        bool convertible = true;
        for (std::size_t i = 0; i < count && convertible; ++i)
        {
            wchar_t character;
            std::memcpy(&character, data + i * sizeof(wchar_t), sizeof(wchar_t));
            const std::uint32_t value = code_of(character);
            if (!is_scalar_value(value))
            {
                convertible = false;
            }
            else if (value < 0x10000)
            {
                append_unit_le(out.bytes, static_cast<char16_t>(value));
            }
            else
            {
                append_unit_le(out.bytes,
                               static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
                append_unit_le(out.bytes,
                               static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
            }
        }
        if (convertible)
        {
            out.is_utf16 = true;
            return;
        }
        out.bytes.clear();
    }
    if (size != 0)
        out.bytes.assign(reinterpret_cast<const char*>(data), size);
}

void load_value_data(bool is_utf16, const void* bytes, std::size_t byte_count, BYTE* out) noexcept
{
    if (!is_utf16)
    {
        if (byte_count != 0)
            std::memcpy(out, bytes, byte_count);
        return;
    }
    const auto* source = static_cast<const unsigned char*>(bytes);
    const std::size_t units = byte_count / 2;
    const auto unit_at = [source](std::size_t i)
    { return static_cast<char16_t>(source[2 * i] | (source[2 * i + 1] << 8)); };
    for (std::size_t i = 0; i < units; ++i)
    {
        const char16_t unit = unit_at(i);
        std::uint32_t value = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units)
        {
            const char16_t next = unit_at(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF)
            {
                value = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        const auto character = static_cast<wchar_t>(value);
        std::memcpy(out, &character, sizeof(wchar_t));
        out += sizeof(wchar_t);
    }
}

bool stored_size_matches(bool is_utf16, const std::string& bytes, DWORD size) noexcept
{
    if (!is_utf16)
        return bytes.size() == size;
    if (bytes.size() % 2 != 0)
        return false;
    // One wide character per unit, a surrogate pair counting once, as load_value_data reads it.
    const auto unit_at = [&bytes](std::size_t i)
    {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < units; ++i, ++characters)
    {
        const char16_t unit = unit_at(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && unit_at(i + 1) >= 0xDC00 &&
            unit_at(i + 1) <= 0xDFFF)
            ++i;
    }
    return characters * sizeof(wchar_t) == size;
}

}  // namespace voka::platform::registry
