// The C++ source that carries a resource section into a shared object.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace voka::rc
{

// A translation unit defining the hidden symbols voka_module_resource_section (the bytes, in the
// section ".voka_rsrc", 8-byte aligned, kept even when unreferenced) and
// voka_module_resource_section_size, with a header comment naming `source_name`.
std::string emit_resource_source(std::span<const std::uint8_t> section,
                                 std::string_view source_name);

}  // namespace voka::rc
