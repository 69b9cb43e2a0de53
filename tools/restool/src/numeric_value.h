// Conversion of the numeric parameters (resource identifier, language) to a 16-bit value.
#pragma once

#include <cstdint>
#include <string_view>

namespace tw
{

enum class t_word_conversion
{
    converted,     // the value fits 16 bits
    not_a_number,  // no digits, or characters after them
    out_of_range,  // above 65535, negative or beyond 32 bits
};

// Reads `text` as an unsigned 32-bit number the way the C library's wcstoul does where long is
// 32 bits: leading whitespace, one optional sign, then `0x`/`0X` for hexadecimal, a leading `0`
// for octal, decimal otherwise; a minus sign negates in unsigned arithmetic and a value beyond
// 32 bits becomes 4294967295. The whole text must be consumed. On `converted`, `value` holds
// the number; otherwise it is left alone.
t_word_conversion convert_to_word(std::wstring_view text, std::uint16_t& value) noexcept;

}  // namespace tw
