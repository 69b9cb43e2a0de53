// The registry store's value operations: query, set and delete.
#include "registry_database.h"
#include "registry_store.h"
#include "registry_store_transaction.h"
#include "sqlite_columns.h"

namespace voka::platform::registry
{
namespace
{

void bind_fold(sqlite3_stmt* statement, int index, const t_name& name) noexcept
{
    ::sqlite3_bind_blob(statement, index, name.fold.data(), static_cast<int>(name.fold.size()),
                        SQLITE_STATIC);
}

}  // namespace

DWORD t_registry_store::query_value(t_key_id key, const t_name& name, t_value& out)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    {
        sqlite3_stmt* query = statement(select_value);
        const t_statement_use use(query);
        ::sqlite3_bind_int64(query, 1, key);
        bind_fold(query, 2, name);
        const int result = ::sqlite3_step(query);
        if (result == SQLITE_ROW)
        {
            out.type = static_cast<DWORD>(::sqlite3_column_int64(query, 0));
            out.is_utf16 = ::sqlite3_column_int(query, 1) != 0;
            out.size = static_cast<DWORD>(::sqlite3_column_int64(query, 2));
            read_blob(query, 3, out.bytes);
            return stored_size_matches(out.is_utf16, out.bytes, out.size) ? ERROR_SUCCESS
                                                                          : ERROR_BADDB;
        }
        if (result != SQLITE_DONE)
            return failure(result);
    }
    const DWORD error = key_state_error(key);
    return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
}

DWORD t_registry_store::set_value(t_key_id key, const t_name& name, DWORD type,
                                  const t_stored_data& data)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    t_write_transaction transaction(*this);
    const DWORD error = transaction.begin_error();
    if (error != ERROR_SUCCESS)
        return error;
    // An empty blob, not NULL: the column does not take NULL. Data above SQLite's size limit
    // fails here (SQLITE_TOOBIG).
    const auto bind_data = [&data](sqlite3_stmt* statement, int index)
    {
        return ::sqlite3_bind_blob64(statement, index, data.bytes.empty() ? "" : data.bytes.data(),
                                     data.bytes.size(), SQLITE_STATIC);
    };
    // A new value is added with the next creation number in one step. A value that exists
    // (the insert finds its name taken) keeps its name and its place; only type and data change.
    bool inserted = false;
    {
        sqlite3_stmt* insert = statement(insert_value);
        const t_statement_use use(insert);
        ::sqlite3_bind_int64(insert, 1, key);
        bind_fold(insert, 2, name);
        ::sqlite3_bind_text16(insert, 3, name.text.data(),
                              static_cast<int>(name.text.size() * sizeof(char16_t)), SQLITE_STATIC);
        ::sqlite3_bind_int64(insert, 4, name.length);
        ::sqlite3_bind_int64(insert, 5, type);
        ::sqlite3_bind_int(insert, 6, data.is_utf16 ? 1 : 0);
        ::sqlite3_bind_int64(insert, 7, data.size);
        int result = bind_data(insert, 8);
        if (result != SQLITE_OK)
            return failure(result);
        result = ::sqlite3_step(insert);
        if (result != SQLITE_DONE)
            return failure(result);
        inserted = ::sqlite3_changes(m_connection.get()) != 0;
    }
    if (!inserted)
    {
        sqlite3_stmt* update = statement(update_value);
        const t_statement_use use(update);
        ::sqlite3_bind_int64(update, 1, key);
        bind_fold(update, 2, name);
        ::sqlite3_bind_int64(update, 3, type);
        ::sqlite3_bind_int(update, 4, data.is_utf16 ? 1 : 0);
        ::sqlite3_bind_int64(update, 5, data.size);
        int result = bind_data(update, 6);
        if (result != SQLITE_OK)
            return failure(result);
        result = ::sqlite3_step(update);
        if (result != SQLITE_DONE)
            return failure(result);
        // Neither added nor replaced: the key is gone (the check below reports it).
    }
    {
        sqlite3_stmt* note = statement(note_value_written);
        const t_statement_use use(note);
        ::sqlite3_bind_int64(note, 1, key);
        ::sqlite3_bind_int64(note, 2, filetime_now());
        ::sqlite3_bind_int64(note, 3, name.length);
        ::sqlite3_bind_int64(note, 4, data.size);
        ::sqlite3_bind_int(note, 5, inserted ? 1 : 0);
        const int result = ::sqlite3_step(note);
        if (result != SQLITE_DONE)
            return failure(result);
        // No row changed: the key was deleted (the transaction's rollback takes back anything
        // written above).
        if (::sqlite3_changes(m_connection.get()) == 0)
            return ERROR_KEY_DELETED;
    }
    const DWORD committed = transaction.commit();
    if (committed == ERROR_SUCCESS && inserted)
        remember_value_added(key, name.fold);
    return committed;
}

DWORD t_registry_store::delete_value(t_key_id key, const t_name& name)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    t_write_transaction transaction(*this);
    DWORD error = transaction.begin_error();
    if (error != ERROR_SUCCESS)
        return error;
    {
        sqlite3_stmt* erase = statement(delete_value_row);
        const t_statement_use use(erase);
        ::sqlite3_bind_int64(erase, 1, key);
        bind_fold(erase, 2, name);
        const int result = ::sqlite3_step(erase);
        if (result != SQLITE_DONE)
            return failure(result);
        if (::sqlite3_changes(m_connection.get()) == 0)
        {
            error = key_state_error(key);
            return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
        }
    }
    {
        sqlite3_stmt* note = statement(note_value_removed);
        const t_statement_use use(note);
        ::sqlite3_bind_int64(note, 1, key);
        ::sqlite3_bind_int64(note, 2, filetime_now());
        const int result = ::sqlite3_step(note);
        if (result != SQLITE_DONE)
            return failure(result);
    }
    error = transaction.commit();
    if (error == ERROR_SUCCESS)
        remember_value_removed(key, name.fold);
    return error;
}

}  // namespace voka::platform::registry
