// Conversion of numeric parameter values to 16 bits, as wcstoul with a 32-bit long reads them.
#include "numeric_value.h"

#include <gtest/gtest.h>

namespace
{

using tw::t_word_conversion;

struct t_conversion_case
{
    const wchar_t* text;
    t_word_conversion result;
    std::uint16_t value;  // when converted
};

class ConvertToWordTest : public ::testing::TestWithParam<t_conversion_case>
{
};

TEST_P(ConvertToWordTest, ReadsTheWholeText)
{
    const t_conversion_case& c = GetParam();
    std::uint16_t value = 0x5A5A;
    EXPECT_EQ(tw::convert_to_word(c.text, value), c.result)
        << "text: " << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(value, c.result == t_word_conversion::converted ? c.value : 0x5A5A);
}

constexpr auto ok = t_word_conversion::converted;
constexpr auto bad = t_word_conversion::not_a_number;
constexpr auto range = t_word_conversion::out_of_range;

INSTANTIATE_TEST_SUITE_P(
    Values, ConvertToWordTest,
    ::testing::Values(
        t_conversion_case{L"0", ok, 0}, t_conversion_case{L"1", ok, 1},
        t_conversion_case{L"65535", ok, 65535}, t_conversion_case{L"65536", range, 0},
        t_conversion_case{L"0x0", ok, 0}, t_conversion_case{L"0xffff", ok, 65535},
        t_conversion_case{L"0XaBc", ok, 0xABC}, t_conversion_case{L"0x10000", range, 0},
        t_conversion_case{L"017", ok, 15}, t_conversion_case{L"0177777", ok, 65535},
        t_conversion_case{L"0200000", range, 0}, t_conversion_case{L"000", ok, 0},
        t_conversion_case{L" \t\n\v\f\r42", ok, 42}, t_conversion_case{L"+42", ok, 42},
        t_conversion_case{L"-0", ok, 0}, t_conversion_case{L"-1", range, 0},
        // The negation of 4294901761 wraps into 16 bits' range: 65535.
        t_conversion_case{L"-4294901761", ok, 65535}, t_conversion_case{L"4294967295", range, 0},
        t_conversion_case{L"4294967296", range, 0}, t_conversion_case{L"-4294967296", range, 0},
        t_conversion_case{L"0xFFFFFFFFF", range, 0}, t_conversion_case{L"", bad, 0},
        t_conversion_case{L" ", bad, 0}, t_conversion_case{L"+", bad, 0},
        t_conversion_case{L"-", bad, 0}, t_conversion_case{L"+-1", bad, 0},
        t_conversion_case{L"x", bad, 0}, t_conversion_case{L"12a", bad, 0},
        t_conversion_case{L"1 ", bad, 0}, t_conversion_case{L"08", bad, 0},
        t_conversion_case{L"0x", bad, 0}, t_conversion_case{L"0xg", bad, 0},
        t_conversion_case{L"0x 1", bad, 0}, t_conversion_case{L"1e3", bad, 0},
        t_conversion_case{L"\x0661", bad, 0}, t_conversion_case{L"99999999999x", bad, 0}));

}  // namespace
