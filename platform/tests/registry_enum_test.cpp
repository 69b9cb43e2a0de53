// Listing the registry: RegEnumKeyExW in case-insensitive name order, RegEnumValueW in creation
// order, what each reports when a buffer is too small, and RegQueryInfoKeyW's counts, lengths and
// class, with the longest lengths kept as Windows keeps them.
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace registry_test
{
namespace
{

using RegistryEnumTest = RegistryTest;

TEST_F(RegistryEnumTest, SubKeysComeInCaseInsensitiveNameOrder)
{
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\Order");
    for (const wchar_t* name : {L"b", L"_x", L"A", L"c", L"B2", L"\u00E4", L"Z"})
        create_key(parent.get(), name);
    // Upper-cased: A B B2 C Z _X Ä (0x41 < ... < 0x5A < 0x5F < 0xC4). A case-sensitive order
    // would put "_x", "b" and "c" after "Z" and before the lower-case letters.
    EXPECT_EQ(sub_key_names(parent.get()),
              (std::vector<std::wstring>{L"A", L"b", L"B2", L"c", L"Z", L"_x", L"\u00E4"}));
}

TEST_F(RegistryEnumTest, ValuesComeInCreationOrder)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Creation");
    for (const wchar_t* name : {L"zeta", L"Alpha", L"mid", L"beta"})
        ASSERT_EQ(set_dword(key.get(), name, 1), ERROR_SUCCESS);
    EXPECT_EQ(value_names(key.get()),
              (std::vector<std::wstring>{L"zeta", L"Alpha", L"mid", L"beta"}));
    ASSERT_EQ(RegDeleteValueW(key.get(), L"ALPHA"), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"new", 1), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"alpha", 1), ERROR_SUCCESS);
    EXPECT_EQ(value_names(key.get()),
              (std::vector<std::wstring>{L"zeta", L"mid", L"beta", L"new", L"alpha"}));
}

TEST_F(RegistryEnumTest, ListingsFollowChangesMadeBetweenIndexes)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Changing");
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(set_dword(key.get(), (L"v" + std::to_wstring(i)).c_str(), i), ERROR_SUCCESS);
    // Walk the values while replacing each one, and delete from the front as Windows callers do.
    std::vector<std::wstring> names = value_names(key.get());
    ASSERT_EQ(names.size(), 3000u);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(names[i], L"v" + std::to_wstring(i));
    for (DWORD index = 0; index < 3000; index += 7)
    {
        wchar_t name[32];
        DWORD size = 32;
        ASSERT_EQ(RegEnumValueW(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(set_dword(key.get(), name, 0), ERROR_SUCCESS);
        EXPECT_EQ(std::wstring(name, size), L"v" + std::to_wstring(index));
    }
    for (int i = 0; i < 10; ++i)
    {
        wchar_t name[32];
        DWORD size = 32;
        ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::wstring(name, size), L"v" + std::to_wstring(i));
        ASSERT_EQ(RegDeleteValueW(key.get(), name), ERROR_SUCCESS);
    }

    // The same for sub keys, with another handle writing between the indexes.
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\ChangingKeys");
    for (int i = 0; i < 300; ++i)
        create_key(parent.get(), L"k" + std::to_wstring(1000 + i));
    for (DWORD index = 0; index <= 300; ++index)
    {
        wchar_t name[32];
        DWORD size = 32;
        ASSERT_EQ(
            RegEnumKeyExW(parent.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
        // "k0000", created at index 150, sorts first: everything after it moves up by one.
        const DWORD number = index <= 150 ? 1000 + index : 999 + index;
        EXPECT_EQ(std::wstring(name, size), L"k" + std::to_wstring(number));
        const t_unique_hkey child = create_key(parent.get(), name);
        ASSERT_EQ(set_dword(child.get(), L"seen", index), ERROR_SUCCESS);
        if (index == 150)
            create_key(parent.get(), L"k0000");
    }
    wchar_t name[32];
    DWORD size = 32;
    ASSERT_EQ(RegEnumKeyExW(parent.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, size), L"k0000");
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 301, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryEnumTest, SubKeyNamesThatDoNotFitLeaveEverythingUnchanged)
{
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\Fit");
    create_key(parent.get(), L"abcd");
    const struct
    {
        DWORD size;
        LSTATUS result;
    } cases[] = {
        {0, ERROR_MORE_DATA}, {4, ERROR_MORE_DATA}, {5, ERROR_SUCCESS}, {6, ERROR_SUCCESS}};
    for (const auto& test : cases)
    {
        wchar_t name[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'\0'};
        DWORD size = test.size;
        EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
                  test.result)
            << test.size;
        if (test.result == ERROR_SUCCESS)
        {
            EXPECT_EQ(size, 4u);
            EXPECT_EQ(std::wstring(name), L"abcd");
        }
        else
        {
            EXPECT_EQ(size, test.size);
            EXPECT_EQ(std::wstring(name), L"xxxxxxx");
        }
    }
    wchar_t name[8];
    DWORD size = 8;
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    DWORD reserved = 0;
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, &size, &reserved, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, &size, nullptr, name, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryEnumTest, ValuesThatDoNotFitReportTypeAndSizeAsWindowsDoes)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\ValueFit");
    ASSERT_EQ(set_string(key.get(), L"Test", L"foobar"), ERROR_SUCCESS);
    const DWORD data_size = 7 * sizeof(wchar_t);
    const struct
    {
        const char* label;
        DWORD name_size;
        DWORD buffer_size;
        LSTATUS result;
        bool name_written;
        bool data_written;
    } cases[] = {
        {"both too small", 2, 2, ERROR_MORE_DATA, false, false},
        {"name too small", 4, 64, ERROR_MORE_DATA, false, false},
        {"empty name buffer", 0, 64, ERROR_MORE_DATA, false, false},
        {"data too small", 20, data_size - 1, ERROR_MORE_DATA, true, false},
        {"exact fit", 5, data_size, ERROR_SUCCESS, true, true},
    };
    for (const auto& test : cases)
    {
        wchar_t name[20];
        std::wmemset(name, L'x', 20);
        std::vector<BYTE> data(64, 0xBD);
        DWORD name_size = test.name_size;
        DWORD size = test.buffer_size;
        DWORD type = 1234;
        EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &name_size, nullptr, &type, data.data(), &size),
                  test.result)
            << test.label;
        EXPECT_EQ(type, REG_SZ) << test.label;
        EXPECT_EQ(size, data_size) << test.label;
        EXPECT_EQ(name_size, test.name_written ? 4u : test.name_size) << test.label;
        EXPECT_EQ(name[0], test.name_written ? L'T' : L'x') << test.label;
        EXPECT_EQ(std::vector<BYTE>(data.begin(), data.begin() + data_size) ==
                      string_bytes(L"foobar"),
                  test.data_written)
            << test.label;
    }
    // Without a data buffer the size alone is reported.
    wchar_t name[20];
    DWORD name_size = 20;
    DWORD size = 0;
    EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &name_size, nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, data_size);
    EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &name_size, nullptr, nullptr, nullptr, &size),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumValueW(key.get(), 0, nullptr, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key.get(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    BYTE data[4];
    EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &name_size, nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryEnumTest, InfoCountsAndLongestLengthsAsWindowsKeepsThem)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Info");
    const auto info = [&key]
    {
        std::vector<DWORD> facts(6, 0xDEAD);
        EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &facts[0], &facts[1],
                                   &facts[2], &facts[3], &facts[4], &facts[5], nullptr, nullptr),
                  ERROR_SUCCESS);
        return facts;  // sub keys, longest sub key, longest class, values, longest name, largest
    };
    using v = std::vector<DWORD>;
    EXPECT_EQ(info(), (v{0, 0, 0, 0, 0, 0}));
    std::wstring key_class = L"class";
    t_unique_hkey sub;
    ASSERT_EQ(RegCreateKeyExW(key.get(), L"\U0001F600longer", 0, key_class.data(), 0,
                              KEY_ALL_ACCESS, nullptr, sub.put(), nullptr),
              ERROR_SUCCESS);
    create_key(key.get(), L"short");
    ASSERT_EQ(set_string(key.get(), L"a longer name", L"x"), ERROR_SUCCESS);
    const std::vector<BYTE> data(100, 1);
    ASSERT_EQ(set_bytes(key.get(), L"n", REG_BINARY, data.data(), 100), ERROR_SUCCESS);
    // Lengths count wide characters: the emoji is one.
    EXPECT_EQ(info(), (v{2, 7, 5, 2, 13, 100}));
    // Shrinking or removing the longest does not shrink the longest lengths...
    ASSERT_EQ(set_bytes(key.get(), L"n", REG_BINARY, data.data(), 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key.get(), L"a longer name"), ERROR_SUCCESS);
    sub.reset();
    ASSERT_EQ(RegDeleteKeyW(key.get(), L"\U0001F600LONGER"), ERROR_SUCCESS);
    EXPECT_EQ(info(), (v{1, 7, 5, 1, 13, 100}));
    // ... until the last one goes.
    ASSERT_EQ(RegDeleteValueW(key.get(), L"n"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(key.get(), L"short"), ERROR_SUCCESS);
    EXPECT_EQ(info(), (v{0, 0, 0, 0, 0, 0}));
}

TEST_F(RegistryEnumTest, InfoClassBufferRules)
{
    std::wstring key_class = L"subkey class";
    t_unique_hkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\ClassBuffer", 0, key_class.data(), 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const struct
    {
        DWORD size;
        LSTATUS result;
        DWORD size_after;
        bool written;
    } cases[] = {
        {0, ERROR_SUCCESS, 0, false},  // as Windows: a buffer of size 0 gets nothing, length 0
        {1, ERROR_MORE_DATA, 12, false}, {12, ERROR_MORE_DATA, 12, false},
        {13, ERROR_SUCCESS, 12, true},   {0xDEADBEEF, ERROR_SUCCESS, 12, true},
    };
    for (const auto& test : cases)
    {
        wchar_t buffer[32];
        std::wmemset(buffer, L'x', 32);
        DWORD size = test.size;
        EXPECT_EQ(RegQueryInfoKeyW(key.get(), buffer, &size, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr),
                  test.result)
            << test.size;
        EXPECT_EQ(size, test.size_after) << test.size;
        EXPECT_EQ(test.written ? std::wstring(buffer) : std::wstring(buffer, 1),
                  test.written ? key_class : std::wstring(L"x"))
            << test.size;
    }
    DWORD size = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, &size, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    wchar_t buffer[4];
    EXPECT_EQ(RegQueryInfoKeyW(key.get(), buffer, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, &reserved, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryEnumTest, LastWriteTimesFollowChanges)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Times");
    const auto last_write = [&key]
    {
        FILETIME time{};
        EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, &time),
                  ERROR_SUCCESS);
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    // 2020-01-01 in FILETIME units: the times are of this century, not zero or garbage.
    constexpr std::uint64_t k_2020 = 132223104000000000ull;
    const std::uint64_t created = last_write();
    EXPECT_GT(created, k_2020);
    ASSERT_EQ(set_dword(key.get(), L"v", 1), ERROR_SUCCESS);
    const std::uint64_t written = last_write();
    EXPECT_GE(written, created);
    create_key(key.get(), L"child");
    EXPECT_GE(last_write(), written);
    t_unique_hkey software;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software", software), ERROR_SUCCESS);
    wchar_t name[16];
    DWORD size = 16;
    FILETIME time{};
    ASSERT_EQ(RegEnumKeyExW(software.get(), 0, name, &size, nullptr, nullptr, nullptr, &time),
              ERROR_SUCCESS);
    EXPECT_EQ((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime,
              last_write());
}

}  // namespace
}  // namespace registry_test
