// The command-line parser: tokens, names and values, and its syntax errors.
#include "cmd_line_parser.h"

#include "voka/infrastructure/core/smart_interface_impl.h"

#include <utility>

namespace structure
{
namespace
{

using voka::infrastructure::core::structure::make_smart;

bool is_whitespace(wchar_t character)
{
    return character == L'\t' || character == L'\n' || character == L'\r' || character == L' ';
}

bool is_prefix(wchar_t character)
{
    return character == L'-' || character == L'/';
}

// Creates the parser's exception for `code` and throws it through its virtual raise.
[[noreturn]] void raise_syntax_error(std::int32_t code)
{
    const t_cmd_line_parser_exception error(code);
    error.raise();
}

}  // namespace

t_cmd_line_parser::t_cmd_line_parser()
    : m_locale(std::locale::classic()), m_ctype(std::use_facet<std::ctype<wchar_t>>(m_locale))
{
}

void t_cmd_line_parser::register_name(const std::wstring& name, std::int32_t takes_value)
{
    m_known_names[name] = takes_value;
}

bool t_cmd_line_parser::is_name_start(wchar_t character) const
{
    return m_ctype.is(std::ctype_base::upper | std::ctype_base::lower | std::ctype_base::alpha,
                      character);
}

bool t_cmd_line_parser::is_name_char(wchar_t character) const
{
    return character == L'_' || m_ctype.is(std::ctype_base::upper | std::ctype_base::lower |
                                               std::ctype_base::digit | std::ctype_base::alpha,
                                           character);
}

bool t_cmd_line_parser::takes_value(const std::wstring& name) const
{
    const auto found = m_known_names.find(name);
    return found != m_known_names.end() && found->second == 1;
}

void t_cmd_line_parser::deliver_value(std::wstring token, t_arg_ptr& pending)
{
    if (pending)
    {
        pending->set_value(std::move(token));
        pending.reset();
        return;
    }
    m_arguments.push_back(make_smart<t_cmd_line_arg>(std::wstring(), std::move(token)));
}

void t_cmd_line_parser::parse(const wchar_t* text, std::size_t length)
{
    const wchar_t* p = text;
    const wchar_t* const end = text + length;
    t_arg_ptr pending;  // the named argument waiting for its value
    for (;;)
    {
        while (p != end && is_whitespace(*p))
            ++p;
        if (p == end)
            return;

        if (*p == L'"')
        {
            const wchar_t* close = p + 1;
            while (close != end && *close != L'"')
                ++close;
            if (close == end)
                raise_syntax_error(t_cmd_line_parser_error_traits<void*>::err_bad_format);
            deliver_value(std::wstring(p + 1, close), pending);
            p = close + 1;  // the next token may start right after the quote
            continue;
        }

        if (is_prefix(*p))
        {
            if (p + 1 == end)
                raise_syntax_error(t_cmd_line_parser_error_traits<void*>::err_empty_arg_name);
            const wchar_t* const name_start = p + 1;
            if (*name_start == *p)
            {
                // A doubled prefix: a value that starts with the second prefix character.
                p = name_start;
            }
            else
            {
                if (!is_name_start(*name_start))
                    raise_syntax_error(t_cmd_line_parser_error_traits<void*>::err_bad_arg_name);
                const wchar_t* name_end = name_start + 1;
                while (name_end != end && is_name_char(*name_end))
                    ++name_end;
                std::wstring name(name_start, name_end);
                const bool is_pending = takes_value(name);
                pending = make_smart<t_cmd_line_arg>(std::move(name), std::wstring());
                m_arguments.push_back(pending);
                if (!is_pending)
                    pending.reset();  // a switch takes no value
                p = name_end;
                continue;
            }
        }

        const wchar_t* token_end = p;
        while (token_end != end && !is_whitespace(*token_end))
            ++token_end;
        deliver_value(std::wstring(p, token_end), pending);
        p = token_end;
    }
}

}  // namespace structure
