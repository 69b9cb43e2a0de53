// The option table of tarnwick and the help text built from it.
#include "tool_options.h"

#include "voka/infrastructure/core/text_converters.h"

#include <array>

namespace tw
{
namespace
{

constexpr std::size_t help_name_width = 20;

constexpr std::array<t_tool_option, 11> options{{
    {L"help", command_help, false, "[primary] print helps"},
    {L"read", command_read, false, "[primary] read resource from module"},
    {L"write", command_write, false, "[primary] write (update) resource to module"},
    {L"del", command_delete, false, "[primary] delete resource from module"},
    {L"add", command_add, false, "[primary] add resource to module"},
    {L"module", command_none, true, "name of module"},
    {L"file", command_none, true, "name of file"},
    {L"type", command_none, true, "name of resource type"},
    {L"id", command_none, true, "numeric identifier of resource"},
    {L"name", command_none, true, "text identifier of resource"},
    {L"lang", command_none, true, "numeric identifier of language"},
}};

}  // namespace

std::span<const t_tool_option> tool_options() noexcept
{
    return options;
}

std::string help_text()
{
    std::string text;
    for (const t_tool_option& option : options)
    {
        std::string line;
        voka::infrastructure::core::structure::t_unicode_to_ansi::convert(line, option.name, -1);
        if (line.size() < help_name_width)
            line.append(help_name_width - line.size(), ' ');
        line += option.description;
        line += '\n';
        text += line;
    }
    return text;
}

}  // namespace tw
