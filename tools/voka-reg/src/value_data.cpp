// Value data conversions of voka-reg.
#include "value_data.h"

#include "tool_error.h"

#include <cstring>
#include <cwchar>
#include <type_traits>

namespace voka_reg
{
namespace
{

struct t_type_name
{
    DWORD type;
    const wchar_t* name;
};

const t_type_name k_type_names[] = {
    {REG_NONE, L"REG_NONE"},           {REG_SZ, L"REG_SZ"},
    {REG_EXPAND_SZ, L"REG_EXPAND_SZ"}, {REG_BINARY, L"REG_BINARY"},
    {REG_DWORD, L"REG_DWORD"},         {REG_DWORD_BIG_ENDIAN, L"REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, L"REG_LINK"},           {REG_MULTI_SZ, L"REG_MULTI_SZ"},
    {REG_QWORD, L"REG_QWORD"},
};

bool is_string_type(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
}

std::wstring upper_ascii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
    return text;
}

int hex_digit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// A decimal or 0x-hexadecimal number up to `limit`; nullopt for anything else.
std::optional<std::uint64_t> parse_number(const std::wstring& text, std::uint64_t limit)
{
    const bool hexadecimal =
        text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::size_t start = hexadecimal ? 2 : 0;
    const std::uint64_t base = hexadecimal ? 16 : 10;
    if (text.size() == start)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = start; i < text.size(); ++i)
    {
        const int digit = hex_digit(text[i]);
        if (digit < 0 || static_cast<std::uint64_t>(digit) >= base)
            return std::nullopt;
        if (value > (limit - static_cast<std::uint64_t>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    return value;
}

void append_wide(t_bytes& data, wchar_t character)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&character);
    data.insert(data.end(), bytes, bytes + sizeof(character));
}

}  // namespace

std::uint32_t code_of(wchar_t character) noexcept
{
    return static_cast<std::make_unsigned_t<wchar_t>>(character);
}

std::wstring type_name(DWORD type)
{
    for (const t_type_name& entry : k_type_names)
        if (entry.type == type)
            return entry.name;
    wchar_t buffer[24];
    std::swprintf(buffer, 24, L"REG_0x%X", static_cast<unsigned>(type));
    return buffer;
}

std::optional<DWORD> type_from_name(const std::wstring& name)
{
    const std::wstring upper = upper_ascii(name);
    for (const DWORD type :
         {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD, REG_NONE})
        if (upper == type_name(type))
            return type;
    return std::nullopt;
}

t_bytes wide_string_data(const std::wstring& text)
{
    t_bytes data;
    data.reserve((text.size() + 1) * sizeof(wchar_t));
    for (const wchar_t character : text)
        append_wide(data, character);
    append_wide(data, L'\0');
    return data;
}

std::wstring wide_characters(const t_bytes& data)
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
}

t_bytes utf16_from_wide_data(const t_bytes& data)
{
    t_bytes utf16;
    const auto unit = [&utf16](std::uint32_t value)
    {
        utf16.push_back(static_cast<std::uint8_t>(value & 0xFF));
        utf16.push_back(static_cast<std::uint8_t>(value >> 8));
    };
    for (const wchar_t character : wide_characters(data))
    {
        const std::uint32_t value = code_of(character);
        if (value < 0x10000)
        {
            unit(value);
        }
        else if (value <= 0x10FFFF)
        {
            unit(0xD800 + ((value - 0x10000) >> 10));
            unit(0xDC00 + ((value - 0x10000) & 0x3FF));
        }
        else
        {
            unit(0xFFFD);
        }
    }
    return utf16;
}

std::optional<t_bytes> wide_data_from_utf16(const t_bytes& utf16)
{
    if (utf16.size() % 2 != 0)
        return std::nullopt;
    t_bytes data;
    data.reserve(utf16.size() / 2 * sizeof(wchar_t));
    const std::size_t units = utf16.size() / 2;
    const auto unit_at = [&utf16](std::size_t i)
    { return static_cast<std::uint32_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8)); };
    for (std::size_t i = 0; i < units; ++i)
    {
        std::uint32_t value = unit_at(i);
        if (value >= 0xD800 && value <= 0xDBFF && i + 1 < units)
        {
            const std::uint32_t next = unit_at(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF)
            {
                value = 0x10000 + ((value - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        append_wide(data, static_cast<wchar_t>(value));
    }
    return data;
}

t_bytes data_from_text(DWORD type, const std::wstring& text)
{
    const auto refuse = [&](const char* what) -> t_bytes {
        raise_error("\"" + to_utf8(text) + "\" is not " + what + " for " +
                    to_utf8(type_name(type)));
    };
    switch (type)
    {
    case REG_DWORD:
    {
        const auto value = parse_number(text, 0xFFFFFFFFu);
        if (!value)
            return refuse("a 32-bit number");
        const auto dword = static_cast<DWORD>(*value);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&dword);
        return t_bytes(bytes, bytes + sizeof(dword));
    }
    case REG_QWORD:
    {
        const auto value = parse_number(text, ~std::uint64_t{0});
        if (!value)
            return refuse("a 64-bit number");
        const std::uint64_t qword = *value;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&qword);
        return t_bytes(bytes, bytes + sizeof(qword));
    }
    case REG_BINARY:
    case REG_NONE:
    {
        if (text.size() % 2 != 0)
            return refuse("pairs of hexadecimal digits");
        t_bytes data;
        for (std::size_t i = 0; i < text.size(); i += 2)
        {
            const int high = hex_digit(text[i]);
            const int low = hex_digit(text[i + 1]);
            if (high < 0 || low < 0)
                return refuse("pairs of hexadecimal digits");
            data.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        return data;
    }
    case REG_MULTI_SZ:
    {
        t_bytes data;
        std::wstring item;
        for (std::size_t i = 0; i < text.size(); ++i)
        {
            if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'0')
            {
                for (const wchar_t c : item)
                    append_wide(data, c);
                append_wide(data, L'\0');
                item.clear();
                ++i;
            }
            else
            {
                item.push_back(text[i]);
            }
        }
        if (!item.empty())
        {
            for (const wchar_t c : item)
                append_wide(data, c);
            append_wide(data, L'\0');
        }
        append_wide(data, L'\0');
        return data;
    }
    default:
        return wide_string_data(text);
    }
}

std::wstring data_to_text(DWORD type, const t_bytes& data)
{
    if (type == REG_DWORD && data.size() == sizeof(DWORD))
    {
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof(value));
        wchar_t buffer[16];
        std::swprintf(buffer, 16, L"0x%x", static_cast<unsigned>(value));
        return buffer;
    }
    if (type == REG_QWORD && data.size() == sizeof(std::uint64_t))
    {
        std::uint64_t value = 0;
        std::memcpy(&value, data.data(), sizeof(value));
        wchar_t buffer[24];
        std::swprintf(buffer, 24, L"0x%llx", static_cast<unsigned long long>(value));
        return buffer;
    }
    if (is_string_type(type) && data.size() % sizeof(wchar_t) == 0)
    {
        std::wstring text = wide_characters(data);
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        if (type != REG_MULTI_SZ)
            return text;
        std::wstring joined;
        for (const wchar_t c : text)
            joined += c == L'\0' ? std::wstring(L"\\0") : std::wstring(1, c);
        return joined;
    }
    std::wstring hex;
    for (const std::uint8_t byte : data)
    {
        wchar_t buffer[4];
        std::swprintf(buffer, 4, L"%02X", static_cast<unsigned>(byte));
        hex += buffer;
    }
    return hex;
}

}  // namespace voka_reg
