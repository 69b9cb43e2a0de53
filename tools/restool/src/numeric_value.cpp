// Conversion of the numeric parameters to a 16-bit value.
#include "numeric_value.h"

#include <cstddef>

namespace tw
{
namespace
{

// The whitespace the C library skips before a number: blank, TAB, LF, VT, FF, CR.
bool is_c_space(wchar_t character)
{
    return character == L' ' || (character >= L'\t' && character <= L'\r');
}

// The digit's value, or 36 for a character that is no digit in any base.
unsigned digit_value(wchar_t character)
{
    if (character >= L'0' && character <= L'9')
        return static_cast<unsigned>(character - L'0');
    if (character >= L'a' && character <= L'z')
        return static_cast<unsigned>(character - L'a') + 10;
    if (character >= L'A' && character <= L'Z')
        return static_cast<unsigned>(character - L'A') + 10;
    return 36;
}

}  // namespace

t_word_conversion convert_to_word(std::wstring_view text, std::uint16_t& value) noexcept
{
    std::size_t p = 0;
    while (p < text.size() && is_c_space(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == L'+' || text[p] == L'-'))
    {
        negative = text[p] == L'-';
        ++p;
    }
    unsigned base = 10;
    if (p < text.size() && text[p] == L'0')
    {
        base = 8;
        // `0x` counts as a prefix only before a hexadecimal digit; otherwise the 0 is the
        // number and the `x` is left over.
        if (p + 2 < text.size() && (text[p + 1] == L'x' || text[p + 1] == L'X') &&
            digit_value(text[p + 2]) < 16)
        {
            base = 16;
            p += 2;
        }
    }

    const std::size_t digits_start = p;
    std::uint32_t number = 0;
    bool overflow = false;
    for (; p < text.size(); ++p)
    {
        const unsigned digit = digit_value(text[p]);
        if (digit >= base)
            break;
        if (number > (0xFFFFFFFFu - digit) / base)
            overflow = true;
        else
            number = number * base + digit;
    }
    if (p == digits_start || p != text.size())
        return t_word_conversion::not_a_number;
    if (overflow)
        number = 0xFFFFFFFFu;
    else if (negative)
        number = 0u - number;
    if (number > 0xFFFFu)
        return t_word_conversion::out_of_range;
    value = static_cast<std::uint16_t>(number);
    return t_word_conversion::converted;
}

}  // namespace tw
