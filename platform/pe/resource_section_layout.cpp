// Lays out a resource section without its data. The directory part comes from the codec's builder,
// run over the same tree with empty data; the data then follows as the builder places it (see
// resource_directory.h): in tree order, each resource at the next 8-byte boundary, the section
// padded to 8 bytes. Only the data entries change: the builder, given empty data, recorded size 0
// at the section's end for each; this layout writes the real RVA and size into them. The data
// entries start after all tables and lie in tree order, so entry i is at a fixed offset; the code
// checks each one against what the builder wrote before replacing it.
#include "resource_section_layout.h"

#include "pe_bytes.h"

#include <stdexcept>

namespace voka::platform::pe
{
namespace
{

constexpr std::uint64_t k_table_header_size = 16;  // IMAGE_RESOURCE_DIRECTORY
constexpr std::uint64_t k_entry_size = 8;          // IMAGE_RESOURCE_DIRECTORY_ENTRY
constexpr std::uint64_t k_data_entry_size = 16;    // IMAGE_RESOURCE_DATA_ENTRY

constexpr std::uint64_t table_size(std::size_t entries) noexcept
{
    return k_table_header_size + entries * k_entry_size;
}

}  // namespace

t_resource_section_layout lay_out_resource_section(const t_resource_extents& extents,
                                                   std::uint32_t section_rva)
{
    t_resource_content skeleton;
    skeleton.types.reserve(extents.types.size());
    std::uint64_t tables = table_size(extents.types.size());
    std::vector<const t_resource_extent*> leaves;
    for (const auto& type : extents.types)
    {
        auto& skeleton_type = skeleton.types.emplace_back();
        skeleton_type.id = type.id;
        tables += table_size(type.names.size());
        for (const auto& name : type.names)
        {
            auto& skeleton_name = skeleton_type.names.emplace_back();
            skeleton_name.id = name.id;
            tables += table_size(name.languages.size());
            for (const auto& language : name.languages)
            {
                skeleton_name.languages.push_back(
                    {language.language, {language.leaf.code_page, {}}});
                leaves.push_back(&language.leaf);
            }
        }
    }

    t_resource_section_layout layout;
    layout.directory = build_resource_directory(skeleton, section_rva);
    const std::uint64_t directory_size = layout.directory.size();

    std::uint64_t offset = directory_size;
    layout.data_offsets.reserve(leaves.size());
    for (const t_resource_extent* leaf : leaves)
    {
        offset = align_up(offset, 8);
        layout.data_offsets.push_back(offset);
        offset += leaf->size;
    }
    layout.size = align_up(offset, 8);
    if (layout.size > std::uint64_t{0xFFFFFFFFu} - section_rva)
        throw std::length_error("resource directory: the section passes RVA 0xFFFFFFFF");

    t_pe_header_editor editor(layout.directory);
    for (std::size_t index = 0; index < leaves.size(); ++index)
    {
        const std::uint64_t entry = tables + index * k_data_entry_size;
        // What the builder wrote for empty data: the RVA of the section's end, size 0, the code
        // page. Anything else means its layout is not the one this code knows.
        if (!range_fits(entry, k_data_entry_size, directory_size) ||
            load32(layout.directory.data() + entry) != section_rva + directory_size ||
            load32(layout.directory.data() + entry + 4) != 0 ||
            load32(layout.directory.data() + entry + 8) != leaves[index]->code_page)
            throw std::logic_error("resource section layout: the builder's data entries are not "
                                   "where this layout expects them");
        editor.put32(entry, static_cast<std::uint32_t>(section_rva + layout.data_offsets[index]));
        editor.put32(entry + 4, leaves[index]->size);
    }
    return layout;
}

}  // namespace voka::platform::pe
