// Finding one resource in a parsed directory the way FindResourceExW does: identifiers match as
// integers or as names compared without case, and language 0 falls back in Windows' order.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace voka::platform
{

// A type or name asked for: an integer id, or a name (borrowed from the caller).
struct t_resource_key
{
    bool is_name = false;
    std::uint16_t integer = 0;
    std::wstring_view name;
};

const t_resource_type_node<t_resource_data_entry>*
find_resource_type(const t_resource_directory& directory, const t_resource_key& key) noexcept;

const t_resource_name_node<t_resource_data_entry>*
find_resource_name(const t_resource_type_node<t_resource_data_entry>& type,
                   const t_resource_key& key) noexcept;

// A non-zero `language` must match exactly. Language 0 tries, in order: neutral (0), the user's
// default language and then its primary language (SUBLANG_NEUTRAL), English (0x0409, then
// 0x0009), and at last the first language present. `user_language` is nullopt when the user has
// no default language. Returns null when nothing matches.
const t_resource_language_node<t_resource_data_entry>*
find_resource_language(const t_resource_name_node<t_resource_data_entry>& name,
                       std::uint16_t language, std::optional<std::uint16_t> user_language) noexcept;

}  // namespace voka::platform
