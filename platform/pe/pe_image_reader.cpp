// Reads and checks the headers and section table of a PE module (see pe_image.h for what is
// checked). Portable code: no OS calls.
#include "pe_bytes.h"
#include "pe_image.h"

#include <algorithm>
#include <bit>
#include <string>

namespace voka::platform::pe
{
namespace
{

constexpr std::string_view k_dos_header_name = "IMAGE_DOS_HEADER";
constexpr std::string_view k_signature_name = "PE signature";
constexpr std::string_view k_file_header_name = "IMAGE_FILE_HEADER";
constexpr std::string_view k_optional_header_name = "IMAGE_OPTIONAL_HEADER";
constexpr std::string_view k_section_table_name = "section table";
constexpr std::string_view k_section_header_name = "IMAGE_SECTION_HEADER";

constexpr std::uint64_t k_address_space = 0x100000000ull;  // RVAs are 32 bits

bool is_power_of_two(std::uint32_t value) noexcept
{
    return value != 0 && std::has_single_bit(value);
}

void read_optional_header(const t_pe_bytes& bytes, t_pe_image& image)
{
    using t_fields = t_optional_header_fields;
    const std::uint64_t offset = image.optional_header_offset;
    const t_pe_record header =
        bytes.record(offset, image.optional_header_size, k_optional_header_name);
    if (image.optional_header_size < 2)
        throw t_pe_format_error(k_optional_header_name, offset, "too small to hold its magic");

    const std::uint16_t magic = header.u16(t_fields::magic);
    if (magic != k_pe32_magic && magic != k_pe32_plus_magic)
        throw t_pe_format_error(k_optional_header_name, offset,
                                "magic is neither PE32 (0x10b) nor PE32+ (0x20b)");
    image.is_pe32_plus = magic == k_pe32_plus_magic;
    const std::size_t count_position = image.is_pe32_plus
                                           ? t_fields::number_of_rva_and_sizes_pe32_plus
                                           : t_fields::number_of_rva_and_sizes_pe32;
    const std::size_t fixed_size = count_position + 4;
    if (image.optional_header_size < fixed_size)
        throw t_pe_format_error(k_optional_header_name, offset,
                                "SizeOfOptionalHeader is too small for its fixed fields");

    image.size_of_initialized_data = header.u32(t_fields::size_of_initialized_data);
    image.section_alignment = header.u32(t_fields::section_alignment);
    image.file_alignment = header.u32(t_fields::file_alignment);
    image.size_of_image = header.u32(t_fields::size_of_image);
    image.size_of_headers = header.u32(t_fields::size_of_headers);
    image.checksum = header.u32(t_fields::checksum);
    image.data_directory_count = header.u32(count_position);

    if (!is_power_of_two(image.file_alignment))
        throw t_pe_format_error(k_optional_header_name, offset,
                                "FileAlignment is not a power of two");
    if (!is_power_of_two(image.section_alignment) || image.section_alignment < image.file_alignment)
        throw t_pe_format_error(k_optional_header_name, offset,
                                "SectionAlignment is not a power of two of at least "
                                "FileAlignment");

    const std::uint64_t room = (image.optional_header_size - fixed_size) / k_data_directory_size;
    if (image.data_directory_count > room)
        throw t_pe_format_error(k_optional_header_name, offset,
                                "NumberOfRvaAndSizes announces more data directories than "
                                "SizeOfOptionalHeader holds");
    image.data_directories_offset = offset + fixed_size;
    const std::size_t read_count =
        std::min<std::size_t>(image.data_directory_count, k_max_data_directories);
    for (std::size_t index = 0; index < read_count; ++index)
    {
        const std::size_t position = fixed_size + index * k_data_directory_size;
        image.data_directories.push_back({header.u32(position), header.u32(position + 4)});
    }
}

void read_sections(const t_pe_bytes& bytes, std::uint16_t count, t_pe_image& image)
{
    using t_fields = t_section_header_fields;
    const t_pe_record table = bytes.record(image.section_table_offset,
                                           count * k_section_header_size, k_section_table_name);
    const std::uint64_t table_end = image.section_table_offset + count * k_section_header_size;
    image.sections.reserve(count);
    std::uint64_t previous_end = 0;
    for (std::uint16_t index = 0; index < count; ++index)
    {
        const std::size_t base = index * k_section_header_size;
        const std::uint64_t header_offset = image.section_table_offset + base;
        t_section section;
        std::copy_n(table.bytes().begin() + static_cast<std::ptrdiff_t>(base), 8,
                    section.name.begin());
        section.virtual_size = table.u32(base + t_fields::virtual_size);
        section.virtual_address = table.u32(base + t_fields::virtual_address);
        section.raw_size = table.u32(base + t_fields::size_of_raw_data);
        section.raw_pointer = table.u32(base + t_fields::pointer_to_raw_data);
        section.pointer_to_relocations = table.u32(base + t_fields::pointer_to_relocations);
        section.pointer_to_linenumbers = table.u32(base + t_fields::pointer_to_linenumbers);
        section.characteristics = table.u32(base + t_fields::characteristics);
        section.header_offset = header_offset;

        if (section.raw_size != 0)
        {
            if (!bytes.contains(section.raw_pointer, section.raw_size))
                throw t_pe_format_error(k_section_header_name, header_offset,
                                        "section data runs past the end of the file");
            if (section.raw_pointer < table_end)
                throw t_pe_format_error(k_section_header_name, header_offset,
                                        "section data overlaps the section table");
        }
        const std::uint64_t end = std::uint64_t{section.virtual_address} + section.loaded_size();
        if (end > k_address_space)
            throw t_pe_format_error(k_section_header_name, header_offset,
                                    "section passes the 4 GiB address space");
        if (section.virtual_address < previous_end)
            throw t_pe_format_error(k_section_header_name, header_offset,
                                    "section addresses overlap or are out of order");
        previous_end = end;
        image.sections.push_back(section);
    }
}

// Records where the COFF symbol table and the string table behind it lie, if they lie in the file.
void read_symbol_table(const t_pe_bytes& bytes, t_pe_image& image)
{
    if (image.symbol_table_pointer == 0)
        return;
    const std::uint64_t symbols = std::uint64_t{image.symbol_count} * k_symbol_size;
    const std::uint64_t strings = std::uint64_t{image.symbol_table_pointer} + symbols;
    if (!bytes.contains(image.symbol_table_pointer, symbols) || !bytes.contains(strings, 4))
    {
        image.symbol_table_fits = false;
        return;
    }
    // The string table's first four bytes give its size, themselves included.
    const std::uint32_t string_size =
        std::max<std::uint32_t>(bytes.record(strings, 4, "COFF string table").u32(0), 4);
    if (!bytes.contains(strings, string_size))
    {
        image.symbol_table_fits = false;
        return;
    }
    image.symbol_table = t_file_range{image.symbol_table_pointer, symbols + string_size};
}

}  // namespace

bool t_section::is_named(std::string_view text) const noexcept
{
    if (text.size() > name.size())
        return false;
    for (std::size_t index = 0; index < name.size(); ++index)
    {
        const auto expected = index < text.size() ? static_cast<std::uint8_t>(text[index]) : 0;
        if (name[index] != expected)
            return false;
    }
    return true;
}

t_data_directory t_pe_image::data_directory(std::size_t index) const noexcept
{
    return index < data_directories.size() ? data_directories[index] : t_data_directory{};
}

std::uint64_t t_pe_image::sections_end() const noexcept
{
    std::uint64_t end = section_table_end();
    for (const t_section& section : sections)
        if (section.raw_size != 0)
            end = std::max(end, section.raw_end());
    return end;
}

const t_section* t_pe_image::section_at(std::uint32_t rva) const noexcept
{
    for (const t_section& section : sections)
        if (rva >= section.virtual_address && rva - section.virtual_address < section.loaded_size())
            return &section;
    return nullptr;
}

std::optional<std::uint64_t> t_pe_image::file_offset_of(std::uint32_t rva,
                                                        std::uint32_t length) const noexcept
{
    const bool in_headers = sections.empty() || rva < sections.front().virtual_address;
    if (in_headers)
    {
        const std::uint64_t header_bytes = std::min<std::uint64_t>(size_of_headers, file_size);
        if (range_fits(rva, length, header_bytes))
            return rva;
        return std::nullopt;
    }
    // As the loader resolves RVAs in a module mapped as a data file: by each section's file data
    // (SizeOfRawData from its address), which may run a little past VirtualSize.
    for (const t_section& section : sections)
    {
        if (rva < section.virtual_address || rva - section.virtual_address >= section.raw_size)
            continue;
        const std::uint64_t offset = rva - section.virtual_address;
        if (!range_fits(offset, length, section.raw_size))
            return std::nullopt;
        return section.raw_pointer + offset;
    }
    return std::nullopt;
}

t_pe_image parse_pe_image(std::span<const std::uint8_t> file)
{
    using t_fields = t_file_header_fields;
    const t_pe_bytes bytes(file);
    t_pe_image image;
    image.file_size = file.size();

    const t_pe_record dos = bytes.record(0, k_dos_header_size, k_dos_header_name);
    if (dos.u16(0) != k_dos_signature)
        throw t_pe_format_error(k_dos_header_name, 0, "no MZ signature");
    const std::uint32_t pe_offset = dos.u32(k_dos_lfanew_position);
    if (bytes.record(pe_offset, 4, k_signature_name).u32(0) != k_pe_signature)
        throw t_pe_format_error(k_signature_name, pe_offset, "no PE\\0\\0 signature");

    image.file_header_offset = std::uint64_t{pe_offset} + 4;
    const t_pe_record file_header =
        bytes.record(image.file_header_offset, k_file_header_size, k_file_header_name);
    image.machine = file_header.u16(t_fields::machine);
    const std::uint16_t section_count = file_header.u16(t_fields::number_of_sections);
    image.symbol_table_pointer = file_header.u32(t_fields::pointer_to_symbol_table);
    image.symbol_count = file_header.u32(t_fields::number_of_symbols);
    image.optional_header_size = file_header.u16(t_fields::size_of_optional_header);
    image.characteristics = file_header.u16(t_fields::characteristics);

    image.optional_header_offset = image.file_header_offset + k_file_header_size;
    read_optional_header(bytes, image);
    image.section_table_offset = image.optional_header_offset + image.optional_header_size;
    read_sections(bytes, section_count, image);
    read_symbol_table(bytes, image);
    return image;
}

}  // namespace voka::platform::pe
