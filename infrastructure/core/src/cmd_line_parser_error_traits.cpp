// The command-line parser's message templates and source name.
#include "voka/infrastructure/core/cmd_line_parser_error_traits.h"

#include <string>

namespace structure
{
namespace
{

struct t_template_row
{
    std::int32_t message_id;
    const wchar_t* text;
};

constexpr t_template_row k_templates[] = {
    {1, L"empty command line argument name."},
    {2, L"bad command line argument name."},
    {3, L"unknown command line argument [%1]."},
    {4, L"bad command line format."},
};

}  // namespace

bool t_cmd_line_parser_error_traits<void*>::find_template(const t_err_record_data& data,
                                                          std::int32_t /*use_neutral_lang*/,
                                                          std::int32_t /*lang_id*/,
                                                          std::wstring& text)
{
    for (const t_template_row& row : k_templates)
    {
        if (row.message_id == data.message_id)
        {
            text = row.text;
            return true;
        }
    }
    return false;
}

t_wmessage_formatter
t_cmd_line_parser_error_traits<void*>::unknown_template(const t_err_record_data& data)
{
    t_wmessage_formatter formatter(L"[cmd line parser] unknown error message [%1]");
    formatter.add_arg(std::to_wstring(data.message_id));
    return formatter;
}

bool t_cmd_line_parser_error_traits<void*>::find_source(const t_err_record_data& /*data*/,
                                                        std::int32_t /*use_neutral_lang*/,
                                                        std::int32_t /*lang_id*/,
                                                        std::wstring& text)
{
    text = L"t_cmd_line_parser";
    return true;
}

}  // namespace structure
