// The text of a Win32 error code: the system's text, trimmed, then the hexadecimal line.
#include "runtime/oxa_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using voka::infrastructure::multitasking::oxa::oxa_win32_error_text;

bool is_blank(wchar_t c)
{
    return c == L'\0' || c == L'\t' || c == L'\n' || c == L'\r' || c == L' ';
}

TEST(OxaWin32ErrorTextTest, AKnownCodeGivesTheTrimmedSystemTextAndTheHexadecimalLine)
{
    const std::wstring text = oxa_win32_error_text(ERROR_ACCESS_DENIED);
    const std::wstring line = L"\nWIN32 Error: 0x5";
    ASSERT_GT(text.size(), line.size());
    EXPECT_EQ(text.substr(text.size() - line.size()), line);
    const std::wstring system_text = text.substr(0, text.size() - line.size());
    EXPECT_FALSE(is_blank(system_text.front()));
    EXPECT_FALSE(is_blank(system_text.back()));
    EXPECT_EQ(system_text.find(L'\n'), std::wstring::npos);
}

TEST(OxaWin32ErrorTextTest, ACodeUnknownToTheSystemGivesTheHexadecimalLineAlone)
{
    EXPECT_EQ(oxa_win32_error_text(0xDEADBEEF), L"WIN32 Error: 0xDEADBEEF");
    EXPECT_EQ(oxa_win32_error_text(0x2A0000), L"WIN32 Error: 0x2A0000");
}

}  // namespace
