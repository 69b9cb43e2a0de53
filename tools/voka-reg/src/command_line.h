// voka-reg's command line: the options, declared once for the parser and the help text, and the
// checked arguments of one run.
#pragma once

#include "key_path.h"
#include "registry_operations.h"

#include <optional>
#include <string>
#include <vector>

namespace voka_reg
{

enum class t_command
{
    help,
    query,
    add,
    remove,  // "delete"
    export_key,
    import_file,
};

// The checked arguments of one run. Threading: a plain value.
struct t_arguments
{
    t_command command = t_command::help;
    std::optional<t_key_path> key;  // query, add, delete, export
    std::string file;               // export, import
    t_value_selection values;       // -v, -ve, -va
    bool recursive = false;         // -s
    DWORD type = REG_SZ;            // -t
    std::wstring data;              // -d
    bool overwrite = false;         // -y
    bool utf8 = false;              // -utf8
};

// Parses the arguments after the program name (UTF-8). Throws t_tool_error naming the argument
// that is unknown, missing or not allowed with the command.
t_arguments parse_command_line(const std::vector<std::string>& arguments);

// The help text: the usage of each command, then each option with its description.
std::string help_text();

}  // namespace voka_reg
