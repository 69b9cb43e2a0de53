// Parses a PE resource directory into a t_resource_directory, checking every offset, count and
// size against the section. Portable code: no OS calls.
//
// The walk is fixed at three levels (type, name, language). Every table is visited at most once:
// a subdirectory offset that names a table seen before, an ancestor included, is rejected. Tables
// at different offsets may still overlap, and overlapping language tables can share their entry
// bytes, so the tables together may hold no more entries than the section has room for (a
// directory written by any tool never comes near). Name strings and data entries may be shared
// by several entries (nothing in the format forbids it), but the decoded names together may not
// hold more characters than the section has bytes. Both limits keep the work and the size of the
// tree proportional to the input.
#include "resource_name_text.h"
#include "resource_records.h"
#include "voka/platform/resource_directory.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace voka::platform
{
namespace
{

using codec::t_byte_reader;
using codec::t_directory_record;
using codec::t_entry_record;

enum class t_level
{
    type,
    name,
    language
};

std::string hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

const char* level_name(t_level level) noexcept
{
    switch (level)
    {
    case t_level::type:
        return "type";
    case t_level::name:
        return "name";
    case t_level::language:
        return "language";
    }
    return "?";
}

// One entry of a table as read from disk, with the offset it was read at.
struct t_read_entry
{
    std::uint64_t offset = 0;
    t_entry_record record;
};

class t_directory_parser
{
public:
    explicit t_directory_parser(std::span<const std::uint8_t> section)
        : m_reader(section), m_entries_left(section.size() / t_entry_record::k_size),
          m_name_units_left(section.size())
    {
    }

    t_resource_directory parse()
    {
        t_resource_directory directory;
        for (const t_read_entry& type_entry : read_table(0, t_level::type))
        {
            t_resource_type_node<t_resource_data_entry>& type = directory.types.emplace_back();
            type.id = read_id(type_entry);
            for (const t_read_entry& name_entry :
                 read_table(type_entry.record.target_offset(), t_level::name))
            {
                t_resource_name_node<t_resource_data_entry>& name = type.names.emplace_back();
                name.id = read_id(name_entry);
                for (const t_read_entry& language_entry :
                     read_table(name_entry.record.target_offset(), t_level::language))
                {
                    name.languages.push_back(
                        {static_cast<std::uint16_t>(language_entry.record.integer_id()),
                         read_data_entry(language_entry.record.target_offset())});
                }
                reject_duplicate_languages(name.languages, name_entry.record.target_offset());
            }
            reject_duplicate_ids(type.names, type_entry.record.target_offset());
        }
        reject_duplicate_ids(directory.types, 0);
        return directory;
    }

private:
    // Reads the table at `offset` and checks each entry's form for `level`.
    std::vector<t_read_entry> read_table(std::uint64_t offset, t_level level)
    {
        if (!m_visited_tables.insert(offset).second)
            throw t_resource_directory_error(
                codec::k_directory_name, offset,
                "table reached a second time (a cycle or a shared subdirectory)");
        const t_directory_record header = codec::read_directory_record(m_reader, offset);
        const std::uint64_t entries_offset = offset + t_directory_record::k_size;
        const std::uint64_t count = header.entry_count();
        if (!m_reader.contains(entries_offset, count * t_entry_record::k_size))
            throw t_resource_directory_error(
                codec::k_directory_name, offset,
                std::to_string(header.named_entry_count) + " named and " +
                    std::to_string(header.id_entry_count) +
                    " id entries run past the end of the section (size " + hex(m_reader.size()) +
                    ")");

        if (count > m_entries_left)
            throw t_resource_directory_error(
                codec::k_directory_name, offset,
                "the tables hold more entries than the section has room for (tables overlap)");
        m_entries_left -= count;

        std::vector<t_read_entry> entries;
        entries.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i)
        {
            const std::uint64_t entry_offset = entries_offset + i * t_entry_record::k_size;
            const t_entry_record record = codec::read_entry_record(m_reader, entry_offset);
            check_entry(record, entry_offset, level, i < header.named_entry_count);
            entries.push_back({entry_offset, record});
        }
        return entries;
    }

    static void check_entry(const t_entry_record& record, std::uint64_t offset, t_level level,
                            bool in_named_part)
    {
        const auto fail = [&](const std::string& problem)
        {
            throw t_resource_directory_error(codec::k_entry_name, offset,
                                             problem + " (" + level_name(level) + " level)");
        };
        if (in_named_part && !record.is_named())
            fail("integer id " + std::to_string(record.integer_id()) + " among the named entries");
        if (!in_named_part && record.is_named())
            fail("name among the integer id entries");
        if (level == t_level::language && record.is_named())
            fail("a language must be an integer id");
        if (!record.is_named() && record.integer_id() > 0xFFFF)
            fail("integer id " + hex(record.integer_id()) + " does not fit 16 bits");
        if (level == t_level::language && record.is_subdirectory())
            fail("subdirectory where a data entry belongs");
        if (level != t_level::language && !record.is_subdirectory())
            fail("data entry where a subdirectory belongs");
    }

    t_resource_id read_id(const t_read_entry& entry)
    {
        if (!entry.record.is_named())
            return t_resource_id(static_cast<std::uint16_t>(entry.record.integer_id()));
        return t_resource_id(read_name(entry.record.name_offset()));
    }

    std::wstring read_name(std::uint64_t offset)
    {
        const std::uint16_t length =
            m_reader.record(offset, codec::k_string_header_size, codec::k_string_name).u16(0);
        if (length == 0)
            throw t_resource_directory_error(codec::k_string_name, offset, "empty name");
        const std::uint64_t units_offset = offset + codec::k_string_header_size;
        if (!m_reader.contains(units_offset, std::uint64_t{length} * 2))
            throw t_resource_directory_error(
                codec::k_string_name, offset,
                "name of " + std::to_string(length) +
                    " UTF-16 units runs past the end of the section (size " + hex(m_reader.size()) +
                    ")");
        if (length > m_name_units_left)
            throw t_resource_directory_error(
                codec::k_string_name, offset,
                "the names decode to more characters than the section has bytes");
        m_name_units_left -= length;
        return codec::decode_utf16le(
            m_reader.record(units_offset, std::uint64_t{length} * 2, codec::k_string_name).bytes());
    }

    t_resource_data_entry read_data_entry(std::uint64_t offset)
    {
        // The reserved field is not checked: the loader never reads it.
        const codec::t_data_entry_record record = codec::read_data_entry_record(m_reader, offset);
        return {record.data_rva, record.size, record.code_page};
    }

    template <typename t_node>
    static void reject_duplicate_ids(const std::vector<t_node>& nodes, std::uint64_t table_offset)
    {
        std::vector<const t_resource_id*> ids;
        ids.reserve(nodes.size());
        for (const t_node& node : nodes)
            ids.push_back(&node.id);
        std::sort(ids.begin(), ids.end(),
                  [](const t_resource_id* left, const t_resource_id* right)
                  {
                      if (left->is_name() != right->is_name())
                          return left->is_name();
                      return left->is_name() ? left->name() < right->name()
                                             : left->integer() < right->integer();
                  });
        const auto duplicate = std::adjacent_find(
            ids.begin(), ids.end(),
            [](const t_resource_id* left, const t_resource_id* right) { return *left == *right; });
        if (duplicate != ids.end())
            throw t_resource_directory_error(codec::k_directory_name, table_offset,
                                             "two entries have the same identifier");
    }

    static void reject_duplicate_languages(
        const std::vector<t_resource_language_node<t_resource_data_entry>>& languages,
        std::uint64_t table_offset)
    {
        std::vector<std::uint16_t> ids;
        ids.reserve(languages.size());
        for (const auto& language : languages)
            ids.push_back(language.language);
        std::sort(ids.begin(), ids.end());
        if (std::adjacent_find(ids.begin(), ids.end()) != ids.end())
            throw t_resource_directory_error(codec::k_directory_name, table_offset,
                                             "two entries have the same language");
    }

    t_byte_reader m_reader;
    std::unordered_set<std::uint64_t> m_visited_tables;
    std::uint64_t m_entries_left = 0;     // all tables together, as if none overlapped
    std::uint64_t m_name_units_left = 0;  // all names together
};

}  // namespace

t_resource_directory parse_resource_directory(std::span<const std::uint8_t> section)
{
    return t_directory_parser(section).parse();
}

}  // namespace voka::platform
