// The PE reader: what it accepts and rejects, each case one field changed in a built image, with
// boundaries in threes (exact fit accepted, one byte past rejected, 32-bit overflow rejected); and
// the mapping of RVAs to file offsets.
#include "pe/pe_image.h"
#include "pe_test_image.h"

#include <gtest/gtest.h>

#include <functional>

namespace voka::platform
{
namespace
{

using namespace test;
using pe::parse_pe_image;
using pe::t_pe_format_error;

t_test_image sample_image(bool pe32_plus = true)
{
    t_test_image image;
    image.pe32_plus = pe32_plus;
    image.sections = {
        {".text", k_scn_code, test_pattern(0x300, 1)},
        {".data", k_scn_data, test_pattern(0x80, 2)},
        {".bss", k_scn_bss, {}, 0x400},
    };
    return image;
}

bool parses(const std::vector<std::uint8_t>& file)
{
    try
    {
        parse_pe_image(file);
        return true;
    }
    catch (const t_pe_format_error&)
    {
        return false;
    }
}

TEST(PeReaderTest, ReadsTheHeadersOfPe32AndPe32Plus)
{
    for (const bool pe32_plus : {false, true})
    {
        SCOPED_TRACE(pe32_plus ? "PE32+" : "PE32");
        t_test_layout layout;
        const auto file = build_test_image(sample_image(pe32_plus), &layout);
        const pe::t_pe_image image = parse_pe_image(file);
        EXPECT_EQ(image.is_pe32_plus, pe32_plus);
        EXPECT_EQ(image.file_size, file.size());
        EXPECT_EQ(image.optional_header_offset, layout.optional_header);
        EXPECT_EQ(image.section_table_offset, layout.section_table);
        EXPECT_EQ(image.size_of_headers, layout.size_of_headers);
        EXPECT_EQ(image.file_alignment, 0x200u);
        EXPECT_EQ(image.section_alignment, 0x1000u);
        EXPECT_EQ(image.data_directories.size(), 16u);
        ASSERT_EQ(image.sections.size(), 3u);
        EXPECT_TRUE(image.sections[0].is_named(".text"));
        EXPECT_FALSE(image.sections[0].is_named(".tex"));
        EXPECT_EQ(image.sections[0].raw_pointer, layout.size_of_headers);
        EXPECT_EQ(image.sections[0].raw_size, 0x400u);
        EXPECT_EQ(image.sections[2].raw_size, 0u);
        EXPECT_EQ(image.sections[2].loaded_size(), 0x400u);
        EXPECT_EQ(image.sections_end(), layout.sections_end);
        EXPECT_FALSE(image.symbol_table.has_value());
    }
}

TEST(PeReaderTest, RejectsWhatIsNotAPeModule)
{
    const auto valid = build_test_image(sample_image());
    const t_test_layout layout = []
    {
        t_test_layout result;
        build_test_image(sample_image(), &result);
        return result;
    }();
    const struct
    {
        const char* label;
        std::function<void(std::vector<std::uint8_t>&)> change;
    } cases[] = {
        {"empty file", [](auto& file) { file.clear(); }},
        {"63 bytes", [](auto& file) { file.resize(63); }},
        {"no MZ", [](auto& file) { file[0] = 'Z'; }},
        {"e_lfanew past the end", [](auto& file) { test_put32(file, 0x3C, 0xFFFFFFF0u); }},
        {"no PE signature", [&](auto& file) { file[layout.pe_offset + 2] = 1; }},
        {"ROM magic", [&](auto& file) { test_put16(file, layout.optional_header, 0x107); }},
        {"optional header too small for its fields",
         [&](auto& file) { test_put16(file, layout.pe_offset + 4 + 16, 100); }},
        {"more data directories than the optional header holds",
         [&](auto& file) { test_put32(file, layout.optional_header + 108, 17); }},
        {"file alignment not a power of two",
         [&](auto& file) { test_put32(file, layout.optional_header + 36, 0x300); }},
        {"file alignment 0", [&](auto& file) { test_put32(file, layout.optional_header + 36, 0); }},
        {"section alignment below file alignment",
         [&](auto& file) { test_put32(file, layout.optional_header + 32, 0x100); }},
        {"section table past the end",
         [&](auto& file) { test_put16(file, layout.pe_offset + 4 + 2, 0xFFFF); }},
        {"sections out of order",
         [&](auto& file) { test_put32(file, layout.section_table + 40 + 12, 0x1000); }},
        {"section passes the address space",
         [&](auto& file) { test_put32(file, layout.section_table + 80 + 12, 0xFFFFFE00u); }},
        {"section data in the section table",
         [&](auto& file) { test_put32(file, layout.section_table + 20, layout.section_table); }},
    };
    EXPECT_TRUE(parses(valid));
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        auto file = valid;
        c.change(file);
        EXPECT_FALSE(parses(file));
    }
}

TEST(PeReaderTest, SectionDataEndingAtTheFileEndIsTheBoundary)
{
    t_test_layout layout;
    const auto valid = build_test_image(sample_image(), &layout);
    const std::size_t data_header = layout.section_table + 40;  // .data, the last with file data
    const std::uint32_t pointer = test_get32(valid, data_header + 20);
    const struct
    {
        const char* label;
        std::uint32_t raw_size;
        bool accepted;
    } cases[] = {
        {"ends exactly at the file's end", static_cast<std::uint32_t>(valid.size() - pointer),
         true},
        {"one byte past", static_cast<std::uint32_t>(valid.size() - pointer + 1), false},
        {"wraps 32 bits", 0xFFFFFFFFu - pointer + 2, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        auto file = valid;
        test_put32(file, data_header + 16, c.raw_size);
        EXPECT_EQ(parses(file), c.accepted);
    }
    // A module cut short inside its last section is rejected.
    auto truncated = valid;
    truncated.resize(valid.size() - 1);
    EXPECT_FALSE(parses(truncated));
}

TEST(PeReaderTest, DataDirectoryCountIsBoundByTheOptionalHeaderSize)
{
    t_test_image spec = sample_image();
    spec.data_directory_count = 6;
    t_test_layout layout;
    const auto valid = build_test_image(spec, &layout);
    const std::size_t count_field = layout.optional_header + 108;
    const std::size_t size_field = layout.pe_offset + 4 + 16;
    const struct
    {
        const char* label;
        std::uint32_t count;
        bool accepted;
    } cases[] = {
        {"fits exactly", 6, true},
        {"one more than fits", 7, false},
        {"a count that would overflow", 0x20000001u, false},
        {"fewer than the room", 2, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        auto file = valid;
        test_put32(file, count_field, c.count);
        EXPECT_EQ(parses(file), c.accepted);
        if (c.accepted)
        {
            const auto image = parse_pe_image(file);
            EXPECT_EQ(image.data_directories.size(), c.count);
            EXPECT_FALSE(image.data_directory(5).is_present());
        }
    }
    EXPECT_EQ(test_get16(valid, size_field), 112 + 6 * 8);
}

TEST(PeReaderTest, SymbolTablePointerIsRecordedOnlyWhenTheTablesFit)
{
    t_test_image spec = sample_image();
    spec.symbol_count = 3;
    t_test_layout layout;
    const auto valid = build_test_image(spec, &layout);
    const auto image = parse_pe_image(valid);
    ASSERT_TRUE(image.symbol_table.has_value());
    EXPECT_EQ(image.symbol_table->offset, layout.symbol_table);
    EXPECT_EQ(image.symbol_table->end(), valid.size());  // symbols and string table
    EXPECT_TRUE(image.symbol_table_fits);

    auto cut = valid;
    cut.resize(valid.size() - 1);  // the string table loses its last byte
    const auto cut_image = parse_pe_image(cut);
    EXPECT_FALSE(cut_image.symbol_table.has_value());
    EXPECT_FALSE(cut_image.symbol_table_fits);

    auto far = valid;
    test_put32(far, layout.pe_offset + 4 + 8, 0xFFFFFF00u);
    EXPECT_FALSE(parse_pe_image(far).symbol_table_fits);
}

TEST(PeReaderTest, RvasMapToFileOffsetsInsideSectionDataOnly)
{
    t_test_layout layout;
    const auto file = build_test_image(sample_image(), &layout);
    const auto image = parse_pe_image(file);
    const pe::t_section& text = image.sections[0];
    const pe::t_section& data = image.sections[1];
    const pe::t_section& bss = image.sections[2];
    const struct
    {
        const char* label;
        std::uint32_t rva;
        std::uint32_t length;
        std::optional<std::uint64_t> offset;
    } cases[] = {
        {"start of .text", text.virtual_address, 4, text.raw_pointer},
        {"last bytes of .text's file data", text.virtual_address + text.raw_size - 4, 4,
         text.raw_pointer + text.raw_size - 4},
        {"one byte past .text's file data", text.virtual_address + text.raw_size - 4, 5,
         std::nullopt},
        {"length that wraps", text.virtual_address, 0xFFFFFFFFu, std::nullopt},
        {"inside .data", data.virtual_address + 0x10, 0x10, data.raw_pointer + 0x10},
        {"uninitialized data has no file bytes", bss.virtual_address, 1, std::nullopt},
        {"headers", 0, 64, 0},
        {"headers, past SizeOfHeaders", layout.size_of_headers - 4, 8, std::nullopt},
        {"between sections", text.virtual_address + 0x800, 1, std::nullopt},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(image.file_offset_of(c.rva, c.length), c.offset);
    }
}

}  // namespace
}  // namespace voka::platform
