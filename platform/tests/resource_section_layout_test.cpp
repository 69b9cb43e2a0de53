// The layout of a resource section without its data: placing each resource's bytes at the offsets
// it gives, after its directory, yields exactly the section the codec's builder builds, for trees
// of named and numbered types and names, several languages, empty and odd-sized resources.
#include "pe/resource_section_layout.h"
#include "pe_test_image.h"
#include "resource_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace voka::platform
{
namespace
{

using namespace test;

t_resource_content random_content(std::uint32_t seed)
{
    std::mt19937 random(seed);
    const auto pick = [&](std::uint32_t bound) { return random() % bound; };
    t_resource_content content;
    const std::uint32_t type_count = 1 + pick(4);
    for (std::uint32_t t = 0; t < type_count; ++t)
    {
        t_type type;
        type.id = pick(2) == 0 ? id(static_cast<std::uint16_t>(1 + t * 7))
                               : named(L"TYPE" + std::to_wstring(type_count - t));
        const std::uint32_t name_count = 1 + pick(5);
        for (std::uint32_t n = 0; n < name_count; ++n)
        {
            t_name name;
            name.id = pick(3) == 0 ? named(L"N" + std::wstring(1 + n, L'x'))
                                   : id(static_cast<std::uint16_t>(100 - n));
            const std::uint32_t language_count = 1 + pick(3);
            for (std::uint32_t l = 0; l < language_count; ++l)
            {
                const std::size_t size = pick(4) == 0 ? 0 : pick(70);
                name.languages.push_back(
                    {static_cast<std::uint16_t>(0x409 + l * 0x10),
                     {pick(2) == 0 ? 0u : 1252u, test_pattern(size, seed * 1000 + t * 100 + n)}});
            }
            type.names.push_back(std::move(name));
        }
        content.types.push_back(std::move(type));
    }
    return content;
}

std::vector<std::uint8_t> assemble(const t_resource_content& sorted, std::uint32_t rva)
{
    pe::t_resource_extents extents;
    for (const auto& type : sorted.types)
    {
        auto& extent_type = extents.types.emplace_back();
        extent_type.id = type.id;
        for (const auto& name : type.names)
        {
            auto& extent_name = extent_type.names.emplace_back();
            extent_name.id = name.id;
            for (const auto& language : name.languages)
                extent_name.languages.push_back(
                    {language.language,
                     {language.leaf.code_page,
                      static_cast<std::uint32_t>(language.leaf.bytes.size())}});
        }
    }
    const pe::t_resource_section_layout layout = pe::lay_out_resource_section(extents, rva);
    std::vector<std::uint8_t> section(layout.size, 0);
    std::copy(layout.directory.begin(), layout.directory.end(), section.begin());
    std::size_t index = 0;
    for (const auto& type : sorted.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
                std::copy(language.leaf.bytes.begin(), language.leaf.bytes.end(),
                          section.begin() +
                              static_cast<std::ptrdiff_t>(layout.data_offsets.at(index++)));
    EXPECT_EQ(index, layout.data_offsets.size());
    return section;
}

TEST(ResourceSectionLayoutTest, DataPlacedByTheLayoutGivesTheBuildersSection)
{
    for (std::uint32_t seed = 1; seed <= 60; ++seed)
    {
        SCOPED_TRACE(seed);
        t_resource_content content = random_content(seed);
        const std::uint32_t rva = 0x1000 * (1 + seed % 5);
        const std::vector<std::uint8_t> built = build_resource_directory(content, rva);
        sort_resource_tree(content);
        EXPECT_EQ(assemble(content, rva), built);
    }
}

TEST(ResourceSectionLayoutTest, EmptyTreeIsARootTableAlone)
{
    const pe::t_resource_section_layout layout = pe::lay_out_resource_section({}, 0x3000);
    EXPECT_EQ(layout.directory, build_resource_directory({}, 0x3000));
    EXPECT_EQ(layout.size, layout.directory.size());
    EXPECT_TRUE(layout.data_offsets.empty());
}

TEST(ResourceSectionLayoutTest, SectionPastTheAddressSpaceIsRefused)
{
    pe::t_resource_extents extents;
    extents.types.push_back({id(10), {{id(1), {{0, {0, 0x1000}}}}}});
    EXPECT_NO_THROW(pe::lay_out_resource_section(extents, 0xFFFFE000u));
    EXPECT_THROW(pe::lay_out_resource_section(extents, 0xFFFFF000u), std::length_error);
}

}  // namespace
}  // namespace voka::platform
