// The message of a malformed-module error: structure, offset and problem.
#include "pe_format_error.h"

#include <cstdio>

namespace voka::platform::pe
{
namespace
{

std::string describe(std::string_view structure, std::uint64_t offset, std::string_view problem)
{
    char position[32];
    std::snprintf(position, sizeof(position), "0x%llx", static_cast<unsigned long long>(offset));
    std::string text(structure);
    text += " at offset ";
    text += position;
    text += ": ";
    text += problem;
    return text;
}

}  // namespace

t_pe_format_error::t_pe_format_error(std::string_view structure, std::uint64_t offset,
                                     std::string_view problem)
    : std::runtime_error(describe(structure, offset, problem)), m_structure(structure),
      m_offset(offset)
{
}

}  // namespace voka::platform::pe
