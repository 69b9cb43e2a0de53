// The program arguments of tarnwick: which command runs on which module, file and resource.
#pragma once

#include "resource_name.h"
#include "voka/infrastructure/core/smart_interface.h"
#include "voka/infrastructure/core/smart_interface_impl.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace tw
{

// The validated command line. A counted object: Create hands out the first reference.
class TW_ProgArgs final : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
                              voka::infrastructure::core::structure::t_smart_interface>
{
public:
    using t_ptr = voka::infrastructure::core::structure::t_smart_object_ptr<TW_ProgArgs>;

    // The arguments of the process's command line (GetCommandLineW); see Create(text).
    static t_ptr Create();

    // The arguments of `command_line`, the whole command line with the program's path first
    // (null counts as empty). Nothing after the path means help. Throws std::runtime_error with
    // a message of tool_texts.h for an invalid line (checks in command-line order, then the
    // command's requirements), the parser's t_cmd_line_parser_exception for a syntax error and
    // std::bad_alloc.
    static t_ptr Create(const wchar_t* command_line);

    // Writes the help text (tool_options.h) to `out`.
    static void print_help(std::ostream& out);

    TW_ProgArgs(std::int32_t command, std::wstring module_name, std::wstring file_name,
                std::wstring type_name, t_resource_name resource_name, std::uint16_t language);

    std::int32_t command() const noexcept { return m_command; }  // command_help ... command_add
    const std::wstring& module_name() const noexcept { return m_module_name; }
    const std::wstring& file_name() const noexcept { return m_file_name; }  // empty for del
    const std::wstring& type_name() const noexcept { return m_type_name; }  // always text
    const t_resource_name& resource_name() const noexcept { return m_resource_name; }
    std::uint16_t language() const noexcept { return m_language; }

private:
    std::int32_t m_command;
    std::wstring m_module_name;
    std::wstring m_file_name;
    std::wstring m_type_name;
    t_resource_name m_resource_name;
    std::uint16_t m_language;
};

}  // namespace tw
