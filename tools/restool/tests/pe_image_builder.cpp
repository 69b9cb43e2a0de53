// Minimal PE modules for tarnwick's end-to-end tests, and a section-table reader.
#include "pe_image_builder.h"

#include <algorithm>
#include <stdexcept>

namespace tw::testing
{
namespace
{

constexpr std::uint32_t file_alignment = 0x200;
constexpr std::uint32_t section_alignment = 0x1000;
constexpr std::uint32_t dos_header_size = 0x40;
constexpr std::uint32_t coff_header_size = 20;
constexpr std::uint32_t section_header_size = 40;
constexpr std::uint32_t data_directory_count = 16;

std::uint32_t align_up(std::uint32_t value, std::uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Little-endian writes into a growing image.
class t_writer
{
public:
    explicit t_writer(std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    void put(std::size_t offset, std::uint64_t value, std::size_t size)
    {
        if (m_bytes.size() < offset + size)
            m_bytes.resize(offset + size);
        for (std::size_t i = 0; i < size; ++i)
            m_bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void put16(std::size_t offset, std::uint16_t value) { put(offset, value, 2); }
    void put32(std::size_t offset, std::uint32_t value) { put(offset, value, 4); }
    void put64(std::size_t offset, std::uint64_t value) { put(offset, value, 8); }

private:
    std::vector<std::uint8_t>& m_bytes;
};

std::uint64_t get(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
    return value;
}

struct t_section_plan
{
    const char* name;
    std::uint32_t characteristics;
    const std::vector<std::uint8_t>* data;
};

}  // namespace

std::vector<std::uint8_t> build_pe_module(const voka::platform::t_resource_content& content,
                                          const t_pe_layout& layout)
{
    if (layout.code.empty())
        throw std::invalid_argument("build_pe_module: the code section needs bytes");

    const std::uint32_t text_rva = section_alignment;
    const std::uint32_t rsrc_rva =
        text_rva + align_up(static_cast<std::uint32_t>(layout.code.size()), section_alignment);
    std::vector<std::uint8_t> rsrc;
    std::vector<t_section_plan> plans{{".text", 0x60000020u, &layout.code}};  // code, execute, read
    if (layout.with_resources)
    {
        rsrc = voka::platform::build_resource_directory(content, rsrc_rva);
        plans.push_back({".rsrc", 0x40000040u, &rsrc});  // initialized data, read
    }

    const std::uint32_t optional_size =
        layout.pe32_plus ? 112 + 8 * data_directory_count : 96 + 8 * data_directory_count;
    const std::uint32_t pe_headers_size =
        4 + coff_header_size + optional_size +
        section_header_size * static_cast<std::uint32_t>(plans.size());
    const std::uint32_t headers_size = align_up(dos_header_size + pe_headers_size, file_alignment);
    // The PE header's offset is 8-byte aligned; every size above is a multiple of 8.
    const std::uint32_t pe_offset =
        layout.headers_full ? headers_size - pe_headers_size : dos_header_size;
    const std::uint32_t optional_offset = pe_offset + 4 + coff_header_size;
    const std::uint32_t section_table = optional_offset + optional_size;

    std::vector<std::uint8_t> image(headers_size, 0);
    t_writer w(image);

    // DOS header: the signature and the offset of the PE header; no stub program.
    w.put16(0, 0x5A4D);
    w.put32(0x3C, pe_offset);
    w.put32(pe_offset, 0x00004550);  // "PE\0\0"

    // COFF file header.
    const std::uint32_t coff = pe_offset + 4;
    w.put16(coff + 0, layout.pe32_plus ? 0x8664 : 0x014C);
    w.put16(coff + 2, static_cast<std::uint16_t>(plans.size()));
    w.put16(coff + 16, static_cast<std::uint16_t>(optional_size));
    // Executable image, DLL; large-address aware (PE32+) or 32-bit machine (PE32).
    w.put16(coff + 18, layout.pe32_plus ? 0x2022 : 0x2102);

    // Section headers and raw data.
    std::uint32_t rva = text_rva;
    std::uint32_t raw_offset = headers_size;
    std::uint32_t initialized_data = 0;
    std::uint32_t code_size = 0;
    for (std::size_t i = 0; i < plans.size(); ++i)
    {
        const t_section_plan& plan = plans[i];
        const auto size = static_cast<std::uint32_t>(plan.data->size());
        const std::uint32_t raw_size = align_up(size, file_alignment);
        const std::size_t header = section_table + section_header_size * i;
        for (std::size_t c = 0; plan.name[c] != '\0'; ++c)
            image[header + c] = static_cast<std::uint8_t>(plan.name[c]);
        w.put32(header + 8, size);
        w.put32(header + 12, rva);
        w.put32(header + 16, raw_size);
        w.put32(header + 20, raw_offset);
        w.put32(header + 36, plan.characteristics);
        image.resize(raw_offset + raw_size, 0);
        std::copy(plan.data->begin(), plan.data->end(), image.begin() + raw_offset);
        if ((plan.characteristics & 0x20u) != 0)
            code_size += raw_size;
        else
            initialized_data += raw_size;
        rva += align_up(size, section_alignment);
        raw_offset += raw_size;
    }
    const std::uint32_t image_size = rva;

    // Optional header.
    const std::uint32_t o = optional_offset;
    w.put16(o + 0, layout.pe32_plus ? 0x020B : 0x010B);
    w.put(o + 2, 14, 1);  // linker version
    w.put32(o + 4, code_size);
    w.put32(o + 8, initialized_data);
    w.put32(o + 16, 0);  // no entry point: nothing runs when the DLL is loaded
    w.put32(o + 20, text_rva);
    std::uint32_t next;
    if (layout.pe32_plus)
    {
        w.put64(o + 24, 0x180000000ull);
        next = o + 32;
    }
    else
    {
        w.put32(o + 24, layout.with_resources ? rsrc_rva : 0);  // base of data
        w.put32(o + 28, 0x10000000u);
        next = o + 32;
    }
    w.put32(next + 0, section_alignment);
    w.put32(next + 4, file_alignment);
    w.put16(next + 8, 6);   // operating system version 6.0
    w.put16(next + 16, 6);  // subsystem version 6.0
    w.put32(next + 24, image_size);
    w.put32(next + 28, headers_size);
    w.put16(next + 36, 2);       // Windows GUI subsystem
    w.put16(next + 38, 0x0100);  // NX compatible; no relocations, so no dynamic base
    const std::size_t size_field = layout.pe32_plus ? 8 : 4;
    std::size_t stack_heap = next + 40;
    for (const std::uint64_t value : {0x100000ull, 0x1000ull, 0x100000ull, 0x1000ull})
    {
        w.put(stack_heap, value, size_field);
        stack_heap += size_field;
    }
    w.put32(stack_heap + 4, data_directory_count);
    const std::size_t directories = stack_heap + 8;
    if (layout.with_resources)
    {
        w.put32(directories + 8 * 2, rsrc_rva);
        w.put32(directories + 8 * 2 + 4, static_cast<std::uint32_t>(rsrc.size()));
    }

    image.insert(image.end(), layout.overlay.begin(), layout.overlay.end());
    return image;
}

std::optional<std::vector<t_pe_section>> read_pe_sections(const std::vector<std::uint8_t>& image)
{
    if (image.size() < 0x40)
        return std::nullopt;
    const auto pe = static_cast<std::size_t>(get(image, 0x3C, 4));
    if (pe > image.size() || image.size() - pe < 4 + coff_header_size)
        return std::nullopt;
    const auto count = static_cast<std::size_t>(get(image, pe + 4 + 2, 2));
    const auto optional_size = static_cast<std::size_t>(get(image, pe + 4 + 16, 2));
    const std::size_t table = pe + 4 + coff_header_size + optional_size;
    if (table > image.size() || (image.size() - table) / section_header_size < count)
        return std::nullopt;

    std::vector<t_pe_section> sections;
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t header = table + section_header_size * i;
        t_pe_section section;
        for (std::size_t c = 0; c < 8 && image[header + c] != 0; ++c)
            section.name += static_cast<char>(image[header + c]);
        section.virtual_size = static_cast<std::uint32_t>(get(image, header + 8, 4));
        section.virtual_address = static_cast<std::uint32_t>(get(image, header + 12, 4));
        const auto raw_size = static_cast<std::size_t>(get(image, header + 16, 4));
        section.raw_offset = static_cast<std::uint32_t>(get(image, header + 20, 4));
        if (section.raw_offset > image.size() || raw_size > image.size() - section.raw_offset)
            return std::nullopt;
        section.raw_bytes.assign(image.begin() + section.raw_offset,
                                 image.begin() + section.raw_offset + raw_size);
        sections.push_back(std::move(section));
    }
    return sections;
}

std::optional<t_pe_data_directory> read_data_directory(const std::vector<std::uint8_t>& image,
                                                       std::size_t index)
{
    if (image.size() < 0x40)
        return std::nullopt;
    const auto pe = static_cast<std::size_t>(get(image, 0x3C, 4));
    if (pe > image.size() || image.size() - pe < 4 + coff_header_size + 2)
        return std::nullopt;
    const std::size_t optional = pe + 4 + coff_header_size;
    const auto magic = get(image, optional, 2);
    const std::size_t count_offset = optional + (magic == 0x020B ? 108 : 92);
    if (count_offset > image.size() || image.size() - count_offset < 4)
        return std::nullopt;
    if (index >= get(image, count_offset, 4))
        return std::nullopt;
    const std::size_t entry = count_offset + 4 + 8 * index;
    if (entry > image.size() || image.size() - entry < 8)
        return std::nullopt;
    return t_pe_data_directory{static_cast<std::uint32_t>(get(image, entry, 4)),
                               static_cast<std::uint32_t>(get(image, entry + 4, 4))};
}

std::optional<std::uint32_t> end_of_sections(const std::vector<std::uint8_t>& image)
{
    const auto sections = read_pe_sections(image);
    if (!sections)
        return std::nullopt;
    std::uint32_t end = 0;
    for (const t_pe_section& section : *sections)
        end = std::max(end,
                       section.raw_offset + static_cast<std::uint32_t>(section.raw_bytes.size()));
    return end;
}

}  // namespace tw::testing
