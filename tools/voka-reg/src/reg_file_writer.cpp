// The .reg file writer: the text of an export, in the registry editor's layout (see reg_file.h).
#include "reg_file.h"
#include "tool_error.h"

#include <cwchar>

namespace voka_reg
{
namespace
{

// Lines of hexadecimal lists are wrapped to at most this many characters, as the registry editor
// wraps them.
constexpr std::size_t k_line_width = 80;

std::wstring quote(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    for (const wchar_t c : text)
    {
        if (c == L'\\' || c == L'"')
            quoted.push_back(L'\\');
        quoted.push_back(c);
    }
    return quoted + L"\"";
}

// String data that a quoted string gives back unchanged on import: whole characters, valid
// Unicode, one terminating 0 and no other, and no line breaks.
bool is_plain_string(const t_bytes& data)
{
    if (data.size() % sizeof(wchar_t) != 0 || data.empty())
        return false;
    const std::wstring text = wide_characters(data);
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const std::uint32_t value = code_of(text[i]);
        const bool last = i + 1 == text.size();
        if ((value == 0) != last || value == L'\r' || value == L'\n' ||
            (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
    }
    return true;
}

// A line feed in a name would end its line, and the format has no escape for it. (A carriage
// return inside the quotes or brackets of a name is read back as it is: only one just before the
// line feed is part of the line end.)
bool has_line_break(const std::wstring& text)
{
    return text.find(L'\n') != std::wstring::npos;
}

// `text` for a one-line message: line breaks as \r and \n.
std::string printable(const std::wstring& text)
{
    std::wstring shown;
    for (const wchar_t c : text)
    {
        if (c == L'\r')
            shown += L"\\r";
        else if (c == L'\n')
            shown += L"\\n";
        else
            shown.push_back(c);
    }
    return to_utf8(shown);
}

[[noreturn]] void refuse_value(const t_reg_value& value, const std::wstring& key_path,
                               const std::string& what)
{
    raise_error("cannot export value " +
                (value.name.empty() ? std::string("(Default)") : printable(value.name)) + " of " +
                printable(key_path) + ": " + what);
}

void append_hex_list(std::wstring& out, std::size_t line_length, const t_bytes& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        // Room for two digits, a comma and the continuation backslash.
        if (line_length + 4 > k_line_width)
        {
            out += L"\\\r\n  ";
            line_length = 2;
        }
        wchar_t digits[4];
        std::swprintf(digits, 4, L"%02x", static_cast<unsigned>(bytes[i]));
        out += digits;
        line_length += 2;
        if (i + 1 < bytes.size())
        {
            out += L",";
            ++line_length;
        }
    }
}

void append_value(std::wstring& out, const t_reg_value& value, const std::wstring& key_path)
{
    if (has_line_break(value.name))
        refuse_value(value, key_path, "its name has a line break, which a .reg file cannot hold");
    std::wstring line = value.name.empty() ? L"@" : quote(value.name);
    line += L"=";
    if (value.remove)
    {
        out += line + L"-\r\n";
        return;
    }
    if (value.type == REG_SZ && is_plain_string(value.data))
    {
        std::wstring text = wide_characters(value.data);
        text.pop_back();
        out += line + quote(text) + L"\r\n";
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD))
    {
        const DWORD number =
            static_cast<DWORD>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                               (static_cast<DWORD>(value.data[3]) << 24));
        wchar_t digits[16];
        std::swprintf(digits, 16, L"dword:%08x", static_cast<unsigned>(number));
        out += line + digits + L"\r\n";
        return;
    }
    if (value.type == REG_BINARY)
    {
        line += L"hex:";
    }
    else
    {
        wchar_t type[24];
        std::swprintf(type, 24, L"hex(%x):", static_cast<unsigned>(value.type));
        line += type;
    }
    const bool is_text = value.type == REG_SZ || value.type == REG_EXPAND_SZ ||
                         value.type == REG_MULTI_SZ || value.type == REG_LINK;
    t_bytes bytes = value.data;
    if (is_text)
    {
        // The list holds UTF-16, which the import turns back into wide characters: data that is
        // not a whole number of valid characters would come back changed.
        bytes = utf16_from_wide_data(value.data);
        if (wide_data_from_utf16(bytes) != value.data)
            refuse_value(value, key_path,
                         "its " + to_utf8(type_name(value.type)) +
                             " data is not a whole number of valid characters, which a .reg file "
                             "cannot hold unchanged");
    }
    out += line;
    append_hex_list(out, line.size(), bytes);
    out += L"\r\n";
}

}  // namespace

std::wstring format_reg_file(const t_reg_file& file)
{
    std::wstring out = L"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const t_reg_key& key : file.keys)
    {
        if (has_line_break(key.path))
            raise_error("cannot export " + printable(key.path) +
                        ": its name has a line break, which a .reg file cannot hold");
        out += key.remove ? L"[-" : L"[";
        out += key.path + L"]\r\n";
        for (const t_reg_value& value : key.values)
            append_value(out, value, key.path);
        out += L"\r\n";
    }
    return out;
}

std::vector<std::uint8_t> encode_reg_text(const std::wstring& text, bool utf8)
{
    if (utf8)
    {
        const std::string bytes = to_utf8(text);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const t_bytes units = utf16_from_wide_data(wide_string_data(text));
    // Without the terminating 0 that wide_string_data adds.
    bytes.insert(bytes.end(), units.begin(), units.end() - 2);
    return bytes;
}

}  // namespace voka_reg
