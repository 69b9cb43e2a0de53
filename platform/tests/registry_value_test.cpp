// Registry values: RegSetValueExW, RegQueryValueExW and RegDeleteValueW with their Windows
// results: every type kept byte for byte, string sizes in units of wchar_t, the default value,
// case-insensitive names that keep their first spelling, ERROR_MORE_DATA with the size needed,
// and the argument checks.
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace registry_test
{
namespace
{

using RegistryValueTest = RegistryTest;

std::vector<std::uint8_t> wide_bytes(std::initializer_list<std::uint32_t> characters)
{
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t character : characters)
    {
        const auto wide = static_cast<wchar_t>(character);
        const auto* begin = reinterpret_cast<const std::uint8_t*>(&wide);
        bytes.insert(bytes.end(), begin, begin + sizeof(wide));
    }
    return bytes;
}

TEST_F(RegistryValueTest, EveryTypeComesBackByteForByte)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Types");
    std::vector<std::uint8_t> large(1 << 20);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>(i * 31 + 7);
    const struct
    {
        const wchar_t* name;
        DWORD type;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {L"sz", REG_SZ, string_bytes(L"text")},
        {L"expand", REG_EXPAND_SZ, string_bytes(L"%PATH%\\bin")},
        {L"multi", REG_MULTI_SZ, wide_bytes({'a', 0, 'b', 'c', 0, 0})},
        {L"beyond the BMP", REG_SZ, wide_bytes({0x1F600, 'x', 0x10FFFF, 0})},
        {L"empty sz", REG_SZ, {}},
        {L"binary", REG_BINARY, {0, 1, 2, 0xFF, 0}},
        {L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"none", REG_NONE, {}},
        {L"big endian", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}},
        {L"any type", 0x12345678, {9, 8, 7}},
        {L"large", REG_BINARY, large},
        // String data that is not a whole number of valid characters is kept as it is.
        {L"partial character", REG_SZ, {'a', 0, 0, 0, 'b', 0}},
        {L"surrogate", REG_SZ, wide_bytes({0xD800, 0xDC00, 0})},
        {L"above unicode", REG_MULTI_SZ, wide_bytes({0x110000, 0, 0})},
        {L"negative", REG_EXPAND_SZ, wide_bytes({0xFFFFFFFFu, 0})},
    };
    for (const auto& test : cases)
        ASSERT_EQ(set_bytes(key.get(), test.name, test.type, test.bytes.data(),
                            static_cast<DWORD>(test.bytes.size())),
                  ERROR_SUCCESS)
            << test.name;
    for (const auto& test : cases)
    {
        const t_value value = query_value(key.get(), test.name);
        EXPECT_EQ(value.error, ERROR_SUCCESS) << test.name;
        EXPECT_EQ(value.type, test.type) << test.name;
        EXPECT_EQ(value.bytes, test.bytes) << test.name;
    }
}

TEST_F(RegistryValueTest, StringSizesCountWideCharactersOfThisPlatform)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Sizes");
    ASSERT_EQ(set_string(key.get(), L"s", L"abc\U0001F600"), ERROR_SUCCESS);
    DWORD size = 0;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 5 * sizeof(wchar_t));
    DWORD longest = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, &longest, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(longest, 5 * sizeof(wchar_t));
}

TEST_F(RegistryValueTest, NullAndEmptyNamesAreTheDefaultValue)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Default");
    EXPECT_EQ(query_value(key.get(), nullptr).error, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(set_string(key.get(), nullptr, L"first"), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), L"").bytes, string_bytes(L"first"));
    ASSERT_EQ(set_string(key.get(), L"", L"second"), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), nullptr).bytes, string_bytes(L"second"));
    EXPECT_EQ(value_names(key.get()), std::vector<std::wstring>{L""});
    EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), L"").error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key.get(), L""), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValueTest, NamesIgnoreCaseAndAReplacedValueKeepsNameAndPlace)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Replace");
    ASSERT_EQ(set_dword(key.get(), L"First", 1), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"\u00C9t\u00E9", 2), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"Last", 3), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key.get(), L"FIRST", L"now a string"), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"\u00E9T\u00C9", 20), ERROR_SUCCESS);
    EXPECT_EQ(value_names(key.get()),
              (std::vector<std::wstring>{L"First", L"\u00C9t\u00E9", L"Last"}));
    const t_value first = query_value(key.get(), L"first");
    EXPECT_EQ(first.type, REG_SZ);
    EXPECT_EQ(first.bytes, string_bytes(L"now a string"));
    const DWORD twenty = 20;
    EXPECT_EQ(query_value(key.get(), L"\u00C9T\u00C9").bytes, bytes_of(&twenty, sizeof(twenty)));
}

TEST_F(RegistryValueTest, TooSmallABufferGivesMoreDataWithTheSizeNeeded)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\MoreData");
    const std::vector<std::uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(set_bytes(key.get(), L"bin", REG_BINARY, data.data(), 10), ERROR_SUCCESS);
    const struct
    {
        DWORD buffer_size;
        LSTATUS result;
    } cases[] = {
        {0, ERROR_MORE_DATA}, {9, ERROR_MORE_DATA}, {10, ERROR_SUCCESS}, {11, ERROR_SUCCESS}};
    for (const auto& test : cases)
    {
        std::vector<std::uint8_t> buffer(16, 0xBD);
        DWORD size = test.buffer_size;
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExW(key.get(), L"bin", nullptr, &type, buffer.data(), &size),
                  test.result)
            << test.buffer_size;
        EXPECT_EQ(size, 10u);
        EXPECT_EQ(type, REG_BINARY);
        if (test.result == ERROR_SUCCESS)
            EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 10), data);
        else
            EXPECT_EQ(buffer, std::vector<std::uint8_t>(16, 0xBD)) << "the buffer is unchanged";
        // Nothing is written past the data: no terminating 0 is added.
        EXPECT_EQ(buffer[10], 0xBD);
    }
}

TEST_F(RegistryValueTest, AMissingValueReportsNoDataOnlyWithoutABuffer)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Missing");
    DWORD size = 77;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"none", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u);
    BYTE buffer[8];
    size = sizeof(buffer);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"none", nullptr, nullptr, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, sizeof(buffer));
    EXPECT_EQ(RegQueryValueExW(key.get(), L"none", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key.get(), L"none"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValueTest, ArgumentsAreCheckedAsWindowsChecksThem)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Arguments");
    ASSERT_EQ(set_dword(key.get(), L"v", 5), ERROR_SUCCESS);
    DWORD reserved = 0;
    DWORD size = 4;
    BYTE buffer[4];
    EXPECT_EQ(RegQueryValueExW(key.get(), L"v", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"v", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    // Missing data: Windows faults on reading it and says so; no data at all is fine.
    EXPECT_EQ(RegSetValueExW(key.get(), L"w", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExW(key.get(), L"w", 0, REG_DWORD, nullptr, 0), ERROR_SUCCESS);
    const t_value empty = query_value(key.get(), L"w");
    EXPECT_EQ(empty.type, REG_DWORD);
    EXPECT_TRUE(empty.bytes.empty());
}

TEST_F(RegistryValueTest, ValueNamesAreLimitedTo16383Units)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\LongNames");
    const std::wstring longest(16383, L'n');
    const std::wstring too_long(16384, L'n');
    EXPECT_EQ(set_dword(key.get(), longest.c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), longest.c_str()).error, ERROR_SUCCESS);
    EXPECT_EQ(set_dword(key.get(), too_long.c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(query_value(key.get(), too_long.c_str()).error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key.get(), too_long.c_str()), ERROR_FILE_NOT_FOUND);
    // Backslashes are ordinary characters in value names.
    EXPECT_EQ(set_dword(key.get(), L"a\\b", 2), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), L"A\\B").error, ERROR_SUCCESS);
    const std::wstring not_text(1, static_cast<wchar_t>(0xDFFF));
    EXPECT_EQ(set_dword(key.get(), not_text.c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(query_value(key.get(), not_text.c_str()).error, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValueTest, NamesThatCannotBeStoredAreSafeBesideOtherThreads)
{
    // A name with a lone surrogate cannot be stored, so it is never found; the look-up of its key
    // shares the database with the other thread's calls.
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Threads");
    ASSERT_EQ(set_dword(key.get(), L"present", 1), ERROR_SUCCESS);
    const wchar_t unstorable[] = {static_cast<wchar_t>(0xD800), L'\0'};
    constexpr int k_rounds = 3000;
    int unexpected = 0;
    std::thread other(
        [&key, &unexpected]
        {
            for (int round = 0; round < k_rounds; ++round)
            {
                DWORD value = 0;
                DWORD size = sizeof value;
                if (RegQueryValueExW(key.get(), L"present", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                    RegQueryValueExW(key.get(), L"missing", nullptr, nullptr, nullptr, nullptr) !=
                        ERROR_FILE_NOT_FOUND)
                    ++unexpected;
            }
        });
    for (int round = 0; round < k_rounds; ++round)
    {
        EXPECT_EQ(RegQueryValueExW(key.get(), unstorable, nullptr, nullptr, nullptr, nullptr),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegDeleteValueW(key.get(), unstorable), ERROR_FILE_NOT_FOUND);
    }
    other.join();
    EXPECT_EQ(unexpected, 0);
}

TEST_F(RegistryValueTest, ValuesSurviveTheirHandleAndGoWithTheirKey)
{
    {
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Kept");
        ASSERT_EQ(set_string(key.get(), L"name", L"value"), ERROR_SUCCESS);
    }
    t_unique_hkey key;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Kept", key, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(query_value(key.get(), L"name").bytes, string_bytes(L"value"));
    key.reset();
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Kept"), ERROR_SUCCESS);
    const t_unique_hkey recreated = create_key(HKEY_CURRENT_USER, L"Software\\Kept");
    EXPECT_EQ(query_value(recreated.get(), L"name").error, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(value_names(recreated.get()).empty());
}

}  // namespace
}  // namespace registry_test
