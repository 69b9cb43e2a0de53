// Listing sub keys and values and describing a key: RegEnumKeyExW, RegEnumValueW and
// RegQueryInfoKeyW.
#include "registry_call.h"

using namespace voka::platform::registry;

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size,
                             LPDWORD reserved, LPWSTR class_name, LPDWORD class_size,
                             FILETIME* last_write_time)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (name == nullptr || name_size == nullptr || reserved != nullptr ||
                (class_name != nullptr && class_size == nullptr))
                return ERROR_INVALID_PARAMETER;
            t_key_ref ref;
            DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_ENUMERATE_SUB_KEYS) == 0)
                return ERROR_ACCESS_DENIED;
            t_sub_key_entry entry;
            error = ref.store->enum_sub_key(ref.id, index, *ref.sub_key_cursor, entry);
            if (error != ERROR_SUCCESS)
                return error;
            // Both must fit before anything is written; the sizes stay as they were otherwise.
            if (*name_size <= entry.name_length ||
                (class_name != nullptr && *class_size <= entry.class_length))
                return ERROR_MORE_DATA;
            copy_name(entry.name, name, *name_size);
            *name_size = entry.name_length;
            if (class_name != nullptr)
                copy_name(entry.class_name, class_name, *class_size);
            if (class_size != nullptr)
                *class_size = entry.class_length;
            if (last_write_time != nullptr)
                *last_write_time = filetime_from(entry.last_write);
            return ERROR_SUCCESS;
        });
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR value_name, LPDWORD name_size,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (value_name == nullptr || name_size == nullptr || reserved != nullptr ||
                (data != nullptr && data_size == nullptr))
                return ERROR_INVALID_PARAMETER;
            t_key_ref ref;
            DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_QUERY_VALUE) == 0)
                return ERROR_ACCESS_DENIED;
            t_value_entry entry;
            error = ref.store->enum_value(ref.id, index, entry);
            if (error != ERROR_SUCCESS)
                return error;
            // As on Windows: the type and the data's size are reported whatever does not fit; a
            // name that does not fit leaves name and data alone, data that does not fit only
            // itself.
            if (type != nullptr)
                *type = entry.value.type;
            const bool name_fits = *name_size > entry.name_length;
            const bool data_fits = data == nullptr || *data_size >= entry.value.size;
            if (name_fits)
            {
                copy_name(entry.name, value_name, *name_size);
                *name_size = entry.name_length;
            }
            if (name_fits && data != nullptr && data_fits)
                load_value_data(entry.value.is_utf16, entry.value.bytes.data(),
                                entry.value.bytes.size(), data);
            if (data_size != nullptr)
                *data_size = entry.value.size;
            return name_fits && data_fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
        });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_size, LPDWORD reserved,
                                LPDWORD sub_keys, LPDWORD max_sub_key_length,
                                LPDWORD max_class_length, LPDWORD values,
                                LPDWORD max_value_name_length, LPDWORD max_value_size,
                                LPDWORD security_descriptor_size, FILETIME* last_write_time)
{
    return run_registry_call(
        [&]() -> DWORD
        {
            if (reserved != nullptr || (class_name != nullptr && class_size == nullptr))
                return ERROR_INVALID_PARAMETER;
            t_key_ref ref;
            DWORD error = resolve_key(key, ref);
            if (error != ERROR_SUCCESS)
                return error;
            if ((ref.access & KEY_QUERY_VALUE) == 0)
                return ERROR_ACCESS_DENIED;
            t_key_info info;
            error = ref.store->query_info(ref.id, info);
            if (error != ERROR_SUCCESS)
                return error;
            if (class_name != nullptr)
            {
                // Windows accepts a class buffer of size 0 and reports a length of 0.
                if (*class_size == 0)
                {
                    info.class_length = 0;
                }
                else if (*class_size <= info.class_length)
                {
                    *class_size = info.class_length;
                    return ERROR_MORE_DATA;
                }
                else
                {
                    copy_name(info.class_name, class_name, *class_size);
                }
            }
            if (class_size != nullptr)
                *class_size = info.class_length;
            if (sub_keys != nullptr)
                *sub_keys = info.sub_keys;
            if (max_sub_key_length != nullptr)
                *max_sub_key_length = info.max_sub_key_length;
            if (max_class_length != nullptr)
                *max_class_length = info.max_class_length;
            if (values != nullptr)
                *values = info.values;
            if (max_value_name_length != nullptr)
                *max_value_name_length = info.max_value_name_length;
            if (max_value_size != nullptr)
                *max_value_size = info.max_value_size;
            if (security_descriptor_size != nullptr)
                *security_descriptor_size = 0;
            if (last_write_time != nullptr)
                *last_write_time = filetime_from(info.last_write);
            return ERROR_SUCCESS;
        });
}
