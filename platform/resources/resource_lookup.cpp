// Resource lookup by type, name and language over a parsed directory. Tables are searched in full
// rather than by binary search, so a directory whose entries are out of order is still served.
#include "resource_lookup.h"

namespace voka::platform
{
namespace
{

bool matches(const t_resource_id& id, const t_resource_key& key) noexcept
{
    if (id.is_name() != key.is_name)
        return false;
    return key.is_name ? resource_names_equal_ignoring_case(id.name(), key.name)
                       : id.integer() == key.integer;
}

template <typename t_node>
const t_node* find_by_key(const std::vector<t_node>& nodes, const t_resource_key& key) noexcept
{
    for (const t_node& node : nodes)
        if (matches(node.id, key))
            return &node;
    return nullptr;
}

const t_resource_language_node<t_resource_data_entry>*
find_exact(const t_resource_name_node<t_resource_data_entry>& name, std::uint16_t language) noexcept
{
    for (const auto& node : name.languages)
        if (node.language == language)
            return &node;
    return nullptr;
}

constexpr std::uint16_t primary_language(std::uint16_t language) noexcept
{
    return static_cast<std::uint16_t>(language & 0x3FF);  // PRIMARYLANGID, SUBLANG_NEUTRAL
}

}  // namespace

const t_resource_type_node<t_resource_data_entry>*
find_resource_type(const t_resource_directory& directory, const t_resource_key& key) noexcept
{
    return find_by_key(directory.types, key);
}

const t_resource_name_node<t_resource_data_entry>*
find_resource_name(const t_resource_type_node<t_resource_data_entry>& type,
                   const t_resource_key& key) noexcept
{
    return find_by_key(type.names, key);
}

const t_resource_language_node<t_resource_data_entry>*
find_resource_language(const t_resource_name_node<t_resource_data_entry>& name,
                       std::uint16_t language, std::optional<std::uint16_t> user_language) noexcept
{
    if (language != 0)
        return find_exact(name, language);

    std::uint16_t candidates[5] = {};
    std::size_t count = 0;
    candidates[count++] = 0;
    if (user_language)
    {
        candidates[count++] = *user_language;
        candidates[count++] = primary_language(*user_language);
    }
    candidates[count++] = 0x0409;
    candidates[count++] = 0x0009;
    for (std::size_t i = 0; i < count; ++i)
        if (const auto* found = find_exact(name, candidates[i]))
            return found;
    return name.languages.empty() ? nullptr : &name.languages.front();
}

}  // namespace voka::platform
