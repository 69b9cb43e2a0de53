// The command-line parser: turns one wide command line into named arguments and free values.
#pragma once

#include "cmd_line_arg.h"
#include "voka/infrastructure/core/cmd_line_parser_error_traits.h"
#include "voka/infrastructure/core/err_exception_with_params.h"
#include "voka/infrastructure/core/smart_interface.h"

#include <cstddef>
#include <cstdint>
#include <locale>
#include <map>
#include <string>
#include <vector>

namespace structure
{

// What a syntax error of the parser throws; what() reads "[t_cmd_line_parser]:" followed by the
// description of the code (t_cmd_line_parser_error_traits).
using t_cmd_line_parser_exception =
    t_err_exception_with_params<t_cmd_line_parser_err_record, wchar_t>;

// Splits a command line into arguments, in command-line order.
//
// Syntax: whitespace is TAB, LF, CR and blank. `-` or `/` followed by a letter starts a name made
// of letters, digits and `_`; whatever follows the name starts the next token. A name registered
// as taking a value takes the next value token as its value (an empty one when a name or the end
// comes first); every other name is a switch. A value token is either the text between two
// double quotes (no escapes; it may be empty or hold anything) or a plain run of non-whitespace
// characters taken as they are; a doubled prefix (`--x`, `//x`) writes a value that starts with
// the prefix character (`-x`, `/x`). A value token that no name takes is a free value: an
// argument with an empty name.
//
// Single-threaded; one object parses one command line.
class t_cmd_line_parser
{
public:
    using t_arg_ptr = voka::infrastructure::core::structure::t_smart_object_ptr<t_cmd_line_arg>;
    using t_arguments = std::vector<t_arg_ptr>;

    t_cmd_line_parser();
    t_cmd_line_parser(const t_cmd_line_parser&) = delete;
    t_cmd_line_parser& operator=(const t_cmd_line_parser&) = delete;

    // Sets whether `name` takes a value (`takes_value` 1) or is a switch (any other value);
    // names compare exactly, case-sensitively. A later call for the same name wins.
    void register_name(const std::wstring& name, std::int32_t takes_value);

    // Parses `length` characters at `text` and appends the arguments found. Throws
    // t_cmd_line_parser_exception with code 1 when a prefix is the last character, 2 when a
    // single prefix is not followed by a letter, 4 when a quote is not closed; the arguments
    // found before the error stay. Allocation failure throws std::bad_alloc.
    void parse(const wchar_t* text, std::size_t length);

    t_arguments::iterator begin() noexcept { return m_arguments.begin(); }
    t_arguments::iterator end() noexcept { return m_arguments.end(); }
    std::size_t count() const noexcept { return m_arguments.size(); }
    t_arguments::iterator erase(t_arguments::iterator position)
    {
        return m_arguments.erase(position);
    }

private:
    bool is_name_start(wchar_t character) const;
    bool is_name_char(wchar_t character) const;
    bool takes_value(const std::wstring& name) const;
    // Gives `token` to the pending argument, or appends it as a free value.
    void deliver_value(std::wstring token, t_arg_ptr& pending);

    std::locale m_locale;
    const std::ctype<wchar_t>& m_ctype;
    std::map<std::wstring, std::int32_t> m_known_names;
    t_arguments m_arguments;
};

}  // namespace structure
