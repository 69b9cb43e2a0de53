// BSTR strings: SysAllocString, SysAllocStringLen, SysFreeString, SysStringLen and
// SysStringByteLen.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace
{

TEST(BstrTest, CopiesTheTextWithItsLength)
{
    for (const wchar_t* text : {L"", L"a", L"Hello, world", L"\u0416\u0436 \U0001F600"})
    {
        SCOPED_TRACE(std::wcslen(text));
        BSTR copy = SysAllocString(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_EQ(std::wstring(copy), text);
        EXPECT_EQ(SysStringLen(copy), std::wcslen(text));
        EXPECT_EQ(SysStringByteLen(copy), std::wcslen(text) * sizeof(OLECHAR));
        SysFreeString(copy);
    }
}

TEST(BstrTest, NullTextGivesNullAndNullHasLengthZero)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(BstrTest, AllocStringLenKeepsEmbeddedNulsAndTerminates)
{
    const wchar_t text[] = {L'a', L'\0', L'b', L'c'};
    BSTR copy = SysAllocStringLen(text, 4);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(SysStringLen(copy), 4u);
    EXPECT_EQ(std::wstring(copy, 4), std::wstring(text, 4));
    EXPECT_EQ(copy[4], L'\0');
    SysFreeString(copy);

    BSTR prefix = SysAllocStringLen(L"abcdef", 3);
    ASSERT_NE(prefix, nullptr);
    EXPECT_EQ(std::wstring(prefix), L"abc");
    SysFreeString(prefix);
}

TEST(BstrTest, AllocStringLenOfNullIsZeroed)
{
    BSTR blank = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 5u);
    for (int index = 0; index <= 5; ++index)
        EXPECT_EQ(blank[index], L'\0');
    SysFreeString(blank);
}

}  // namespace
