// The registry store's listings: sub keys and values by index, and the facts about a key.
//
// Windows lists by index, and callers walk the indexes 0, 1, 2, ... For sub keys a query with an
// offset would make such a walk quadratic, so each handle keeps a cursor at the last sub key it
// listed; the next index continues after it when no sub key changed in between (see
// t_enum_cursor), and any other index falls back to the offset. Values are listed in creation
// order, which no index keeps: the store holds the sorted names of the key listed last (see
// t_registry_store::tag_value_order), so every index is one look-up.
#include "registry_store.h"
#include "sqlite_columns.h"

namespace voka::platform::registry
{
DWORD t_registry_store::enum_sub_key(t_key_id key, DWORD index, t_enum_cursor& cursor,
                                     t_sub_key_entry& out)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    const bool continues = cursor_is_fresh(cursor, index);
    sqlite3_stmt* query = statement(continues ? sub_key_after : sub_key_at);
    {
        const t_statement_use use(query);
        ::sqlite3_bind_int64(query, 1, key);
        // A copy: the cursor's name changes below while the statement still holds the binding.
        if (continues)
            ::sqlite3_bind_blob(query, 2, cursor.fold.data(), static_cast<int>(cursor.fold.size()),
                                SQLITE_TRANSIENT);
        else
            ::sqlite3_bind_int64(query, 2, index);
        const int result = ::sqlite3_step(query);
        if (result == SQLITE_ROW)
        {
            read_blob(query, 0, cursor.fold);
            read_text16(query, 1, out.name);
            out.name_length = static_cast<DWORD>(::sqlite3_column_int64(query, 2));
            read_text16(query, 3, out.class_name);
            out.class_length = static_cast<DWORD>(::sqlite3_column_int64(query, 4));
            out.last_write = ::sqlite3_column_int64(query, 5);
        }
        else if (result != SQLITE_DONE)
        {
            cursor.valid = false;
            return failure(result);
        }
        else
        {
            cursor.valid = false;
            const DWORD error = key_state_error(key);
            return error == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : error;
        }
    }
    remember_cursor(cursor, index);
    return ERROR_SUCCESS;
}

DWORD t_registry_store::load_value_order(t_key_id key)
{
    std::int64_t version = 0;
    int result = current_data_version(version);
    if (result != SQLITE_OK)
        return failure(result);
    if (m_value_order.valid && m_value_order.key == key && m_value_order.data_version == version)
        return ERROR_SUCCESS;
    m_value_order.valid = false;
    m_value_order.key = key;
    m_value_order.data_version = version;
    m_value_order.folds.clear();
    sqlite3_stmt* query = statement(value_order);
    const t_statement_use use(query);
    ::sqlite3_bind_int64(query, 1, key);
    while ((result = ::sqlite3_step(query)) == SQLITE_ROW)
    {
        m_value_order.folds.emplace_back();
        read_blob(query, 0, m_value_order.folds.back());
    }
    if (result != SQLITE_DONE)
        return failure(result);
    m_value_order.valid = true;
    return ERROR_SUCCESS;
}

DWORD t_registry_store::enum_value(t_key_id key, DWORD index, t_value_entry& out)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    // The order and the row are read in two snapshots: another connection may delete the value
    // in between. The order is then read again, a bounded number of times; a row missing twice
    // from the same version of the database is damage, not a change.
    constexpr int k_attempts = 64;
    std::int64_t version_missing_a_row = -1;
    for (int attempt = 0; attempt < k_attempts; ++attempt)
    {
        DWORD error = load_value_order(key);
        if (error != ERROR_SUCCESS)
            return error;
        if (index >= m_value_order.folds.size())
        {
            error = key_state_error(key);
            return error == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : error;
        }
        sqlite3_stmt* query = statement(select_value_entry);
        const t_statement_use use(query);
        ::sqlite3_bind_int64(query, 1, key);
        const std::string& fold = m_value_order.folds[index];
        ::sqlite3_bind_blob(query, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
        const int result = ::sqlite3_step(query);
        if (result == SQLITE_DONE)
        {
            m_value_order.valid = false;
            if (m_value_order.data_version == version_missing_a_row)
                return failure(SQLITE_CORRUPT);
            version_missing_a_row = m_value_order.data_version;
            continue;
        }
        if (result != SQLITE_ROW)
        {
            m_value_order.valid = false;
            return failure(result);
        }
        read_text16(query, 0, out.name);
        out.name_length = static_cast<DWORD>(::sqlite3_column_int64(query, 1));
        out.value.type = static_cast<DWORD>(::sqlite3_column_int64(query, 2));
        out.value.is_utf16 = ::sqlite3_column_int(query, 3) != 0;
        out.value.size = static_cast<DWORD>(::sqlite3_column_int64(query, 4));
        read_blob(query, 5, out.value.bytes);
        return stored_size_matches(out.value.is_utf16, out.value.bytes, out.value.size)
                   ? ERROR_SUCCESS
                   : ERROR_BADDB;
    }
    // The values change faster than they can be listed.
    return failure(SQLITE_BUSY);
}

DWORD t_registry_store::query_info(t_key_id key, t_key_info& out)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    sqlite3_stmt* query = statement(select_key_info);
    const t_statement_use use(query);
    ::sqlite3_bind_int64(query, 1, key);
    const int result = ::sqlite3_step(query);
    if (result == SQLITE_DONE)
        return ERROR_KEY_DELETED;
    if (result != SQLITE_ROW)
        return failure(result);
    read_text16(query, 0, out.class_name);
    out.class_length = static_cast<DWORD>(::sqlite3_column_int64(query, 1));
    out.last_write = ::sqlite3_column_int64(query, 2);
    out.sub_keys = static_cast<DWORD>(::sqlite3_column_int64(query, 3));
    out.max_sub_key_length = static_cast<DWORD>(::sqlite3_column_int64(query, 4));
    out.max_class_length = static_cast<DWORD>(::sqlite3_column_int64(query, 5));
    out.values = static_cast<DWORD>(::sqlite3_column_int64(query, 6));
    out.max_value_name_length = static_cast<DWORD>(::sqlite3_column_int64(query, 7));
    out.max_value_size = static_cast<DWORD>(::sqlite3_column_int64(query, 8));
    return ERROR_SUCCESS;
}

}  // namespace voka::platform::registry
