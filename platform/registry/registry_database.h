// Opening the registry's SQLite database: the folder, the connection settings and the schema.
//
// The database has two tables. `keys` holds one row per key: its parent (0 for the roots of the
// predefined trees), its name in UTF-16 text and folded (the unique, sorted lookup key among its
// siblings), its class, its last write time, and the facts RegQueryInfoKeyW reports, kept up to
// date by every change in the same transaction. `vals` holds one row per value, keyed by its key
// and folded name, with a per-key creation number that orders the enumeration (there is no index
// on it: a value write then changes two pages, the value's and its key's; the store sorts a key's
// values when they are listed). Key ids are never reused (AUTOINCREMENT), so a handle to a
// deleted key can never reach a newer key.
#pragma once

#include "sqlite_owner.h"
#include "voka/win32.h"

#include <cstdint>
#include <string>

namespace voka::platform::registry
{

// Key ids of the roots of the predefined trees in every registry database.
constexpr std::int64_t k_local_machine_id = 1;
constexpr std::int64_t k_current_user_id = 2;
constexpr std::int64_t k_users_id = 3;
constexpr std::int64_t k_current_config_id = 4;

// Opens the registry database at `path` (creating its folder and the database when missing),
// sets up the connection (write-ahead log, "synchronous=NORMAL", busy time-out) and checks that
// the file is a registry database, or makes one of an empty file. On success stores the
// connection in `out`. Returns ERROR_SUCCESS or the Win32 error (see sqlite_error.h); ERROR_BADDB
// for a database of another kind. Throws std::bad_alloc.
DWORD open_registry_database(const std::string& path, t_sqlite_connection& out);

// Runs one SQL text that returns no rows the caller needs. Returns the SQLite result.
int execute_sql(sqlite3* connection, const char* sql) noexcept;

// The current time as a FILETIME value: 100-nanosecond intervals since 1601-01-01 UTC.
std::int64_t filetime_now() noexcept;

}  // namespace voka::platform::registry
