// A builder of minimal PE modules for tests, fuzz seeds and benchmarks: PE32 or PE32+, EXE or DLL,
// any sections (one may hold a resource directory built from a tree), COFF symbols, an overlay and
// a certificate table behind the sections, spare room for section headers or none, a checksum.
// Each test changes one option or one field. Also an independent reader of the few fields tests
// check and the textbook checksum, so tests do not judge the layer by its own reader.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace voka::platform::test
{

inline constexpr std::uint32_t k_scn_code = 0x60000020;   // code, execute, read
inline constexpr std::uint32_t k_scn_rdata = 0x40000040;  // initialized, read
inline constexpr std::uint32_t k_scn_data = 0xC0000040;   // initialized, read, write
inline constexpr std::uint32_t k_scn_bss = 0xC0000080;    // uninitialized, read, write
inline constexpr std::uint32_t k_scn_reloc = 0x42000040;  // initialized, discardable, read
inline constexpr std::uint32_t k_scn_debug = 0x42000040;  // as mingw marks .debug_* sections
inline constexpr std::uint32_t k_scn_rsrc = 0x40000040;

struct t_test_section
{
    std::string name;  // at most 8 characters
    std::uint32_t characteristics = k_scn_rdata;
    std::vector<std::uint8_t> data;  // the file data; empty for uninitialized data
    std::uint32_t virtual_size = 0;  // 0: the data's size
    bool holds_resources = false;    // data built from t_test_image::resources at its RVA
};

struct t_test_image
{
    bool pe32_plus = true;
    bool dll = false;
    std::uint32_t file_alignment = 0x200;
    std::uint32_t section_alignment = 0x1000;
    std::vector<t_test_section> sections;
    t_resource_content resources;
    std::uint32_t symbol_count = 0;         // COFF symbols and a string table behind the sections
    std::vector<std::uint8_t> overlay;      // behind the sections and symbols
    std::vector<std::uint8_t> certificate;  // a certificate table at the very end (8-aligned)
    bool checksum = false;
    std::uint32_t spare_section_headers = 2;  // 0: the section table ends at SizeOfHeaders
    std::uint32_t data_directory_count = 16;
};

// Offsets of a built image, for tests that change one field.
struct t_test_layout
{
    std::uint32_t pe_offset = 0;  // e_lfanew
    std::uint32_t optional_header = 0;
    std::uint32_t section_table = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t sections_end = 0;
    std::uint32_t symbol_table = 0;  // 0 when there is none
    std::uint32_t overlay = 0;       // offset of the overlay (= end of symbols)
    std::uint32_t certificate = 0;   // 0 when there is none
};

inline std::uint32_t test_align(std::uint64_t value, std::uint32_t alignment)
{
    return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

inline void test_put16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

inline void test_put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void test_put64(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value)
{
    test_put32(bytes, offset, static_cast<std::uint32_t>(value));
    test_put32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

inline std::uint16_t test_get16(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

inline std::uint32_t test_get32(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(test_get16(bytes, offset)) |
           (static_cast<std::uint32_t>(test_get16(bytes, offset + 2)) << 16);
}

// The PE checksum as Microsoft's ImageHlp documents it: 16-bit words added with the carry folded
// back after each one, the checksum field counted as zero, the file length added at the end.
inline std::uint32_t textbook_checksum(const std::vector<std::uint8_t>& file,
                                       std::size_t checksum_offset)
{
    std::uint32_t sum = 0;
    for (std::size_t index = 0; index < file.size(); index += 2)
    {
        std::uint32_t word = file[index];
        if (index + 1 < file.size())
            word |= static_cast<std::uint32_t>(file[index + 1]) << 8;
        if (index >= checksum_offset && index < checksum_offset + 4)
            word = 0;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(file.size());
}

inline std::vector<std::uint8_t> build_test_image(const t_test_image& spec,
                                                  t_test_layout* layout_out = nullptr)
{
    t_test_layout layout;
    const std::uint32_t fixed = spec.pe32_plus ? 112 : 96;
    const std::uint32_t optional_size = fixed + 8 * spec.data_directory_count;
    const auto section_count = static_cast<std::uint32_t>(spec.sections.size());
    const std::uint32_t table_bytes = 40 * (section_count + spec.spare_section_headers);
    std::uint32_t pe_offset = 0x80;
    layout.size_of_headers =
        test_align(pe_offset + 24 + optional_size + table_bytes, spec.file_alignment);
    if (spec.spare_section_headers == 0)
        pe_offset = layout.size_of_headers - (24 + optional_size + table_bytes);
    layout.pe_offset = pe_offset;
    layout.optional_header = pe_offset + 24;
    layout.section_table = layout.optional_header + optional_size;

    // Addresses and file offsets of the sections.
    struct t_placed
    {
        std::vector<std::uint8_t> data;
        std::uint32_t virtual_address = 0;
        std::uint32_t virtual_size = 0;
        std::uint32_t raw_pointer = 0;
        std::uint32_t raw_size = 0;
    };
    std::vector<t_placed> placed;
    std::uint32_t address = test_align(layout.size_of_headers, spec.section_alignment);
    std::uint32_t file_cursor = layout.size_of_headers;
    for (const t_test_section& section : spec.sections)
    {
        t_placed item;
        item.virtual_address = address;
        item.data = section.holds_resources ? build_resource_directory(spec.resources, address)
                                            : section.data;
        item.virtual_size = section.virtual_size != 0
                                ? section.virtual_size
                                : static_cast<std::uint32_t>(item.data.size());
        if (item.virtual_size == 0)
            item.virtual_size = 1;
        item.raw_size = test_align(item.data.size(), spec.file_alignment);
        item.raw_pointer = item.raw_size == 0 ? 0 : file_cursor;
        file_cursor += item.raw_size;
        address = test_align(std::uint64_t{address} + item.virtual_size, spec.section_alignment);
        placed.push_back(std::move(item));
    }
    layout.sections_end = file_cursor;
    const std::uint32_t size_of_image = address;

    std::vector<std::uint8_t> file(file_cursor, 0);
    // Symbols: recognisable records, then a string table with one long section name.
    if (spec.symbol_count != 0)
    {
        layout.symbol_table = file_cursor;
        for (std::uint32_t index = 0; index < spec.symbol_count * 18; ++index)
            file.push_back(static_cast<std::uint8_t>(0xA0 + index % 31));
        const std::string strings = "long_symbol_name";
        std::vector<std::uint8_t> table(4, 0);
        table.insert(table.end(), strings.begin(), strings.end());
        table.push_back(0);
        test_put32(table, 0, static_cast<std::uint32_t>(table.size()));
        file.insert(file.end(), table.begin(), table.end());
    }
    layout.overlay = static_cast<std::uint32_t>(file.size());
    file.insert(file.end(), spec.overlay.begin(), spec.overlay.end());
    if (!spec.certificate.empty())
    {
        file.resize(test_align(file.size(), 8), 0);
        layout.certificate = static_cast<std::uint32_t>(file.size());
        std::vector<std::uint8_t> header(8, 0);
        test_put32(header, 0, static_cast<std::uint32_t>(8 + spec.certificate.size()));
        test_put16(header, 4, 0x0200);  // WIN_CERT_REVISION_2_0
        test_put16(header, 6, 0x0002);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(), spec.certificate.begin(), spec.certificate.end());
    }

    // DOS header and stub.
    test_put16(file, 0, 0x5A4D);
    test_put32(file, 0x3C, pe_offset);
    test_put32(file, pe_offset, 0x00004550);
    // COFF file header.
    const std::uint32_t coff = pe_offset + 4;
    test_put16(file, coff + 0, spec.pe32_plus ? 0x8664 : 0x014C);
    test_put16(file, coff + 2, static_cast<std::uint16_t>(section_count));
    test_put32(file, coff + 4, 0x5F000000);  // time stamp
    test_put32(file, coff + 8, layout.symbol_table);
    test_put32(file, coff + 12, spec.symbol_count);
    test_put16(file, coff + 16, static_cast<std::uint16_t>(optional_size));
    std::uint16_t characteristics = 0x0002;               // executable image
    characteristics |= spec.pe32_plus ? 0x0020 : 0x0100;  // large address aware : 32-bit machine
    if (spec.dll)
        characteristics |= 0x2000;
    test_put16(file, coff + 18, characteristics);

    // Optional header.
    const std::uint32_t optional = layout.optional_header;
    std::uint32_t size_of_code = 0;
    std::uint32_t size_of_initialized = 0;
    std::uint32_t size_of_uninitialized = 0;
    std::uint32_t entry_point = 0;
    for (std::size_t index = 0; index < placed.size(); ++index)
    {
        const std::uint32_t flags = spec.sections[index].characteristics;
        if ((flags & 0x20) != 0)
        {
            size_of_code += placed[index].raw_size;
            if (entry_point == 0)
                entry_point = placed[index].virtual_address;
        }
        if ((flags & 0x40) != 0)
            size_of_initialized += placed[index].raw_size;
        if ((flags & 0x80) != 0)
            size_of_uninitialized += test_align(placed[index].virtual_size, spec.file_alignment);
    }
    test_put16(file, optional + 0, spec.pe32_plus ? 0x20B : 0x10B);
    file.at(optional + 2) = 2;  // linker version
    file.at(optional + 3) = 40;
    test_put32(file, optional + 4, size_of_code);
    test_put32(file, optional + 8, size_of_initialized);
    test_put32(file, optional + 12, size_of_uninitialized);
    test_put32(file, optional + 16, entry_point);
    test_put32(file, optional + 20, entry_point);  // BaseOfCode
    if (spec.pe32_plus)
    {
        test_put64(file, optional + 24, spec.dll ? 0x180000000ull : 0x140000000ull);
    }
    else
    {
        test_put32(file, optional + 24, 0);  // BaseOfData
        test_put32(file, optional + 28, spec.dll ? 0x10000000u : 0x00400000u);
    }
    test_put32(file, optional + 32, spec.section_alignment);
    test_put32(file, optional + 36, spec.file_alignment);
    test_put16(file, optional + 40, 6);  // operating system version
    test_put16(file, optional + 48, 6);  // subsystem version
    test_put32(file, optional + 56, size_of_image);
    test_put32(file, optional + 60, layout.size_of_headers);
    test_put16(file, optional + 68, 3);  // console subsystem
    test_put16(file, optional + 70, spec.pe32_plus ? 0x8160 : 0x8140);
    if (spec.pe32_plus)
    {
        test_put64(file, optional + 72, 0x100000);
        test_put64(file, optional + 80, 0x1000);
        test_put64(file, optional + 88, 0x100000);
        test_put64(file, optional + 96, 0x1000);
        test_put32(file, optional + 108, spec.data_directory_count);
    }
    else
    {
        test_put32(file, optional + 72, 0x100000);
        test_put32(file, optional + 76, 0x1000);
        test_put32(file, optional + 80, 0x100000);
        test_put32(file, optional + 84, 0x1000);
        test_put32(file, optional + 92, spec.data_directory_count);
    }
    const std::uint32_t directories = optional + fixed;
    const auto set_directory = [&](std::uint32_t index, std::uint32_t rva, std::uint32_t size)
    {
        if (index < spec.data_directory_count)
        {
            test_put32(file, directories + 8 * index, rva);
            test_put32(file, directories + 8 * index + 4, size);
        }
    };
    for (std::size_t index = 0; index < placed.size(); ++index)
    {
        if (spec.sections[index].holds_resources)
            set_directory(2, placed[index].virtual_address,
                          static_cast<std::uint32_t>(placed[index].data.size()));
        if (spec.sections[index].name == ".reloc")
            set_directory(5, placed[index].virtual_address,
                          static_cast<std::uint32_t>(placed[index].data.size()));
    }
    if (layout.certificate != 0)
        set_directory(4, layout.certificate,
                      static_cast<std::uint32_t>(file.size() - layout.certificate));

    // Section table and section data.
    for (std::size_t index = 0; index < placed.size(); ++index)
    {
        const std::uint32_t header = layout.section_table + static_cast<std::uint32_t>(40 * index);
        const std::string& name = spec.sections[index].name;
        if (name.size() > 8)
            throw std::invalid_argument("test image: section names have at most 8 characters");
        for (std::size_t i = 0; i < name.size(); ++i)
            file.at(header + i) = static_cast<std::uint8_t>(name[i]);
        test_put32(file, header + 8, placed[index].virtual_size);
        test_put32(file, header + 12, placed[index].virtual_address);
        test_put32(file, header + 16, placed[index].raw_size);
        test_put32(file, header + 20, placed[index].raw_pointer);
        test_put32(file, header + 36, spec.sections[index].characteristics);
        std::copy(placed[index].data.begin(), placed[index].data.end(),
                  file.begin() + placed[index].raw_pointer);
    }

    if (spec.checksum)
        test_put32(file, optional + 64, textbook_checksum(file, optional + 64));
    if (layout_out != nullptr)
        *layout_out = layout;
    return file;
}

// Bytes of a recognisable pattern, different for each `seed`.
inline std::vector<std::uint8_t> test_pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : bytes)
    {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

// The fields tests check, read without the layer's PE reader.
struct t_test_section_view
{
    std::string name;
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
    std::uint32_t characteristics = 0;
};

struct t_test_pe_view
{
    bool pe32_plus = false;
    std::uint32_t file_header = 0;
    std::uint32_t optional_header = 0;
    std::uint32_t symbol_table = 0;
    std::uint32_t symbol_count = 0;
    std::uint32_t size_of_initialized_data = 0;
    std::uint32_t section_alignment = 0;
    std::uint32_t file_alignment = 0;
    std::uint32_t size_of_image = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t checksum = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> directories;
    std::vector<t_test_section_view> sections;

    std::uint32_t checksum_offset() const { return optional_header + 64; }
    const t_test_section_view* find(const std::string& name) const
    {
        for (const auto& section : sections)
            if (section.name == name)
                return &section;
        return nullptr;
    }
};

inline t_test_pe_view view_test_image(const std::vector<std::uint8_t>& file)
{
    t_test_pe_view view;
    const std::uint32_t pe_offset = test_get32(file, 0x3C);
    view.file_header = pe_offset + 4;
    const std::uint16_t count = test_get16(file, view.file_header + 2);
    view.symbol_table = test_get32(file, view.file_header + 8);
    view.symbol_count = test_get32(file, view.file_header + 12);
    const std::uint16_t optional_size = test_get16(file, view.file_header + 16);
    view.optional_header = view.file_header + 20;
    const std::uint32_t optional = view.optional_header;
    view.pe32_plus = test_get16(file, optional) == 0x20B;
    view.size_of_initialized_data = test_get32(file, optional + 8);
    view.section_alignment = test_get32(file, optional + 32);
    view.file_alignment = test_get32(file, optional + 36);
    view.size_of_image = test_get32(file, optional + 56);
    view.size_of_headers = test_get32(file, optional + 60);
    view.checksum = test_get32(file, optional + 64);
    const std::uint32_t fixed = view.pe32_plus ? 112 : 96;
    const std::uint32_t directory_count = test_get32(file, optional + fixed - 4);
    for (std::uint32_t index = 0; index < directory_count; ++index)
        view.directories.emplace_back(test_get32(file, optional + fixed + 8 * index),
                                      test_get32(file, optional + fixed + 8 * index + 4));
    const std::uint32_t table = optional + optional_size;
    for (std::uint32_t index = 0; index < count; ++index)
    {
        const std::uint32_t header = table + 40 * index;
        t_test_section_view section;
        for (std::uint32_t i = 0; i < 8 && file.at(header + i) != 0; ++i)
            section.name.push_back(static_cast<char>(file.at(header + i)));
        section.virtual_size = test_get32(file, header + 8);
        section.virtual_address = test_get32(file, header + 12);
        section.raw_size = test_get32(file, header + 16);
        section.raw_pointer = test_get32(file, header + 20);
        section.characteristics = test_get32(file, header + 36);
        view.sections.push_back(section);
    }
    return view;
}

// The file data of a section.
inline std::vector<std::uint8_t> section_bytes(const std::vector<std::uint8_t>& file,
                                               const t_test_section_view& section)
{
    return std::vector<std::uint8_t>(file.begin() + section.raw_pointer,
                                     file.begin() + section.raw_pointer + section.raw_size);
}

}  // namespace voka::platform::test
