// Building the program arguments from a command line: the walk over the parsed arguments, the
// numeric conversions and the requirements of each command.
#include "prog_args.h"

#include "cmd_line_parser.h"
#include "numeric_value.h"
#include "tool_failure.h"
#include "tool_options.h"
#include "tool_texts.h"

#include <cwchar>
#include <optional>
#include <utility>

namespace tw
{
namespace
{

using voka::infrastructure::core::structure::make_smart;

// The command line without its trailing, then its leading blanks (blanks only, not tabs).
std::wstring_view trim_blanks(const wchar_t* command_line)
{
    if (command_line == nullptr)
        return {};
    std::wstring_view text(command_line, std::wcslen(command_line));
    while (!text.empty() && text.back() == L' ')
        text.remove_suffix(1);
    while (!text.empty() && text.front() == L' ')
        text.remove_prefix(1);
    return text;
}

std::uint16_t convert_numeric(const std::wstring& value, const char* not_a_number,
                              const char* out_of_range)
{
    std::uint16_t number = 0;
    switch (convert_to_word(value, number))
    {
    case t_word_conversion::converted:
        break;
    case t_word_conversion::not_a_number:
        raise_failure(not_a_number);
    case t_word_conversion::out_of_range:
        raise_failure(out_of_range);
    }
    return number;
}

// What the walk over the arguments has collected so far.
struct t_collected
{
    std::int32_t command = command_none;
    std::optional<std::wstring> module_name;
    std::optional<std::wstring> file_name;
    std::optional<std::wstring> type_name;
    std::optional<std::uint16_t> language;
    std::optional<t_resource_name> resource_name;
};

std::optional<std::wstring>* text_parameter(t_collected& collected, const std::wstring& name)
{
    if (name == L"file")
        return &collected.file_name;
    if (name == L"module")
        return &collected.module_name;
    if (name == L"type")
        return &collected.type_name;
    return nullptr;
}

std::int32_t primary_command(const std::wstring& name)
{
    for (const t_tool_option& option : tool_options())
    {
        if (option.command != command_none && name == option.name)
            return option.command;
    }
    return command_none;
}

void collect(const structure::t_cmd_line_arg& argument, std::size_t argument_count,
             t_collected& collected)
{
    const std::wstring& name = argument.name();
    const std::wstring& value = argument.value();

    if (const std::int32_t command = primary_command(name); command != command_none)
    {
        if (collected.command != command_none)
            raise_failure(texts::multiple_primary);
        // help stands alone.
        if (command == command_help && argument_count > 1)
            raise_failure(texts::incorrect_command_line);
        collected.command = command;
        return;
    }
    if (std::optional<std::wstring>* const parameter = text_parameter(collected, name))
    {
        if (parameter->has_value())
            raise_failure(texts::multiple_definition, name);
        if (value.empty())
            raise_failure(texts::empty_value, name);
        *parameter = value;
        return;
    }
    if (name == L"name" || name == L"id")
    {
        if (collected.resource_name.has_value())
            raise_failure(texts::incorrect_command_line);
        if (value.empty())
            raise_failure(texts::empty_value, name);
        t_resource_name resource_name;
        if (name == L"name")
            resource_name.set_text(value);
        else
            resource_name.set_id(convert_numeric(value, texts::bad_id_value, texts::id_not_word));
        collected.resource_name = std::move(resource_name);
        return;
    }
    if (name == L"lang")
    {
        if (collected.language.has_value())
            raise_failure(texts::multiple_definition, name);
        if (value.empty())
            raise_failure(texts::empty_value, name);
        collected.language = convert_numeric(value, texts::bad_lang_value, texts::lang_not_word);
        return;
    }
    if (name.empty())
        raise_failure(texts::incorrect_command_line);
    raise_failure(texts::unknown_argument, name);
}

// The first unmet requirement of the collected command, in the order the checks run.
void check_requirements(const t_collected& collected)
{
    switch (collected.command)
    {
    case command_none:
        raise_failure(texts::no_primary);
    case command_help:
        return;
    case command_read:
        if (!collected.file_name)
            raise_failure(texts::no_target_file);
        if (!collected.module_name)
            raise_failure(texts::no_source_module);
        break;
    case command_write:
    case command_add:
        if (!collected.file_name)
            raise_failure(texts::no_source_file);
        if (!collected.module_name)
            raise_failure(texts::no_target_module);
        break;
    case command_delete:
        if (collected.file_name)
            raise_failure(texts::incorrect_command_line);
        if (!collected.module_name)
            raise_failure(texts::no_module);
        break;
    default:
        break;
    }
    if (!collected.type_name)
        raise_failure(texts::no_type);
    if (!collected.language)
        raise_failure(texts::no_lang);
    if (!collected.resource_name)
        raise_failure(texts::no_identifier);
}

}  // namespace

TW_ProgArgs::TW_ProgArgs(std::int32_t command, std::wstring module_name, std::wstring file_name,
                         std::wstring type_name, t_resource_name resource_name,
                         std::uint16_t language)
    : m_command(command), m_module_name(std::move(module_name)), m_file_name(std::move(file_name)),
      m_type_name(std::move(type_name)), m_resource_name(std::move(resource_name)),
      m_language(language)
{
}

TW_ProgArgs::t_ptr TW_ProgArgs::Create(const wchar_t* command_line)
{
    structure::t_cmd_line_parser parser;
    for (const t_tool_option& option : tool_options())
        parser.register_name(option.name, option.takes_value ? 1 : 0);

    const std::wstring_view text = trim_blanks(command_line);
    parser.parse(text.data(), text.size());
    if (parser.count() == 0)
        raise_failure(texts::bug_check_create);

    parser.erase(parser.begin());  // the program's own path
    if (parser.count() == 0)
        return make_smart<TW_ProgArgs>(command_help, L"", L"", L"", t_resource_name(), 0);

    t_collected collected;
    for (const structure::t_cmd_line_parser::t_arg_ptr& argument : parser)
        collect(*argument, parser.count(), collected);
    check_requirements(collected);

    if (collected.command == command_help)
        return make_smart<TW_ProgArgs>(command_help, L"", L"", L"", t_resource_name(), 0);
    return make_smart<TW_ProgArgs>(
        collected.command, std::move(*collected.module_name),
        collected.command == command_delete ? std::wstring() : std::move(*collected.file_name),
        std::move(*collected.type_name), std::move(*collected.resource_name), *collected.language);
}

void TW_ProgArgs::print_help(std::ostream& out)
{
    const std::string text = help_text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
}

}  // namespace tw
