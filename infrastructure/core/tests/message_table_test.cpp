// Message-table lookup over hand-built tables: trimming, language fallback, broken
// tables and conversion failures.
#include "message_table_builder.h"
#include "voka/infrastructure/core/message_table.h"
#include "voka/platform/resource_module.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

using namespace voka::test;
using voka::infrastructure::core::structure::lookup_message_table_entry;
using voka::infrastructure::core::structure::t_message_table_source;

constexpr std::uint32_t k_section_rva = 0x4000;
const wchar_t* const k_table_name = L"TEST.ERR_MESSAGES";

// A registered module carrying message tables; unregistered on destruction.
class t_module_with_tables
{
public:
    explicit t_module_with_tables(const std::vector<t_message_table_resource>& tables)
        : m_module(voka::platform::register_resource_module(
              build_message_table_section(tables, k_section_rva), k_section_rva))
    {
    }
    ~t_module_with_tables() { voka::platform::unregister_resource_module(m_module); }
    t_module_with_tables(const t_module_with_tables&) = delete;
    t_module_with_tables& operator=(const t_module_with_tables&) = delete;

    t_message_table_source source(std::uint32_t code_page = 65001) const
    {
        return {&m_module, k_table_name, code_page};
    }

private:
    HMODULE m_module;
};

std::vector<std::uint8_t> english_table()
{
    return build_message_table({
        {1,
         {narrow_entry("Bug check at [%1].\r\n"), narrow_entry("two line ends\r\n\r\n"),
          narrow_entry("lf only\n"), narrow_entry("no line end")}},
        {21, {wide_entry(u"wide text\r\n")}},
    });
}

struct t_entry_case
{
    std::uint32_t id;
    std::int32_t result;
    const wchar_t* text;
};

class MessageTableEntryTest : public ::testing::TestWithParam<t_entry_case>
{
};

TEST_P(MessageTableEntryTest, FindsAndTrimsEntries)
{
    const t_module_with_tables module({{k_table_name, 0x0009, english_table()}});
    const t_entry_case& c = GetParam();
    std::wstring text = L"stale";
    EXPECT_EQ(lookup_message_table_entry(module.source(), c.id, text, 0, 0x0009), c.result);
    if (c.result == 0)
    {
        EXPECT_EQ(text, c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, MessageTableEntryTest,
    ::testing::Values(t_entry_case{1, 0, L"Bug check at [%1]."},
                      t_entry_case{2, 0, L"two line ends\r\n"}, t_entry_case{3, 0, L"lf only"},
                      t_entry_case{4, 0, L"no line end"}, t_entry_case{21, 0, L"wide text"},
                      t_entry_case{0, 2, nullptr}, t_entry_case{5, 2, nullptr},
                      t_entry_case{20, 2, nullptr}, t_entry_case{22, 2, nullptr}));

TEST(MessageTableLanguageTest, ExactLanguageThenNeutral)
{
    const t_module_with_tables module({
        {k_table_name, 0x0019,
         build_message_table(
             {{1, {narrow_entry("\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0\r\n")}}})},
        {k_table_name, 0x0000, build_message_table({{1, {narrow_entry("neutral\r\n")}}})},
    });
    std::wstring text;
    EXPECT_EQ(lookup_message_table_entry(module.source(), 1, text, 0, 0x0019), 0);
    EXPECT_EQ(text, L"\u041e\u0448\u0438\u0431\u043a\u0430");
    EXPECT_EQ(lookup_message_table_entry(module.source(), 1, text, 0, 0x0409), 0);
    EXPECT_EQ(text, L"neutral");
    // The neutral flag asks for language 0 whatever language is given.
    EXPECT_EQ(lookup_message_table_entry(module.source(), 1, text, 1, 0x0019), 0);
    EXPECT_EQ(text, L"neutral");
}

// The retry with language 0 takes Windows' fallback order (neutral, the user's
// language, English, then the first language present), so a table that exists only
// in another language is still found.
TEST(MessageTableLanguageTest, RetryWithLanguageZeroFollowsTheFallbackOrder)
{
    const t_module_with_tables module({
        {k_table_name, 0x0019, build_message_table({{1, {narrow_entry("russian\r\n")}}})},
        {k_table_name, 0x0009, build_message_table({{1, {narrow_entry("english\r\n")}}})},
    });
    std::wstring text;
    EXPECT_EQ(lookup_message_table_entry(module.source(), 1, text, 0, 0x0407), 0);
    EXPECT_EQ(text, L"english");

    const t_module_with_tables russian_only({{k_table_name, 0x0019, english_table()}});
    EXPECT_EQ(lookup_message_table_entry(russian_only.source(), 3, text, 0, 0x0009), 0);
    EXPECT_EQ(text, L"lf only");
}

TEST(MessageTableLanguageTest, MissingNameIsNoResource)
{
    const t_module_with_tables module({{k_table_name, 0x0019, english_table()}});
    std::wstring text;
    const t_message_table_source wrong_name{module.source().module, L"OTHER", 65001};
    EXPECT_EQ(lookup_message_table_entry(wrong_name, 1, text, 0, 0x0019), 1);
}

TEST(MessageTableBrokenTest, ShortEntryInTheChainEndsTheWalk)
{
    std::vector<std::uint8_t> table = build_message_table(
        {{1, {narrow_entry("one\r\n"), narrow_entry("two\r\n"), narrow_entry("three\r\n")}}});
    // Entry 2 starts after the 28-byte header and entry 1 (4 + 8 bytes): claim a length of 3.
    table[4 + 12 + 12] = 3;
    table[4 + 12 + 12 + 1] = 0;
    const t_module_with_tables module({{k_table_name, 0x0009, table}});
    std::wstring text;
    EXPECT_EQ(lookup_message_table_entry(module.source(), 1, text, 0, 0x0009), 0);
    EXPECT_EQ(lookup_message_table_entry(module.source(), 2, text, 0, 0x0009), 2);
    EXPECT_EQ(lookup_message_table_entry(module.source(), 3, text, 0, 0x0009), 2);
}

TEST(MessageTableBrokenTest, OffsetsAndCountsBeyondTheResourceAreNoEntry)
{
    std::vector<std::uint8_t> block_past_end = build_message_table({{1, {narrow_entry("x")}}});
    block_past_end[12] = 0xF0;  // first entry offset far outside
    std::vector<std::uint8_t> huge_count = build_message_table({{1, {narrow_entry("x")}}});
    huge_count[3] = 0x7F;  // 2 billion blocks in a few bytes
    std::vector<std::uint8_t> entry_past_end = build_message_table({{1, {narrow_entry("abc")}}});
    entry_past_end[16] = 0xFF;  // entry claims 255 bytes
    const std::vector<std::uint8_t> truncated = {1, 0};

    // Block 0 covers id 1 only: looking up id 2 in huge_count walks the missing blocks.
    const std::pair<std::vector<std::uint8_t>, std::uint32_t> cases[] = {
        {block_past_end, 1}, {huge_count, 2}, {entry_past_end, 1}, {truncated, 1}};
    for (const auto& [bytes, id] : cases)
    {
        const t_module_with_tables module({{k_table_name, 0x0009, bytes}});
        std::wstring text;
        EXPECT_EQ(lookup_message_table_entry(module.source(), id, text, 0, 0x0009), 2) << id;
    }
}

TEST(MessageTableConversionTest, UnconvertibleEntryIsResultThree)
{
    const t_module_with_tables module({{k_table_name, 0x0009, english_table()}});
    std::wstring text = L"stale";
    // A code page the platform does not know cannot convert any 8-bit entry.
    EXPECT_EQ(lookup_message_table_entry(module.source(54321), 1, text, 0, 0x0009), 3);
    EXPECT_TRUE(text.empty());
    // UTF-16 entries do not depend on the code page.
    EXPECT_EQ(lookup_message_table_entry(module.source(54321), 21, text, 0, 0x0009), 0);
}

TEST(MessageTableModuleTest, UnloadedModuleHasNoTable)
{
    const HMODULE none = nullptr;
    const t_message_table_source source{&none, k_table_name, 65001};
    std::wstring text;
    EXPECT_EQ(lookup_message_table_entry(source, 1, text, 0, 0x0009), 1);
}

}  // namespace
