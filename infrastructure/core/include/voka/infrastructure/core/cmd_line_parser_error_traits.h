// Error traits of the command-line parser: a fixed source name and a static table
// of message templates keyed by the parser's error code.
#pragma once

#include "voka/infrastructure/core/err_record_with_params.h"

#include <cstdint>
#include <string>

namespace structure
{

template <typename t_tag>
struct t_cmd_line_parser_error_traits;

template <>
struct t_cmd_line_parser_error_traits<void*>
{
    struct record_data_ext_type
    {
    };

    // The parser's error codes.
    enum : std::int32_t
    {
        err_empty_arg_name = 1,
        err_bad_arg_name = 2,
        err_unknown_arg = 3,
        err_bad_format = 4,
    };

    static constexpr bool clear_help_file = true;

    // A parser record: kind 0, value 2 0, code and message id both the parser's code.
    static void init(t_err_record_data& data, std::int32_t code)
    {
        data.error_kind = 0;
        data.value2 = 0;
        data.error_code = code;
        data.source_id = 0;
        data.message_id = code;
        data.help_context = 0;
    }

    static bool find_template(const t_err_record_data& data, std::int32_t use_neutral_lang,
                              std::int32_t lang_id, std::wstring& text);
    static t_wmessage_formatter unknown_template(const t_err_record_data& data);
    static bool find_source(const t_err_record_data& data, std::int32_t use_neutral_lang,
                            std::int32_t lang_id, std::wstring& text);
    static const char* critical_text() noexcept { return "[cmd line parser] critical error"; }
};

using t_cmd_line_parser_err_record =
    t_err_record_with_params<t_cmd_line_parser_error_traits<void*>, wchar_t>;

}  // namespace structure
