// Opening, creating, closing and deleting registry keys: RegOpenKeyExW, RegCreateKeyExW,
// RegCloseKey and RegDeleteKeyW.
#include "registry_call.h"

#include <cstdint>

using namespace voka::platform::registry;

namespace
{

// Windows skips one leading backslash of a path below HKEY_CLASSES_ROOT (only there).
LPCWSTR skip_classes_root_backslash(HKEY key, LPCWSTR sub_key) noexcept
{
    const auto low = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    if (low == 0x80000000u && sub_key != nullptr && sub_key[0] == L'\\')
        return sub_key + 1;
    return sub_key;
}

// A new handle to `id` in the store of `parent`, with the rights `desired`.
HKEY new_key_handle(const t_key_ref& parent, t_key_id id, REGSAM desired)
{
    auto object = std::make_shared<t_key_object>();
    object->store = parent.store;
    object->id = id;
    object->access = effective_access(desired);
    return insert_key_handle(std::move(object));
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM desired, PHKEY result)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (result == nullptr)
                return ERROR_INVALID_PARAMETER;
            *result = nullptr;
            // Symbolic links do not exist here, so REG_OPTION_OPEN_LINK has no use.
            if (options != 0)
                return ERROR_INVALID_PARAMETER;
            // Windows gives a predefined key itself back for an empty path.
            if ((sub_key == nullptr || sub_key[0] == L'\0') && is_predefined_key(key))
            {
                *result = key;
                return ERROR_SUCCESS;
            }
            sub_key = skip_classes_root_backslash(key, sub_key);
            t_key_ref parent;
            DWORD error = resolve_key(key, parent);
            if (error != ERROR_SUCCESS)
                return error;
            std::vector<t_name> path;
            error = parse_key_path(sub_key, false, path);
            if (error != ERROR_SUCCESS)
                return error;
            t_key_id id = 0;
            error = parent.store->open_key(parent.id, path, id);
            if (error != ERROR_SUCCESS)
                return error;
            *result = new_key_handle(parent, id, desired);
            return ERROR_SUCCESS;
        });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD /*reserved*/, LPWSTR class_name,
                               DWORD options, REGSAM desired,
                               LPSECURITY_ATTRIBUTES security_attributes, PHKEY result,
                               LPDWORD disposition)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            // Windows reports a missing result pointer of this function as a bad key.
            if (result == nullptr)
                return ERROR_BADKEY;
            *result = nullptr;
            // Only non-volatile keys exist here; there are no links and no backup semantics.
            if (options != REG_OPTION_NON_VOLATILE)
                return ERROR_INVALID_PARAMETER;
            // Keys have no security descriptors here: one cannot be applied.
            if (security_attributes != nullptr &&
                security_attributes->lpSecurityDescriptor != nullptr)
                return ERROR_INVALID_PARAMETER;
            sub_key = skip_classes_root_backslash(key, sub_key);
            t_key_ref parent;
            DWORD error = resolve_key(key, parent);
            if (error != ERROR_SUCCESS)
                return error;
            std::vector<t_name> path;
            error = parse_key_path(sub_key, true, path);
            if (error != ERROR_SUCCESS)
                return error;
            t_name key_class;
            if (class_name != nullptr && make_name(class_name, std::wstring_view(class_name).size(),
                                                   key_class) != t_name_result::ok)
                return ERROR_INVALID_PARAMETER;
            t_key_id id = 0;
            bool created = false;
            error = parent.store->create_key(
                parent.id, path, class_name != nullptr ? &key_class : nullptr, id, created);
            if (error != ERROR_SUCCESS)
                return error;
            *result = new_key_handle(parent, id, desired);
            if (disposition != nullptr)
                *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        });
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    // Closing a predefined key is allowed and changes nothing, as on Windows.
    if (is_predefined_key(key))
        return ERROR_SUCCESS;
    return erase_key_handle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (sub_key == nullptr)
                return ERROR_INVALID_PARAMETER;
            sub_key = skip_classes_root_backslash(key, sub_key);
            t_key_ref parent;
            DWORD error = resolve_key(key, parent);
            if (error != ERROR_SUCCESS)
                return error;
            std::vector<t_name> path;
            error = parse_key_path(sub_key, false, path);
            if (error != ERROR_SUCCESS)
                return error;
            return parent.store->delete_key(parent.id, path);
        });
}
