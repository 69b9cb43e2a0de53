// A storage over one open registry key: its sub keys are sub-storages, its values the values.
#pragma once

#include "storage_support.h"
#include "voka/infrastructure/os/windows/ole32/registry_storage.h"

#include <mutex>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

namespace registry_storage = voka::infrastructure::os::voka_svcs::registry_storage;
using registry_storage::IID_VOKA_IRegistryStorage;
using registry_storage::IID_VOKA_IRegistryStorageNames;
using registry_storage::VOKA_IRegistryStorage;
using registry_storage::VOKA_IRegistryStorageNames;

class SubStorage final : public t_service_object<VOKA_IRegistryStorage, IID_VOKA_IRegistryStorage>
{
public:
    // The listings of the key's sub keys and values: a cursor over the key in its state at each
    // call, holding a counted reference to the storage.
    class tagNamesBase
        : public t_service_object<VOKA_IRegistryStorageNames, IID_VOKA_IRegistryStorageNames>
    {
    public:
        HRESULT STDMETHODCALLTYPE Reset() noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNotSupported(DWORD, DWORD) noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNoOp() noexcept override;

    protected:
        explicit tagNamesBase(SubStorage& storage) noexcept;
        ~tagNamesBase() override;

        HKEY Key() const noexcept { return m_storage.m_key; }
        // Next over sub keys (`sub_keys` true) or values, under the lock.
        HRESULT NextName(bool sub_keys, LPWSTR* name);

    private:
        SubStorage& m_storage;
        IUnknown* const m_storage_reference;  // counted: keeps the storage alive
        std::mutex m_lock;                    // serialises Reset and Next
        DWORD m_index = 0;                    // the next item
        bool m_end = false;                   // set when the listing has reached its end
    };

    class tagSubStorageNames final : public tagNamesBase
    {
    public:
        explicit tagSubStorageNames(SubStorage& storage) noexcept : tagNamesBase(storage) {}
        HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) noexcept override;
        HRESULT STDMETHODCALLTYPE Next(LPWSTR* name) noexcept override;
        HRESULT STDMETHODCALLTYPE Exists(LPCWSTR name) noexcept override;
        HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) noexcept override;
    };

    class tagValueNames final : public tagNamesBase
    {
    public:
        explicit tagValueNames(SubStorage& storage) noexcept : tagNamesBase(storage) {}
        HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) noexcept override;
        HRESULT STDMETHODCALLTYPE Next(LPWSTR* name) noexcept override;
        HRESULT STDMETHODCALLTYPE Exists(LPCWSTR name) noexcept override;
        HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) noexcept override;
    };

    // Takes over `key`, opened with access `mode`; closes it at destruction when `owns_key`.
    SubStorage(bool owns_key, HKEY key, DWORD mode) noexcept
        : m_owns_key(owns_key), m_key(key), m_mode(mode)
    {
    }
    ~SubStorage() override;

    // The access mode the storage was opened with.
    DWORD Mode() const noexcept { return m_mode; }

    HRESULT STDMETHODCALLTYPE GetSubStorageNames(REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValueNames(REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE OpenSubStorage(LPCWSTR name, DWORD mode, BOOL create, REFIID iid,
                                             void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE ReservedNoOp() noexcept override;
    HRESULT STDMETHODCALLTYPE Reopen(DWORD mode, REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR name, DWORD* kind, DWORD* size,
                                       BYTE** data) noexcept override;
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR name, DWORD kind, DWORD size,
                                       const BYTE* data) noexcept override;

private:
    const bool m_owns_key;
    const HKEY m_key;
    const DWORD m_mode;
};

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
