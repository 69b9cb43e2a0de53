// The storage over one open key: opening, reopening, reading and writing values.
#include "sub_storage.h"

#include "root_storage.h"
#include "value_rules.h"

#include <cstring>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

using voka::lib::com::base::HResultFromCurrentException;
using voka::lib::com::base::QueryNewObject;

namespace
{

// Values up to this size are read in one registry query; larger ones take two.
constexpr DWORD k_small_value_bytes = 512;

// Makes a listing of `storage` and hands it out, queried for `iid`.
template <typename TNames>
HRESULT create_names(SubStorage& storage, REFIID iid, void** object) noexcept
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    TNames* names = nullptr;
    try
    {
        names = new TNames(storage);
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
    return QueryNewObject(names, iid, object);
}

}  // namespace

SubStorage::~SubStorage()
{
    if (m_owns_key)
        RegCloseKey(m_key);
}

HRESULT SubStorage::GetSubStorageNames(REFIID iid, void** object) noexcept
{
    return create_names<tagSubStorageNames>(*this, iid, object);
}

HRESULT SubStorage::GetValueNames(REFIID iid, void** object) noexcept
{
    return create_names<tagValueNames>(*this, iid, object);
}

HRESULT SubStorage::OpenSubStorage(LPCWSTR name, DWORD mode, BOOL create, REFIID iid,
                                   void** object) noexcept
{
    if (object != nullptr)
        *object = nullptr;
    REGSAM access = 0;
    if (name == nullptr || object == nullptr || !access_of_mode(mode, access))
        return E_INVALIDARG;
    return open_sub_storage(m_key, name, mode, create, iid, object);
}

HRESULT SubStorage::ReservedNoOp() noexcept
{
    return S_OK;
}

HRESULT SubStorage::Reopen(DWORD mode, REFIID iid, void** object) noexcept
{
    if (object != nullptr)
        *object = nullptr;
    REGSAM access = 0;
    if (object == nullptr || !access_of_mode(mode, access))
        return E_INVALIDARG;
    return open_sub_storage(m_key, L"", mode, FALSE, iid, object);
}

HRESULT SubStorage::GetValue(LPCWSTR name, DWORD* kind, DWORD* size, BYTE** data) noexcept
{
    if (kind != nullptr)
        *kind = 0;
    if (size != nullptr)
        *size = 0;
    if (data != nullptr)
        *data = nullptr;
    if (name == nullptr)
        return E_INVALIDARG;
    try
    {
        // One query into a buffer on the stack gives type, size and, when they fit, the bytes,
        // which then go to a block of their size. Else, or when the caller wants no bytes, the
        // first query gave the size, and up to two more read into a block of the size last
        // reported (the value may grow in between): three attempts in all.
        BYTE small_data[k_small_value_bytes];
        BYTE* const first_buffer = data != nullptr ? small_data : nullptr;
        DWORD type = REG_NONE;
        DWORD value_size = data != nullptr ? sizeof(small_data) : 0;
        LONG error = RegQueryValueExW(m_key, name, nullptr, &type, first_buffer, &value_size);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
            return hresult_from_registry(error);
        t_task_block block;
        if (data != nullptr && value_size != 0)
        {
            bool fetched = error == ERROR_SUCCESS;
            if (fetched)
            {
                block.allocate(value_size);
                std::memcpy(block.get(), small_data, value_size);
            }
            for (int attempt = 2; attempt <= 3 && !fetched; ++attempt)
            {
                block.allocate(value_size);
                DWORD fetched_size = value_size;
                error = RegQueryValueExW(m_key, name, nullptr, &type, block.get(), &fetched_size);
                if (error == ERROR_MORE_DATA)
                {
                    block.reset();
                    value_size = fetched_size;
                    continue;
                }
                if (error != ERROR_SUCCESS)
                    return hresult_from_registry(error);
                value_size = fetched_size;
                fetched = true;
            }
            if (!fetched)
                return E_UNEXPECTED;
        }
        DWORD value_kind = 0;
        if (!kind_of_registry_type(type, value_kind))
            return CO_E_NOT_SUPPORTED;
        if (!string_data_fits(type, value_size, block.get()))
            return E_FAIL;
        if ((type == REG_DWORD && value_size != 4) || (type == REG_QWORD && value_size != 8))
            return E_UNEXPECTED;
        if (kind != nullptr)
            *kind = value_kind;
        if (size != nullptr)
            *size = value_size;
        if (data != nullptr)
            *data = static_cast<BYTE*>(block.release());
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
}

HRESULT SubStorage::SetValue(LPCWSTR name, DWORD kind, DWORD size, const BYTE* data) noexcept
{
    if (name == nullptr || (size != 0 && data == nullptr))
        return E_INVALIDARG;
    DWORD type = REG_NONE;
    if (!registry_type_of_kind(kind, type))
        return CO_E_NOT_SUPPORTED;
    if (!data_fits_type(type, size, data))
        return E_INVALIDARG;
    return hresult_from_registry(RegSetValueExW(m_key, name, 0, type, data, size));
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
