// Reading a module's resources into an update model, changing the model, and turning it into the
// pieces of a new resource section.
#include "resource_update_model.h"

#include "pe_bytes.h"

#include <algorithm>
#include <cstdio>

namespace voka::platform::pe
{
namespace
{

bool ids_match(const t_resource_id& stored, const t_resource_id& wanted) noexcept
{
    if (stored.is_name() != wanted.is_name())
        return false;
    if (!stored.is_name())
        return stored.integer() == wanted.integer();
    return resource_names_equal_ignoring_case(stored.name(), wanted.name());
}

template <typename t_node>
auto find_id(std::vector<t_node>& nodes, const t_resource_id& id)
{
    return std::find_if(nodes.begin(), nodes.end(),
                        [&](const t_node& node) { return ids_match(node.id, id); });
}

}  // namespace

std::optional<t_resource_section_bytes> find_resource_section(const t_pe_image& image,
                                                              std::span<const std::uint8_t> file)
{
    const t_data_directory entry = image.data_directory(k_resource_directory);
    if (!entry.is_present())
        return std::nullopt;
    const t_section* section = image.section_at(entry.rva);
    const std::uint64_t entry_offset = image.data_directory_offset(k_resource_directory);
    if (section == nullptr || entry.rva - section->virtual_address >= section->raw_size)
        throw t_pe_format_error("resource data directory", entry_offset,
                                "points outside the file data of every section");
    const std::uint64_t start = entry.rva - section->virtual_address;
    const auto section_bytes = file.subspan(section->raw_pointer, section->raw_size);
    return t_resource_section_bytes{section_bytes.subspan(static_cast<std::size_t>(start)),
                                    t_rva_range{section->virtual_address, section_bytes}};
}

t_update_tree read_update_tree(const t_pe_image& image, std::span<const std::uint8_t> file)
{
    const std::optional<t_resource_section_bytes> section = find_resource_section(image, file);
    if (!section)
        return {};
    const t_resource_directory directory = parse_resource_directory(section->directory);
    t_update_tree tree;
    tree.types.reserve(directory.types.size());
    for (const auto& type : directory.types)
    {
        auto& tree_type = tree.types.emplace_back();
        tree_type.id = type.id;
        tree_type.names.reserve(type.names.size());
        for (const auto& name : type.names)
        {
            auto& tree_name = tree_type.names.emplace_back();
            tree_name.id = name.id;
            tree_name.languages.reserve(name.languages.size());
            for (const auto& language : name.languages)
            {
                const t_resource_data_entry& entry = language.leaf;
                std::uint64_t offset = 0;
                if (entry.size != 0)
                {
                    const std::optional<std::uint64_t> found =
                        image.file_offset_of(entry.rva, entry.size);
                    if (!found)
                    {
                        char problem[96];
                        std::snprintf(problem, sizeof(problem),
                                      "%u bytes of resource data are not in the file",
                                      static_cast<unsigned>(entry.size));
                        throw t_resource_directory_error("resource data", entry.rva, problem);
                    }
                    offset = *found;
                }
                tree_name.languages.push_back(
                    {language.language, {entry.code_page, entry.size, offset, nullptr}});
            }
        }
    }
    return tree;
}

void t_resource_update_model::put(const t_resource_id& type, const t_resource_id& name,
                                  std::uint16_t language, t_update_leaf leaf)
{
    auto type_node = find_id(m_tree.types, type);
    if (type_node == m_tree.types.end())
    {
        m_tree.types.push_back({type, {}});
        type_node = std::prev(m_tree.types.end());
    }
    auto name_node = find_id(type_node->names, name);
    if (name_node == type_node->names.end())
    {
        type_node->names.push_back({name, {}});
        name_node = std::prev(type_node->names.end());
    }
    auto& languages = name_node->languages;
    const auto language_node =
        std::find_if(languages.begin(), languages.end(),
                     [&](const auto& node) { return node.language == language; });
    if (language_node == languages.end())
        languages.push_back({language, std::move(leaf)});
    else
        language_node->leaf = std::move(leaf);
    m_modified = true;
}

bool t_resource_update_model::remove(const t_resource_id& type, const t_resource_id& name,
                                     std::uint16_t language)
{
    const auto type_node = find_id(m_tree.types, type);
    if (type_node == m_tree.types.end())
        return false;
    const auto name_node = find_id(type_node->names, name);
    if (name_node == type_node->names.end())
        return false;
    auto& languages = name_node->languages;
    const auto language_node =
        std::find_if(languages.begin(), languages.end(),
                     [&](const auto& node) { return node.language == language; });
    if (language_node == languages.end())
        return false;
    languages.erase(language_node);
    if (languages.empty())
        type_node->names.erase(name_node);
    if (type_node->names.empty())
        m_tree.types.erase(type_node);
    m_modified = true;
    return true;
}

void t_resource_update_model::clear() noexcept
{
    if (!m_tree.types.empty())
        m_modified = true;
    m_tree.types.clear();
}

t_resource_extents extents_of(const t_update_tree& tree)
{
    t_resource_extents extents;
    extents.types.reserve(tree.types.size());
    for (const auto& type : tree.types)
    {
        auto& extents_type = extents.types.emplace_back();
        extents_type.id = type.id;
        extents_type.names.reserve(type.names.size());
        for (const auto& name : type.names)
        {
            auto& extents_name = extents_type.names.emplace_back();
            extents_name.id = name.id;
            extents_name.languages.reserve(name.languages.size());
            for (const auto& language : name.languages)
                extents_name.languages.push_back(
                    {language.language, {language.leaf.code_page, language.leaf.size}});
        }
    }
    return extents;
}

t_piece_list resource_section_pieces(const t_update_tree& tree,
                                     std::shared_ptr<const t_resource_section_layout> layout)
{
    t_piece_list pieces;
    const std::span<const std::uint8_t> directory(layout->directory);
    pieces.add_memory(directory, layout);
    std::uint64_t cursor = directory.size();
    std::size_t index = 0;
    for (const auto& type : tree.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
            {
                const t_update_leaf& leaf = language.leaf;
                const std::uint64_t offset = layout->data_offsets.at(index++);
                pieces.add_zeros(offset - cursor);
                if (leaf.bytes)
                    pieces.add_memory(*leaf.bytes, leaf.bytes);
                else
                    pieces.add_original(leaf.file_offset, leaf.size);
                cursor = offset + leaf.size;
            }
    pieces.add_zeros(layout->size - cursor);
    return pieces;
}

}  // namespace voka::platform::pe
