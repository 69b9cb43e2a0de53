// Finds a module's resource section in an ELF shared object: the bytes of the section named
// ".voka_rsrc", which the build puts there (see cmake/module_resources.cmake). Portable code: no
// OS calls.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voka::platform::elf
{

// The name of the section that holds a module's resource directory, laid out for section RVA 0.
inline constexpr std::string_view k_resource_section_name = ".voka_rsrc";

// A malformed ELF file: says what is wrong, e.g. "section header 3: name offset 0x91 is outside
// the section name table".
class t_elf_format_error : public std::runtime_error
{
public:
    explicit t_elf_format_error(const std::string& problem) : std::runtime_error(problem) {}
};

// Whether `file` starts with the ELF magic bytes (any class or byte order).
bool has_elf_magic(std::span<const std::uint8_t> file) noexcept;

// The bytes of the ".voka_rsrc" section of the ELF64 little-endian file `file`; nullopt for an
// ELF without that section (no section header table, no section name table, or no section of that
// name) or with an empty one. Reads the ELF header, the section header table (with the extended
// numbering of more than 0xFF00 sections) and the section name table, each checked to lie in the
// file; every section's name must be a terminated string inside the name table. Throws
// t_elf_format_error for another class or byte order, a table or the section outside the file,
// entries smaller than an ELF64 section header, a name table or resource section without file
// bytes (SHT_NOBITS), or two sections of that name. Never reads outside `file`.
std::optional<std::span<const std::uint8_t>>
find_elf_resource_section(std::span<const std::uint8_t> file);

}  // namespace voka::platform::elf
