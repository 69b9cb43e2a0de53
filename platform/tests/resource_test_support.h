// Helpers for the resource tests: short ways to write resource trees, and raw little-endian access
// to built sections so a case can change one field.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace voka::platform::test
{

inline t_resource_id id(std::uint16_t integer)
{
    return t_resource_id(integer);
}

inline t_resource_id named(std::wstring_view name)
{
    return t_resource_id(std::wstring(name));
}

inline t_resource_blob blob(std::string_view text, std::uint32_t code_page = 0)
{
    return {code_page, std::vector<std::uint8_t>(text.begin(), text.end())};
}

using t_language = t_resource_language_node<t_resource_blob>;
using t_name = t_resource_name_node<t_resource_blob>;
using t_type = t_resource_type_node<t_resource_blob>;

// One type with one name with one language.
inline t_resource_content single(t_resource_id type, t_resource_id name, std::uint16_t language,
                                 t_resource_blob data)
{
    return {{t_type{std::move(type), {t_name{std::move(name), {{language, std::move(data)}}}}}}};
}

inline std::uint32_t get32(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes.at(offset)) |
           (static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8) |
           (static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16) |
           (static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24);
}

inline std::uint16_t get16(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

inline void put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void put16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace voka::platform::test
