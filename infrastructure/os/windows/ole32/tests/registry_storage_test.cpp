// The registry storage service through the gate's export: the service entry, the root storage and
// its paths, access modes, reopening, and values with their kinds and data rules.
#include "registry_storage_test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace
{

using registry_storage_test::IID_VOKA_IRegistryStorage;
using registry_storage_test::IID_VOKA_IRegistryStorageNames;
using registry_storage_test::StorageTest;
using registry_storage_test::t_ref;
using registry_storage_test::VOKA_IRegistryStorage;
using registry_storage_test::VOKA_IRegistryStorageNames;
using registry_storage_test::wide_bytes;

constexpr HRESULT k_path_not_found = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT k_file_not_found = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT k_access_denied = static_cast<HRESULT>(0x80070005u);

constexpr GUID k_other_service{
    0xAC3EC6A8, 0x7D2A, 0x11ED, {0x97, 0x57, 0x80, 0xA5, 0x89, 0xA0, 0x3F, 0x33}};

// The identity of a COM object: its IUnknown.
IUnknown* identity(IUnknown* object)
{
    IUnknown* unknown = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    if (unknown != nullptr)
        unknown->Release();
    return unknown;
}

TEST_F(StorageTest, ServiceEntryAnswersOnlyTheRegistryStorage)
{
    void* object = &object;
    EXPECT_EQ(get_service(k_other_service, IID_VOKA_IRegistryStorage, &object), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(object, nullptr);
    object = &object;
    EXPECT_EQ(get_service(registry_storage_test::service::k_registry_storage_service_id,
                          IID_VOKA_IRegistryStorageNames, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(get_service(registry_storage_test::service::k_registry_storage_service_id,
                          IID_VOKA_IRegistryStorage, nullptr),
              E_INVALIDARG);
    t_ref<IUnknown> unknown;
    EXPECT_EQ(get_service(registry_storage_test::service::k_registry_storage_service_id,
                          IID_IUnknown, unknown.put()),
              S_OK);
    ASSERT_NE(unknown.get(), nullptr);
    t_ref<VOKA_IRegistryStorage> storage;
    EXPECT_EQ(unknown->QueryInterface(IID_VOKA_IRegistryStorage, storage.put()), S_OK);
    object = &object;
    EXPECT_EQ(storage->QueryInterface(IID_VOKA_IRegistryStorageNames, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(identity(storage.get()), unknown.get());
}

TEST_F(StorageTest, RootNamesSelectThePredefinedKeys)
{
    auto software = open(L"hklm\\Software");
    const DWORD number = 42;
    ASSERT_EQ(software->SetValue(L"Answer", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
    for (const wchar_t* path : {L"HKEY_LOCAL_MACHINE\\Software", L"LOCAL_MACHINE\\Software",
                                L"Hklm\\software", L"local_machine\\SOFTWARE"})
    {
        SCOPED_TRACE(std::wstring(path).size());
        auto same = open(path, 1, FALSE);
        const auto value = read(same.get(), L"Answer");
        EXPECT_EQ(value.result, S_OK);
        EXPECT_EQ(value.bytes, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&number),
                                                 reinterpret_cast<const BYTE*>(&number) + 4));
    }
    // The root name alone opens the predefined key itself.
    auto machine = open(L"HKLM", 1, TRUE);
    auto names = sub_storage_names(machine.get());
    EXPECT_EQ(names->Exists(L"Software"), S_OK);

    // Each root name reaches its key: a value set through one form is seen through the others.
    const std::vector<std::vector<const wchar_t*>> groups = {
        {L"CLASSES_ROOT", L"HKCR", L"HKEY_CLASSES_ROOT"},
        {L"CURRENT_USER", L"HKCU", L"HKEY_CURRENT_USER"},
        {L"LOCAL_MACHINE", L"HKLM", L"HKEY_LOCAL_MACHINE"},
        {L"USERS", L"HKEY_USERS"},
        {L"CURRENT_CONFIG", L"HKCC", L"HKEY_CURRENT_CONFIG"}};
    for (std::size_t group = 0; group < groups.size(); ++group)
    {
        const DWORD mark = static_cast<DWORD>(group);
        auto first = open(std::wstring(groups[group][0]) + L"\\VokaRootTest");
        ASSERT_EQ(first->SetValue(L"Mark", 16, 4, reinterpret_cast<const BYTE*>(&mark)), S_OK);
        for (const wchar_t* name : groups[group])
        {
            SCOPED_TRACE(std::wstring(name).size());
            auto other = open(std::wstring(name) + L"\\VokaRootTest", 1, FALSE);
            EXPECT_EQ(read(other.get(), L"Mark").bytes,
                      std::vector<BYTE>(reinterpret_cast<const BYTE*>(&mark),
                                        reinterpret_cast<const BYTE*>(&mark) + 4));
        }
    }
}

TEST_F(StorageTest, RootRefusesBadPathsAndModes)
{
    struct t_case
    {
        const wchar_t* path;
        DWORD mode;
        HRESULT expected;
    };
    const t_case cases[] = {
        {L"HKLMX\\Software", 1, k_path_not_found},
        {L"HKLM_\\Software", 1, k_path_not_found},
        {L"", 1, k_path_not_found},
        {L"\\Software", 1, k_path_not_found},
        {L"Software", 1, k_path_not_found},
        {L"HKLM\\NoSuchKey", 1, k_file_not_found},
        {L"HKLMX\\Software", 0, E_INVALIDARG},  // the mode is checked before the path
        {L"HKLMX\\Software", 5, E_INVALIDARG},
        {L"HKLM\\Software", 0, E_INVALIDARG},
        {L"HKLM\\Software", 5, E_INVALIDARG},
        {nullptr, 1, E_INVALIDARG},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index)
    {
        SCOPED_TRACE(index);
        void* object = &object;
        EXPECT_EQ(root()->OpenSubStorage(cases[index].path, cases[index].mode, FALSE,
                                         IID_VOKA_IRegistryStorage, &object),
                  cases[index].expected);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(root()->OpenSubStorage(L"HKLM", 1, FALSE, IID_VOKA_IRegistryStorage, nullptr),
              E_INVALIDARG);
    void* object = &object;
    EXPECT_EQ(root()->OpenSubStorage(L"HKLM", 1, FALSE, IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(StorageTest, CreateFlagCreatesMissingKeys)
{
    void* object = &object;
    EXPECT_EQ(root()->OpenSubStorage(L"HKCU\\Software\\Voka\\New", 3, FALSE,
                                     IID_VOKA_IRegistryStorage, &object),
              k_file_not_found);
    EXPECT_EQ(object, nullptr);
    auto created = open(L"HKCU\\Software\\Voka\\New", 3, TRUE);
    ASSERT_NE(created.get(), nullptr);
    registry_test::t_unique_hkey key;
    EXPECT_EQ(registry_test::open_key(HKEY_CURRENT_USER, L"Software\\Voka\\New", key),
              ERROR_SUCCESS);

    // Below a storage: names are paths relative to its key; an empty name opens the key again.
    auto voka = open(L"HKCU\\Software\\Voka", 4, FALSE);
    t_ref<VOKA_IRegistryStorage> deeper;
    EXPECT_EQ(voka->OpenSubStorage(L"One\\Two", 4, TRUE, IID_VOKA_IRegistryStorage, deeper.put()),
              S_OK);
    EXPECT_EQ(registry_test::open_key(HKEY_CURRENT_USER, L"Software\\Voka\\One\\Two", key),
              ERROR_SUCCESS);
    t_ref<VOKA_IRegistryStorage> again;
    EXPECT_EQ(voka->OpenSubStorage(L"", 1, TRUE, IID_VOKA_IRegistryStorage, again.put()), S_OK);
    EXPECT_EQ(sub_storage_names(again.get())->Exists(L"New"), S_OK);
    object = &object;
    EXPECT_EQ(voka->OpenSubStorage(L"Missing", 1, FALSE, IID_VOKA_IRegistryStorage, &object),
              k_file_not_found);
    EXPECT_EQ(object, nullptr);
    for (const DWORD mode : {0u, 5u})
        EXPECT_EQ(voka->OpenSubStorage(L"New", mode, FALSE, IID_VOKA_IRegistryStorage, &object),
                  E_INVALIDARG);
    EXPECT_EQ(voka->OpenSubStorage(nullptr, 1, FALSE, IID_VOKA_IRegistryStorage, &object),
              E_INVALIDARG);
    EXPECT_EQ(voka->OpenSubStorage(L"New", 1, FALSE, IID_VOKA_IRegistryStorage, nullptr),
              E_INVALIDARG);
}

TEST_F(StorageTest, RootReopensOnlyForReading)
{
    t_ref<VOKA_IRegistryStorage> again;
    EXPECT_EQ(root()->Reopen(1, IID_VOKA_IRegistryStorage, again.put()), S_OK);
    EXPECT_EQ(identity(again.get()), identity(root()));
    for (const DWORD mode : {0u, 2u, 3u, 4u, 5u})
    {
        void* object = &object;
        EXPECT_EQ(root()->Reopen(mode, IID_VOKA_IRegistryStorage, &object), E_FAIL);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(root()->Reopen(1, IID_VOKA_IRegistryStorage, nullptr), E_INVALIDARG);
    EXPECT_EQ(root()->ReservedNoOp(), S_OK);
}

TEST_F(StorageTest, RootHasNoValues)
{
    DWORD kind = 7;
    DWORD size = 7;
    BYTE* data = reinterpret_cast<BYTE*>(&kind);
    EXPECT_EQ(root()->GetValue(L"Anything", &kind, &size, &data), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(kind, 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(data, nullptr);
    const DWORD number = 1;
    EXPECT_EQ(root()->SetValue(L"Anything", 16, 4, reinterpret_cast<const BYTE*>(&number)),
              CO_E_NOT_SUPPORTED);

    auto values = value_names(root());
    DWORD count = 9;
    EXPECT_EQ(values->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(values->Reset(), S_OK);
    EXPECT_TRUE(rest_of(values.get()).empty());
    EXPECT_EQ(values->Exists(L"Anything"), S_FALSE);
    EXPECT_EQ(values->Exists(nullptr), E_INVALIDARG);
    EXPECT_EQ(values->Delete(L"Anything"), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(values->ReservedNotSupported(1, 2), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(values->ReservedNoOp(), S_OK);
}

TEST_F(StorageTest, AccessModesAreEnforced)
{
    const DWORD number = 5;
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    ASSERT_EQ(open(L"HKCU\\Software\\Modes")->SetValue(L"Seed", 16, 4, bytes), S_OK);

    auto reading = open(L"HKCU\\Software\\Modes", 1, FALSE);
    EXPECT_EQ(read(reading.get(), L"Seed").result, S_OK);
    EXPECT_EQ(reading->SetValue(L"Other", 16, 4, bytes), k_access_denied);

    auto writing = open(L"HKCU\\Software\\Modes", 2, FALSE);
    EXPECT_EQ(writing->SetValue(L"Other", 16, 4, bytes), S_OK);
    EXPECT_EQ(read(writing.get(), L"Seed").result, k_access_denied);

    for (const DWORD mode : {3u, 4u})
    {
        auto both = open(L"HKCU\\Software\\Modes", mode, FALSE);
        EXPECT_EQ(both->SetValue(L"Other", 16, 4, bytes), S_OK);
        EXPECT_EQ(read(both.get(), L"Other").result, S_OK);
    }

    // Reopen gives the same key with another mode.
    t_ref<VOKA_IRegistryStorage> upgraded;
    ASSERT_EQ(reading->Reopen(3, IID_VOKA_IRegistryStorage, upgraded.put()), S_OK);
    EXPECT_EQ(upgraded->SetValue(L"Third", 16, 4, bytes), S_OK);
    EXPECT_EQ(read(reading.get(), L"Third").result, S_OK);
    t_ref<VOKA_IRegistryStorage> downgraded;
    ASSERT_EQ(upgraded->Reopen(1, IID_VOKA_IRegistryStorage, downgraded.put()), S_OK);
    EXPECT_EQ(downgraded->SetValue(L"Fourth", 16, 4, bytes), k_access_denied);
    for (const DWORD mode : {0u, 5u})
    {
        void* object = &object;
        EXPECT_EQ(reading->Reopen(mode, IID_VOKA_IRegistryStorage, &object), E_INVALIDARG);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(reading->Reopen(1, IID_VOKA_IRegistryStorage, nullptr), E_INVALIDARG);
    EXPECT_EQ(reading->ReservedNoOp(), S_OK);
}

TEST_F(StorageTest, SetValueFollowsTheRulesOfEachKind)
{
    auto storage = open(L"HKCU\\Software\\Kinds");
    const std::vector<BYTE> text = wide_bytes(std::wstring(L"text", 5));
    const std::vector<BYTE> no_zero = wide_bytes(L"text");
    const std::vector<BYTE> multi = wide_bytes(std::wstring(L"a\0b\0\0", 5));
    const std::vector<BYTE> multi_one_zero = wide_bytes(std::wstring(L"a\0b", 4));
    const std::vector<BYTE> one_zero = wide_bytes(std::wstring(L"\0", 1));
    const std::vector<BYTE> two_zeros = wide_bytes(std::wstring(L"\0\0", 2));
    std::vector<BYTE> odd = text;
    odd.push_back(0);
    const std::vector<BYTE> eight(8, 0x5A);
    struct t_case
    {
        DWORD kind;
        std::vector<BYTE> data;
        HRESULT expected;
    };
    const std::vector<t_case> cases = {
        {12, text, S_OK},
        {21, text, S_OK},
        {12, one_zero, S_OK},
        {12, no_zero, E_INVALIDARG},
        {21, no_zero, E_INVALIDARG},
        {12, odd, E_INVALIDARG},
        {12, {}, E_INVALIDARG},
        {20, multi, S_OK},
        {20, two_zeros, S_OK},
        {20, one_zero, E_INVALIDARG},
        {20, multi_one_zero, E_INVALIDARG},
        {20, text, E_INVALIDARG},
        {13, {}, S_OK},
        {13, odd, S_OK},
        {16, {1, 2, 3, 4}, S_OK},
        {16, {1, 2, 3}, E_INVALIDARG},
        {16, eight, E_INVALIDARG},
        {17, eight, S_OK},
        {17, {1, 2, 3, 4}, E_INVALIDARG},
        {14, {1, 2, 3, 4}, CO_E_NOT_SUPPORTED},
        {0, {}, CO_E_NOT_SUPPORTED},
        {1, text, CO_E_NOT_SUPPORTED},
        {4, {1, 2, 3, 4}, CO_E_NOT_SUPPORTED},
    };
    for (std::size_t index = 0; index < cases.size(); ++index)
    {
        SCOPED_TRACE(index);
        const t_case& test = cases[index];
        const std::wstring name = L"Value" + std::to_wstring(index);
        EXPECT_EQ(storage->SetValue(name.c_str(), test.kind, static_cast<DWORD>(test.data.size()),
                                    test.data.empty() ? nullptr : test.data.data()),
                  test.expected);
        const auto value = read(storage.get(), name.c_str());
        if (test.expected == S_OK)
        {
            EXPECT_EQ(value.result, S_OK);
            EXPECT_EQ(value.kind, test.kind);
            EXPECT_EQ(value.size, test.data.size());
            EXPECT_EQ(value.bytes, test.data);
        }
        else
        {
            EXPECT_EQ(value.result, k_file_not_found) << "nothing was written";
        }
    }
    const DWORD number = 3;
    EXPECT_EQ(storage->SetValue(nullptr, 16, 4, reinterpret_cast<const BYTE*>(&number)),
              E_INVALIDARG);
    EXPECT_EQ(storage->SetValue(L"Null", 16, 4, nullptr), E_INVALIDARG);
    EXPECT_EQ(storage->SetValue(L"Null", 14, 4, nullptr), E_INVALIDARG);
    // The default value has the empty name.
    EXPECT_EQ(storage->SetValue(L"", 12, static_cast<DWORD>(text.size()), text.data()), S_OK);
    EXPECT_EQ(registry_test::query_value(
                  registry_test::create_key(HKEY_CURRENT_USER, L"Software\\Kinds").get(), nullptr)
                  .bytes,
              std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Values are read in one query while they fit a small buffer and in the sized two-step form
// beyond it; the bytes must come back whole on both sides of that limit.
TEST_F(StorageTest, GetValueReturnsValuesOfEverySizeWhole)
{
    auto storage = open(L"HKCU\\Software\\Sizes");
    for (const std::size_t size : {0u, 1u, 511u, 512u, 513u, 4000u, 100000u})
    {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t index = 0; index < size; ++index)
            bytes[index] = static_cast<std::uint8_t>(index * 7 + 3);
        const std::wstring name = L"Binary" + std::to_wstring(size);
        ASSERT_EQ(storage->SetValue(name.c_str(), 13, static_cast<DWORD>(size),
                                    bytes.empty() ? nullptr : bytes.data()),
                  S_OK);
        const auto value = read(storage.get(), name.c_str());
        EXPECT_EQ(value.result, S_OK);
        EXPECT_EQ(value.size, size);
        EXPECT_EQ(value.bytes, bytes);
    }
    for (const std::size_t length : {100u, 127u, 128u, 129u, 3000u})
    {
        SCOPED_TRACE(length);
        const std::wstring text(length, L'x');
        const std::wstring name = L"Text" + std::to_wstring(length);
        ASSERT_EQ(storage->SetValue(name.c_str(), 12,
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                                    reinterpret_cast<const BYTE*>(text.c_str())),
                  S_OK);
        EXPECT_EQ(read(storage.get(), name.c_str()).bytes,
                  wide_bytes(std::wstring(text.c_str(), text.size() + 1)));
    }
}

TEST_F(StorageTest, GetValueChecksWhatTheRegistryHolds)
{
    auto storage = open(L"HKCU\\Software\\Stored");
    const auto key = registry_test::create_key(HKEY_CURRENT_USER, L"Software\\Stored");
    const BYTE two[2] = {1, 2};
    const BYTE seven[7] = {};
    const std::wstring no_zero = L"abc";
    const std::wstring multi_one_zero(L"a\0b\0", 4);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"ShortDword", REG_DWORD, two, 2), ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"ShortQword", REG_QWORD, seven, 7),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"None", REG_NONE, two, 2), ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"BigEndian", REG_DWORD_BIG_ENDIAN, seven, 4),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"NoZero", REG_SZ, no_zero.c_str(),
                                       static_cast<DWORD>(no_zero.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"EmptyString", REG_EXPAND_SZ, nullptr, 0),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"MultiOneZero", REG_MULTI_SZ,
                                       multi_one_zero.c_str(),
                                       static_cast<DWORD>(multi_one_zero.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_bytes(key.get(), L"EmptyBinary", REG_BINARY, nullptr, 0),
              ERROR_SUCCESS);
    ASSERT_EQ(registry_test::set_string(key.get(), L"Text", L"hello"), ERROR_SUCCESS);

    struct t_case
    {
        const wchar_t* name;
        HRESULT expected;
    };
    const t_case cases[] = {
        {L"ShortDword", E_UNEXPECTED}, {L"ShortQword", E_UNEXPECTED},
        {L"None", CO_E_NOT_SUPPORTED}, {L"BigEndian", CO_E_NOT_SUPPORTED},
        {L"NoZero", E_FAIL},           {L"EmptyString", E_FAIL},
        {L"MultiOneZero", E_FAIL},     {L"Missing", k_file_not_found},
        {L"EmptyBinary", S_OK},        {L"Text", S_OK},
    };
    for (const t_case& test : cases)
    {
        SCOPED_TRACE(std::wstring(test.name).size());
        const auto value = read(storage.get(), test.name);
        EXPECT_EQ(value.result, test.expected);
        if (FAILED(test.expected))
        {
            EXPECT_EQ(value.kind, 0u);
            EXPECT_EQ(value.size, 0u);
            EXPECT_TRUE(value.bytes.empty());
        }
    }
    EXPECT_EQ(read(storage.get(), L"Text").bytes, wide_bytes(std::wstring(L"hello", 6)));

    // Without a data pointer: the kind and the size only; the final 0 is not looked at.
    DWORD kind = 0;
    DWORD size = 0;
    EXPECT_EQ(storage->GetValue(L"Text", &kind, &size, nullptr), S_OK);
    EXPECT_EQ(kind, 12u);
    EXPECT_EQ(size, 6 * sizeof(wchar_t));
    EXPECT_EQ(storage->GetValue(L"NoZero", &kind, &size, nullptr), S_OK);
    EXPECT_EQ(size, 3 * sizeof(wchar_t));
    EXPECT_EQ(storage->GetValue(L"ShortDword", &kind, &size, nullptr), E_UNEXPECTED);
    EXPECT_EQ(storage->GetValue(nullptr, &kind, &size, nullptr), E_INVALIDARG);
}

}  // namespace
