// The root of the registry storage: the predefined keys as sub-storages, no values.
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

class RootStorage final : public t_service_object<VOKA_IRegistryStorage, IID_VOKA_IRegistryStorage>
{
public:
    // The five listed root names.
    class tagSubStorageNames final
        : public t_service_object<VOKA_IRegistryStorageNames, IID_VOKA_IRegistryStorageNames>
    {
    public:
        HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) noexcept override;
        HRESULT STDMETHODCALLTYPE Reset() noexcept override;
        HRESULT STDMETHODCALLTYPE Next(LPWSTR* name) noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNotSupported(DWORD, DWORD) noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNoOp() noexcept override;
        HRESULT STDMETHODCALLTYPE Exists(LPCWSTR name) noexcept override;
        HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) noexcept override;

    private:
        std::mutex m_lock;  // serialises Reset and Next
        DWORD m_index = 0;  // the next name, 0 to 5
    };

    // The root's values: there are none.
    class tagValueNames final
        : public t_service_object<VOKA_IRegistryStorageNames, IID_VOKA_IRegistryStorageNames>
    {
    public:
        HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) noexcept override;
        HRESULT STDMETHODCALLTYPE Reset() noexcept override;
        HRESULT STDMETHODCALLTYPE Next(LPWSTR* name) noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNotSupported(DWORD, DWORD) noexcept override;
        HRESULT STDMETHODCALLTYPE ReservedNoOp() noexcept override;
        HRESULT STDMETHODCALLTYPE Exists(LPCWSTR name) noexcept override;
        HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) noexcept override;
    };

    HRESULT STDMETHODCALLTYPE GetSubStorageNames(REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValueNames(REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE OpenSubStorage(LPCWSTR path, DWORD mode, BOOL create, REFIID iid,
                                             void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE ReservedNoOp() noexcept override;
    HRESULT STDMETHODCALLTYPE Reopen(DWORD mode, REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR name, DWORD* kind, DWORD* size,
                                       BYTE** data) noexcept override;
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR name, DWORD kind, DWORD size,
                                       const BYTE* data) noexcept override;
};

// Opens (or, with `create` and a non-empty `sub_key`, creates) `sub_key` below `parent` with the
// access of `mode`, and hands a new SubStorage over the new key to the caller, queried for `iid`.
// The mode has been checked. Registry errors come back translated.
HRESULT open_sub_storage(HKEY parent, LPCWSTR sub_key, DWORD mode, BOOL create, REFIID iid,
                         void** object) noexcept;

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
