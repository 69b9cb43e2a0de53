// The .reg file parser: decoding, the header, key lines and value lines (see reg_file.h).
#include "reg_file.h"
#include "tool_error.h"

#include <cstring>

namespace voka_reg
{
namespace
{

constexpr wchar_t k_header_5[] = L"Windows Registry Editor Version 5.00";
constexpr wchar_t k_header_4[] = L"REGEDIT4";

// Text quoted in error messages is cut to this many characters.
constexpr std::size_t k_quote_length = 40;

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::wstring trim_left(const std::wstring& text)
{
    std::size_t start = 0;
    while (start < text.size() && is_blank(text[start]))
        ++start;
    return text.substr(start);
}

std::wstring trim_right(std::wstring text)
{
    while (!text.empty() && is_blank(text.back()))
        text.pop_back();
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

// Key and value names reach the registry as zero-terminated Unicode text: no zero character, no
// surrogate (UTF-16 input may hold lone ones), nothing above U+10FFFF.
bool is_name_text(const std::wstring& name)
{
    for (const wchar_t character : name)
    {
        const std::uint32_t value = code_of(character);
        if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
    }
    return true;
}

bool starts_with(const std::wstring& text, const wchar_t* prefix)
{
    const std::size_t length = std::wcslen(prefix);
    return text.size() >= length && text.compare(0, length, prefix) == 0;
}

// The text of the file: UTF-16LE after its byte-order mark, else UTF-8 (with or without one).
std::wstring decode(const std::vector<std::uint8_t>& bytes, const std::string& source)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    {
        const auto data = wide_data_from_utf16(t_bytes(bytes.begin() + 2, bytes.end()));
        if (!data)
            raise_error(source + ": UTF-16 text of an odd number of bytes");
        return wide_characters(*data);
    }
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        start = 3;
    return from_utf8(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()));
}

std::vector<std::wstring> split_lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size())
    {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// Parses the lines after the header. Threading: one parse, one thread.
class t_parser
{
public:
    t_parser(std::vector<std::wstring> lines, bool unicode, const std::string& source)
        : m_lines(std::move(lines)), m_unicode(unicode), m_source(source)
    {
    }

    t_reg_file parse(std::size_t first_line)
    {
        t_reg_file file;
        for (m_index = first_line; m_index < m_lines.size(); ++m_index)
        {
            const std::wstring text = trim_left(m_lines[m_index]);
            if (text.empty() || text[0] == L';')
                continue;
            if (text[0] == L'[')
                file.keys.push_back(parse_key(text));
            else if (text[0] == L'"' || text[0] == L'@')
                add_value(file, text);
            else
                fail("unexpected text \"" + quoted(text) + "\"");
        }
        return file;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        raise_error(m_source + " line " + std::to_string(m_index + 1) + ": " + what);
    }

    static std::string quoted(const std::wstring& text)
    {
        return to_utf8(text.size() > k_quote_length ? text.substr(0, k_quote_length) + L"..."
                                                    : text);
    }

    t_reg_key parse_key(const std::wstring& text)
    {
        const std::size_t close = text.rfind(L']');
        if (close == std::wstring::npos)
            fail("a key line without \"]\"");
        if (!trim_right(text.substr(close + 1)).empty())
            fail("text after \"]\"");
        t_reg_key key;
        key.line = m_index + 1;
        std::wstring path = text.substr(1, close - 1);
        if (!path.empty() && path[0] == L'-')
        {
            key.remove = true;
            path.erase(0, 1);
        }
        if (path.empty())
            fail("an empty key path");
        if (!is_name_text(path))
            fail("a key path with a character the registry cannot hold");
        key.path = path;
        return key;
    }

    // A quoted string starting at `position` (the opening quote); moves `position` past the
    // closing quote.
    std::wstring parse_quoted(const std::wstring& text, std::size_t& position)
    {
        std::wstring result;
        for (std::size_t i = position + 1; i < text.size(); ++i)
        {
            if (text[i] == L'"')
            {
                position = i + 1;
                return result;
            }
            if (text[i] == L'\\')
            {
                if (i + 1 >= text.size() || (text[i + 1] != L'\\' && text[i + 1] != L'"'))
                    fail("an unknown escape in \"" + quoted(text) + "\" (only \\\\ and \\\")");
                ++i;
            }
            result.push_back(text[i]);
        }
        fail("a string without its closing quote");
    }

    void add_value(t_reg_file& file, const std::wstring& text)
    {
        if (file.keys.empty())
            fail("a value before the first key");
        if (file.keys.back().remove)
            fail("a value below a key that is deleted");
        t_reg_value value;
        value.line = m_index + 1;
        std::size_t position = 1;
        if (text[0] == L'"')
        {
            position = 0;
            value.name = parse_quoted(text, position);
            if (!is_name_text(value.name))
                fail("a value name with a character the registry cannot hold");
        }
        while (position < text.size() && is_blank(text[position]))
            ++position;
        if (position >= text.size() || text[position] != L'=')
            fail("\"=\" expected after the value name");
        std::wstring data = trim_right(trim_left(text.substr(position + 1)));
        if (starts_with(data, L"hex"))
            data = join_continuations(data);
        parse_data(data, value);
        file.keys.back().values.push_back(std::move(value));
    }

    // A hexadecimal list that goes on in the lines below: each line but the last ends in "\".
    std::wstring join_continuations(std::wstring data)
    {
        while (!data.empty() && data.back() == L'\\')
        {
            data.pop_back();
            if (m_index + 1 >= m_lines.size())
                fail("the value goes on past the end of the file");
            ++m_index;
            data += trim_right(trim_left(m_lines[m_index]));
        }
        return data;
    }

    void parse_data(const std::wstring& data, t_reg_value& value)
    {
        if (data == L"-")
        {
            value.remove = true;
            return;
        }
        if (!data.empty() && data[0] == L'"')
        {
            std::size_t position = 0;
            const std::wstring text = parse_quoted(data, position);
            if (position != data.size())
                fail("text after the closing quote");
            value.type = REG_SZ;
            value.data = wide_string_data(text);
            return;
        }
        if (starts_with(data, L"dword:"))
        {
            const std::wstring digits = data.substr(6);
            if (digits.empty() || digits.size() > 8)
                fail("dword: takes 1 to 8 hexadecimal digits");
            DWORD number = 0;
            for (const wchar_t c : digits)
            {
                const int digit = hex_digit(c);
                if (digit < 0)
                    fail("dword: takes 1 to 8 hexadecimal digits");
                number = number * 16 + static_cast<DWORD>(digit);
            }
            value.type = REG_DWORD;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&number);
            value.data.assign(bytes, bytes + sizeof(number));
            return;
        }
        std::size_t list_start = 0;
        if (starts_with(data, L"hex:"))
        {
            value.type = REG_BINARY;
            list_start = 4;
        }
        else if (starts_with(data, L"hex("))
        {
            const std::size_t close = data.find(L')');
            if (close == std::wstring::npos || close == 4 || close > 12 ||
                close + 1 >= data.size() || data[close + 1] != L':')
                fail("hex(<type>): expected");
            DWORD type = 0;
            for (std::size_t i = 4; i < close; ++i)
            {
                const int digit = hex_digit(data[i]);
                if (digit < 0)
                    fail("hex(<type>): the type is hexadecimal");
                type = type * 16 + static_cast<DWORD>(digit);
            }
            value.type = type;
            list_start = close + 2;
        }
        else
        {
            fail("unknown data \"" + quoted(data) + "\"");
        }
        const t_bytes bytes = parse_hex_list(data.substr(list_start));
        if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ ||
            value.type == REG_LINK)
        {
            if (m_unicode)
            {
                const auto wide = wide_data_from_utf16(bytes);
                if (!wide)
                    fail("UTF-16 text of an odd number of bytes");
                value.data = *wide;
            }
            else
            {
                value.data = wide_data_from_text(bytes);
            }
            return;
        }
        value.data = bytes;
    }

    // 8-bit text (UTF-8 here) of a REGEDIT4 file as wide characters, its zeros kept.
    static t_bytes wide_data_from_text(const t_bytes& bytes)
    {
        t_bytes data;
        for (const wchar_t c : from_utf8(std::string(bytes.begin(), bytes.end())))
        {
            const auto* raw = reinterpret_cast<const std::uint8_t*>(&c);
            data.insert(data.end(), raw, raw + sizeof(c));
        }
        return data;
    }

    t_bytes parse_hex_list(const std::wstring& list)
    {
        t_bytes bytes;
        std::size_t start = 0;
        while (start < list.size())
        {
            std::size_t end = list.find(L',', start);
            if (end == std::wstring::npos)
                end = list.size();
            const std::wstring item = trim_right(trim_left(list.substr(start, end - start)));
            // A comma may end the list (before a line break, say).
            if (item.empty() && end == list.size())
                break;
            if (item.empty() || item.size() > 2 || hex_digit(item[0]) < 0 ||
                (item.size() == 2 && hex_digit(item[1]) < 0))
                fail("\"" + quoted(item) + "\" is not a hexadecimal byte");
            int byte = hex_digit(item[0]);
            if (item.size() == 2)
                byte = byte * 16 + hex_digit(item[1]);
            bytes.push_back(static_cast<std::uint8_t>(byte));
            start = end + 1;
        }
        return bytes;
    }

    std::vector<std::wstring> m_lines;
    bool m_unicode;
    std::string m_source;
    std::size_t m_index = 0;
};

}  // namespace

t_reg_file parse_reg_file(const std::vector<std::uint8_t>& bytes, const std::string& source)
{
    std::vector<std::wstring> lines = split_lines(decode(bytes, source));
    std::size_t first = 0;
    while (first < lines.size() && trim_right(trim_left(lines[first])).empty())
        ++first;
    const std::wstring header = first < lines.size() ? trim_right(lines[first]) : L"";
    const bool unicode = header == k_header_5;
    if (!unicode && header != k_header_4)
        raise_error(source + ": not a .reg file (the first line is not \"" + to_utf8(k_header_5) +
                    "\" or \"" + to_utf8(k_header_4) + "\")");
    t_parser parser(std::move(lines), unicode, source);
    return parser.parse(first + 1);
}

}  // namespace voka_reg
