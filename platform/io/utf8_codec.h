// UTF-8 decoding to wide characters and encoding from them, with the rules of the
// Windows conversions for invalid input. Portable code: no host API is called.
//
// Wide characters are UTF-32 on this host, so one wchar_t holds one code point. An
// invalid piece of UTF-8 is replaced by U+FFFD per maximal ill-formed subpart (a lead
// byte followed by the continuation bytes that were still valid when the sequence
// broke off, or a lone byte), the practice Unicode recommends: the byte that breaks a
// sequence starts the next one. The ranges of valid second bytes exclude overlong
// forms (C0, C1, E0 80-9F, F0 80-8F), encoded surrogates (ED A0-BF) and values above
// U+10FFFF (F4 90-BF, F5-FF).
#pragma once

#include "text_output.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace voka::platform::io
{

static_assert(sizeof(wchar_t) == 4, "wide characters are expected to hold whole code points");

inline constexpr wchar_t k_replacement_character = 0xFFFD;

// The value of a wide character as an unsigned number: wchar_t is signed here, and
// a negative value must read as a large, invalid one.
constexpr std::uint32_t code_point_of(wchar_t character) noexcept
{
    return std::bit_cast<std::uint32_t>(character);
}

// True for a Unicode scalar value: at most U+10FFFF and not a surrogate.
constexpr bool is_scalar_value(wchar_t character) noexcept
{
    const std::uint32_t value = code_point_of(character);
    return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Decodes `size` bytes into `output` (anything with put(wchar_t) returning false when
// full). With `stop_on_invalid` the first invalid piece ends the pass.
template <typename t_output>
t_conversion_status decode_utf8(const char* text, std::size_t size, bool stop_on_invalid,
                                t_output& output)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t index = 0;
    while (index < size)
    {
        const unsigned lead = bytes[index];
        if (lead < 0x80)
        {
            if (!output.put(static_cast<wchar_t>(lead)))
                return t_conversion_status::buffer_too_small;
            ++index;
            continue;
        }

        int continuation_count = 0;
        std::uint32_t value = 0;
        unsigned lowest = 0x80;  // range of the next continuation byte
        unsigned highest = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            continuation_count = 1;
            value = lead & 0x1F;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            continuation_count = 2;
            value = lead & 0x0F;
            if (lead == 0xE0)
                lowest = 0xA0;  // shorter forms are overlong
            else if (lead == 0xED)
                highest = 0x9F;  // above are the surrogates
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            continuation_count = 3;
            value = lead & 0x07;
            if (lead == 0xF0)
                lowest = 0x90;  // shorter forms are overlong
            else if (lead == 0xF4)
                highest = 0x8F;  // above is beyond U+10FFFF
        }

        std::size_t next = index + 1;
        int taken = 0;
        while (taken < continuation_count && next < size && bytes[next] >= lowest &&
               bytes[next] <= highest)
        {
            value = (value << 6) | (bytes[next] & 0x3Fu);
            ++next;
            ++taken;
            lowest = 0x80;
            highest = 0xBF;
        }

        wchar_t character = static_cast<wchar_t>(value);
        if (continuation_count == 0 || taken < continuation_count)
        {
            if (stop_on_invalid)
                return t_conversion_status::invalid_input;
            character = k_replacement_character;
        }
        if (!output.put(character))
            return t_conversion_status::buffer_too_small;
        index = next;
    }
    return t_conversion_status::ok;
}

// Encodes `size` wide characters into `output` (anything with put(const char*, size)
// returning false when full). A value that is not a scalar value becomes U+FFFD,
// or ends the pass with `stop_on_invalid`.
template <typename t_output>
t_conversion_status encode_utf8(const wchar_t* text, std::size_t size, bool stop_on_invalid,
                                t_output& output)
{
    for (std::size_t index = 0; index < size; ++index)
    {
        wchar_t character = text[index];
        if (!is_scalar_value(character))
        {
            if (stop_on_invalid)
                return t_conversion_status::invalid_input;
            character = k_replacement_character;
        }
        const std::uint32_t value = code_point_of(character);
        char units[4];
        std::size_t count = 0;
        if (value < 0x80)
        {
            units[count++] = static_cast<char>(value);
        }
        else if (value < 0x800)
        {
            units[count++] = static_cast<char>(0xC0 | (value >> 6));
            units[count++] = static_cast<char>(0x80 | (value & 0x3F));
        }
        else if (value < 0x10000)
        {
            units[count++] = static_cast<char>(0xE0 | (value >> 12));
            units[count++] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            units[count++] = static_cast<char>(0x80 | (value & 0x3F));
        }
        else
        {
            units[count++] = static_cast<char>(0xF0 | (value >> 18));
            units[count++] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
            units[count++] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            units[count++] = static_cast<char>(0x80 | (value & 0x3F));
        }
        if (!output.put(units, count))
            return t_conversion_status::buffer_too_small;
    }
    return t_conversion_status::ok;
}

// Appends to a string; for texts the layer converts for itself. May throw
// std::bad_alloc.
template <typename t_string>
class t_string_output
{
public:
    explicit t_string_output(t_string& target) noexcept : m_target(target) {}

    bool put(typename t_string::value_type unit)
    {
        m_target.push_back(unit);
        return true;
    }
    bool put(const typename t_string::value_type* units, std::size_t count)
    {
        m_target.append(units, count);
        return true;
    }

private:
    t_string& m_target;
};

// Lenient conversions (invalid input becomes U+FFFD). May throw std::bad_alloc.
inline std::wstring utf8_to_wide(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    t_string_output<std::wstring> output(result);
    decode_utf8(text.data(), text.size(), false, output);
    return result;
}

inline std::string wide_to_utf8(std::wstring_view text)
{
    std::string result;
    result.reserve(text.size());
    t_string_output<std::string> output(result);
    encode_utf8(text.data(), text.size(), false, output);
    return result;
}

}  // namespace voka::platform::io
