// Resource names between their on-disk form (UTF-16 code units) and wchar_t text, and the sort key
// that orders the entries of one table. Portable code: no OS calls.
#pragma once

#include "voka/platform/resource_directory.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace voka::platform::codec
{

// Decodes UTF-16LE units (two bytes each; a trailing odd byte is ignored) into wchar_t text.
// Where wchar_t is UTF-32, surrogate pairs combine and a lone surrogate stays a character of the
// same value, so encode_utf16 gives back exactly the units that were read.
std::wstring decode_utf16le(std::span<const std::uint8_t> bytes);

// The UTF-16 units of `text`; nullopt when it has none: a character above 0x10FFFF, or (where
// wchar_t is UTF-32) a high surrogate directly followed by a low one, which would read back as one
// character.
std::optional<std::u16string> encode_utf16(std::wstring_view text);

// The upper case of one UTF-16 unit (see upcase_resource_name_char).
std::uint16_t upcase_utf16_unit(std::uint16_t unit) noexcept;

// Orders identifiers as compare_resource_ids does; computed once per entry when a builder sorts.
class t_resource_id_sort_key
{
public:
    explicit t_resource_id_sort_key(const t_resource_id& id);

    friend std::strong_ordering operator<=>(const t_resource_id_sort_key& left,
                                            const t_resource_id_sort_key& right);
    friend bool operator==(const t_resource_id_sort_key& left,
                           const t_resource_id_sort_key& right) = default;

private:
    bool m_is_name = false;
    std::uint16_t m_integer = 0;
    std::u16string m_upper_units;  // the name's units, upper-cased
    std::u16string m_units;        // the name's units as they are
};

}  // namespace voka::platform::codec
