// The error of a malformed resource directory: its message names the structure and the offset.
#include "voka/platform/resource_directory.h"

#include <cstdio>

namespace voka::platform
{
namespace
{

std::string describe(std::string_view structure, std::uint64_t offset, std::string_view problem)
{
    char offset_text[32];
    std::snprintf(offset_text, sizeof(offset_text), "0x%llX",
                  static_cast<unsigned long long>(offset));
    std::string text(structure);
    text += " at offset ";
    text += offset_text;
    text += ": ";
    text += problem;
    return text;
}

}  // namespace

t_resource_directory_error::t_resource_directory_error(std::string_view structure,
                                                       std::uint64_t offset,
                                                       std::string_view problem)
    : std::runtime_error(describe(structure, offset, problem)), m_structure(structure),
      m_offset(offset)
{
}

}  // namespace voka::platform
