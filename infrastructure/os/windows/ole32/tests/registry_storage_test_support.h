// Helpers for the registry storage tests: the gate loaded as a module with its service entry and
// task allocator, owners for interfaces and task-allocator strings, and listing helpers. Each
// test runs on a registry database of its own (registry_test::RegistryTest).
#pragma once

#include "registry_test_support.h"
#include "voka/infrastructure/os/windows/ole32/gate.h"
#include "voka/infrastructure/os/windows/ole32/registry_storage.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace registry_storage_test
{

namespace service = voka::infrastructure::os::voka_svcs::registry_storage;
using service::IID_VOKA_IRegistryStorage;
using service::IID_VOKA_IRegistryStorageNames;
using service::VOKA_IRegistryStorage;
using service::VOKA_IRegistryStorageNames;

// Owns one reference to an interface. Move-only.
template <typename t_interface>
class t_ref
{
public:
    t_ref() noexcept = default;
    t_ref(t_ref&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    t_ref& operator=(t_ref&& other) noexcept
    {
        reset(std::exchange(other.m_pointer, nullptr));
        return *this;
    }
    t_ref(const t_ref&) = delete;
    t_ref& operator=(const t_ref&) = delete;
    ~t_ref() { reset(); }

    t_interface* get() const noexcept { return m_pointer; }
    t_interface* operator->() const noexcept { return m_pointer; }
    void reset(t_interface* owned = nullptr) noexcept
    {
        if (t_interface* old = std::exchange(m_pointer, owned))
            old->Release();
    }
    void** put() noexcept
    {
        reset();
        return reinterpret_cast<void**>(&m_pointer);
    }

private:
    t_interface* m_pointer = nullptr;
};

// The test's base: a fresh registry, and the gate loaded as a module for the test.
class StorageTest : public registry_test::RegistryTest
{
protected:
    void SetUp() override
    {
        const std::string path(VOKA_TEST_GATE_PATH);
        m_gate = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
        ASSERT_NE(m_gate, nullptr) << GetLastError();
        m_get_service = reinterpret_cast<decltype(&VOKA_OS__CoGetVokaService)>(
            GetProcAddress(m_gate, "VOKA_OS__CoGetVokaService"));
        m_task_free = reinterpret_cast<decltype(&VOKA_OS__CoTaskMemFree)>(
            GetProcAddress(m_gate, "VOKA_OS__CoTaskMemFree"));
        ASSERT_NE(m_get_service, nullptr);
        ASSERT_NE(m_task_free, nullptr);
        ASSERT_EQ(m_get_service(service::k_registry_storage_service_id, IID_VOKA_IRegistryStorage,
                                m_root.put()),
                  S_OK);
        ASSERT_NE(m_root.get(), nullptr);
    }
    void TearDown() override
    {
        m_root.reset();
        if (m_gate != nullptr)
            FreeLibrary(m_gate);
    }

    HRESULT get_service(REFGUID service_id, REFIID iid, void** object) const
    {
        return m_get_service(service_id, iid, object);
    }
    VOKA_IRegistryStorage* root() const noexcept { return m_root.get(); }

    // Opens a storage below the root; fails the test on an error.
    t_ref<VOKA_IRegistryStorage> open(const std::wstring& path, DWORD mode = 4, BOOL create = TRUE)
    {
        t_ref<VOKA_IRegistryStorage> storage;
        EXPECT_EQ(root()->OpenSubStorage(path.c_str(), mode, create, IID_VOKA_IRegistryStorage,
                                         storage.put()),
                  S_OK)
            << "opening a storage";
        return storage;
    }

    // Takes over a task-allocator string, frees it with the gate's free entry.
    std::wstring take_string(LPWSTR text) const
    {
        std::wstring copy = text != nullptr ? std::wstring(text) : std::wstring();
        m_task_free(text);
        return copy;
    }

    // Every name of a listing from where it stands until S_FALSE.
    std::vector<std::wstring> rest_of(VOKA_IRegistryStorageNames* names) const
    {
        std::vector<std::wstring> all;
        for (;;)
        {
            LPWSTR name = reinterpret_cast<LPWSTR>(&all);
            const HRESULT result = names->Next(&name);
            if (result == S_FALSE)
            {
                EXPECT_EQ(name, nullptr);
                break;
            }
            EXPECT_EQ(result, S_OK);
            if (result != S_OK)
                break;
            all.push_back(take_string(name));
        }
        return all;
    }

    t_ref<VOKA_IRegistryStorageNames> sub_storage_names(VOKA_IRegistryStorage* storage) const
    {
        t_ref<VOKA_IRegistryStorageNames> names;
        EXPECT_EQ(storage->GetSubStorageNames(IID_VOKA_IRegistryStorageNames, names.put()), S_OK);
        return names;
    }

    t_ref<VOKA_IRegistryStorageNames> value_names(VOKA_IRegistryStorage* storage) const
    {
        t_ref<VOKA_IRegistryStorageNames> names;
        EXPECT_EQ(storage->GetValueNames(IID_VOKA_IRegistryStorageNames, names.put()), S_OK);
        return names;
    }

    // A value's kind, size and bytes through GetValue.
    struct t_read
    {
        HRESULT result = E_FAIL;
        DWORD kind = 0;
        DWORD size = 0;
        std::vector<BYTE> bytes;
    };
    t_read read(VOKA_IRegistryStorage* storage, const wchar_t* name) const
    {
        t_read value;
        BYTE* data = reinterpret_cast<BYTE*>(&value);
        value.kind = 99;
        value.size = 99;
        value.result = storage->GetValue(name, &value.kind, &value.size, &data);
        if (data != nullptr)
        {
            value.bytes.assign(data, data + value.size);
            m_task_free(data);
        }
        else if (SUCCEEDED(value.result))
        {
            EXPECT_EQ(value.size, 0u) << "data missing";
        }
        return value;
    }

private:
    HMODULE m_gate = nullptr;
    decltype(&VOKA_OS__CoGetVokaService) m_get_service = nullptr;
    decltype(&VOKA_OS__CoTaskMemFree) m_task_free = nullptr;
    t_ref<VOKA_IRegistryStorage> m_root;
};

inline std::vector<BYTE> wide_bytes(const std::wstring& text_with_zeros)
{
    std::vector<BYTE> bytes(text_with_zeros.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), text_with_zeros.data(), bytes.size());
    return bytes;
}

}  // namespace registry_storage_test
