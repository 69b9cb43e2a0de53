// GUID strings: CLSIDFromString parses the registry form and rejects everything else;
// StringFromGUID2 writes it, upper-case, and needs room for 39 characters.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

constexpr GUID k_guid{0xA7602B24, 0x06D8, 0x4111, {0xB5, 0xA1, 0xDA, 0xC3, 0x03, 0xA5, 0xCD, 0xB1}};
constexpr const wchar_t* k_guid_text = L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}";

std::wstring to_string(const GUID& guid)
{
    wchar_t buffer[39];
    EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
    return buffer;
}

TEST(GuidStringTest, WritesTheUpperCaseRegistryForm)
{
    EXPECT_EQ(to_string(k_guid), k_guid_text);
    EXPECT_EQ(to_string(GUID_NULL), L"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(to_string(IID_IUnknown), L"{00000000-0000-0000-C000-000000000046}");
    const GUID all_ones{
        0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    EXPECT_EQ(to_string(all_ones), L"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
    const GUID ordered{
        0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(to_string(ordered), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(GuidStringTest, BufferSizesBelow39GiveZeroAndLeaveTheBufferAlone)
{
    for (const int size : {-1, 0, 1, 38})
    {
        SCOPED_TRACE(size);
        wchar_t buffer[64];
        std::wmemset(buffer, L'#', 64);
        EXPECT_EQ(StringFromGUID2(k_guid, buffer, size), 0);
        for (const wchar_t character : buffer)
            EXPECT_EQ(character, L'#');
    }
    EXPECT_EQ(StringFromGUID2(k_guid, nullptr, 39), 0);
}

TEST(GuidStringTest, BufferOf39OrMoreGets39CharactersWithTheNul)
{
    for (const int size : {39, 40, 64})
    {
        SCOPED_TRACE(size);
        wchar_t buffer[64];
        std::wmemset(buffer, L'#', 64);
        EXPECT_EQ(StringFromGUID2(k_guid, buffer, size), 39);
        EXPECT_EQ(std::wstring(buffer), k_guid_text);
        EXPECT_EQ(buffer[38], L'\0');
        EXPECT_EQ(buffer[39], L'#');  // nothing written beyond the NUL
    }
}

TEST(GuidStringTest, ParsesEitherCase)
{
    for (const wchar_t* text :
         {L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}", L"{a7602b24-06d8-4111-b5a1-dac303a5cdb1}",
          L"{a7602B24-06d8-4111-B5a1-dAC303a5CDb1}"})
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        CLSID parsed{};
        EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
        EXPECT_EQ(parsed, k_guid);
    }
}

TEST(GuidStringTest, RoundTripsThroughBothFunctions)
{
    const GUID guids[] = {
        GUID_NULL,
        IID_IUnknown,
        IID_IErrorInfo,
        k_guid,
        {0x80000000, 0x8000, 0x0001, {0x80, 0x01, 0x00, 0x10, 0x0F, 0xF0, 0x7F, 0xF7}},
    };
    for (const GUID& guid : guids)
    {
        const std::wstring text = to_string(guid);
        SCOPED_TRACE(::testing::PrintToString(text));
        CLSID parsed{1, 1, 1, {1}};
        ASSERT_EQ(CLSIDFromString(text.c_str(), &parsed), S_OK);
        EXPECT_EQ(parsed, guid);
    }
}

TEST(GuidStringTest, NullTextGivesClsidNull)
{
    CLSID parsed = k_guid;
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
    EXPECT_EQ(parsed, CLSID_NULL);
}

TEST(GuidStringTest, NullResultIsInvalidArg)
{
    EXPECT_EQ(CLSIDFromString(k_guid_text, nullptr), E_INVALIDARG);
}

TEST(GuidStringTest, RejectsMalformedStrings)
{
    const wchar_t* const malformed[] = {
        L"",
        L"{",
        L"{}",
        L"A7602B24-06D8-4111-B5A1-DAC303A5CDB1",              // no braces
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1",             // no closing brace
        L"A7602B24-06D8-4111-B5A1-DAC303A5CDB1}",             // no opening brace
        L"(A7602B24-06D8-4111-B5A1-DAC303A5CDB1)",            // other brackets
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB}",             // one digit short
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1F}",           // one digit more
        L"{A7602B2-406D8-4111-B5A1-DAC303A5CDB1}",            // a dash moved
        L"{A7602B24-06D84111-B5A1-DAC303A5CDB1-}",            // a dash moved to the end
        L"{A7602B24+06D8-4111-B5A1-DAC303A5CDB1}",            // not a dash
        L"{A7602B24-06D8-4111-B5A1DAC303A5CDB1}",             // a dash missing
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDG1}",            // G is not a hex digit
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CD 1}",            // a blank
        L"{ A7602B24-06D8-4111-B5A1-DAC303A5CDB1}",           // a leading blank inside
        L" {A7602B24-06D8-4111-B5A1-DAC303A5CDB1}",           // a leading blank outside
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1} ",           // a trailing blank
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}}",           // a trailing brace
        L"{0xA7602B-06D8-4111-B5A1-DAC303A5CDB1}",            // a hex prefix
        L"{A7602B24-06D8-4111-B5A1-DAC303A5CD\uFF21\u0031}",  // a full-width A
        L"Voka.Unregistered.1",                               // a program id nobody registered
    };
    for (const wchar_t* text : malformed)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
        CLSID parsed{};
        EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING);
    }
}

TEST(GuidStringTest, StopsAtAnEmbeddedNul)
{
    std::wstring text(k_guid_text);
    text[20] = L'\0';
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(text.c_str(), &parsed), CO_E_CLASSSTRING);
}

}  // namespace
