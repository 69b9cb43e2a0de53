// The writing transaction of the registry store's changing operations.
#pragma once

#include "registry_store.h"

namespace voka::platform::registry
{

// One writing transaction on the store's connection: begins at construction (waiting up to the
// busy time-out for other writers), and rolls back at destruction unless commit() succeeded, so
// a failure or an exception on any path leaves the database unchanged. Used with the store's
// lock held; not copyable.
class t_registry_store::t_write_transaction
{
public:
    explicit t_write_transaction(t_registry_store& store) noexcept : m_store(store)
    {
        sqlite3_stmt* begin = m_store.statement(begin_write);
        const t_statement_use use(begin);
        m_begin_result = ::sqlite3_step(begin);
        m_open = m_begin_result == SQLITE_DONE;
    }
    t_write_transaction(const t_write_transaction&) = delete;
    t_write_transaction& operator=(const t_write_transaction&) = delete;
    ~t_write_transaction()
    {
        if (m_open)
        {
            sqlite3_stmt* rollback_statement = m_store.statement(rollback);
            const t_statement_use use(rollback_statement);
            ::sqlite3_step(rollback_statement);
        }
    }

    // ERROR_SUCCESS when the transaction began, else the Win32 error of the failure.
    DWORD begin_error() const noexcept
    {
        return m_open ? ERROR_SUCCESS : m_store.failure(m_begin_result);
    }

    // Commits; ERROR_SUCCESS or the Win32 error (the transaction is then rolled back).
    DWORD commit() noexcept
    {
        sqlite3_stmt* commit_statement = m_store.statement(t_registry_store::commit);
        const t_statement_use use(commit_statement);
        const int result = ::sqlite3_step(commit_statement);
        if (result != SQLITE_DONE)
            return m_store.failure(result);
        m_open = false;
        return ERROR_SUCCESS;
    }

private:
    t_registry_store& m_store;
    int m_begin_result = SQLITE_OK;
    bool m_open = false;
};

}  // namespace voka::platform::registry
