// Builds message-table resources and modules that carry them, for tests and fuzzing.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace voka::test
{

// One entry as stored: flags 1 means the text is UTF-16LE.
struct t_message_entry
{
    std::vector<std::uint8_t> text;
    std::uint16_t flags = 0;
};

struct t_message_block
{
    std::uint32_t lowest_id;
    std::vector<t_message_entry> entries;
};

inline void put_u16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

// 8-bit entry text, padded with NULs to a multiple of four as resource compilers do.
inline t_message_entry narrow_entry(const std::string& text)
{
    t_message_entry entry{std::vector<std::uint8_t>(text.begin(), text.end()), 0};
    while ((entry.text.size() + 4) % 4 != 0)
        entry.text.push_back(0);
    return entry;
}

// UTF-16LE entry text (BMP characters), with a NUL terminator.
inline t_message_entry wide_entry(const std::u16string& text)
{
    t_message_entry entry{{}, 1};
    for (char16_t unit : text + u'\0')
        put_u16(entry.text, unit);
    return entry;
}

// The bytes of a message-table resource with the given blocks, entries laid out in order.
inline std::vector<std::uint8_t> build_message_table(const std::vector<t_message_block>& blocks)
{
    std::vector<std::uint8_t> out;
    put_u32(out, static_cast<std::uint32_t>(blocks.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(4 + 12 * blocks.size());
    std::vector<std::uint8_t> entries;
    for (const t_message_block& block : blocks)
    {
        put_u32(out, block.lowest_id);
        put_u32(out, block.lowest_id + static_cast<std::uint32_t>(block.entries.size()) - 1);
        put_u32(out, offset);
        for (const t_message_entry& entry : block.entries)
        {
            put_u16(entries, static_cast<std::uint32_t>(entry.text.size() + 4));
            put_u16(entries, entry.flags);
            entries.insert(entries.end(), entry.text.begin(), entry.text.end());
        }
        offset = static_cast<std::uint32_t>(4 + 12 * blocks.size() + entries.size());
    }
    out.insert(out.end(), entries.begin(), entries.end());
    return out;
}

// A resource section holding message tables (type 11) under `name` in each language.
struct t_message_table_resource
{
    std::wstring name;
    std::uint16_t language;
    std::vector<std::uint8_t> bytes;
};

inline std::vector<std::uint8_t>
build_message_table_section(const std::vector<t_message_table_resource>& tables,
                            std::uint32_t section_rva)
{
    using namespace voka::platform;
    t_resource_content content;
    t_resource_type_node<t_resource_blob> type{t_resource_id(std::uint16_t{11}), {}};
    for (const t_message_table_resource& table : tables)
    {
        t_resource_name_node<t_resource_blob>* name_node = nullptr;
        for (auto& existing : type.names)
            if (existing.id == t_resource_id(table.name))
                name_node = &existing;
        if (name_node == nullptr)
        {
            type.names.push_back({t_resource_id(table.name), {}});
            name_node = &type.names.back();
        }
        name_node->languages.push_back({table.language, t_resource_blob{0, table.bytes}});
    }
    content.types.push_back(std::move(type));
    return build_resource_directory(content, section_rva);
}

}  // namespace voka::test
