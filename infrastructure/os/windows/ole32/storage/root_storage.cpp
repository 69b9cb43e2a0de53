// The root storage and its two listings.
#include "root_storage.h"

#include "sub_storage.h"

#include <cwchar>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

using voka::lib::com::base::CreateObject;
using voka::lib::com::base::HResultFromCurrentException;
using voka::lib::com::base::QueryNewObject;

HRESULT open_sub_storage(HKEY parent, LPCWSTR sub_key, DWORD mode, BOOL create, REFIID iid,
                         void** object) noexcept
{
    REGSAM access = 0;
    access_of_mode(mode, access);
    t_key_owner key;
    const LONG error =
        sub_key[0] != L'\0' && create != 0
            ? RegCreateKeyExW(parent, sub_key, 0, nullptr, 0, access, nullptr, key.put(), nullptr)
            : RegOpenKeyExW(parent, sub_key, 0, access, key.put());
    if (error != ERROR_SUCCESS)
        return hresult_from_registry(error);
    SubStorage* storage = nullptr;
    try
    {
        storage = new SubStorage(true, key.get(), mode);
    }
    catch (...)
    {
        return HResultFromCurrentException();  // the owner closes the key
    }
    key.release();  // the storage owns it now
    return QueryNewObject(storage, iid, object);
}

// ---- RootStorage ----

HRESULT RootStorage::GetSubStorageNames(REFIID iid, void** object) noexcept
{
    if (object == nullptr)
        return E_INVALIDARG;
    return CreateObject<tagSubStorageNames>(iid, object);
}

HRESULT RootStorage::GetValueNames(REFIID iid, void** object) noexcept
{
    if (object == nullptr)
        return E_INVALIDARG;
    return CreateObject<tagValueNames>(iid, object);
}

HRESULT RootStorage::OpenSubStorage(LPCWSTR path, DWORD mode, BOOL create, REFIID iid,
                                    void** object) noexcept
{
    if (object != nullptr)
        *object = nullptr;
    REGSAM access = 0;
    if (path == nullptr || object == nullptr || !access_of_mode(mode, access))
        return E_INVALIDARG;
    const wchar_t* const separator = std::wcschr(path, L'\\');
    const std::size_t root_length =
        separator != nullptr ? static_cast<std::size_t>(separator - path) : std::wcslen(path);
    const HKEY root = root_key_of_name(path, root_length);
    if (root == nullptr)
        return hresult_from_registry(ERROR_PATH_NOT_FOUND);
    const wchar_t* const sub_key = separator != nullptr ? separator + 1 : L"";
    return open_sub_storage(root, sub_key, mode, create, iid, object);
}

HRESULT RootStorage::ReservedNoOp() noexcept
{
    return S_OK;
}

HRESULT RootStorage::Reopen(DWORD mode, REFIID iid, void** object) noexcept
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    if (mode != 1)
        return E_FAIL;
    return ControllingUnknown()->QueryInterface(iid, object);
}

HRESULT RootStorage::GetValue(LPCWSTR, DWORD* kind, DWORD* size, BYTE** data) noexcept
{
    if (kind != nullptr)
        *kind = 0;
    if (size != nullptr)
        *size = 0;
    if (data != nullptr)
        *data = nullptr;
    return CO_E_NOT_SUPPORTED;
}

HRESULT RootStorage::SetValue(LPCWSTR, DWORD, DWORD, const BYTE*) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

// ---- RootStorage::tagSubStorageNames ----

HRESULT RootStorage::tagSubStorageNames::GetCount(DWORD* count) noexcept
{
    if (count == nullptr)
        return E_INVALIDARG;
    *count = k_listed_root_name_count;
    return S_OK;
}

HRESULT RootStorage::tagSubStorageNames::Reset() noexcept
{
    try
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_index = 0;
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT RootStorage::tagSubStorageNames::Next(LPWSTR* name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    *name = nullptr;
    try
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_index >= k_listed_root_name_count)
            return S_FALSE;
        const wchar_t* const root = k_root_names[m_index];
        *name = task_string_copy(root, std::wcslen(root));
        ++m_index;
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT RootStorage::tagSubStorageNames::ReservedNotSupported(DWORD, DWORD) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

HRESULT RootStorage::tagSubStorageNames::ReservedNoOp() noexcept
{
    return S_OK;
}

HRESULT RootStorage::tagSubStorageNames::Exists(LPCWSTR name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    return root_key_of_name(name, std::wcslen(name)) != nullptr ? S_OK : S_FALSE;
}

HRESULT RootStorage::tagSubStorageNames::Delete(LPCWSTR) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

// ---- RootStorage::tagValueNames ----

HRESULT RootStorage::tagValueNames::GetCount(DWORD* count) noexcept
{
    if (count == nullptr)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT RootStorage::tagValueNames::Reset() noexcept
{
    return S_OK;
}

HRESULT RootStorage::tagValueNames::Next(LPWSTR* name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    *name = nullptr;
    return S_FALSE;
}

HRESULT RootStorage::tagValueNames::ReservedNotSupported(DWORD, DWORD) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

HRESULT RootStorage::tagValueNames::ReservedNoOp() noexcept
{
    return S_OK;
}

HRESULT RootStorage::tagValueNames::Exists(LPCWSTR name) noexcept
{
    return name == nullptr ? E_INVALIDARG : S_FALSE;
}

HRESULT RootStorage::tagValueNames::Delete(LPCWSTR) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
