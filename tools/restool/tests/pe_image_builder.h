// Minimal PE modules for tarnwick's end-to-end tests: a DLL image with a code section and a
// resource section built by the resource-directory codec, and a reader for the section table of
// the files the tool writes.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw::testing
{

struct t_pe_layout
{
    bool pe32_plus = true;              // PE32+ (x64) or PE32 (x86)
    bool with_resources = true;         // false: no .rsrc section, no resource data directory
    std::vector<std::uint8_t> code;     // raw bytes of the .text section (never empty)
    std::vector<std::uint8_t> overlay;  // bytes after the last section
    bool headers_full = false;          // the section table ends at the first section's data
};

// A DLL image: DOS header, PE signature, COFF header, optional header (data directory 2 = the
// resource section), section headers; then .text at RVA 0x1000 and, when asked, .rsrc holding
// build_resource_directory(content) right after it. File alignment 0x200, section alignment
// 0x1000; SizeOfImage, SizeOfInitializedData and SizeOfCode match the sections. The PE header
// follows the DOS header at 0x40; with headers_full it is moved down so that the section table
// ends exactly at SizeOfHeaders (0x200), leaving no room for another section header.
std::vector<std::uint8_t> build_pe_module(const voka::platform::t_resource_content& content,
                                          const t_pe_layout& layout);

// A section as the section table of a PE file describes it, with its raw bytes.
struct t_pe_section
{
    std::string name;
    std::uint32_t virtual_address = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_offset = 0;
    std::vector<std::uint8_t> raw_bytes;
};

// The sections of the PE file `image`, in table order; nullopt when the headers or a section's
// raw data do not fit in the file.
std::optional<std::vector<t_pe_section>> read_pe_sections(const std::vector<std::uint8_t>& image);

// Entry `index` of the optional header's data directory of the PE file `image` (RVA, size);
// nullopt when the headers do not hold it.
struct t_pe_data_directory
{
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};
std::optional<t_pe_data_directory> read_data_directory(const std::vector<std::uint8_t>& image,
                                                       std::size_t index);

// The file offset just past the raw data of the last section (where an overlay starts).
std::optional<std::uint32_t> end_of_sections(const std::vector<std::uint8_t>& image);

}  // namespace tw::testing
