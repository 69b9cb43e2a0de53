// Resource names: UTF-16 decoding and encoding, the upper-case mapping used to compare them, and
// their order within a table. Portable code: no OS calls, no locale.
#include "resource_name_text.h"

namespace voka::platform::codec
{
namespace
{

constexpr bool k_wide_is_utf16 = sizeof(wchar_t) == 2;

constexpr bool is_high_surrogate(std::uint32_t value) noexcept
{
    return value >= 0xD800 && value <= 0xDBFF;
}

constexpr bool is_low_surrogate(std::uint32_t value) noexcept
{
    return value >= 0xDC00 && value <= 0xDFFF;
}

// Lenient units for sorting only: a character without a UTF-16 form becomes 0xFFFF, and the tie
// is broken by the raw units, which for such names the builder rejects before it sorts.
std::u16string units_for_sorting(std::wstring_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t character : text)
    {
        const auto value = static_cast<std::uint32_t>(character);
        if (value <= 0xFFFF)
        {
            units.push_back(static_cast<char16_t>(value));
        }
        else if (value <= 0x10FFFF)
        {
            const std::uint32_t offset = value - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
        else
        {
            units.push_back(u'\xFFFF');
        }
    }
    return units;
}

}  // namespace

std::wstring decode_utf16le(std::span<const std::uint8_t> bytes)
{
    const std::size_t unit_count = bytes.size() / 2;
    const auto unit_at = [&](std::size_t index)
    { return static_cast<std::uint32_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8)); };
    std::wstring text;
    text.reserve(unit_count);
    for (std::size_t i = 0; i < unit_count; ++i)
    {
        const std::uint32_t unit = unit_at(i);
        if constexpr (!k_wide_is_utf16)
        {
            if (is_high_surrogate(unit) && i + 1 < unit_count && is_low_surrogate(unit_at(i + 1)))
            {
                const std::uint32_t low = unit_at(++i);
                text.push_back(
                    static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                continue;
            }
        }
        // A lone surrogate is kept as it is: Windows compares names unit for unit, and the
        // builder writes it back unchanged.
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
}

std::optional<std::u16string> encode_utf16(std::wstring_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto value = static_cast<std::uint32_t>(text[i]);
        if constexpr (!k_wide_is_utf16)
        {
            if (value > 0x10FFFF)
                return std::nullopt;
            if (is_high_surrogate(value) && i + 1 < text.size() &&
                is_low_surrogate(static_cast<std::uint32_t>(text[i + 1])))
                return std::nullopt;
            if (value > 0xFFFF)
            {
                const std::uint32_t offset = value - 0x10000;
                units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
                units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
                continue;
            }
        }
        units.push_back(static_cast<char16_t>(value));
    }
    return units;
}

std::uint16_t upcase_utf16_unit(std::uint16_t unit) noexcept
{
    const std::uint32_t c = unit;
    const auto result = [](std::uint32_t value) { return static_cast<std::uint16_t>(value); };
    // Basic Latin and Latin-1: a-z, and à to þ except the division sign; ÿ has its capital in
    // Latin Extended-A.
    if (c >= 'a' && c <= 'z')
        return result(c - 0x20);
    if (c < 0xE0)
        return unit;
    if (c <= 0xFE)
        return c == 0xF7 ? unit : result(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    // Latin Extended-A: capital and small letters alternate; the parity of the capital changes at
    // 0x139 and 0x179 (0x130, 0x131, 0x138 and 0x17F have no simple pair here).
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c & 1) != 0 ? result(c - 1) : unit;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) == 0 ? result(c - 1) : unit;
    // Greek.
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return result(c - 0x25);
    if (c == 0x3C2)
        return 0x3A3;  // final sigma
    if (c >= 0x3B1 && c <= 0x3CB)
        return result(c - 0x20);
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return result(c - 0x3F);
    // Cyrillic.
    if (c >= 0x430 && c <= 0x44F)
        return result(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return result(c - 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c & 1) != 0 ? result(c - 1) : unit;
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c & 1) == 0 ? result(c - 1) : unit;
    if (c == 0x4CF)
        return 0x4C0;
    // Armenian.
    if (c >= 0x561 && c <= 0x586)
        return result(c - 0x30);
    // Fullwidth Latin.
    if (c >= 0xFF41 && c <= 0xFF5A)
        return result(c - 0x20);
    return unit;
}

t_resource_id_sort_key::t_resource_id_sort_key(const t_resource_id& id)
    : m_is_name(id.is_name()), m_integer(id.integer())
{
    if (m_is_name)
    {
        m_units = units_for_sorting(id.name());
        m_upper_units = m_units;
        for (char16_t& unit : m_upper_units)
            unit = static_cast<char16_t>(upcase_utf16_unit(static_cast<std::uint16_t>(unit)));
    }
}

std::strong_ordering operator<=>(const t_resource_id_sort_key& left,
                                 const t_resource_id_sort_key& right)
{
    if (left.m_is_name != right.m_is_name)
        return left.m_is_name ? std::strong_ordering::less : std::strong_ordering::greater;
    if (!left.m_is_name)
        return left.m_integer <=> right.m_integer;
    if (const auto order = left.m_upper_units.compare(right.m_upper_units); order != 0)
        return order <=> 0;
    return left.m_units.compare(right.m_units) <=> 0;
}

}  // namespace voka::platform::codec

namespace voka::platform
{

std::strong_ordering compare_resource_ids(const t_resource_id& left, const t_resource_id& right)
{
    return codec::t_resource_id_sort_key(left) <=> codec::t_resource_id_sort_key(right);
}

wchar_t upcase_resource_name_char(wchar_t character) noexcept
{
    const auto value = static_cast<std::uint32_t>(character);
    if (value > 0xFFFF)
        return character;
    return static_cast<wchar_t>(codec::upcase_utf16_unit(static_cast<std::uint16_t>(value)));
}

bool resource_names_equal_ignoring_case(std::wstring_view left, std::wstring_view right) noexcept
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (upcase_resource_name_char(left[i]) != upcase_resource_name_char(right[i]))
            return false;
    return true;
}

}  // namespace voka::platform
