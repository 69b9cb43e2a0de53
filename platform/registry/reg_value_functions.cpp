// Reading, writing and deleting registry values: RegQueryValueExW, RegSetValueExW and
// RegDeleteValueW.
#include "registry_call.h"

using namespace voka::platform::registry;

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD data_size)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (reserved != nullptr || (data != nullptr && data_size == nullptr))
                return ERROR_INVALID_PARAMETER;
            t_key_ref ref;
            DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_QUERY_VALUE) == 0)
                return ERROR_ACCESS_DENIED;
            t_name name;
            t_value value;
            // A name that cannot be stored cannot be found either.
            error = parse_value_name(value_name, name) == t_name_result::ok
                        ? ref.store->query_value(ref.id, name, value)
                    : ref.store->check_key(ref.id) == ERROR_KEY_DELETED ? ERROR_KEY_DELETED
                                                                        : ERROR_FILE_NOT_FOUND;
            if (error != ERROR_SUCCESS)
            {
                // Windows reports no data for a missing value when only the size was asked for.
                if (error == ERROR_FILE_NOT_FOUND && data == nullptr && data_size != nullptr)
                    *data_size = 0;
                return error;
            }
            if (type != nullptr)
                *type = value.type;
            if (data_size == nullptr)
                return ERROR_SUCCESS;
            if (data != nullptr)
            {
                if (*data_size < value.size)
                {
                    *data_size = value.size;
                    return ERROR_MORE_DATA;
                }
                load_value_data(value.is_utf16, value.bytes.data(), value.bytes.size(), data);
            }
            *data_size = value.size;
            return ERROR_SUCCESS;
        });
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD /*reserved*/, DWORD type,
                              const BYTE* data, DWORD size)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            // Windows faults on reading the missing data and reports it so.
            if (data == nullptr && size != 0)
                return ERROR_NOACCESS;
            t_key_ref ref;
            const DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_SET_VALUE) == 0)
                return ERROR_ACCESS_DENIED;
            t_name name;
            if (parse_value_name(value_name, name) != t_name_result::ok)
                return ERROR_INVALID_PARAMETER;
            t_stored_data stored;
            store_value_data(type, data, size, stored);
            return ref.store->set_value(ref.id, name, type, stored);
        });
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            t_key_ref ref;
            const DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_SET_VALUE) == 0)
                return ERROR_ACCESS_DENIED;
            t_name name;
            if (parse_value_name(value_name, name) != t_name_result::ok)
                return ref.store->check_key(ref.id) == ERROR_KEY_DELETED ? ERROR_KEY_DELETED
                                                                         : ERROR_FILE_NOT_FOUND;
            return ref.store->delete_value(ref.id, name);
        });
}
