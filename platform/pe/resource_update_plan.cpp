// The planner of a resource update (see resource_update_plan.h for the rules). It works on the old
// file's bytes and the parsed headers, and produces the new file as pieces; header fields change
// in a copy of the old headers, every other byte of the old file is referred to, never copied.
// Where bytes move, two maps say where they went: file offsets (for PointerToSymbolTable and the
// sections' COFF pointers) and RVAs (for data directories that point into moved sections).
#include "resource_update_plan.h"

#include "pe_bytes.h"

#include <algorithm>
#include <string>

namespace voka::platform::pe
{
namespace
{

constexpr std::uint64_t k_limit_32 = 0xFFFFFFFFull;
constexpr std::uint64_t k_address_space = 0x100000000ull;
constexpr std::uint64_t k_coff_relocation_size = 10;  // IMAGE_RELOCATION
constexpr std::uint64_t k_coff_linenumber_size = 6;   // IMAGE_LINENUMBER
constexpr std::size_t k_number_of_relocations = 32;   // in IMAGE_SECTION_HEADER
constexpr std::size_t k_number_of_linenumbers = 34;
constexpr std::uint8_t k_resource_section_name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
constexpr std::uint32_t k_resource_section_characteristics =
    k_scn_cnt_initialized_data | k_scn_mem_read;

[[noreturn]] void fail(t_update_failure failure, const std::string& what)
{
    throw t_pe_update_error(failure, what);
}

bool is_zero(std::span<const std::uint8_t> file, std::uint64_t offset, std::uint64_t length)
{
    if (!range_fits(offset, length, file.size()))
        return false;
    const auto bytes =
        file.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

bool is_movable(const t_section& section) noexcept
{
    return section.is_named(".reloc") || section.is_discardable();
}

// Where an IMAGE_DEBUG_DIRECTORY entry says its data is.
struct t_debug_data
{
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
    std::uint32_t pointer = 0;
};

std::vector<t_debug_data> read_debug_data(const t_pe_image& image,
                                          std::span<const std::uint8_t> file)
{
    const t_data_directory entry = image.data_directory(k_debug_directory);
    if (!entry.is_present())
        return {};
    // A debug directory outside the file data describes nothing the update could move.
    const std::optional<std::uint64_t> offset = image.file_offset_of(entry.rva, entry.size);
    if (!offset)
        return {};
    const t_pe_bytes bytes(file);
    std::vector<t_debug_data> result;
    for (std::uint64_t at = *offset; at + k_debug_directory_size <= *offset + entry.size;
         at += k_debug_directory_size)
    {
        using t_fields = t_debug_directory_fields;
        const t_pe_record record =
            bytes.record(at, k_debug_directory_size, "IMAGE_DEBUG_DIRECTORY");
        result.push_back({record.u32(t_fields::size_of_data),
                          record.u32(t_fields::address_of_raw_data),
                          record.u32(t_fields::pointer_to_raw_data)});
    }
    return result;
}

bool address_ranges_overlap(std::uint32_t rva, std::uint32_t size, const t_section& section)
{
    return ranges_overlap(rva, size, section.virtual_address, section.loaded_size());
}

bool address_range_within(std::uint32_t rva, std::uint32_t size, const t_section& section)
{
    return rva >= section.virtual_address &&
           range_fits(rva - section.virtual_address, size, section.loaded_size());
}

// Whether the resource section `index` can be resized where it stands, moving what follows it.
bool can_resize_in_place(const t_pe_image& image, std::span<const std::uint8_t> file,
                         std::size_t index)
{
    const t_section& resources = image.sections[index];
    for (std::size_t other = 0; other < index; ++other)
    {
        const t_section& section = image.sections[other];
        if (section.raw_size != 0 && section.raw_end() > resources.raw_pointer)
            return false;
    }
    std::uint64_t cursor = resources.raw_end();
    for (std::size_t other = index + 1; other < image.sections.size(); ++other)
    {
        const t_section& section = image.sections[other];
        if (!is_movable(section))
            return false;
        if (section.raw_size == 0)
            continue;
        // Whatever lies between them in the file would be lost: only zero padding may.
        if (section.raw_pointer < cursor || !is_zero(file, cursor, section.raw_pointer - cursor))
            return false;
        cursor = section.raw_end();
    }
    for (std::size_t entry = 0; entry < image.data_directories.size(); ++entry)
    {
        const t_data_directory directory = image.data_directories[entry];
        if (entry == k_resource_directory || entry == k_certificate_directory ||
            !directory.is_present())
            continue;
        if (address_ranges_overlap(directory.rva, directory.size, resources))
            return false;
        for (std::size_t other = index + 1; other < image.sections.size(); ++other)
        {
            const t_section& section = image.sections[other];
            if (address_ranges_overlap(directory.rva, directory.size, section) &&
                !address_range_within(directory.rva, directory.size, section))
                return false;
        }
    }
    // Debug entries hold an RVA and a file offset of their data; they live in sections that keep
    // their bytes, so what they point at must not move.
    for (const t_debug_data& debug : read_debug_data(image, file))
    {
        if (debug.size == 0)
            continue;
        for (std::size_t other = index; other < image.sections.size(); ++other)
            if (debug.rva != 0 &&
                address_ranges_overlap(debug.rva, debug.size, image.sections[other]))
                return false;
        if (debug.pointer != 0 && std::uint64_t{debug.pointer} + debug.size > resources.raw_pointer)
            return false;
    }
    return true;
}

std::uint64_t image_end(const t_pe_image& image, const std::vector<t_section>& sections)
{
    std::uint64_t end = align_up(image.size_of_headers, image.section_alignment);
    for (const t_section& section : sections)
        end = std::max(end, align_up(std::uint64_t{section.virtual_address} + section.loaded_size(),
                                     image.section_alignment));
    return end;
}

// Where moved bytes went: file offsets and RVAs.
class t_layout_maps
{
public:
    void add_file_segment(std::uint64_t old_offset, std::uint64_t size, std::uint64_t new_offset)
    {
        m_segments.push_back({old_offset, size, new_offset});
    }
    void add_address_move(const t_section& section, std::uint64_t new_rva)
    {
        m_moves.push_back({section.virtual_address, section.loaded_size(), new_rva});
    }

    // The new offset of the `length` bytes at `offset`, when they stayed together in the new file.
    std::optional<std::uint64_t> map_file(std::uint64_t offset, std::uint64_t length) const
    {
        for (const t_segment& segment : m_segments)
            if (offset >= segment.old_start &&
                range_fits(offset - segment.old_start, length, segment.size))
                return segment.new_start + (offset - segment.old_start);
        return std::nullopt;
    }

    // The new RVA of the `length` bytes at `rva`: moved with their section, or where they were.
    std::optional<std::uint64_t> map_address(std::uint32_t rva, std::uint32_t length) const
    {
        for (const t_segment& move : m_moves)
        {
            if (rva >= move.old_start && range_fits(rva - move.old_start, length, move.size))
                return move.new_start + (rva - move.old_start);
            if (ranges_overlap(rva, length, move.old_start, move.size))
                return std::nullopt;
        }
        return rva;
    }

private:
    struct t_segment
    {
        std::uint64_t old_start = 0;
        std::uint64_t size = 0;
        std::uint64_t new_start = 0;
    };

    std::vector<t_segment> m_segments;
    std::vector<t_segment> m_moves;
};

// The room check for one more section header (see the header's rules).
void check_room_for_section_header(const t_pe_image& image, std::span<const std::uint8_t> file)
{
    if (image.data_directories.size() <= k_resource_directory)
        fail(t_update_failure::no_room_for_section_header,
             "the optional header has no resource data directory entry");
    if (image.sections.size() >= 0xFFFF)
        fail(t_update_failure::no_room_for_section_header, "the section table is full");
    const std::uint64_t table_end = image.section_table_end();
    std::uint64_t limit = std::min<std::uint64_t>(image.size_of_headers, file.size());
    for (const t_section& section : image.sections)
        if (section.raw_size != 0)
            limit = std::min<std::uint64_t>(limit, section.raw_pointer);
    if (table_end + k_section_header_size > limit ||
        !is_zero(file, table_end, k_section_header_size))
        fail(t_update_failure::no_room_for_section_header,
             "the headers have no room for another section header");
    const std::uint32_t first_address =
        image.sections.empty() ? image.size_of_headers : image.sections.front().virtual_address;
    for (std::size_t entry = 0; entry < image.data_directories.size(); ++entry)
    {
        const t_data_directory directory = image.data_directories[entry];
        if (entry != k_certificate_directory && directory.is_present() &&
            directory.rva < first_address &&
            ranges_overlap(directory.rva, directory.size, table_end, k_section_header_size))
            fail(t_update_failure::no_room_for_section_header,
                 "data directory " + std::to_string(entry) +
                     " lies where another section header would go");
    }
}

void write_section_header(t_pe_header_editor& editor, const t_section& section)
{
    using t_fields = t_section_header_fields;
    const std::uint64_t at = section.header_offset;
    editor.put_bytes(at + t_fields::name, section.name);
    editor.put32(at + t_fields::virtual_size, section.virtual_size);
    editor.put32(at + t_fields::virtual_address, section.virtual_address);
    editor.put32(at + t_fields::size_of_raw_data, section.raw_size);
    editor.put32(at + t_fields::pointer_to_raw_data, section.raw_pointer);
    editor.put32(at + t_fields::pointer_to_relocations, section.pointer_to_relocations);
    editor.put32(at + t_fields::pointer_to_linenumbers, section.pointer_to_linenumbers);
    editor.put32(at + t_fields::characteristics, section.characteristics);
}

// A COFF pointer of a section header (relocations or line numbers) that must follow its bytes.
std::uint32_t moved_coff_pointer(const t_layout_maps& maps, std::span<const std::uint8_t> file,
                                 const t_section& section, std::uint32_t pointer,
                                 std::size_t count_position, std::uint64_t record_size)
{
    if (pointer == 0)
        return 0;
    const std::uint64_t count = load16(file.data() + section.header_offset + count_position);
    const std::optional<std::uint64_t> moved = maps.map_file(pointer, count * record_size);
    if (!moved)
        fail(t_update_failure::unsupported_layout,
             "a section's COFF relocations or line numbers lie in bytes the update replaces");
    if (*moved > k_limit_32)
        fail(t_update_failure::image_too_large, "a file offset passes 4 GiB");
    return static_cast<std::uint32_t>(*moved);
}

}  // namespace

void check_updatable(const t_pe_image& image)
{
    if (image.symbol_table_pointer != 0 && !image.symbol_table_fits)
        throw t_pe_format_error("IMAGE_FILE_HEADER", image.file_header_offset,
                                "the COFF symbol table runs past the end of the file");
}

t_resource_placement place_resource_section(const t_pe_image& image,
                                            std::span<const std::uint8_t> file)
{
    const t_data_directory entry = image.data_directory(k_resource_directory);
    if (entry.is_present())
    {
        for (std::size_t index = 0; index < image.sections.size(); ++index)
        {
            const t_section& section = image.sections[index];
            if (section.virtual_address == entry.rva && section.is_named(".rsrc") &&
                section.raw_size != 0)
            {
                if (can_resize_in_place(image, file, index))
                    return {true, index, section.virtual_address};
                break;
            }
        }
    }
    const std::uint64_t rva = image_end(image, image.sections);
    if (rva >= k_address_space)
        fail(t_update_failure::image_too_large, "the image has no address space left");
    return {false, 0, static_cast<std::uint32_t>(rva)};
}

t_update_plan plan_module_update(const t_pe_image& image, std::span<const std::uint8_t> file,
                                 const t_resource_placement& placement, const t_piece_list& section)
{
    check_updatable(image);
    const std::uint64_t file_alignment = image.file_alignment;
    const std::uint64_t section_alignment = image.section_alignment;
    const std::uint64_t content_size = section.size();
    const std::uint64_t raw_size = align_up(content_size, file_alignment);
    const std::uint64_t old_size = file.size();

    // Behind the sections: the overlay, the symbol table, the certificate table.
    const std::uint64_t tail_start = std::max<std::uint64_t>(
        image.sections_end(), std::min<std::uint64_t>(image.size_of_headers, old_size));
    std::optional<t_file_range> certificate;
    const t_data_directory certificate_entry = image.data_directory(k_certificate_directory);
    if (certificate_entry.is_present() && certificate_entry.rva >= tail_start &&
        range_fits(certificate_entry.rva, certificate_entry.size, old_size))
        certificate = t_file_range{certificate_entry.rva, certificate_entry.size};

    std::vector<t_section> sections = image.sections;
    t_layout_maps maps;
    t_piece_list body;
    std::uint64_t header_end = image.section_table_end();
    std::uint64_t cursor = 0;  // file offset in the new file, behind the last section
    std::int64_t initialized_change = 0;

    if (placement.in_place)
    {
        const std::size_t index = placement.section_index;
        const t_section& old_resources = image.sections[index];
        maps.add_file_segment(0, old_resources.raw_pointer, 0);
        body.add_original(header_end, old_resources.raw_pointer - header_end);
        body.append(section);
        body.add_zeros(raw_size - content_size);
        t_section& resources = sections[index];
        resources.virtual_size = static_cast<std::uint32_t>(content_size);
        resources.raw_size = static_cast<std::uint32_t>(raw_size);
        if (resources.has_initialized_data())
            initialized_change += static_cast<std::int64_t>(raw_size) - old_resources.raw_size;
        cursor = old_resources.raw_pointer + raw_size;
        std::uint64_t address =
            align_up(resources.virtual_address + content_size, section_alignment);
        for (std::size_t other = index + 1; other < sections.size(); ++other)
        {
            t_section& moved = sections[other];
            maps.add_address_move(moved, address);
            moved.virtual_address = static_cast<std::uint32_t>(address);
            address = align_up(address + moved.loaded_size(), section_alignment);
            if (address > k_address_space)
                fail(t_update_failure::image_too_large, "the image passes 4 GiB");
            if (moved.raw_size == 0)
                continue;
            const std::uint64_t pointer = align_up(cursor, file_alignment);
            body.add_zeros(pointer - cursor);
            body.add_original(moved.raw_pointer, moved.raw_size);
            maps.add_file_segment(moved.raw_pointer, moved.raw_size, pointer);
            moved.raw_pointer = static_cast<std::uint32_t>(pointer);
            cursor = pointer + moved.raw_size;
            if (cursor > k_limit_32)
                fail(t_update_failure::image_too_large, "a section passes 4 GiB in the file");
        }
    }
    else
    {
        check_room_for_section_header(image, file);
        const std::uint64_t pointer = align_up(tail_start, file_alignment);
        if (pointer + raw_size > k_limit_32)
            fail(t_update_failure::image_too_large, "the new section passes 4 GiB in the file");
        if (std::uint64_t{placement.rva} + content_size > k_address_space)
            fail(t_update_failure::image_too_large, "the image passes 4 GiB");
        maps.add_file_segment(0, tail_start, 0);
        body.add_original(header_end + k_section_header_size,
                          tail_start - header_end - k_section_header_size);
        body.add_zeros(pointer - tail_start);
        body.append(section);
        body.add_zeros(raw_size - content_size);
        t_section added;
        std::copy(std::begin(k_resource_section_name), std::end(k_resource_section_name),
                  added.name.begin());
        added.virtual_size = static_cast<std::uint32_t>(content_size);
        added.virtual_address = placement.rva;
        added.raw_size = static_cast<std::uint32_t>(raw_size);
        added.raw_pointer = static_cast<std::uint32_t>(pointer);
        added.characteristics = k_resource_section_characteristics;
        added.header_offset = header_end;
        sections.push_back(added);
        header_end += k_section_header_size;
        initialized_change += static_cast<std::int64_t>(raw_size);
        cursor = pointer + raw_size;
    }

    // The overlay follows the sections, without the certificate table.
    const auto add_tail = [&](std::uint64_t start, std::uint64_t end)
    {
        if (end <= start)
            return;
        maps.add_file_segment(start, end - start, cursor);
        body.add_original(start, end - start);
        cursor += end - start;
    };
    if (certificate)
    {
        add_tail(tail_start, certificate->offset);
        add_tail(certificate->end(), old_size);
    }
    else
    {
        add_tail(tail_start, old_size);
    }

    // Debug data is found by file offsets stored in bytes that stay as they are.
    for (const t_debug_data& debug : read_debug_data(image, file))
        if (debug.size != 0 && debug.pointer != 0 &&
            maps.map_file(debug.pointer, debug.size) != std::optional<std::uint64_t>(debug.pointer))
            fail(t_update_failure::unsupported_layout,
                 "debug data that the debug directory finds by file offset would move");

    // The new headers.
    auto headers = std::make_shared<std::vector<std::uint8_t>>(
        file.begin(), file.begin() + static_cast<std::ptrdiff_t>(header_end));
    t_pe_header_editor editor(*headers);
    const std::uint64_t file_header = image.file_header_offset;
    const std::uint64_t optional_header = image.optional_header_offset;
    editor.put16(file_header + t_file_header_fields::number_of_sections,
                 static_cast<std::uint16_t>(sections.size()));
    if (image.symbol_table)
    {
        const std::optional<std::uint64_t> moved =
            maps.map_file(image.symbol_table->offset, image.symbol_table->size);
        if (!moved)
            fail(t_update_failure::unsupported_layout,
                 "the COFF symbol table lies in bytes the update replaces");
        if (*moved > k_limit_32)
            fail(t_update_failure::image_too_large, "the COFF symbol table passes 4 GiB");
        editor.put32(file_header + t_file_header_fields::pointer_to_symbol_table,
                     static_cast<std::uint32_t>(*moved));
    }
    for (std::size_t index = 0; index < image.sections.size(); ++index)
    {
        t_section& changed = sections[index];
        changed.pointer_to_relocations =
            moved_coff_pointer(maps, file, image.sections[index], changed.pointer_to_relocations,
                               k_number_of_relocations, k_coff_relocation_size);
        changed.pointer_to_linenumbers =
            moved_coff_pointer(maps, file, image.sections[index], changed.pointer_to_linenumbers,
                               k_number_of_linenumbers, k_coff_linenumber_size);
    }
    for (const t_section& changed : sections)
        write_section_header(editor, changed);

    using t_fields = t_optional_header_fields;
    std::int64_t initialized = std::int64_t{image.size_of_initialized_data} + initialized_change;
    if (initialized < 0 || static_cast<std::uint64_t>(initialized) > k_limit_32)
    {
        initialized = 0;
        for (const t_section& counted : sections)
            if (counted.has_initialized_data())
                initialized += counted.raw_size;
    }
    editor.put32(optional_header + t_fields::size_of_initialized_data,
                 static_cast<std::uint32_t>(
                     std::min<std::uint64_t>(static_cast<std::uint64_t>(initialized), k_limit_32)));
    const std::uint64_t size_of_image = image_end(image, sections);
    if (size_of_image > k_limit_32)
        fail(t_update_failure::image_too_large, "SizeOfImage passes 4 GiB");
    editor.put32(optional_header + t_fields::size_of_image,
                 static_cast<std::uint32_t>(size_of_image));
    editor.put32(optional_header + t_fields::checksum, 0);

    for (std::size_t entry = 0; entry < image.data_directories.size(); ++entry)
    {
        const t_data_directory directory = image.data_directories[entry];
        const std::uint64_t at = image.data_directory_offset(entry);
        if (entry == k_resource_directory)
        {
            editor.put32(at, placement.rva);
            editor.put32(at + 4, static_cast<std::uint32_t>(content_size));
        }
        else if (entry == k_certificate_directory)
        {
            if (directory.rva != 0 || directory.size != 0)
            {
                editor.put32(at, 0);
                editor.put32(at + 4, 0);
            }
        }
        else if (directory.is_present())
        {
            const std::optional<std::uint64_t> moved =
                maps.map_address(directory.rva, directory.size);
            if (!moved)
                throw std::logic_error("PE updater: a data directory points into bytes that move "
                                       "apart");
            editor.put32(at, static_cast<std::uint32_t>(*moved));
        }
    }

    t_update_plan plan;
    plan.pieces.add_memory(*headers, headers);
    plan.pieces.append(body);
    if (image.checksum != 0)
        plan.checksum_offset = optional_header + t_fields::checksum;
    if (plan.pieces.size() != cursor)
        throw std::logic_error("PE updater: the planned file size does not add up");
    return plan;
}

}  // namespace voka::platform::pe
