// The registry store's key operations: look-up, creation and deletion.
#include "registry_database.h"
#include "registry_store.h"
#include "registry_store_transaction.h"

namespace voka::platform::registry
{

DWORD t_registry_store::check_key(t_key_id key)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return key_state_error(key);
}

DWORD t_registry_store::key_state_error(t_key_id key)
{
    bool exists = false;
    bool fixed = false;
    std::int64_t sub_keys = 0;
    t_key_id parent = 0;
    const int result = read_key_state(key, exists, fixed, sub_keys, parent);
    if (result != SQLITE_OK)
        return failure(result);
    return exists ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

DWORD t_registry_store::open_key(t_key_id parent, const std::vector<t_name>& path, t_key_id& out)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return resolve_path(parent, path, out);
}

DWORD t_registry_store::create_key(t_key_id parent, const std::vector<t_name>& path,
                                   const t_name* class_name, t_key_id& out, bool& created)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    created = false;
    t_write_transaction transaction(*this);
    DWORD error = transaction.begin_error();
    if (error != ERROR_SUCCESS)
        return error;
    // A deleted parent shows below: it has no sub key to find, and the count of a sub key added
    // to it changes no row. Only an empty path needs a look of its own.
    if (path.empty())
    {
        error = key_state_error(parent);
        if (error != ERROR_SUCCESS)
            return error;
    }
    const std::int64_t now = filetime_now();
    t_key_id current = parent;
    bool created_last = false;
    for (const t_name& component : path)
    {
        bool found = false;
        int result = find_child_id(current, component, current, found);
        if (result != SQLITE_OK)
            return failure(result);
        created_last = !found;
        if (found)
            continue;
        const bool is_last = &component == &path.back();
        const t_name* key_class = is_last ? class_name : nullptr;
        {
            sqlite3_stmt* insert = statement(insert_key);
            const t_statement_use use(insert);
            ::sqlite3_bind_int64(insert, 1, current);
            ::sqlite3_bind_blob(insert, 2, component.fold.data(),
                                static_cast<int>(component.fold.size()), SQLITE_STATIC);
            ::sqlite3_bind_text16(insert, 3, component.text.data(),
                                  static_cast<int>(component.text.size() * sizeof(char16_t)),
                                  SQLITE_STATIC);
            ::sqlite3_bind_int64(insert, 4, component.length);
            if (key_class != nullptr)
                ::sqlite3_bind_text16(insert, 5, key_class->text.data(),
                                      static_cast<int>(key_class->text.size() * sizeof(char16_t)),
                                      SQLITE_STATIC);
            ::sqlite3_bind_int64(insert, 6, key_class != nullptr ? key_class->length : 0);
            ::sqlite3_bind_int64(insert, 7, now);
            result = ::sqlite3_step(insert);
            if (result != SQLITE_DONE)
                return failure(result);
            // The name was free a moment ago: a row that is not added breaks the schema.
            if (::sqlite3_changes(m_connection.get()) != 1)
                return ERROR_BADDB;
        }
        const t_key_id new_key = ::sqlite3_last_insert_rowid(m_connection.get());
        {
            sqlite3_stmt* note = statement(note_sub_key_added);
            const t_statement_use use(note);
            ::sqlite3_bind_int64(note, 1, current);
            ::sqlite3_bind_int64(note, 2, component.length);
            ::sqlite3_bind_int64(note, 3, key_class != nullptr ? key_class->length : 0);
            ::sqlite3_bind_int64(note, 4, now);
            result = ::sqlite3_step(note);
            if (result != SQLITE_DONE)
                return failure(result);
            // The parent is gone (only the first can be: the others were added just now); the
            // rollback takes the new row back.
            if (::sqlite3_changes(m_connection.get()) == 0)
                return ERROR_KEY_DELETED;
        }
        current = new_key;
    }
    error = transaction.commit();
    if (error != ERROR_SUCCESS)
        return error;
    if (created_last)
        remember_key_changed(current);
    out = current;
    created = created_last;
    return ERROR_SUCCESS;
}

DWORD t_registry_store::delete_key(t_key_id parent, const std::vector<t_name>& path)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    t_write_transaction transaction(*this);
    DWORD error = transaction.begin_error();
    if (error != ERROR_SUCCESS)
        return error;
    t_key_id key = 0;
    error = resolve_path(parent, path, key);
    if (error != ERROR_SUCCESS)
        return error;
    bool exists = false;
    bool fixed = false;
    std::int64_t sub_keys = 0;
    t_key_id key_parent = 0;
    int result = read_key_state(key, exists, fixed, sub_keys, key_parent);
    if (result != SQLITE_OK)
        return failure(result);
    if (!exists)
        return ERROR_KEY_DELETED;
    // Windows refuses to delete a key that has sub keys, and the roots of its hives.
    if (fixed || sub_keys != 0)
        return ERROR_ACCESS_DENIED;
    for (const t_statement_id id : {delete_key_values, delete_key_row})
    {
        sqlite3_stmt* erase = statement(id);
        const t_statement_use use(erase);
        ::sqlite3_bind_int64(erase, 1, key);
        result = ::sqlite3_step(erase);
        if (result != SQLITE_DONE)
            return failure(result);
    }
    {
        sqlite3_stmt* note = statement(note_sub_key_removed);
        const t_statement_use use(note);
        ::sqlite3_bind_int64(note, 1, key_parent);
        ::sqlite3_bind_int64(note, 2, filetime_now());
        result = ::sqlite3_step(note);
        if (result != SQLITE_DONE)
            return failure(result);
    }
    error = transaction.commit();
    if (error == ERROR_SUCCESS)
        remember_key_changed(key);
    return error;
}

}  // namespace voka::platform::registry
