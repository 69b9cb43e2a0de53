// Registry keys: RegCreateKeyExW, RegOpenKeyExW, RegCloseKey and RegDeleteKeyW with their Windows
// results: dispositions, case-insensitive and case-preserving names, paths, the predefined keys
// and HKEY_CLASSES_ROOT, name limits, access rights, and handles to deleted keys.
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace registry_test
{
namespace
{

using RegistryKeyTest = RegistryTest;

TEST_F(RegistryKeyTest, CreateReportsNewThenExistingAndMakesTheWholePath)
{
    t_unique_hkey key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Voka\\Deep\\Path", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Voka\\Deep\\Path", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    t_unique_hkey middle;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Voka\\Deep", middle), ERROR_SUCCESS);
    EXPECT_EQ(sub_key_names(middle.get()), std::vector<std::wstring>{L"Path"});
}

TEST_F(RegistryKeyTest, OpeningAMissingKeyFailsAndClearsTheResult)
{
    HKEY key = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    // Opening did not create it.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, NamesIgnoreCaseAndKeepTheFirstSpelling)
{
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\Case");
    create_key(parent.get(), L"MixedCase\u00C4rger");
    t_unique_hkey again;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(parent.get(), L"MIXEDcase\u00E4RGER", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, again.put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    t_unique_hkey opened;
    EXPECT_EQ(open_key(parent.get(), L"mixedcase\u00E4rger", opened), ERROR_SUCCESS);
    EXPECT_EQ(sub_key_names(parent.get()), std::vector<std::wstring>{L"MixedCase\u00C4rger"});
    // Folding is one unit for one unit: sharp s is not "SS", and characters beyond the BMP
    // compare exactly.
    create_key(parent.get(), L"stra\u00DFe");
    create_key(parent.get(), L"\U0001F600");
    EXPECT_EQ(open_key(parent.get(), L"STRASSE", opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_key(parent.get(), L"STRA\u00DFE", opened), ERROR_SUCCESS);
    EXPECT_EQ(open_key(parent.get(), L"\U0001F600", opened), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, PathsSkipRepeatedAndTrailingBackslashesButNotALeadingOne)
{
    create_key(HKEY_CURRENT_USER, L"Software\\A\\B");
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\\\A\\B\\\\", key), ERROR_SUCCESS);
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"\\Software\\A", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"\\Software\\C", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_BAD_PATHNAME);
    // Below HKEY_CLASSES_ROOT Windows skips one leading backslash.
    create_key(HKEY_CLASSES_ROOT, L"CLSID");
    EXPECT_EQ(open_key(HKEY_CLASSES_ROOT, L"\\clsid", key), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, EmptySubKeyGivesThePredefinedKeyItselfOrANewHandle)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);

    t_unique_hkey original = create_key(HKEY_CURRENT_USER, L"Software\\Twice");
    t_unique_hkey second;
    ASSERT_EQ(open_key(original.get(), L"", second), ERROR_SUCCESS);
    EXPECT_NE(second.get(), original.get());
    original.reset();
    EXPECT_EQ(set_dword(second.get(), L"still", 1), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, CloseAcceptsPredefinedKeysAndRejectsEverythingElse)
{
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY key = create_key(HKEY_CURRENT_USER, L"Software\\Closed").release();
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(set_dword(key, L"x", 1), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeyTest, UnknownHandlesAreInvalid)
{
    const HKEY performance_data =
        reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(static_cast<std::int32_t>(0x80000004)));
    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0xdead0));
    for (const HKEY key : {HKEY{nullptr}, performance_data, bogus})
    {
        t_unique_hkey result;
        EXPECT_EQ(open_key(key, L"Software", result), ERROR_INVALID_HANDLE);
        EXPECT_EQ(result.get(), nullptr);
        EXPECT_EQ(RegDeleteKeyW(key, L"Software"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
    }
    // As on 64-bit Windows, only the low 32 bits of a predefined key count.
    const HKEY wide_current_user =
        reinterpret_cast<HKEY>((static_cast<std::uintptr_t>(0xdeadbeef) << 32) | 0x80000001u);
    t_unique_hkey software;
    EXPECT_EQ(open_key(wide_current_user, L"Software", software), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, ArgumentsAreCheckedAsWindowsChecksThem)
{
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 8, KEY_READ, &key),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, nullptr, nullptr),
              ERROR_BADKEY);
    // Volatile keys (option 1) and links (option 2) do not exist here.
    for (const DWORD options : {1u, 2u, 4u})
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\X", 0, nullptr, options,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_INVALID_PARAMETER)
            << options;
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    // Nothing was created by the failed calls.
    t_unique_hkey created;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\X", created), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, KeyNamesAreLimitedTo255Units)
{
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\Limits");
    const struct
    {
        std::wstring name;
        LSTATUS create_result;
        LSTATUS open_result;
    } cases[] = {
        {std::wstring(255, L'k'), ERROR_SUCCESS, ERROR_SUCCESS},
        {std::wstring(256, L'k'), ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        // 128 characters beyond the BMP are 256 UTF-16 units.
        {std::wstring(128, L'\U0001F600'), ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {std::wstring(127, L'\U0001F600') + L"k", ERROR_SUCCESS, ERROR_SUCCESS},
        // Not Unicode text: a surrogate, a value above U+10FFFF.
        {std::wstring(1, static_cast<wchar_t>(0xD800)), ERROR_INVALID_PARAMETER,
         ERROR_FILE_NOT_FOUND},
        {std::wstring(1, static_cast<wchar_t>(0x110000)), ERROR_INVALID_PARAMETER,
         ERROR_FILE_NOT_FOUND},
    };
    for (const auto& test : cases)
    {
        t_unique_hkey key;
        EXPECT_EQ(RegCreateKeyExW(parent.get(), test.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.put(), nullptr),
                  test.create_result)
            << test.name.size();
        EXPECT_EQ(open_key(parent.get(), test.name, key), test.open_result) << test.name.size();
        // The limit holds for each component of a path, not for the path.
        EXPECT_EQ(RegCreateKeyExW(parent.get(), (L"a\\" + test.name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  test.create_result);
    }
}

TEST_F(RegistryKeyTest, DeleteRefusesKeysWithSubKeysAndTheFixedKeys)
{
    const t_unique_hkey parent = create_key(HKEY_CURRENT_USER, L"Software\\Del\\Child");
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Del"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Del\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\DEL\\CHILD"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Del"), ERROR_SUCCESS);
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Del", key), ERROR_FILE_NOT_FOUND);

    const struct
    {
        HKEY root;
        const wchar_t* path;
    } fixed[] = {{HKEY_LOCAL_MACHINE, L""},
                 {HKEY_LOCAL_MACHINE, L"Software"},
                 {HKEY_LOCAL_MACHINE, L"Software\\Classes"},
                 {HKEY_CLASSES_ROOT, L""},
                 {HKEY_USERS, L""},
                 {HKEY_CURRENT_CONFIG, L""}};
    // HKEY_USERS and HKEY_CURRENT_CONFIG are empty: only being a root stands in the way.
    for (const auto& test : fixed)
        EXPECT_EQ(RegDeleteKeyW(test.root, test.path), ERROR_ACCESS_DENIED) << test.path;
}

TEST_F(RegistryKeyTest, EmptySubKeyDeletesTheHandlesOwnKey)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Self");
    ASSERT_EQ(set_dword(key.get(), L"v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key.get(), L""), ERROR_SUCCESS);
    t_unique_hkey opened;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Self", opened), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, EveryCallThroughAHandleToADeletedKeyFailsWithKeyDeleted)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Gone");
    ASSERT_EQ(set_dword(key.get(), L"v", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Gone"), ERROR_SUCCESS);
    // A new key of the same name is another key.
    const t_unique_hkey successor = create_key(HKEY_CURRENT_USER, L"Software\\Gone");

    wchar_t name[64];
    DWORD size = 64;
    DWORD data = 0;
    DWORD data_size = sizeof(data);
    t_unique_hkey sub;
    EXPECT_EQ(RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&data),
                               &data_size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"missing", nullptr, nullptr, nullptr, &data_size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(set_dword(key.get(), L"v", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueW(key.get(), L"v"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(open_key(key.get(), L"sub", sub), ERROR_KEY_DELETED);
    EXPECT_EQ(open_key(key.get(), L"", sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExW(key.get(), L"sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(),
                              nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyW(key.get(), L""), ERROR_KEY_DELETED);
    EXPECT_EQ(query_value(successor.get(), L"v").error, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, ClassesRootIsLocalMachineSoftwareClasses)
{
    const t_unique_hkey through_root = create_key(HKEY_CLASSES_ROOT, L".voka");
    ASSERT_EQ(set_string(through_root.get(), nullptr, L"Voka.File"), ERROR_SUCCESS);
    t_unique_hkey through_machine;
    ASSERT_EQ(open_key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.VOKA", through_machine),
              ERROR_SUCCESS);
    EXPECT_EQ(query_value(through_machine.get(), L"").bytes, string_bytes(L"Voka.File"));

    create_key(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Voka.File\\CLSID");
    t_unique_hkey clsid;
    EXPECT_EQ(open_key(HKEY_CLASSES_ROOT, L"voka.file\\clsid", clsid), ERROR_SUCCESS);
    EXPECT_EQ(sub_key_names(HKEY_CLASSES_ROOT),
              (std::vector<std::wstring>{L".voka", L"Voka.File"}));
}

TEST_F(RegistryKeyTest, TheTreesAreSeparate)
{
    create_key(HKEY_USERS, L"Only\\In\\Users");
    create_key(HKEY_CURRENT_CONFIG, L"Only\\In\\Config");
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_USERS, L"Only\\In\\Users", key), ERROR_SUCCESS);
    EXPECT_EQ(open_key(HKEY_CURRENT_CONFIG, L"Only\\In\\Users", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Only", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_key(HKEY_LOCAL_MACHINE, L"Only", key), ERROR_FILE_NOT_FOUND);
    // A new registry has the keys every Windows registry has.
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software", key), ERROR_SUCCESS);
    EXPECT_EQ(open_key(HKEY_LOCAL_MACHINE, L"Software\\Classes", key), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, HandlesHaveTheRightsTheyWereOpenedWith)
{
    const t_unique_hkey writer = create_key(HKEY_CURRENT_USER, L"Software\\Rights\\Sub");
    ASSERT_EQ(set_dword(writer.get(), L"v", 7), ERROR_SUCCESS);
    const auto denied = [](REGSAM access)
    {
        t_unique_hkey key;
        EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Rights\\Sub", key, access),
                  ERROR_SUCCESS);
        struct
        {
            bool query, set, remove, enumerate, info;
        } result{};
        DWORD size = 0;
        wchar_t name[16];
        DWORD name_size = 16;
        result.query = RegQueryValueExW(key.get(), L"v", nullptr, nullptr, nullptr, &size) ==
                       ERROR_ACCESS_DENIED;
        result.set = set_dword(key.get(), L"w", 1) == ERROR_ACCESS_DENIED;
        result.remove = RegDeleteValueW(key.get(), L"missing") == ERROR_ACCESS_DENIED;
        result.enumerate = RegEnumKeyExW(key.get(), 0, name, &name_size, nullptr, nullptr, nullptr,
                                         nullptr) == ERROR_ACCESS_DENIED;
        result.info =
            RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_ACCESS_DENIED;
        return std::vector<bool>{result.query, result.set, result.remove, result.enumerate,
                                 result.info};
    };
    using v = std::vector<bool>;
    //                                   query  set    delete enum   info
    EXPECT_EQ(denied(KEY_READ), (v{false, true, true, false, false}));
    EXPECT_EQ(denied(KEY_WRITE), (v{true, false, false, true, true}));
    EXPECT_EQ(denied(KEY_QUERY_VALUE), (v{false, true, true, true, false}));
    EXPECT_EQ(denied(KEY_SET_VALUE), (v{true, false, false, true, true}));
    EXPECT_EQ(denied(GENERIC_READ), (v{false, true, true, false, false}));
    EXPECT_EQ(denied(GENERIC_WRITE), (v{true, false, false, true, true}));
    EXPECT_EQ(denied(MAXIMUM_ALLOWED), (v{false, false, false, false, false}));
    EXPECT_EQ(denied(0), (v{true, true, true, true, true}));

    // As on Windows, a parent handle's rights do not matter for the keys below it.
    t_unique_hkey reader;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Rights", reader, KEY_READ), ERROR_SUCCESS);
    t_unique_hkey created;
    EXPECT_EQ(RegCreateKeyExW(reader.get(), L"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              created.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(set_dword(created.get(), L"x", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(reader.get(), L"New"), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, ClassNamesAreKeptForNewKeysOnly)
{
    std::wstring key_class = L"VokaClass";
    t_unique_hkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classy", 0, key_class.data(), 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    std::wstring other = L"Ignored";
    t_unique_hkey again;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classy", 0, other.data(), 0,
                              KEY_ALL_ACCESS, nullptr, again.put(), nullptr),
              ERROR_SUCCESS);
    wchar_t buffer[32];
    DWORD size = 32;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), buffer, &size, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(buffer, size), L"VokaClass");

    t_unique_hkey software;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software", software), ERROR_SUCCESS);
    DWORD max_class = 0;
    ASSERT_EQ(RegQueryInfoKeyW(software.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                               &max_class, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(max_class, 9u);
    wchar_t name[32];
    DWORD name_size = 32;
    size = 32;
    ASSERT_EQ(RegEnumKeyExW(software.get(), 0, name, &name_size, nullptr, buffer, &size, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, name_size), L"Classy");
    EXPECT_EQ(std::wstring(buffer, size), L"VokaClass");
}

}  // namespace
}  // namespace registry_test
