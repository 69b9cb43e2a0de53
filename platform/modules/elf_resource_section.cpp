// The ELF64 section lookup behind data-file modules built on Linux: the ELF header, the section
// header table and the section name table, every read checked against the file's size.
#include "elf_resource_section.h"

#include <cstring>

namespace voka::platform::elf
{
namespace
{

constexpr std::size_t k_header_size = 64;           // Elf64_Ehdr
constexpr std::size_t k_section_header_size = 64;   // Elf64_Shdr
constexpr std::uint8_t k_class_64 = 2;              // ELFCLASS64
constexpr std::uint8_t k_data_little_endian = 1;    // ELFDATA2LSB
constexpr std::uint8_t k_current_version = 1;       // EV_CURRENT
constexpr std::uint32_t k_section_no_bits = 8;      // SHT_NOBITS
constexpr std::uint16_t k_extended_index = 0xFFFF;  // SHN_XINDEX

std::uint64_t load(const std::uint8_t* at, std::size_t length) noexcept
{
    std::uint64_t value = 0;
    for (std::size_t index = length; index-- > 0;)
        value = (value << 8) | at[index];
    return value;
}

std::string hex(std::uint64_t value)
{
    static constexpr char k_digits[] = "0123456789ABCDEF";
    std::string text;
    do
    {
        text.insert(text.begin(), k_digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

bool range_fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) noexcept
{
    return offset <= size && length <= size - offset;
}

// One section header, read from its checked place in the table.
struct t_section_header
{
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

class t_section_table
{
public:
    t_section_table(std::span<const std::uint8_t> file, std::uint64_t offset,
                    std::uint64_t entry_size)
        : m_file(file), m_offset(offset), m_entry_size(entry_size)
    {
    }

    // The header at `index`; the caller has checked that the table holds it.
    t_section_header at(std::uint64_t index) const noexcept
    {
        const std::uint8_t* entry = m_file.data() + m_offset + index * m_entry_size;
        t_section_header header;
        header.name = static_cast<std::uint32_t>(load(entry + 0, 4));
        header.type = static_cast<std::uint32_t>(load(entry + 4, 4));
        header.offset = load(entry + 24, 8);
        header.size = load(entry + 32, 8);
        header.link = static_cast<std::uint32_t>(load(entry + 40, 4));
        return header;
    }

private:
    std::span<const std::uint8_t> m_file;
    std::uint64_t m_offset;
    std::uint64_t m_entry_size;
};

std::span<const std::uint8_t> section_bytes(std::span<const std::uint8_t> file,
                                            const t_section_header& header, std::uint64_t index)
{
    if (header.type == k_section_no_bits)
        throw t_elf_format_error("section header " + std::to_string(index) +
                                 ": the section has no bytes in the file (SHT_NOBITS)");
    if (!range_fits(header.offset, header.size, file.size()))
        throw t_elf_format_error("section header " + std::to_string(index) + ": " +
                                 hex(header.size) + " bytes at offset " + hex(header.offset) +
                                 " run past the end of the file");
    return file.subspan(static_cast<std::size_t>(header.offset),
                        static_cast<std::size_t>(header.size));
}

// The name of section `index` in `names`, the section name table.
std::string_view section_name(std::span<const std::uint8_t> names, const t_section_header& header,
                              std::uint64_t index)
{
    if (header.name >= names.size())
        throw t_elf_format_error("section header " + std::to_string(index) + ": name offset " +
                                 hex(header.name) + " is outside the section name table");
    const auto* start = reinterpret_cast<const char*>(names.data()) + header.name;
    const std::size_t room = names.size() - header.name;
    const void* end = std::memchr(start, '\0', room);
    if (end == nullptr)
        throw t_elf_format_error("section header " + std::to_string(index) +
                                 ": the name is not terminated inside the section name table");
    return std::string_view(start, static_cast<std::size_t>(static_cast<const char*>(end) - start));
}

}  // namespace

bool has_elf_magic(std::span<const std::uint8_t> file) noexcept
{
    return file.size() >= 4 && file[0] == 0x7F && file[1] == 'E' && file[2] == 'L' &&
           file[3] == 'F';
}

std::optional<std::span<const std::uint8_t>>
find_elf_resource_section(std::span<const std::uint8_t> file)
{
    if (file.size() < k_header_size || !has_elf_magic(file))
        throw t_elf_format_error("the file is shorter than an ELF64 header or has no ELF magic");
    if (file[4] != k_class_64 || file[5] != k_data_little_endian || file[6] != k_current_version)
        throw t_elf_format_error("not an ELF64 little-endian file of version 1");

    const std::uint8_t* header = file.data();
    const std::uint64_t table_offset = load(header + 40, 8);  // e_shoff
    const std::uint64_t entry_size = load(header + 58, 2);    // e_shentsize
    std::uint64_t count = load(header + 60, 2);               // e_shnum
    std::uint64_t names_index = load(header + 62, 2);         // e_shstrndx

    if (table_offset == 0)
    {
        if (count != 0)
            throw t_elf_format_error("the ELF header counts sections but has no section table");
        return std::nullopt;
    }
    if (entry_size < k_section_header_size)
        throw t_elf_format_error("section headers of " + std::to_string(entry_size) +
                                 " bytes are smaller than an ELF64 section header");
    if (!range_fits(table_offset, entry_size, file.size()))
        throw t_elf_format_error("the section header table at offset " + hex(table_offset) +
                                 " runs past the end of the file");
    const t_section_table table(file, table_offset, entry_size);

    // Extended numbering: the first header holds the count and the name table's index when the
    // ELF header's fields cannot.
    const t_section_header first = table.at(0);
    if (count == 0)
        count = first.size;
    if (names_index == k_extended_index)
        names_index = first.link;
    if (count == 0 || count > (file.size() - table_offset) / entry_size)
        throw t_elf_format_error(std::to_string(count) + " section headers at offset " +
                                 hex(table_offset) + " do not fit in the file");
    if (names_index == 0)
        return std::nullopt;  // no section names: nothing can be named .voka_rsrc
    if (names_index >= count)
        throw t_elf_format_error("the section name table index " + std::to_string(names_index) +
                                 " is not a section");
    const std::span<const std::uint8_t> names =
        section_bytes(file, table.at(names_index), names_index);

    std::optional<std::span<const std::uint8_t>> found;
    for (std::uint64_t index = 0; index < count; ++index)
    {
        const t_section_header section = table.at(index);
        if (section_name(names, section, index) != k_resource_section_name)
            continue;
        if (found)
            throw t_elf_format_error("section header " + std::to_string(index) +
                                     ": a second section named .voka_rsrc");
        found = section_bytes(file, section, index);
    }
    if (found && found->empty())
        return std::nullopt;
    return found;
}

}  // namespace voka::platform::elf
