// Owners of SQLite connections and statements, and a guard that leaves a cached statement reset.
#pragma once

#include <memory>
#include <sqlite3.h>

namespace voka::platform::registry
{

struct t_sqlite_close
{
    void operator()(sqlite3* connection) const noexcept { ::sqlite3_close_v2(connection); }
};

struct t_sqlite_finalize
{
    void operator()(sqlite3_stmt* statement) const noexcept { ::sqlite3_finalize(statement); }
};

// Closes the connection when it goes; its statements must go first.
using t_sqlite_connection = std::unique_ptr<sqlite3, t_sqlite_close>;
// Finalizes the statement when it goes.
using t_sqlite_statement = std::unique_ptr<sqlite3_stmt, t_sqlite_finalize>;

// One use of a prepared statement: resets it and clears its bindings at the end of the scope, so
// that a cached statement never keeps a read transaction open or a stale binding. Not copyable.
class t_statement_use
{
public:
    explicit t_statement_use(sqlite3_stmt* statement) noexcept : m_statement(statement) {}
    t_statement_use(const t_statement_use&) = delete;
    t_statement_use& operator=(const t_statement_use&) = delete;
    ~t_statement_use()
    {
        ::sqlite3_reset(m_statement);
        ::sqlite3_clear_bindings(m_statement);
    }

    sqlite3_stmt* get() const noexcept { return m_statement; }

private:
    sqlite3_stmt* m_statement;
};

}  // namespace voka::platform::registry
