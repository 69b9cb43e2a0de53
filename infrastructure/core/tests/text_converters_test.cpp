// Conversion between ANSI/code-page text and wide text: lengths, embedded NULs,
// invalid input and misuse.
#include "voka/infrastructure/core/text_converters.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{

using structure::t_ansi_to_unicode;
using structure::t_unicode_to_ansi;

constexpr unsigned k_utf8 = 65001;
constexpr unsigned k_cp1251 = 1251;

TEST(AnsiToUnicodeTest, EmptyInputsGiveEmptyResults)
{
    std::wstring result = L"stale";
    bool failed = true;
    t_ansi_to_unicode::convert(result, "", -1, 0, &failed);
    EXPECT_TRUE(result.empty());
    EXPECT_FALSE(failed);

    result = L"stale";
    t_ansi_to_unicode::convert(result, "ignored", 0);
    EXPECT_TRUE(result.empty());

    result = L"stale";
    t_ansi_to_unicode::convert(result, nullptr, -1);
    EXPECT_TRUE(result.empty());
}

TEST(AnsiToUnicodeTest, ZeroTerminatedAndExplicitLengths)
{
    std::wstring result;
    t_ansi_to_unicode::convert(result, "plain", -1);
    EXPECT_EQ(result, L"plain");

    t_ansi_to_unicode::convert(result, "ab\0cd", 5);
    EXPECT_EQ(result, std::wstring(L"ab\0cd", 5));

    t_ansi_to_unicode::convert(result, "abcdef", 3);
    EXPECT_EQ(result, L"abc");
}

TEST(AnsiToUnicodeTest, CodePagesOtherThanAnsi)
{
    std::wstring result;
    t_ansi_to_unicode::convert(result, "\xd0\x9f\xd1\x80\xd0\xb8", -1, k_utf8);
    EXPECT_EQ(result, L"\u041f\u0440\u0438");

    t_ansi_to_unicode::convert(result, "\xcf\xf0\xe8", -1, k_cp1251);
    EXPECT_EQ(result, L"\u041f\u0440\u0438");
}

TEST(AnsiToUnicodeTest, InvalidUtf8IsSubstitutedNotFailed)
{
    std::wstring result;
    bool failed = true;
    t_ansi_to_unicode::convert(result,
                               "a\xff"
                               "b",
                               -1, k_utf8, &failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(result, L"a\uFFFDb");
}

TEST(AnsiToUnicodeTest, NegativeLengthOtherThanMinusOneThrows)
{
    std::wstring result;
    try
    {
        t_ansi_to_unicode::convert(result, "x", -2);
        FAIL() << "no exception";
    }
    catch (const std::length_error& error)
    {
        EXPECT_STREQ(error.what(), "Length error in t_ansi_to_unicode::convert");
    }
}

TEST(UnicodeToAnsiTest, ConvertsToTheAnsiCodePage)
{
    std::string result = "stale";
    t_unicode_to_ansi::convert(result, L"", -1);
    EXPECT_TRUE(result.empty());

    t_unicode_to_ansi::convert(result, L"x\u00e9", -1);
    EXPECT_EQ(result, "x\xc3\xa9");  // the ANSI code page is UTF-8 here

    t_unicode_to_ansi::convert(result, L"a\0b", 3);
    EXPECT_EQ(result, std::string("a\0b", 3));

    t_unicode_to_ansi::convert(result, nullptr, -1);
    EXPECT_TRUE(result.empty());
}

TEST(UnicodeToAnsiTest, NegativeLengthOtherThanMinusOneThrows)
{
    std::string result;
    try
    {
        t_unicode_to_ansi::convert(result, L"x", -5);
        FAIL() << "no exception";
    }
    catch (const std::length_error& error)
    {
        EXPECT_STREQ(error.what(), "Length error in t_unicode_to_ansi::convert");
    }
}

}  // namespace
