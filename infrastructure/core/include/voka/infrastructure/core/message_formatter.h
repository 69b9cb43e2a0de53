// Message templates with numbered (%1, %2, ...) and named (%name, %name%)
// placeholders, filled argument by argument: the narrow and wide formatter.
//
//   throw std::runtime_error(structure::t_message_formatter("fail open %1 file \"%2\"")
//                                .add_arg("source").add_arg(path).build());
//
// A formatter parses its template once; every add_arg fills the next numbered
// placeholder; build() writes the pieces out, leaving unfilled placeholders as they
// were written. Surplus arguments are kept but never appear.
#pragma once

#include "voka/infrastructure/core/text_converters.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace structure
{

template <typename t_char>
class t_basic_message_formatter
{
public:
    using string_type = std::basic_string<t_char>;

    // Placeholder kinds the parser recognises (a bit set).
    static constexpr unsigned flag_numeric = 1;        // %1, %01, %123
    static constexpr unsigned flag_named = 2;          // %name or %name%
    static constexpr unsigned flag_asterisk = 4;       // %*
    static constexpr unsigned flag_keep_unknown = 16;  // an unknown %x keeps its %
    static constexpr unsigned default_flags = flag_numeric | flag_named;

    // `text` may be null (an empty template); `length` -1 means zero-terminated.
    explicit t_basic_message_formatter(const t_char* text, std::ptrdiff_t length = -1,
                                       unsigned flags = default_flags)
        : m_flags(flags)
    {
        string_type templ;
        if (text != nullptr)
            templ = length < 0 ? string_type(text)
                               : string_type(text, static_cast<std::size_t>(length));
        parse(templ);
    }

    explicit t_basic_message_formatter(const string_type& text, unsigned flags = default_flags)
        : m_flags(flags)
    {
        parse(text);
    }

    // Fills the next numbered placeholder with `text`.
    t_basic_message_formatter& add_arg(const string_type& text)
    {
        string_type name = to_decimal(m_next_index++);
        t_value& value = m_values[std::move(name)];
        value.text = text;
        value.has_value = true;
        return *this;
    }

    t_basic_message_formatter& add_arg(const t_char* text)
    {
        return add_arg(text != nullptr ? string_type(text) : string_type());
    }

    // Integers are written as the unsigned decimal text of their 32-bit value.
    template <std::integral t_int>
    requires(!std::is_same_v<t_int, t_char> &&
             !std::is_same_v<t_int, bool>) t_basic_message_formatter& add_arg(t_int number)
    {
        return add_arg(to_decimal(static_cast<std::uint32_t>(number)));
    }

    // The narrow formatter takes wide text converted to the ANSI code page.
    t_basic_message_formatter&
    add_arg(const std::wstring& text) requires std::is_same_v<t_char, char>
    {
        std::string narrow;
        t_unicode_to_ansi::convert(narrow, text.c_str(), static_cast<int>(text.size()));
        return add_arg(narrow);
    }

    t_basic_message_formatter& add_arg(const wchar_t* text) requires std::is_same_v<t_char, char>
    {
        return add_arg(text != nullptr ? std::wstring(text) : std::wstring());
    }

    // The text of the template with every filled placeholder replaced.
    const string_type& build()
    {
        m_result.clear();
        for (const t_piece& piece : m_pieces)
        {
            if (!piece.is_placeholder)
            {
                m_result += piece.text;
                continue;
            }
            const auto found = m_values.find(piece.text);
            if (found != m_values.end() && found->second.has_value)
            {
                m_result += found->second.text;
            }
            else
            {
                m_result += t_char('%');
                m_result += piece.text;
            }
        }
        return m_result;
    }

private:
    struct t_piece
    {
        bool is_placeholder;
        string_type text;
    };

    struct t_value
    {
        string_type text;
        bool has_value = false;
    };

    static bool is_digit(t_char c) { return c >= t_char('0') && c <= t_char('9'); }
    static bool is_name_start(t_char c)
    {
        return (c >= t_char('A') && c <= t_char('Z')) || (c >= t_char('a') && c <= t_char('z')) ||
               c == t_char('_');
    }
    static bool is_name_char(t_char c) { return is_name_start(c) || is_digit(c); }

    static string_type to_decimal(std::uint32_t number)
    {
        t_char digits[10];
        std::size_t count = 0;
        do
        {
            digits[count++] = static_cast<t_char>(t_char('0') + number % 10);
            number /= 10;
        } while (number != 0);
        string_type text;
        while (count != 0)
            text += digits[--count];
        return text;
    }

    void append_literal(const string_type& text)
    {
        if (text.empty())
            return;
        if (!m_pieces.empty() && !m_pieces.back().is_placeholder)
            m_pieces.back().text += text;
        else
            m_pieces.push_back({false, text});
    }

    void append_placeholder(string_type name)
    {
        m_values.try_emplace(name);
        m_pieces.push_back({true, std::move(name)});
    }

    void parse(const string_type& templ)
    {
        m_pieces.clear();
        m_values.clear();
        m_next_index = 1;
        const std::size_t size = templ.size();
        std::size_t pos = 0;
        while (pos < size)
        {
            const std::size_t percent = templ.find(t_char('%'), pos);
            if (percent == string_type::npos)
            {
                append_literal(templ.substr(pos));
                return;
            }
            append_literal(templ.substr(pos, percent - pos));
            if (percent + 1 == size)
                return;  // a lone trailing % is dropped
            const t_char c = templ[percent + 1];
            pos = percent + 1;
            if (c == t_char('%'))
            {
                append_literal(string_type(1, t_char('%')));
                pos = percent + 2;
            }
            else if ((m_flags & flag_numeric) != 0 && is_digit(c))
            {
                std::size_t end = pos;
                while (end < size && is_digit(templ[end]))
                    ++end;
                append_placeholder(templ.substr(pos, end - pos));
                pos = end;
            }
            else if ((m_flags & flag_named) != 0 && is_name_start(c))
            {
                std::size_t end = pos;
                while (end < size && is_name_char(templ[end]))
                    ++end;
                append_placeholder(templ.substr(pos, end - pos));
                pos = end;
                if (pos < size && templ[pos] == t_char('%'))
                    ++pos;  // %name% and %name are the same placeholder
            }
            else if ((m_flags & flag_asterisk) != 0 && c == t_char('*'))
            {
                append_placeholder(string_type(1, t_char('*')));
                pos = percent + 2;
            }
            else if ((m_flags & flag_keep_unknown) != 0)
            {
                append_literal(string_type(1, t_char('%')));
            }
            // Otherwise the % is dropped and scanning goes on at c as literal text.
        }
    }

    unsigned m_flags;
    std::vector<t_piece> m_pieces;
    std::map<string_type, t_value> m_values;
    std::uint32_t m_next_index = 1;
    string_type m_result;
};

using t_message_formatter = t_basic_message_formatter<char>;
using t_wmessage_formatter = t_basic_message_formatter<wchar_t>;

}  // namespace structure
