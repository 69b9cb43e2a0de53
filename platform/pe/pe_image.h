// The PE reader: the headers and section table of a PE32 or PE32+ module, read from the bytes of
// its file, and the mapping of RVAs to file offsets. Portable code: no OS calls.
//
// What it checks, so that every later read of the module can trust these numbers: the DOS header
// and its "MZ" signature, e_lfanew and the "PE\0\0" signature, the COFF file header, an optional
// header of magic 0x10B (PE32) or 0x20B (PE32+) large enough for its fixed fields and the data
// directories it announces, file and section alignments that are powers of two, a section table
// inside the file, and every section's file data inside the file (a module truncated inside its
// sections is rejected) and in ascending, non-overlapping virtual addresses. The COFF symbol table
// is deprecated for images and the loader ignores it, so a pointer to it that leads nowhere is
// recorded as such (symbol_table_fits is false), not rejected. Field offsets follow winnt.h and
// Microsoft's PE format document; every value is little-endian.
#pragma once

#include "pe_format_error.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace voka::platform::pe
{

// ---- On-disk records: sizes, field positions and flags ----

inline constexpr std::uint16_t k_dos_signature = 0x5A4D;     // "MZ"
inline constexpr std::uint32_t k_pe_signature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint64_t k_dos_header_size = 64;
inline constexpr std::uint64_t k_dos_lfanew_position = 0x3C;
inline constexpr std::uint64_t k_file_header_size = 20;      // IMAGE_FILE_HEADER
inline constexpr std::uint64_t k_section_header_size = 40;   // IMAGE_SECTION_HEADER
inline constexpr std::uint64_t k_data_directory_size = 8;    // IMAGE_DATA_DIRECTORY
inline constexpr std::uint64_t k_symbol_size = 18;           // IMAGE_SYMBOL
inline constexpr std::uint64_t k_debug_directory_size = 28;  // IMAGE_DEBUG_DIRECTORY

inline constexpr std::uint16_t k_pe32_magic = 0x10B;
inline constexpr std::uint16_t k_pe32_plus_magic = 0x20B;

// IMAGE_FILE_HEADER fields, relative to the header.
struct t_file_header_fields
{
    static constexpr std::size_t machine = 0;
    static constexpr std::size_t number_of_sections = 2;
    static constexpr std::size_t pointer_to_symbol_table = 8;
    static constexpr std::size_t number_of_symbols = 12;
    static constexpr std::size_t size_of_optional_header = 16;
    static constexpr std::size_t characteristics = 18;
};

// IMAGE_OPTIONAL_HEADER32/64 fields shared by both forms, relative to the optional header.
struct t_optional_header_fields
{
    static constexpr std::size_t magic = 0;
    static constexpr std::size_t size_of_initialized_data = 8;
    static constexpr std::size_t section_alignment = 32;
    static constexpr std::size_t file_alignment = 36;
    static constexpr std::size_t size_of_image = 56;
    static constexpr std::size_t size_of_headers = 60;
    static constexpr std::size_t checksum = 64;
    // NumberOfRvaAndSizes and the directories sit after the stack and heap sizes, which are
    // 32 bits wide in PE32 and 64 bits in PE32+.
    static constexpr std::size_t number_of_rva_and_sizes_pe32 = 92;
    static constexpr std::size_t number_of_rva_and_sizes_pe32_plus = 108;
};

// IMAGE_SECTION_HEADER fields, relative to the header.
struct t_section_header_fields
{
    static constexpr std::size_t name = 0;
    static constexpr std::size_t virtual_size = 8;
    static constexpr std::size_t virtual_address = 12;
    static constexpr std::size_t size_of_raw_data = 16;
    static constexpr std::size_t pointer_to_raw_data = 20;
    static constexpr std::size_t pointer_to_relocations = 24;
    static constexpr std::size_t pointer_to_linenumbers = 28;
    static constexpr std::size_t characteristics = 36;
};

// IMAGE_DEBUG_DIRECTORY fields, relative to the entry.
struct t_debug_directory_fields
{
    static constexpr std::size_t size_of_data = 16;
    static constexpr std::size_t address_of_raw_data = 20;
    static constexpr std::size_t pointer_to_raw_data = 24;
};

inline constexpr std::uint32_t k_scn_cnt_initialized_data = 0x00000040;
inline constexpr std::uint32_t k_scn_mem_discardable = 0x02000000;
inline constexpr std::uint32_t k_scn_mem_read = 0x40000000;

// Data directory indices (IMAGE_DIRECTORY_ENTRY_*).
inline constexpr std::size_t k_resource_directory = 2;
inline constexpr std::size_t k_certificate_directory = 4;  // holds a file offset, not an RVA
inline constexpr std::size_t k_base_relocation_directory = 5;
inline constexpr std::size_t k_debug_directory = 6;
inline constexpr std::size_t k_max_data_directories = 16;  // the loader reads no more

// ---- The parsed headers ----

struct t_data_directory
{
    std::uint32_t rva = 0;  // a file offset for the certificate table
    std::uint32_t size = 0;

    bool is_present() const noexcept { return size != 0; }
};

struct t_section
{
    std::array<std::uint8_t, 8> name{};  // as stored: NUL-padded, or "/<n>" for a long name
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
    std::uint32_t pointer_to_relocations = 0;
    std::uint32_t pointer_to_linenumbers = 0;
    std::uint32_t characteristics = 0;
    std::uint64_t header_offset = 0;  // of its IMAGE_SECTION_HEADER in the file

    // The bytes the loader reserves for it: VirtualSize, or SizeOfRawData when that is 0.
    std::uint32_t loaded_size() const noexcept
    {
        return virtual_size != 0 ? virtual_size : raw_size;
    }
    std::uint64_t raw_end() const noexcept { return std::uint64_t{raw_pointer} + raw_size; }
    bool is_discardable() const noexcept { return (characteristics & k_scn_mem_discardable) != 0; }
    bool has_initialized_data() const noexcept
    {
        return (characteristics & k_scn_cnt_initialized_data) != 0;
    }
    // Whether the stored name is `text` exactly (`text` at most 8 characters).
    bool is_named(std::string_view text) const noexcept;
};

// A range of file offsets.
struct t_file_range
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;

    std::uint64_t end() const noexcept { return offset + size; }
};

struct t_pe_image
{
    std::uint64_t file_size = 0;
    std::uint64_t file_header_offset = 0;  // IMAGE_FILE_HEADER, after "PE\0\0"
    std::uint64_t optional_header_offset = 0;
    std::uint64_t data_directories_offset = 0;
    std::uint64_t section_table_offset = 0;

    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t optional_header_size = 0;
    std::uint32_t symbol_table_pointer = 0;
    std::uint32_t symbol_count = 0;
    bool is_pe32_plus = false;

    std::uint32_t size_of_initialized_data = 0;
    std::uint32_t section_alignment = 0;
    std::uint32_t file_alignment = 0;
    std::uint32_t size_of_image = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t checksum = 0;
    std::uint32_t data_directory_count = 0;  // NumberOfRvaAndSizes as stored

    std::vector<t_data_directory> data_directories;  // at most k_max_data_directories
    std::vector<t_section> sections;                 // in table order, ascending addresses

    // The COFF symbol table and the string table behind it, when PointerToSymbolTable is set and
    // both lie in the file; symbol_table_fits is false when the pointer is set but leads outside.
    std::optional<t_file_range> symbol_table;
    bool symbol_table_fits = true;

    // The directory at `index`, or an empty one when the header has no such entry.
    t_data_directory data_directory(std::size_t index) const noexcept;
    // The file offset of the directory entry `index` (index < data_directories.size()).
    std::uint64_t data_directory_offset(std::size_t index) const noexcept
    {
        return data_directories_offset + index * k_data_directory_size;
    }
    std::uint64_t section_table_end() const noexcept
    {
        return section_table_offset + sections.size() * k_section_header_size;
    }
    // The end of the last section's file data (or of the section table when no section has any):
    // whatever lies behind it in the file is not part of any section.
    std::uint64_t sections_end() const noexcept;

    // The section whose addresses [VirtualAddress, VirtualAddress + loaded_size()) hold `rva`.
    const t_section* section_at(std::uint32_t rva) const noexcept;
    // The file offset of the `length` bytes at `rva` when all of them lie in the file: in the
    // headers (mapped at RVA 0) or in one section's file data (SizeOfRawData bytes from its
    // VirtualAddress, as the loader resolves RVAs of a module mapped as a data file).
    std::optional<std::uint64_t> file_offset_of(std::uint32_t rva,
                                                std::uint32_t length) const noexcept;
};

// Reads the headers of the module whose whole file is `file`. Throws t_pe_format_error for
// anything malformed or truncated (see the top of this header); never reads outside `file`.
t_pe_image parse_pe_image(std::span<const std::uint8_t> file);

}  // namespace voka::platform::pe
