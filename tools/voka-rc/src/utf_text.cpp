// UTF-8 decoding and UTF-16 encoding for the resource compiler.
#include "utf_text.h"

namespace voka::rc
{

std::optional<std::u32string> decode_utf8(std::string_view text)
{
    std::u32string result;
    result.reserve(text.size());
    std::size_t index = 0;
    while (index < text.size())
    {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80)
        {
            result.push_back(lead);
            ++index;
            continue;
        }
        if ((lead & 0xE0) == 0xC0)
        {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        }
        else if ((lead & 0xF0) == 0xE0)
        {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        }
        else if ((lead & 0xF8) == 0xF0)
        {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        }
        else
            return std::nullopt;
        if (text.size() - index < length)
            return std::nullopt;
        for (std::size_t position = 1; position < length; ++position)
        {
            const auto next = static_cast<unsigned char>(text[index + position]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return std::nullopt;
        result.push_back(value);
        index += length;
    }
    return result;
}

void append_utf16le(std::vector<std::uint8_t>& out, std::u32string_view text)
{
    const auto append_unit = [&out](std::uint32_t unit)
    {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const char32_t character : text)
    {
        if (character < 0x10000)
        {
            append_unit(character);
            continue;
        }
        const std::uint32_t offset = character - 0x10000;
        append_unit(0xD800 + (offset >> 10));
        append_unit(0xDC00 + (offset & 0x3FF));
    }
}

std::size_t utf16_length(std::u32string_view text) noexcept
{
    std::size_t length = 0;
    for (const char32_t character : text)
        length += character < 0x10000 ? 1 : 2;
    return length;
}

std::wstring to_wide(std::u32string_view text)
{
    std::wstring result;
    if constexpr (sizeof(wchar_t) >= 4)
    {
        for (const char32_t character : text)
            result.push_back(static_cast<wchar_t>(character));
    }
    else
    {
        std::vector<std::uint8_t> units;
        append_utf16le(units, text);
        for (std::size_t index = 0; index + 1 < units.size(); index += 2)
            result.push_back(static_cast<wchar_t>(units[index] | (units[index + 1] << 8)));
    }
    return result;
}

}  // namespace voka::rc
