// The layout decisions of a resource update: where the new resource section goes in the module,
// and the complete new file as pieces of the old one, new headers and the new section. Portable
// code: no OS calls.
//
// The rules, in order:
//  - The resource section is resized where it stands when it is the section data directory 2
//    points at the start of, is named ".rsrc", and every section after it is one that nothing
//    addresses directly: ".reloc" (found only through data directory 5) or a discardable section
//    (debug information). Those move behind the resized section in the same order, keeping their
//    bytes, with their addresses (aligned to SectionAlignment), file offsets (aligned to
//    FileAlignment) and the data directories that point into them updated. Nothing else may lie
//    between them in the file, other data directories must not point into the resource section,
//    and debug-directory entries must not point into what moves; otherwise:
//  - the new resource data goes into a new last section ".rsrc" (initialized, readable data)
//    behind every other section, the old resource section staying where it is, unused. A module
//    without resources gets its first resource section the same way. The new section header
//    needs 40 zero bytes behind the section table, inside SizeOfHeaders and before the first
//    section's data; without them the update fails (t_update_failure::no_room_for_section_header).
//  - Bytes behind the last section (the overlay: installer payloads, the COFF symbol and string
//    tables) follow the sections as they were, moved by the change of size; PointerToSymbolTable
//    and the sections' COFF relocation and line-number pointers follow them.
//  - The certificate table (data directory 4) cannot stay valid: its entry is zeroed and, when it
//    lies behind the sections, its bytes are dropped.
//  - SizeOfImage is recomputed from the sections, SizeOfInitializedData changes by the change of
//    the initialized sections' file sizes, data directory 2 gives the new section's RVA and size,
//    and the checksum is recomputed (by the writer, over the new file) when the old one was set.
#pragma once

#include "output_piece.h"
#include "pe_image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace voka::platform::pe
{

enum class t_update_failure
{
    no_room_for_section_header,  // the headers cannot take one more section header
    image_too_large,             // an address or file offset would pass 32 bits
    unsupported_layout,          // something that must stay put refers to bytes that have to move
};

// An update that this module's layout does not allow; the module stays as it is.
class t_pe_update_error : public std::runtime_error
{
public:
    t_pe_update_error(t_update_failure failure, const std::string& what)
        : std::runtime_error(what), m_failure(failure)
    {
    }
    t_update_failure failure() const noexcept { return m_failure; }

private:
    t_update_failure m_failure;
};

struct t_resource_placement
{
    bool in_place = false;          // resize the existing resource section
    std::size_t section_index = 0;  // when in place: the resource section's index
    std::uint32_t rva = 0;          // where the new resource section starts
};

// Decides where the new resource section goes (see the rules above). Throws t_pe_update_error
// (image_too_large) when a new section would not fit the address space.
t_resource_placement place_resource_section(const t_pe_image& image,
                                            std::span<const std::uint8_t> file);

// The new file: its pieces, and where the checksum goes once computed over them.
struct t_update_plan
{
    t_piece_list pieces;
    std::optional<std::uint64_t> checksum_offset;  // set when the old module had a checksum
};

// The new file for `image` (whose whole old file is `file`) with `section` as the content of the
// resource section placed by `placement` (its size a multiple of 8). Throws t_pe_update_error.
t_update_plan plan_module_update(const t_pe_image& image, std::span<const std::uint8_t> file,
                                 const t_resource_placement& placement,
                                 const t_piece_list& section);

// Rejects what the updater cannot keep valid whatever the update: a COFF symbol-table pointer
// that leads outside the file. Throws t_pe_format_error.
void check_updatable(const t_pe_image& image);

}  // namespace voka::platform::pe
