// Builds the content of a resource section from a t_resource_content tree. Portable code: no OS
// calls.
//
// The layout is the one Microsoft's tools produce (cvtres writes .rsrc$01 and .rsrc$02, which the
// linker joins; LLVM's WindowsResourceCOFFWriter reproduces it; Microsoft's PE format document
// lists the same four parts in its description of the .rsrc section):
//   1. the directory tables breadth-first: the root, then the name table of every type, then the
//      language table of every name, each table directly followed by its entries, named entries
//      first (sorted by their upper-cased UTF-16 units), then integer ids ascending;
//   2. the data entries (IMAGE_RESOURCE_DATA_ENTRY), one per resource in tree order;
//   3. the name strings (type names first, then resource names, in table order), 2-byte aligned;
//   4. the data: each resource at the next 8-byte boundary, the section padded to 8 bytes.
// That document lists the strings before the data entries; the tools write them after, and so
// does this builder. Time stamps, versions and characteristics are written as 0.
#include "resource_name_text.h"
#include "resource_records.h"
#include "voka/platform/resource_directory.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace voka::platform
{
namespace
{

using t_blob_language = t_resource_language_node<t_resource_blob>;
using t_blob_name = t_resource_name_node<t_resource_blob>;
using t_blob_type = t_resource_type_node<t_resource_blob>;

// Offsets in entries have 31 bits; whatever an entry points at must start below this.
constexpr std::uint64_t k_offset_limit = 0x80000000u;

constexpr std::uint64_t align_up(std::uint64_t value, std::uint64_t alignment) noexcept
{
    return (value + alignment - 1) / alignment * alignment;
}

constexpr std::uint64_t table_size(std::size_t entry_count) noexcept
{
    return codec::t_directory_record::k_size + entry_count * codec::t_entry_record::k_size;
}

std::u16string name_units(const t_resource_id& id, const char* level)
{
    if (id.name().empty())
        throw std::invalid_argument(std::string("resource directory: empty ") + level + " name");
    std::optional<std::u16string> units = codec::encode_utf16(id.name());
    if (!units)
        throw std::invalid_argument(std::string("resource directory: a ") + level +
                                    " name has no UTF-16 form");
    if (units->size() > 0xFFFF)
        throw std::invalid_argument(std::string("resource directory: a ") + level +
                                    " name is longer than 65535 UTF-16 units");
    return std::move(*units);
}

// One table entry as it will be written: the node, its name's units, and where its table and
// name string go.
template <typename t_node>
struct t_planned
{
    const t_node* node = nullptr;
    std::u16string units;
    std::uint64_t table_offset = 0;   // of the table this node leads to (types and names)
    std::uint64_t string_offset = 0;  // of its name string, when named
};

struct t_planned_name : t_planned<t_blob_name>
{
    std::vector<const t_blob_language*> languages;
};

struct t_planned_type : t_planned<t_blob_type>
{
    std::vector<t_planned_name> names;
};

// `nodes` in table order, with their names checked and encoded; rejects equal ids.
template <typename t_plan, typename t_node>
std::vector<t_plan> plan_level(const std::vector<t_node>& nodes, const char* level)
{
    std::vector<std::pair<codec::t_resource_id_sort_key, t_plan>> keyed;
    keyed.reserve(nodes.size());
    for (const t_node& node : nodes)
    {
        t_plan plan;
        plan.node = &node;
        if (node.id.is_name())
            plan.units = name_units(node.id, level);
        keyed.emplace_back(codec::t_resource_id_sort_key(node.id), std::move(plan));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<t_plan> plans;
    plans.reserve(keyed.size());
    std::size_t named_count = 0;
    for (auto& [key, plan] : keyed)
    {
        if (!plans.empty() && plans.back().node->id == plan.node->id)
            throw std::invalid_argument(std::string("resource directory: two ") + level +
                                        " entries have the same identifier");
        named_count += plan.node->id.is_name() ? 1 : 0;
        plans.push_back(std::move(plan));
    }
    if (named_count > 0xFFFF || plans.size() - named_count > 0xFFFF)
        throw std::length_error(std::string("resource directory: more than 65535 entries of one "
                                            "kind in a ") +
                                level + " table");
    return plans;
}

std::vector<const t_blob_language*> plan_languages(const std::vector<t_blob_language>& languages)
{
    std::vector<const t_blob_language*> plans;
    plans.reserve(languages.size());
    for (const t_blob_language& language : languages)
        plans.push_back(&language);
    std::stable_sort(plans.begin(), plans.end(),
                     [](const auto* left, const auto* right)
                     { return left->language < right->language; });
    const auto duplicate = std::adjacent_find(plans.begin(), plans.end(),
                                              [](const auto* left, const auto* right)
                                              { return left->language == right->language; });
    if (duplicate != plans.end())
        throw std::invalid_argument("resource directory: two entries have the same language");
    return plans;
}

template <typename t_plan>
void write_table(codec::t_byte_writer& writer, std::uint64_t offset,
                 const std::vector<t_plan>& plans)
{
    codec::t_directory_record header;
    for (const t_plan& plan : plans)
        ++(plan.node->id.is_name() ? header.named_entry_count : header.id_entry_count);
    codec::write_directory_record(writer, offset, header);
    std::uint64_t entry_offset = offset + codec::t_directory_record::k_size;
    for (const t_plan& plan : plans)
    {
        const bool named = plan.node->id.is_name();
        codec::write_entry_record(
            writer, entry_offset,
            codec::t_entry_record::make(named,
                                        named ? static_cast<std::uint32_t>(plan.string_offset)
                                              : plan.node->id.integer(),
                                        true, static_cast<std::uint32_t>(plan.table_offset)));
        entry_offset += codec::t_entry_record::k_size;
    }
}

void write_string(codec::t_byte_writer& writer, std::uint64_t offset, const std::u16string& units)
{
    writer.put16(offset, static_cast<std::uint16_t>(units.size()));
    for (std::size_t i = 0; i < units.size(); ++i)
        writer.put16(offset + codec::k_string_header_size + 2 * i,
                     static_cast<std::uint16_t>(units[i]));
}

}  // namespace

std::vector<std::uint8_t> build_resource_directory(const t_resource_content& content,
                                                   std::uint32_t section_rva)
{
    // Order and check every level.
    std::vector<t_planned_type> types = plan_level<t_planned_type>(content.types, "type");
    std::size_t leaf_count = 0;
    for (t_planned_type& type : types)
    {
        type.names = plan_level<t_planned_name>(type.node->names, "resource");
        for (t_planned_name& name : type.names)
        {
            name.languages = plan_languages(name.node->languages);
            leaf_count += name.languages.size();
        }
    }

    // Lay out the tables breadth-first, then the data entries, then the strings.
    std::uint64_t offset = table_size(types.size());
    for (t_planned_type& type : types)
    {
        type.table_offset = offset;
        offset += table_size(type.names.size());
    }
    for (t_planned_type& type : types)
        for (t_planned_name& name : type.names)
        {
            name.table_offset = offset;
            offset += table_size(name.languages.size());
        }
    const std::uint64_t data_entries_offset = offset;
    offset += leaf_count * codec::t_data_entry_record::k_size;
    for (t_planned_type& type : types)
        if (type.node->id.is_name())
        {
            type.string_offset = offset;
            offset += codec::k_string_header_size + 2 * type.units.size();
        }
    for (t_planned_type& type : types)
        for (t_planned_name& name : type.names)
            if (name.node->id.is_name())
            {
                name.string_offset = offset;
                offset += codec::k_string_header_size + 2 * name.units.size();
            }
    if (offset > k_offset_limit)
        throw std::length_error("resource directory: tables and names pass 2 GiB");

    // Then the data, each resource 8-byte aligned.
    std::vector<std::uint64_t> data_offsets;
    data_offsets.reserve(leaf_count);
    for (const t_planned_type& type : types)
        for (const t_planned_name& name : type.names)
            for (const t_blob_language* language : name.languages)
            {
                if (language->leaf.bytes.size() > std::numeric_limits<std::uint32_t>::max())
                    throw std::length_error("resource directory: a resource passes 4 GiB");
                offset = align_up(offset, 8);
                data_offsets.push_back(offset);
                offset += language->leaf.bytes.size();
            }
    const std::uint64_t section_size = align_up(offset, 8);
    if (section_size > std::uint64_t{0xFFFFFFFFu} - section_rva)
        throw std::length_error("resource directory: the section passes RVA 0xFFFFFFFF");

    std::vector<std::uint8_t> section(static_cast<std::size_t>(section_size), 0);
    codec::t_byte_writer writer(section);
    write_table(writer, 0, types);
    for (const t_planned_type& type : types)
        write_table(writer, type.table_offset, type.names);
    std::size_t leaf_index = 0;
    for (const t_planned_type& type : types)
        for (const t_planned_name& name : type.names)
        {
            codec::t_directory_record header;
            header.id_entry_count = static_cast<std::uint16_t>(name.languages.size());
            codec::write_directory_record(writer, name.table_offset, header);
            std::uint64_t entry_offset = name.table_offset + codec::t_directory_record::k_size;
            for (const t_blob_language* language : name.languages)
            {
                const std::uint64_t data_entry_offset =
                    data_entries_offset + leaf_index * codec::t_data_entry_record::k_size;
                codec::write_entry_record(
                    writer, entry_offset,
                    codec::t_entry_record::make(false, language->language, false,
                                                static_cast<std::uint32_t>(data_entry_offset)));
                codec::write_data_entry_record(
                    writer, data_entry_offset,
                    {static_cast<std::uint32_t>(section_rva + data_offsets[leaf_index]),
                     static_cast<std::uint32_t>(language->leaf.bytes.size()),
                     language->leaf.code_page, 0});
                writer.put_bytes(data_offsets[leaf_index], language->leaf.bytes);
                entry_offset += codec::t_entry_record::k_size;
                ++leaf_index;
            }
        }
    for (const t_planned_type& type : types)
        if (type.node->id.is_name())
            write_string(writer, type.string_offset, type.units);
    for (const t_planned_type& type : types)
        for (const t_planned_name& name : type.names)
            if (name.node->id.is_name())
                write_string(writer, name.string_offset, name.units);
    return section;
}

}  // namespace voka::platform
