// Parsing voka-reg's command line, driven by one table of commands and one of options.
#include "command_line.h"

#include "tool_error.h"
#include "value_data.h"

#include <algorithm>

namespace voka_reg
{
namespace
{

struct t_command_entry
{
    const char* name;
    t_command command;
    const char* usage;    // the positional arguments
    const char* options;  // the options it takes, each followed by a blank
    const char* summary;
};

const t_command_entry k_commands[] = {
    {"query", t_command::query, "<key>", "-v -ve -s ", "show a key's values and sub keys"},
    {"add", t_command::add, "<key>", "-v -ve -t -d -f ",
     "create a key, and set a value when -v or -ve is given"},
    {"delete", t_command::remove, "<key>", "-v -ve -va -f ",
     "delete a key with everything below it, or the values named"},
    {"export", t_command::export_key, "<key> <file>", "-y -utf8 ",
     "write a key and everything below it to a .reg file"},
    {"import", t_command::import_file, "<file>", "", "apply a .reg file"},
    {"help", t_command::help, "", "", "show this text"},
};

struct t_option_entry
{
    const char* name;
    bool takes_value;
    const char* description;
};

const t_option_entry k_options[] = {
    {"-v", true, "<name>  the value named (query, add, delete)"},
    {"-ve", false, "the default value (query, add, delete)"},
    {"-va", false, "all values of the key (delete)"},
    {"-s", false, "every key below as well (query)"},
    {"-t", true,
     "<type>  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
     "REG_QWORD, REG_BINARY or REG_NONE (add)"},
    {"-d", true,
     "<data>  the data: text; a number for REG_DWORD and REG_QWORD (decimal or "
     "0x...); hexadecimal digit pairs for REG_BINARY and REG_NONE; items separated "
     "by \\0 for REG_MULTI_SZ (add)"},
    {"-f", false, "accepted for reg.exe's sake: voka-reg never asks"},
    {"-y", false, "overwrite an existing file (export)"},
    {"-utf8", false, "write UTF-8 instead of the registry editor's UTF-16 (export)"},
};

const t_command_entry* find_command(const std::string& name)
{
    for (const t_command_entry& entry : k_commands)
        if (name == entry.name)
            return &entry;
    return nullptr;
}

const t_option_entry* find_option(const std::string& name)
{
    for (const t_option_entry& entry : k_options)
        if (name == entry.name)
            return &entry;
    return nullptr;
}

bool allows(const t_command_entry& command, const std::string& option)
{
    return std::string(command.options).find(option + " ") != std::string::npos;
}

std::size_t positional_count(const t_command_entry& command)
{
    const std::string usage = command.usage;
    return static_cast<std::size_t>(std::count(usage.begin(), usage.end(), '<'));
}

}  // namespace

t_arguments parse_command_line(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        raise_error("no command (try: voka-reg help)");
    if (arguments[0] == "-h" || arguments[0] == "--help" || arguments[0] == "-?")
        return t_arguments{};
    const t_command_entry* command = find_command(arguments[0]);
    if (command == nullptr)
        raise_error("unknown command \"" + arguments[0] + "\" (try: voka-reg help)");
    t_arguments result;
    result.command = command->command;
    std::vector<std::string> positionals;
    bool has_name = false;
    bool has_data = false;
    bool has_type = false;
    for (std::size_t i = 1; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument[0] != '-')
        {
            positionals.push_back(argument);
            continue;
        }
        const t_option_entry* option = find_option(argument);
        if (option == nullptr)
            raise_error("unknown option " + argument);
        if (!allows(*command, argument))
            raise_error(std::string(command->name) + " does not take " + argument);
        std::string value;
        if (option->takes_value)
        {
            if (i + 1 >= arguments.size())
                raise_error(argument + " needs a value");
            value = arguments[++i];
        }
        if (argument == "-v" || argument == "-ve" || argument == "-va")
        {
            if (has_name)
                raise_error("-v, -ve and -va exclude each other");
            has_name = true;
            if (argument == "-va")
                result.values.all = true;
            else
                result.values.name = argument == "-v" ? from_utf8(value) : std::wstring();
        }
        else if (argument == "-s")
        {
            result.recursive = true;
        }
        else if (argument == "-t")
        {
            const auto type = type_from_name(from_utf8(value));
            if (!type)
                raise_error("unknown type " + value);
            result.type = *type;
            has_type = true;
        }
        else if (argument == "-d")
        {
            result.data = from_utf8(value);
            has_data = true;
        }
        else if (argument == "-y")
        {
            result.overwrite = true;
        }
        else if (argument == "-utf8")
        {
            result.utf8 = true;
        }
    }
    if (positionals.size() != positional_count(*command))
        raise_error(std::string("usage: voka-reg ") + command->name +
                    (command->usage[0] != '\0' ? std::string(" ") + command->usage : "") +
                    " [options]");
    if ((has_data || has_type) && !has_name)
        raise_error("-t and -d need -v or -ve");
    switch (result.command)
    {
    case t_command::query:
    case t_command::add:
    case t_command::remove:
        result.key = parse_key_path(from_utf8(positionals[0]));
        break;
    case t_command::export_key:
        result.key = parse_key_path(from_utf8(positionals[0]));
        result.file = positionals[1];
        break;
    case t_command::import_file:
        result.file = positionals[0];
        break;
    case t_command::help:
        break;
    }
    return result;
}

std::string help_text()
{
    std::string text = "voka-reg: look at and change the registry.\n\nCommands:\n";
    for (const t_command_entry& command : k_commands)
    {
        std::string usage = std::string("  voka-reg ") + command.name;
        if (command.usage[0] != '\0')
            usage += std::string(" ") + command.usage;
        std::string options = command.options;
        if (!options.empty())
        {
            options.pop_back();
            usage += " [" + options + "]";
        }
        text += usage + "\n      " + command.summary + "\n";
    }
    text += "\nOptions:\n";
    for (const t_option_entry& option : k_options)
    {
        std::string line = std::string("  ") + option.name;
        line.resize(10, ' ');
        // Words wrapped at 78 columns, the lines after the first indented like it.
        const std::string description = option.description;
        std::size_t start = 0;
        while (start < description.size())
        {
            std::size_t end = description.find(' ', start);
            if (end == std::string::npos)
                end = description.size();
            const std::string word = description.substr(start, end - start);
            if (line.size() > 10 && line.size() + 1 + word.size() > 78)
            {
                text += line + "\n";
                line = std::string(10, ' ');
            }
            if (line.size() > 10)
                line += ' ';
            line += word;
            start = end + 1;
        }
        text += line + "\n";
    }
    text += "\nKeys are written ROOT\\path\\to\\key, ROOT one of HKEY_LOCAL_MACHINE (HKLM),\n"
            "HKEY_CURRENT_USER (HKCU), HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKU) and\n"
            "HKEY_CURRENT_CONFIG (HKCC). The registry is the one VOKA_REGISTRY names, else\n"
            "$XDG_DATA_HOME/voka/registry.db (by default ~/.local/share/voka/registry.db).\n";
    return text;
}

}  // namespace voka_reg
