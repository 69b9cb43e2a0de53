// The resource-directory codec: the layout the builder writes, round trips, the order of entries,
// names in UTF-16, and the parser's rejection of malformed directories, boundaries in threes.
#include "resource_test_support.h"
#include "voka/platform/resource_directory.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace voka::platform
{
namespace
{

using namespace test;

constexpr std::uint32_t k_rva = 0x5000;

// Writes expected bytes in order, little-endian.
class t_expected_bytes
{
public:
    t_expected_bytes& u16(std::uint16_t value)
    {
        m_bytes.push_back(static_cast<std::uint8_t>(value));
        m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        return *this;
    }
    t_expected_bytes& u32(std::uint32_t value)
    {
        return u16(static_cast<std::uint16_t>(value)).u16(static_cast<std::uint16_t>(value >> 16));
    }
    t_expected_bytes& table(std::uint16_t named_count, std::uint16_t id_count)
    {
        return u32(0).u32(0).u16(0).u16(0).u16(named_count).u16(id_count);
    }
    t_expected_bytes& text(std::string_view text)
    {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    t_expected_bytes& zeros(std::size_t count)
    {
        m_bytes.insert(m_bytes.end(), count, 0);
        return *this;
    }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// RCDATA 1, language 0x0409, "abc" in code page 1252: root at 0, name table at 0x18, language
// table at 0x30, data entry at 0x48, data at 0x58, 0x60 bytes in all.
std::vector<std::uint8_t> one_resource_section()
{
    return build_resource_directory(single(id(10), id(1), 0x0409, blob("abc", 1252)), k_rva);
}

// Type "AB", name 1, language 0, no data: as above, then the string "AB" at 0x58 to 0x5E and
// the (empty) data at 0x60, 0x60 bytes in all.
std::vector<std::uint8_t> named_type_section()
{
    return build_resource_directory(single(named(L"AB"), id(1), 0, blob("")), k_rva);
}

TEST(ResourceDirectoryBuildTest, WritesTheToolLayoutForOneResource)
{
    t_expected_bytes expected;
    expected.table(0, 1).u32(10).u32(0x80000018);        // root
    expected.table(0, 1).u32(1).u32(0x80000030);         // names of type 10
    expected.table(0, 1).u32(0x0409).u32(0x48);          // languages of name 1
    expected.u32(k_rva + 0x58).u32(3).u32(1252).u32(0);  // data entry
    expected.text("abc").zeros(5);                       // data, padded to 8
    EXPECT_EQ(one_resource_section(), expected.bytes());
}

TEST(ResourceDirectoryBuildTest, PutsStringsAfterDataEntriesAndAlignsEachResource)
{
    t_resource_content content;
    content.types.push_back({id(3), {{id(7), {{0x0419, blob("")}}}}});
    content.types.push_back({named(L"AB"), {{named(L"x"), {{0, blob("12345")}}}}});

    t_expected_bytes expected;
    expected.table(1, 1).u32(0x800000A0).u32(0x80000020).u32(3).u32(0x80000038);
    expected.table(1, 0).u32(0x800000A6).u32(0x80000050);  // names of "AB"
    expected.table(0, 1).u32(7).u32(0x80000068);           // names of 3
    expected.table(0, 1).u32(0).u32(0x80);                 // languages of "AB"/"x"
    expected.table(0, 1).u32(0x0419).u32(0x90);            // languages of 3/7
    expected.u32(k_rva + 0xB0).u32(5).u32(0).u32(0);
    expected.u32(k_rva + 0xB8).u32(0).u32(0).u32(0);
    expected.u16(2).u16(L'A').u16(L'B').u16(1).u16(L'x');  // strings at 0xA0 and 0xA6
    expected.zeros(6).text("12345").zeros(3);              // data at 0xB0, empty one at 0xB8
    EXPECT_EQ(build_resource_directory(content, k_rva), expected.bytes());
}

TEST(ResourceDirectoryBuildTest, OrdersNamesByUpperCaseUnitsBeforeAscendingIds)
{
    t_resource_content content;
    for (t_resource_id type :
         {id(5), named(L"b"), id(2), named(L"_"), named(L"abc"), named(L"A"), named(L"ABC")})
        content.types.push_back({type, {}});
    const std::vector<std::uint8_t> section = build_resource_directory(content, k_rva);
    EXPECT_EQ(get16(section, 12), 5);  // named entries
    EXPECT_EQ(get16(section, 14), 2);  // id entries

    const t_resource_directory directory = parse_resource_directory(section);
    std::vector<t_resource_id> order;
    for (const auto& type : directory.types)
        order.push_back(type.id);
    // Upper-cased, "_" (0x5F) sorts after "B" (0x42); equal upper cases keep a fixed order.
    const std::vector<t_resource_id> expected{
        named(L"A"), named(L"ABC"), named(L"abc"), named(L"b"), named(L"_"), id(2), id(5)};
    EXPECT_EQ(order, expected);
}

TEST(ResourceDirectoryBuildTest, WritesNamesAsUtf16WithSurrogatePairs)
{
    const std::vector<std::uint8_t> section =
        build_resource_directory(single(named(L"\U0001F600"), id(1), 0, blob("")), k_rva);
    EXPECT_EQ(get32(section, 0x10), 0x80000058u);
    EXPECT_EQ(get16(section, 0x58), 2);
    EXPECT_EQ(get16(section, 0x5A), 0xD83D);
    EXPECT_EQ(get16(section, 0x5C), 0xDE00);
}

struct t_round_trip_case
{
    const char* label;
    t_resource_content content;
};

std::vector<t_round_trip_case> round_trip_cases()
{
    std::vector<t_round_trip_case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"one integer resource", single(id(10), id(1), 0x0409, blob("abc", 1252))});

    t_resource_content mixed;
    mixed.types.push_back({id(16), {{id(1), {{0x0419, blob("ru", 1251)}, {0x0409, blob("en")}}}}});
    mixed.types.push_back(
        {named(L"VOKA.BINARY_INFO"), {{id(1), {{0x0409, blob("<xml/>", 65001)}}}}});
    mixed.types.push_back({id(11),
                           {{named(L"ERR_MESSAGES"), {{0x0019, blob("1234567")}, {9, blob("x")}}},
                            {named(L"err_sources"), {{0, blob("")}}}}});
    mixed.types.push_back({id(10),
                           {{named(L"b"), {{0, blob("123456789")}}},
                            {id(3), {{0, blob("12345678")}}},
                            {named(L"A"), {{0, blob("1")}}},
                            {id(2), {{0x0407, blob("de")}}}}});
    mixed.types.push_back({named(L"EMPTY"), {}});
    mixed.types.push_back({id(12), {{id(4), {}}}});
    cases.push_back({"named and integer mixed", mixed});

    t_resource_content names;
    names.types.push_back(
        {named(L"\U0001F600smile"), {{named(L"\u041F\u0420\u0418"), {{0, blob("a")}}}}});
    names.types.push_back({named(std::wstring{wchar_t(0xD800), L'x'}),  // lone high surrogate
                           {{named(std::wstring{L'y', wchar_t(0xDC00)}), {{0, blob("b")}}}}});
    names.types.push_back({named(std::wstring(0xFFFF, L'N')), {{id(1), {{0, blob("c")}}}}});
    cases.push_back({"unusual names", names});

    t_resource_content many;
    for (std::uint16_t type = 0; type < 40; ++type)
    {
        t_type& node = many.types.emplace_back();
        node.id = type % 3 == 0 ? named(L"T" + std::to_wstring(type)) : id(type);
        for (std::uint16_t name = 0; name < 5; ++name)
            node.names.push_back(
                {id(static_cast<std::uint16_t>(100 - name)),
                 {{static_cast<std::uint16_t>(name), blob(std::string(name, 'z'))}}});
    }
    cases.push_back({"many", many});
    return cases;
}

TEST(ResourceDirectoryRoundTripTest, ParseGivesBackTheTreeAndDataThatWereBuilt)
{
    for (const t_round_trip_case& test_case : round_trip_cases())
    {
        SCOPED_TRACE(test_case.label);
        const std::vector<std::uint8_t> section =
            build_resource_directory(test_case.content, k_rva);
        const t_resource_directory directory = parse_resource_directory(section);
        const t_resource_content read_back = read_resource_content(directory, {k_rva, section});

        t_resource_content expected = test_case.content;
        sort_resource_tree(expected);
        EXPECT_EQ(read_back, expected);
        // Building what was read gives the same bytes again.
        EXPECT_EQ(build_resource_directory(read_back, k_rva), section);
    }
}

TEST(ResourceDirectoryBuildTest, RejectsTreesWithoutAFaithfulEncoding)
{
    const auto with_types = [](std::vector<t_type> types) { return t_resource_content{types}; };
    const struct
    {
        const char* label;
        t_resource_content content;
    } cases[] = {
        {"equal type ids", with_types({{id(5), {}}, {id(5), {}}})},
        {"equal type names", with_types({{named(L"ABC"), {}}, {named(L"ABC"), {}}})},
        {"equal resource names", with_types({{id(1), {{named(L"n"), {}}, {named(L"n"), {}}}}})},
        {"equal languages", with_types({{id(1), {{id(1), {{7, blob("")}, {7, blob("")}}}}}})},
        {"empty name", single(named(L""), id(1), 0, blob(""))},
        {"name of 65536 units", single(named(std::wstring(0x10000, L'n')), id(1), 0, blob(""))},
        {"character past U+10FFFF",
         single(named(std::wstring(1, wchar_t(0x110000))), id(1), 0, blob(""))},
        {"surrogate pair as two characters",
         single(id(1), named(std::wstring{wchar_t(0xD800), wchar_t(0xDC00)}), 0, blob(""))},
    };
    for (const auto& test_case : cases)
    {
        SCOPED_TRACE(test_case.label);
        EXPECT_THROW(build_resource_directory(test_case.content, k_rva), std::invalid_argument);
    }
}

TEST(ResourceDirectoryBuildTest, RejectsASectionEndingPastTheLastRva)
{
    const t_resource_content content = single(id(10), id(1), 0, blob("abc"));
    const auto size = static_cast<std::uint32_t>(build_resource_directory(content, 0).size());
    EXPECT_NO_THROW(build_resource_directory(content, 0xFFFFFFFFu - size));
    EXPECT_THROW(build_resource_directory(content, 0xFFFFFFFFu - size + 1), std::length_error);
    EXPECT_THROW(build_resource_directory(content, 0xFFFFFFFFu), std::length_error);
}

struct t_malformed_case
{
    const char* label;
    std::function<std::vector<std::uint8_t>()> section;
    std::string structure;
    std::uint64_t offset;
};

std::vector<std::uint8_t> changed(std::vector<std::uint8_t> section,
                                  const std::function<void(std::vector<std::uint8_t>&)>& change)
{
    change(section);
    return section;
}

std::vector<std::uint8_t>
one_resource_with(const std::function<void(std::vector<std::uint8_t>&)>& change)
{
    return changed(one_resource_section(), change);
}

std::vector<std::uint8_t>
named_type_with(const std::function<void(std::vector<std::uint8_t>&)>& change)
{
    return changed(named_type_section(), change);
}

// Types 1 and 2, each with name 1 in language 0: root entries at 0x10 and 0x18, name tables at
// 0x20 and 0x38.
std::vector<std::uint8_t>
two_types_with(const std::function<void(std::vector<std::uint8_t>&)>& change)
{
    t_resource_content content;
    content.types.push_back({id(1), {{id(1), {{0, blob("a")}}}}});
    content.types.push_back({id(2), {{id(1), {{0, blob("b")}}}}});
    return changed(build_resource_directory(content, k_rva), change);
}

const std::string k_directory = "IMAGE_RESOURCE_DIRECTORY";
const std::string k_entry = "IMAGE_RESOURCE_DIRECTORY_ENTRY";
const std::string k_string = "IMAGE_RESOURCE_DIR_STRING_U";
const std::string k_data_entry = "IMAGE_RESOURCE_DATA_ENTRY";

std::vector<t_malformed_case> malformed_cases()
{
    using t_bytes = std::vector<std::uint8_t>;
    return {
        {"empty section", [] { return t_bytes(); }, k_directory, 0},
        {"root header one byte short",
         [] { return one_resource_with([](t_bytes& s) { s.resize(15); }); }, k_directory, 0},
        {"root entries one byte short",
         [] { return one_resource_with([](t_bytes& s) { s.resize(0x17); }); }, k_directory, 0},
        {"entry counts at their maximum",
         [] {
             return one_resource_with([](t_bytes& s)
                                      { put16(s, 12, 0xFFFF), put16(s, 14, 0xFFFF); });
         },
         k_directory, 0},
        {"data entry one byte short",
         [] { return one_resource_with([](t_bytes& s) { s.resize(0x57); }); }, k_data_entry, 0x48},
        {"type entry leads back to the root",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x14, 0x80000000); }); },
         k_directory, 0},
        {"name entry leads back to its own table",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x2C, 0x80000018); }); },
         k_directory, 0x18},
        {"two types share one name table",
         [] { return two_types_with([](t_bytes& s) { put32(s, 0x1C, 0x80000020); }); }, k_directory,
         0x20},
        {"subdirectory at the language level",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x44, 0x80000048); }); }, k_entry,
         0x40},
        {"data entry at the type level",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x14, 0x48); }); }, k_entry, 0x10},
        {"data entry at the name level",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x2C, 0x48); }); }, k_entry, 0x28},
        {"integer id counted as named",
         [] { return one_resource_with([](t_bytes& s) { put16(s, 12, 1), put16(s, 14, 0); }); },
         k_entry, 0x10},
        {"name counted as an integer id",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x10, 0x80000058); }); }, k_entry,
         0x10},
        {"integer id past 16 bits",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x10, 0x10000); }); }, k_entry,
         0x10},
        {"named language",
         []
         {
             return one_resource_with(
                 [](t_bytes& s)
                 { put16(s, 0x3C, 1), put16(s, 0x3E, 0), put32(s, 0x40, 0x80000058); });
         },
         k_entry, 0x40},
        {"subdirectory past the end",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x14, 0x80000100); }); },
         k_directory, 0x100},
        {"subdirectory at the largest offset",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x14, 0xFFFFFFFF); }); },
         k_directory, 0x7FFFFFFF},
        {"data entry at the largest offset",
         [] { return one_resource_with([](t_bytes& s) { put32(s, 0x44, 0x7FFFFFFF); }); },
         k_data_entry, 0x7FFFFFFF},
        {"name string at the largest offset",
         [] { return named_type_with([](t_bytes& s) { put32(s, 0x10, 0xFFFFFFFF); }); }, k_string,
         0x7FFFFFFF},
        {"empty name", [] { return named_type_with([](t_bytes& s) { put16(s, 0x58, 0); }); },
         k_string, 0x58},
        {"name one byte short", [] { return named_type_with([](t_bytes& s) { s.resize(0x5D); }); },
         k_string, 0x58},
        {"name length at its maximum",
         [] { return named_type_with([](t_bytes& s) { put16(s, 0x58, 0xFFFF); }); }, k_string,
         0x58},
        {"two types with one id",
         [] { return two_types_with([](t_bytes& s) { put32(s, 0x18, 1); }); }, k_directory, 0},
    };
}

TEST(ResourceDirectoryParseTest, RejectsMalformedDirectoriesNamingStructureAndOffset)
{
    for (const t_malformed_case& test_case : malformed_cases())
    {
        SCOPED_TRACE(test_case.label);
        const std::vector<std::uint8_t> section = test_case.section();
        try
        {
            parse_resource_directory(section);
            ADD_FAILURE() << "parsed";
        }
        catch (const t_resource_directory_error& error)
        {
            EXPECT_EQ(error.structure(), test_case.structure) << error.what();
            EXPECT_EQ(error.offset(), test_case.offset) << error.what();
        }
    }
}

TEST(ResourceDirectoryParseTest, AcceptsStructuresThatEndExactlyAtTheSectionEnd)
{
    using t_bytes = std::vector<std::uint8_t>;
    const struct
    {
        const char* label;
        t_bytes section;
        std::size_t type_count;
    } cases[] = {
        {"root without entries", build_resource_directory({}, k_rva), 0},
        {"data entry at the end", one_resource_with([](t_bytes& s) { s.resize(0x58); }), 1},
        {"name at the end", named_type_with([](t_bytes& s) { s.resize(0x5E); }), 1},
        // The loader reads neither field, and tools have left values in them.
        {"reserved field and table header set",
         one_resource_with([](t_bytes& s) { put32(s, 0x54, 0xDEAD), put32(s, 0x04, 0x12345678); }),
         1},
    };
    for (const auto& test_case : cases)
    {
        SCOPED_TRACE(test_case.label);
        const t_resource_directory directory = parse_resource_directory(test_case.section);
        EXPECT_EQ(directory.types.size(), test_case.type_count);
    }
}

TEST(ResourceDirectoryParseTest, ReportsTheStructureAndOffsetInItsMessage)
{
    const std::vector<std::uint8_t> section(15, 0);
    try
    {
        parse_resource_directory(section);
        FAIL() << "parsed";
    }
    catch (const t_resource_directory_error& error)
    {
        EXPECT_STREQ(error.what(),
                     "IMAGE_RESOURCE_DIRECTORY at offset 0x0: its 16 bytes run past the end of the "
                     "section");
    }
}

// Types 1, 2 and 3, each with one name of `length` units and an empty resource, all three name
// entries pointing at the first name string, and the section cut right after that string: the
// names decode to 3 * length characters from 0xE8 + 2 + 2 * length bytes.
std::vector<std::uint8_t> shared_name_section(std::size_t length)
{
    t_resource_content content;
    for (std::uint16_t type = 1; type <= 3; ++type)
        content.types.push_back(
            {id(type), {{named(std::wstring(length, wchar_t(L'a' + type))), {{0, blob("")}}}}});
    std::vector<std::uint8_t> section = build_resource_directory(content, k_rva);
    // Root: 0x28 bytes; name tables of 0x18 bytes at 0x28, 0x40 and 0x58, their entry at +0x10;
    // language tables up to 0xB8; data entries up to 0xE8; then the strings.
    const std::uint32_t first_name = get32(section, 0x28 + 0x10);
    EXPECT_EQ(first_name, 0x800000E8u);
    put32(section, 0x40 + 0x10, first_name);
    put32(section, 0x58 + 0x10, first_name);
    section.resize(0xE8 + 2 + 2 * length);
    return section;
}

TEST(ResourceDirectoryParseTest, LimitsSharedNameStringsToTheSectionSize)
{
    // 234 units: 702 characters from 702 bytes, accepted; 235: 705 from 704, rejected.
    EXPECT_EQ(parse_resource_directory(shared_name_section(234)).types.size(), 3u);
    try
    {
        parse_resource_directory(shared_name_section(235));
        FAIL() << "parsed";
    }
    catch (const t_resource_directory_error& error)
    {
        EXPECT_EQ(error.structure(), k_string);
        EXPECT_EQ(error.offset(), 0xE8u);
    }
}

// Type 1 with `table_count` names, whose language tables overlap 8 bytes apart: each table's
// header is two 8-byte words of the run, and each word is an entry (language k % 4, data entry at
// 0x30000), which as a header word says "0 named, 3 id entries". So each table adds 3 entries for
// 16 bytes of input: 1 + 4 * table_count entries in a section of 0x30010 bytes.
std::vector<std::uint8_t> overlapping_language_tables(std::uint32_t table_count)
{
    std::vector<std::uint8_t> section(0x30010, 0);
    put16(section, 14, 1);  // root: one id entry
    put32(section, 0x10, 1);
    put32(section, 0x14, 0x80000018);
    put16(section, 0x18 + 14, static_cast<std::uint16_t>(table_count));  // name table at 0x18
    const std::uint32_t run = 0x28 + 8 * table_count;
    for (std::uint32_t i = 0; i < table_count; ++i)
    {
        put32(section, 0x28 + 8 * i, i);
        put32(section, 0x28 + 8 * i + 4, 0x80000000 | (run + 8 * i));
    }
    for (std::uint32_t k = 0; k < table_count + 4; ++k)
    {
        put32(section, run + 8 * k, k % 4);
        put32(section, run + 8 * k + 4, 0x30000);
    }
    return section;
}

TEST(ResourceDirectoryParseTest, LimitsOverlappingTablesToTheEntriesTheSectionHolds)
{
    // 0x30010 / 8 = 24578 entries: 6144 tables give 24577, 6145 give 24581.
    const t_resource_directory accepted =
        parse_resource_directory(overlapping_language_tables(6144));
    ASSERT_EQ(accepted.types.size(), 1u);
    EXPECT_EQ(accepted.types[0].names.size(), 6144u);
    EXPECT_EQ(accepted.types[0].names[6143].languages.size(), 3u);
    try
    {
        parse_resource_directory(overlapping_language_tables(6145));
        FAIL() << "parsed";
    }
    catch (const t_resource_directory_error& error)
    {
        EXPECT_EQ(error.structure(), k_directory) << error.what();
    }
}

TEST(ResourceDirectoryDataTest, FindsDataOnlyWhenAllOfItLiesInTheRange)
{
    const std::vector<std::uint8_t> section = one_resource_section();  // 0x60 bytes
    const t_rva_range range{k_rva, section};
    const struct
    {
        std::uint32_t rva;
        std::uint32_t size;
        bool found;
    } cases[] = {
        {k_rva + 0x58, 8, true},                                   // ends at the section end
        {k_rva + 0x58, 9, false},                                  // one byte past
        {k_rva + 0x58, 0xFFFFFFFF, false},                         // size overflows
        {k_rva + 0x60, 0, true},                                   // empty, at the end
        {k_rva + 0x61, 0, false},          {k_rva - 1, 1, false},  // before the section
        {0xFFFFFFFF, 0xFFFFFFFF, false},
    };
    for (const auto& test_case : cases)
    {
        SCOPED_TRACE(test_case.rva);
        const auto bytes = find_resource_data(range, {test_case.rva, test_case.size, 0});
        ASSERT_EQ(bytes.has_value(), test_case.found);
        if (bytes)
        {
            EXPECT_EQ(bytes->data(), section.data() + (test_case.rva - k_rva));
            EXPECT_EQ(bytes->size(), test_case.size);
        }
    }
}

TEST(ResourceDirectoryDataTest, ReadingContentRejectsDataOutsideTheRange)
{
    const std::vector<std::uint8_t> section = one_resource_section();
    const t_resource_directory directory = parse_resource_directory(section);
    EXPECT_NO_THROW(read_resource_content(directory, {k_rva, std::span(section).first(0x5B)}));
    try
    {
        // The data ends at 0x5B; the range ends one byte before.
        read_resource_content(directory, {k_rva, std::span(section).first(0x5A)});
        FAIL() << "read";
    }
    catch (const t_resource_directory_error& error)
    {
        EXPECT_EQ(error.structure(), "resource data");
        EXPECT_EQ(error.offset(), k_rva + 0x58);
    }
}

TEST(ResourceNameTest, ComparesNamesIgnoringCaseOfLatinGreekAndCyrillicLetters)
{
    const struct
    {
        std::wstring left;
        std::wstring right;
        bool equal;
    } cases[] = {
        {L"hello", L"HELLO", true},
        {L"my_type.1", L"MY_TYPE.1", true},
        {L"\u00E0\u00FE\u00FF", L"\u00C0\u00DE\u0178", true},  // àþÿ
        {L"\u0101\u013A\u017E", L"\u0100\u0139\u017D", true},  // Latin Extended-A
        {L"\u03B1\u03C2\u03CE", L"\u0391\u03A3\u038F", true},  // Greek, final sigma
        {L"\u043F\u0440\u0438\u0432\u0435\u0442\u0451\u0457",
         L"\u041F\u0420\u0418\u0412\u0415\u0422\u0401\u0407", true},  // Cyrillic
        {L"\u00DF", L"SS", false},
        {L"\u00F7", L"\u00D7", false},  // ÷ is not ×'s small letter
        {L"ab", L"a", false},
        {L"\U0001F600", L"\U0001F600", true},
    };
    for (const auto& test_case : cases)
        EXPECT_EQ(resource_names_equal_ignoring_case(test_case.left, test_case.right),
                  test_case.equal);
}

TEST(ResourceNameTest, OrdersIdentifiersByUtf16UnitsNamesFirst)
{
    const struct
    {
        t_resource_id smaller;
        t_resource_id larger;
    } cases[] = {
        {named(L"ZZZ"), id(0)},
        {id(2), id(10)},
        {named(L"a"), named(L"B")},
        {named(L"B"), named(L"_")},
        {named(L"ABC"), named(L"abc")},
        {named(L"AB"), named(L"ABC")},
        {named(L"\U00010000"), named(L"\uFFFF")},  // surrogates (0xD800) sort below 0xFFFF
    };
    for (const auto& test_case : cases)
    {
        EXPECT_TRUE(compare_resource_ids(test_case.smaller, test_case.larger) < 0);
        EXPECT_TRUE(compare_resource_ids(test_case.larger, test_case.smaller) > 0);
        EXPECT_TRUE(compare_resource_ids(test_case.smaller, test_case.smaller) == 0);
    }
}

}  // namespace
}  // namespace voka::platform
