// The listings of a storage's sub keys and values: counting, stepping, testing and deleting.
#include "key_tree.h"
#include "sub_storage.h"

#include <cwchar>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

using voka::lib::com::base::HResultFromCurrentException;

namespace
{

// The number of sub keys or values and the longest of their names.
LONG count_items(HKEY key, bool sub_keys, DWORD& count, DWORD& longest) noexcept
{
    return sub_keys ? RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr)
                    : RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &count, &longest, nullptr, nullptr, nullptr);
}

bool is_plain_key_name(LPCWSTR name) noexcept
{
    return name[0] != L'\0' && std::wcschr(name, L'\\') == nullptr;
}

}  // namespace

// ---- the shared part ----

SubStorage::tagNamesBase::tagNamesBase(SubStorage& storage) noexcept
    : m_storage(storage), m_storage_reference(storage.ControllingUnknown())
{
    m_storage_reference->AddRef();
}

SubStorage::tagNamesBase::~tagNamesBase()
{
    m_storage_reference->Release();
}

HRESULT SubStorage::tagNamesBase::Reset() noexcept
{
    try
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_index = 0;
        m_end = false;
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT SubStorage::tagNamesBase::ReservedNotSupported(DWORD, DWORD) noexcept
{
    return CO_E_NOT_SUPPORTED;
}

HRESULT SubStorage::tagNamesBase::ReservedNoOp() noexcept
{
    return S_OK;
}

HRESULT SubStorage::tagNamesBase::NextName(bool sub_keys, LPWSTR* name)
{
    if (name == nullptr)
        return E_INVALIDARG;
    *name = nullptr;
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_end)
        return S_FALSE;
    // The key may change between the size query and the listing: a name that has grown in
    // between gives ERROR_MORE_DATA, and the step is tried again, three times at most.
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        DWORD count = 0;
        DWORD longest = 0;
        LONG error = count_items(Key(), sub_keys, count, longest);
        if (error != ERROR_SUCCESS)
            return hresult_from_registry(error);
        if (m_index >= count)
        {
            m_end = true;
            return S_FALSE;
        }
        if (longest == 0xFFFFFFFFu)
            return E_FAIL;
        t_task_block block;
        block.allocate((static_cast<std::size_t>(longest) + 1) * sizeof(wchar_t));
        DWORD length = longest + 1;
        error = sub_keys ? RegEnumKeyExW(Key(), m_index, block.as<wchar_t>(), &length, nullptr,
                                         nullptr, nullptr, nullptr)
                         : RegEnumValueW(Key(), m_index, block.as<wchar_t>(), &length, nullptr,
                                         nullptr, nullptr, nullptr);
        if (error == ERROR_SUCCESS)
        {
            block.as<wchar_t>()[length] = L'\0';
            *name = static_cast<LPWSTR>(block.release());
            ++m_index;
            return S_OK;
        }
        if (error == ERROR_NO_MORE_ITEMS)
        {
            m_end = true;
            return S_FALSE;
        }
        if (error != ERROR_MORE_DATA)
            return hresult_from_registry(error);
    }
    return E_UNEXPECTED;
}

// ---- sub keys ----

HRESULT SubStorage::tagSubStorageNames::GetCount(DWORD* count) noexcept
{
    if (count == nullptr)
        return E_INVALIDARG;
    *count = 0;
    DWORD longest = 0;
    return hresult_from_registry(count_items(Key(), true, *count, longest));
}

HRESULT SubStorage::tagSubStorageNames::Next(LPWSTR* name) noexcept
{
    try
    {
        return NextName(true, name);
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT SubStorage::tagSubStorageNames::Exists(LPCWSTR name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    if (!is_plain_key_name(name))
        return S_FALSE;
    t_key_owner key;
    const LONG error = RegOpenKeyExW(Key(), name, 0, KEY_READ, key.put());
    if (error == ERROR_SUCCESS)
        return S_OK;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return S_FALSE;
    return hresult_from_registry(error);
}

HRESULT SubStorage::tagSubStorageNames::Delete(LPCWSTR name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    if (!is_plain_key_name(name))
        return hresult_from_registry(ERROR_FILE_NOT_FOUND);
    try
    {
        return hresult_from_registry(delete_key_tree(Key(), name));
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

// ---- values ----

HRESULT SubStorage::tagValueNames::GetCount(DWORD* count) noexcept
{
    if (count == nullptr)
        return E_INVALIDARG;
    *count = 0;
    DWORD longest = 0;
    return hresult_from_registry(count_items(Key(), false, *count, longest));
}

HRESULT SubStorage::tagValueNames::Next(LPWSTR* name) noexcept
{
    try
    {
        return NextName(false, name);
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT SubStorage::tagValueNames::Exists(LPCWSTR name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LONG error = RegQueryValueExW(Key(), name, nullptr, &type, nullptr, &size);
    if (error == ERROR_SUCCESS)
        return S_OK;
    if (error == ERROR_FILE_NOT_FOUND)
        return S_FALSE;
    return hresult_from_registry(error);
}

HRESULT SubStorage::tagValueNames::Delete(LPCWSTR name) noexcept
{
    if (name == nullptr)
        return E_INVALIDARG;
    return hresult_from_registry(RegDeleteValueW(Key(), name));
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
