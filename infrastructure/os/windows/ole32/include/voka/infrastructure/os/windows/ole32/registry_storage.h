// The registry storage service's interfaces, as clients of the COM gate see them: a tree of
// storages over the registry, in which a storage is a key, a sub-storage a sub key and a value a
// registry value. Clients get the root storage from VOKA_OS__CoGetVokaService with
// k_registry_storage_service_id.
//
// Conventions of every operation: the result is an HRESULT and no exception escapes; every out
// pointer that is not null is set to null (or 0) on entry; strings handed out (names, and the data
// of GetValue) come from the COM task allocator and belong to the caller, who frees them with
// VOKA_OS__CoTaskMemFree. Registry errors e come back as HRESULT_FROM_WIN32(e).
#pragma once

#include "voka/win32.h"

namespace voka::infrastructure::os::voka_svcs::registry_storage
{

// {AC3EC6A7-7D2A-11ED-9757-80A589A03F33}: the registry storage service.
inline constexpr GUID k_registry_storage_service_id{
    0xAC3EC6A7, 0x7D2A, 0x11ED, {0x97, 0x57, 0x80, 0xA5, 0x89, 0xA0, 0x3F, 0x33}};
// {AC3EC6A6-7D2A-11ED-9757-80A589A03F33}: VOKA_IRegistryStorage.
inline constexpr IID IID_VOKA_IRegistryStorage{
    0xAC3EC6A6, 0x7D2A, 0x11ED, {0x97, 0x57, 0x80, 0xA5, 0x89, 0xA0, 0x3F, 0x33}};
// {AC3EC6A5-7D2A-11ED-9757-80A589A03F33}: VOKA_IRegistryStorageNames.
inline constexpr IID IID_VOKA_IRegistryStorageNames{
    0xAC3EC6A5, 0x7D2A, 0x11ED, {0x97, 0x57, 0x80, 0xA5, 0x89, 0xA0, 0x3F, 0x33}};

// Access modes of OpenSubStorage and Reopen, with the registry access each requests.
enum : DWORD
{
    k_access_read = 1,        // KEY_READ
    k_access_write = 2,       // KEY_WRITE
    k_access_read_write = 3,  // KEY_READ | KEY_WRITE
    k_access_all = 4,         // KEY_ALL_ACCESS
};

// Value kinds of GetValue and SetValue, with their registry types and the rules for their data
// (sizes in bytes; wide characters are wchar_t).
enum : DWORD
{
    k_kind_string = 12,         // REG_SZ: even size, at least one character, ends with 0
    k_kind_binary = 13,         // REG_BINARY: any size
    k_kind_dword = 16,          // REG_DWORD: exactly 4
    k_kind_qword = 17,          // REG_QWORD: exactly 8
    k_kind_multi_string = 20,   // REG_MULTI_SZ: even size, at least two characters, ends 0 0
    k_kind_expand_string = 21,  // REG_EXPAND_SZ: as k_kind_string
};

// A storage: the root (the predefined keys) or one open key.
// clang-format off
struct VOKA_IRegistryStorage : IUnknown
{
    // A new listing of the sub-storages (the root lists CLASSES_ROOT, CURRENT_USER,
    // LOCAL_MACHINE, USERS, CURRENT_CONFIG). E_INVALIDARG for a null `object`.
    STDMETHOD(GetSubStorageNames)(REFIID iid, void** object) PURE;
    // A new listing of the values (the root has none). E_INVALIDARG for a null `object`.
    STDMETHOD(GetValueNames)(REFIID iid, void** object) PURE;
    // Opens, or with `create` non-zero creates, a sub-storage with access `mode` (1 to 4). On the
    // root, `path` starts with a root name (HKLM, HKEY_LOCAL_MACHINE, LOCAL_MACHINE, ...; ASCII
    // case ignored) and may go on after a backslash; elsewhere it is a sub key path. An empty path
    // opens the storage's own key again. E_INVALIDARG for a null path or object or a bad mode;
    // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for an unknown root name.
    STDMETHOD(OpenSubStorage)(LPCWSTR path, DWORD mode, BOOL create, REFIID iid,
                              void** object) PURE;
    // Does nothing: S_OK.
    STDMETHOD(ReservedNoOp)() PURE;
    // The same storage opened again with access `mode`. The root answers mode 1 only (itself)
    // and gives E_FAIL for the others.
    STDMETHOD(Reopen)(DWORD mode, REFIID iid, void** object) PURE;
    // A value's kind, size in bytes and (when `data` is not null) a copy of its bytes. E_FAIL for
    // string data that breaks its kind's rules, E_UNEXPECTED for a DWORD or QWORD of the wrong
    // size, CO_E_NOT_SUPPORTED for a registry type without a kind; the root has no values
    // (CO_E_NOT_SUPPORTED).
    STDMETHOD(GetValue)(LPCWSTR name, DWORD* kind, DWORD* size, BYTE** data) PURE;
    // Creates or replaces a value. E_INVALIDARG for a null name, null data with a non-zero size,
    // or data that breaks its kind's rules; CO_E_NOT_SUPPORTED for an unknown kind and on the root.
    STDMETHOD(SetValue)(LPCWSTR name, DWORD kind, DWORD size, const BYTE* data) PURE;
};

// A listing of the names of a storage's sub-storages or values: a cursor that asks the registry
// again at every step.
struct VOKA_IRegistryStorageNames : IUnknown
{
    // The number of items now.
    STDMETHOD(GetCount)(DWORD* count) PURE;
    // Starts the listing again from the first item.
    STDMETHOD(Reset)() PURE;
    // S_OK with the next name, S_FALSE (and null) when there are no more.
    STDMETHOD(Next)(LPWSTR* name) PURE;
    // CO_E_NOT_SUPPORTED; the arguments are not read.
    STDMETHOD(ReservedNotSupported)(DWORD first, DWORD second) PURE;
    // Does nothing: S_OK.
    STDMETHOD(ReservedNoOp)() PURE;
    // S_OK if an item of that name exists, S_FALSE if not. E_INVALIDARG for a null name.
    STDMETHOD(Exists)(LPCWSTR name) PURE;
    // Deletes the item: a sub key with all its descendants, or a value. E_INVALIDARG for a null
    // name; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for an empty sub key name or one with a
    // backslash; CO_E_NOT_SUPPORTED on the root's listings.
    STDMETHOD(Delete)(LPCWSTR name) PURE;
};
// clang-format on

}  // namespace voka::infrastructure::os::voka_svcs::registry_storage
