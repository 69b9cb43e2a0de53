// The registry storage's listings through the gate's export: the root's names, sub keys in name
// order and values in creation order, the cursor's end, existence tests, deletion of values and
// of whole key trees, the listing's hold on its storage, and Next from several threads.
#include "registry_storage_test_support.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

using registry_storage_test::IID_VOKA_IRegistryStorage;
using registry_storage_test::IID_VOKA_IRegistryStorageNames;
using registry_storage_test::StorageTest;
using registry_storage_test::t_ref;
using registry_storage_test::VOKA_IRegistryStorage;
using registry_storage_test::VOKA_IRegistryStorageNames;

constexpr HRESULT k_file_not_found = static_cast<HRESULT>(0x80070002u);

using t_names = std::vector<std::wstring>;

TEST_F(StorageTest, RootListsTheFiveRootNames)
{
    auto names = sub_storage_names(root());
    const t_names expected = {L"CLASSES_ROOT", L"CURRENT_USER", L"LOCAL_MACHINE", L"USERS",
                              L"CURRENT_CONFIG"};
    EXPECT_EQ(rest_of(names.get()), expected);
    EXPECT_TRUE(rest_of(names.get()).empty()) << "the end stays the end";
    EXPECT_EQ(names->Reset(), S_OK);
    EXPECT_EQ(rest_of(names.get()), expected);
    DWORD count = 0;
    EXPECT_EQ(names->GetCount(&count), S_OK);
    EXPECT_EQ(count, 5u);

    for (const wchar_t* name : {L"hkcu", L"HKCU", L"HKEY_USERS", L"current_config", L"HkCr"})
        EXPECT_EQ(names->Exists(name), S_OK);
    for (const wchar_t* name : {L"HKCUX", L"", L"HKCU\\Software", L"HKU", L"HKEY_CURRENT"})
        EXPECT_EQ(names->Exists(name), S_FALSE);
    EXPECT_EQ(names->Exists(nullptr), E_INVALIDARG);
    EXPECT_EQ(names->Delete(L"HKCU"), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(names->ReservedNotSupported(0, 0), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(names->ReservedNoOp(), S_OK);
    EXPECT_EQ(names->Next(nullptr), E_INVALIDARG);
    EXPECT_EQ(names->GetCount(nullptr), E_INVALIDARG);

    void* object = &object;
    EXPECT_EQ(root()->GetSubStorageNames(IID_VOKA_IRegistryStorage, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(root()->GetSubStorageNames(IID_VOKA_IRegistryStorageNames, nullptr), E_INVALIDARG);
    EXPECT_EQ(root()->GetValueNames(IID_VOKA_IRegistryStorageNames, nullptr), E_INVALIDARG);
}

TEST_F(StorageTest, SubKeysComeInNameOrderValuesInCreationOrder)
{
    auto storage = open(L"HKCU\\Software\\Listing");
    for (const wchar_t* name : {L"delta", L"Alpha", L"charlie", L"Bravo"})
    {
        t_ref<VOKA_IRegistryStorage> child;
        ASSERT_EQ(storage->OpenSubStorage(name, 4, TRUE, IID_VOKA_IRegistryStorage, child.put()),
                  S_OK);
    }
    const DWORD number = 1;
    for (const wchar_t* name : {L"zulu", L"Yankee", L"x-ray"})
        ASSERT_EQ(storage->SetValue(name, 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);

    auto keys = sub_storage_names(storage.get());
    auto values = value_names(storage.get());
    DWORD count = 0;
    EXPECT_EQ(keys->GetCount(&count), S_OK);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(values->GetCount(&count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(rest_of(keys.get()), (t_names{L"Alpha", L"Bravo", L"charlie", L"delta"}));
    EXPECT_EQ(rest_of(values.get()), (t_names{L"zulu", L"Yankee", L"x-ray"}));

    // Past the end, a new item is not seen until Reset.
    t_ref<VOKA_IRegistryStorage> late;
    ASSERT_EQ(storage->OpenSubStorage(L"echo", 4, TRUE, IID_VOKA_IRegistryStorage, late.put()),
              S_OK);
    EXPECT_TRUE(rest_of(keys.get()).empty());
    EXPECT_EQ(keys->Reset(), S_OK);
    EXPECT_EQ(rest_of(keys.get()).size(), 5u);

    // Before the end, the cursor sees the key as it is at each step.
    EXPECT_EQ(values->Reset(), S_OK);
    LPWSTR first = nullptr;
    ASSERT_EQ(values->Next(&first), S_OK);
    EXPECT_EQ(take_string(first), L"zulu");
    ASSERT_EQ(storage->SetValue(L"whiskey", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
    EXPECT_EQ(rest_of(values.get()), (t_names{L"Yankee", L"x-ray", L"whiskey"}));
}

TEST_F(StorageTest, ExistsTestsSubKeysAndValues)
{
    auto storage = open(L"HKCU\\Software\\Exists");
    t_ref<VOKA_IRegistryStorage> child;
    ASSERT_EQ(storage->OpenSubStorage(L"Child\\Grandchild", 4, TRUE, IID_VOKA_IRegistryStorage,
                                      child.put()),
              S_OK);
    const DWORD number = 1;
    ASSERT_EQ(storage->SetValue(L"Flag", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
    ASSERT_EQ(storage->SetValue(L"With\\Backslash", 16, 4, reinterpret_cast<const BYTE*>(&number)),
              S_OK);

    auto keys = sub_storage_names(storage.get());
    EXPECT_EQ(keys->Exists(L"Child"), S_OK);
    EXPECT_EQ(keys->Exists(L"CHILD"), S_OK);
    EXPECT_EQ(keys->Exists(L"Missing"), S_FALSE);
    EXPECT_EQ(keys->Exists(L""), S_FALSE);
    EXPECT_EQ(keys->Exists(L"Child\\Grandchild"), S_FALSE) << "a path is no sub key name";
    EXPECT_EQ(keys->Exists(nullptr), E_INVALIDARG);

    auto values = value_names(storage.get());
    EXPECT_EQ(values->Exists(L"Flag"), S_OK);
    EXPECT_EQ(values->Exists(L"flag"), S_OK);
    EXPECT_EQ(values->Exists(L"With\\Backslash"), S_OK);
    EXPECT_EQ(values->Exists(L"Missing"), S_FALSE);
    EXPECT_EQ(values->Exists(nullptr), E_INVALIDARG);
    EXPECT_EQ(values->ReservedNotSupported(3, 4), CO_E_NOT_SUPPORTED);
    EXPECT_EQ(values->ReservedNoOp(), S_OK);
}

TEST_F(StorageTest, DeleteRemovesValuesAndWholeTrees)
{
    auto storage = open(L"HKCU\\Software\\Tree");
    for (const wchar_t* path :
         {L"Top\\A\\A1\\A11", L"Top\\A\\A2", L"Top\\B", L"Top\\C\\C1", L"Keep\\K1"})
    {
        t_ref<VOKA_IRegistryStorage> child;
        ASSERT_EQ(storage->OpenSubStorage(path, 4, TRUE, IID_VOKA_IRegistryStorage, child.put()),
                  S_OK);
        const DWORD number = 1;
        ASSERT_EQ(child->SetValue(L"v", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
    }
    auto keys = sub_storage_names(storage.get());
    EXPECT_EQ(keys->Delete(L"top"), S_OK);
    EXPECT_EQ(keys->Exists(L"Top"), S_FALSE);
    EXPECT_EQ(rest_of(keys.get()), (t_names{L"Keep"}));
    registry_test::t_unique_hkey key;
    EXPECT_EQ(registry_test::open_key(HKEY_CURRENT_USER, L"Software\\Tree\\Top\\A\\A1", key),
              ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(keys->Delete(L"Keep\\K1"), k_file_not_found) << "a path is no sub key name";
    EXPECT_EQ(keys->Delete(L""), k_file_not_found);
    EXPECT_EQ(keys->Delete(L"Missing"), k_file_not_found);
    EXPECT_EQ(keys->Delete(nullptr), E_INVALIDARG);
    EXPECT_EQ(registry_test::open_key(HKEY_CURRENT_USER, L"Software\\Tree\\Keep\\K1", key),
              ERROR_SUCCESS);

    const DWORD number = 2;
    ASSERT_EQ(storage->SetValue(L"Gone", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
    auto values = value_names(storage.get());
    EXPECT_EQ(values->Delete(L"GONE"), S_OK);
    EXPECT_EQ(values->Exists(L"Gone"), S_FALSE);
    EXPECT_EQ(values->Delete(L"Gone"), k_file_not_found);
    EXPECT_EQ(values->Delete(nullptr), E_INVALIDARG);
}

TEST_F(StorageTest, ListingKeepsItsStorageAlive)
{
    t_ref<VOKA_IRegistryStorageNames> values;
    {
        auto storage = open(L"HKCU\\Software\\Alive");
        const DWORD number = 1;
        ASSERT_EQ(storage->SetValue(L"Only", 16, 4, reinterpret_cast<const BYTE*>(&number)), S_OK);
        values = value_names(storage.get());
    }
    EXPECT_EQ(rest_of(values.get()), (t_names{L"Only"}));
    EXPECT_EQ(values->Exists(L"Only"), S_OK);
}

TEST_F(StorageTest, ListingOfADeletedKeyReportsIt)
{
    auto storage = open(L"HKCU\\Software\\Doomed");
    auto keys = sub_storage_names(storage.get());
    auto parent = open(L"HKCU\\Software");
    ASSERT_EQ(sub_storage_names(parent.get())->Delete(L"Doomed"), S_OK);
    LPWSTR name = reinterpret_cast<LPWSTR>(&name);
    EXPECT_EQ(keys->Next(&name), HRESULT_FROM_WIN32(ERROR_KEY_DELETED));
    EXPECT_EQ(name, nullptr);
    DWORD count = 9;
    EXPECT_EQ(keys->GetCount(&count), HRESULT_FROM_WIN32(ERROR_KEY_DELETED));
    EXPECT_EQ(count, 0u);
    const DWORD number = 1;
    EXPECT_EQ(storage->SetValue(L"v", 16, 4, reinterpret_cast<const BYTE*>(&number)),
              HRESULT_FROM_WIN32(ERROR_KEY_DELETED));
}

TEST_F(StorageTest, ThreadsShareOneListing)
{
    auto storage = open(L"HKCU\\Software\\Shared");
    constexpr int k_values = 200;
    const DWORD number = 1;
    for (int index = 0; index < k_values; ++index)
        ASSERT_EQ(storage->SetValue((L"v" + std::to_wstring(index)).c_str(), 16, 4,
                                    reinterpret_cast<const BYTE*>(&number)),
                  S_OK);
    auto values = value_names(storage.get());
    std::mutex lock;
    t_names seen;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
        threads.emplace_back(
            [&]
            {
                const t_names mine = rest_of(values.get());
                const std::lock_guard<std::mutex> guard(lock);
                seen.insert(seen.end(), mine.begin(), mine.end());
            });
    for (std::thread& thread : threads)
        thread.join();
    std::sort(seen.begin(), seen.end());
    t_names expected;
    for (int index = 0; index < k_values; ++index)
        expected.push_back(L"v" + std::to_wstring(index));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected) << "every name exactly once";
}

}  // namespace
