// The commands and parameters of tarnwick, declared once: they drive the parser, the argument
// checks and the help text.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tw
{

// Command codes of the primary commands; 0 marks a parameter.
enum : std::int32_t
{
    command_none = 0,
    command_help = 1,
    command_read = 2,
    command_write = 3,
    command_delete = 4,
    command_add = 5,
};

struct t_tool_option
{
    const wchar_t* name;      // written after `-` or `/`; exact and case-sensitive
    std::int32_t command;     // the primary command's code; command_none for a parameter
    bool takes_value;         // parameters take the token that follows them
    const char* description;  // the help text
};

// Every option, in help order: the primary commands, then the parameters.
std::span<const t_tool_option> tool_options() noexcept;

// The help text: one line per option, its name padded with blanks to 20 characters, then its
// description and a line end.
std::string help_text();

}  // namespace tw
