// The registry's SQLite database: folder, connection settings, schema and the first keys.
#include "registry_database.h"

#include "registry_text.h"
#include "sqlite_error.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace voka::platform::registry
{
namespace
{

// Marks a registry database in the SQLite header ("VkRg"), with the schema's version.
constexpr int k_application_id = 0x566B5267;
constexpr int k_schema_version = 1;

// Milliseconds a writer waits for another writer before it gives up with ERROR_BUSY.
constexpr int k_busy_timeout_ms = 10000;

// Pages in the write-ahead log (16 MiB) before it is copied back into the database. Each copy
// syncs the log and the database; on a virtual disk a sync costs milliseconds, so a small log
// halves the rate of small writes, while this size keeps syncs to a few per second of writing.
constexpr int k_checkpoint_pages = 16384;

constexpr const char* k_schema_sql = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    fold BLOB NOT NULL,
    name TEXT NOT NULL,
    name_length INTEGER NOT NULL,
    class TEXT,
    class_length INTEGER NOT NULL DEFAULT 0,
    last_write INTEGER NOT NULL,
    fixed INTEGER NOT NULL DEFAULT 0,
    sub_keys INTEGER NOT NULL DEFAULT 0,
    max_sub_key_length INTEGER NOT NULL DEFAULT 0,
    max_class_length INTEGER NOT NULL DEFAULT 0,
    vals INTEGER NOT NULL DEFAULT 0,
    max_value_name_length INTEGER NOT NULL DEFAULT 0,
    max_value_size INTEGER NOT NULL DEFAULT 0,
    next_seq INTEGER NOT NULL DEFAULT 0,
    UNIQUE(parent, fold));
CREATE TABLE vals(
    key INTEGER NOT NULL,
    fold BLOB NOT NULL,
    name TEXT NOT NULL,
    name_length INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    type INTEGER NOT NULL,
    form INTEGER NOT NULL,
    size INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, fold)) WITHOUT ROWID;
)sql";

// The keys of a new database: the roots (fixed ids) and the keys every Windows registry has.
struct t_first_key
{
    std::int64_t id;
    std::int64_t parent;
    const wchar_t* name;
    bool fixed;  // cannot be deleted
};

constexpr t_first_key k_first_keys[] = {
    {k_local_machine_id, 0, L"HKEY_LOCAL_MACHINE", true},
    {k_current_user_id, 0, L"HKEY_CURRENT_USER", true},
    {k_users_id, 0, L"HKEY_USERS", true},
    {k_current_config_id, 0, L"HKEY_CURRENT_CONFIG", true},
    {5, k_local_machine_id, L"Software", true},
    {6, 5, L"Classes", true},  // HKEY_CLASSES_ROOT
    {7, k_current_user_id, L"Software", false},
};

// The result of a query that gives one integer.
int query_integer(sqlite3* connection, const char* sql, std::int64_t& value) noexcept
{
    sqlite3_stmt* raw = nullptr;
    int result = ::sqlite3_prepare_v2(connection, sql, -1, &raw, nullptr);
    const t_sqlite_statement statement(raw);
    if (result != SQLITE_OK)
        return result;
    result = ::sqlite3_step(raw);
    if (result == SQLITE_ROW)
    {
        value = ::sqlite3_column_int64(raw, 0);
        return SQLITE_OK;
    }
    return result == SQLITE_DONE ? SQLITE_CORRUPT : result;
}

// Creates the schema and the first keys; called inside the creating transaction.
int create_schema(sqlite3* connection)
{
    int result = execute_sql(connection, k_schema_sql);
    if (result != SQLITE_OK)
        return result;
    sqlite3_stmt* raw = nullptr;
    result = ::sqlite3_prepare_v2(connection,
                                  "INSERT INTO keys(id, parent, fold, name, name_length,"
                                  " last_write, fixed) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                                  -1, &raw, nullptr);
    const t_sqlite_statement statement(raw);
    if (result != SQLITE_OK)
        return result;
    const std::int64_t now = filetime_now();
    for (const t_first_key& key : k_first_keys)
    {
        t_name name;
        make_name(key.name, k_max_key_name_units, name);
        const t_statement_use use(raw);
        ::sqlite3_bind_int64(raw, 1, key.id);
        ::sqlite3_bind_int64(raw, 2, key.parent);
        ::sqlite3_bind_blob(raw, 3, name.fold.data(), static_cast<int>(name.fold.size()),
                            SQLITE_STATIC);
        ::sqlite3_bind_text16(raw, 4, name.text.data(),
                              static_cast<int>(name.text.size() * sizeof(char16_t)), SQLITE_STATIC);
        ::sqlite3_bind_int64(raw, 5, name.length);
        ::sqlite3_bind_int64(raw, 6, now);
        ::sqlite3_bind_int(raw, 7, key.fixed ? 1 : 0);
        result = ::sqlite3_step(raw);
        if (result != SQLITE_DONE)
            return result;
    }
    // The parents' counts of sub keys and longest names, as every later change keeps them.
    result = execute_sql(connection,
                         "UPDATE keys SET"
                         " sub_keys = (SELECT count(*) FROM keys AS c WHERE c.parent = keys.id),"
                         " max_sub_key_length = (SELECT coalesce(max(c.name_length), 0)"
                         " FROM keys AS c WHERE c.parent = keys.id)");
    if (result != SQLITE_OK)
        return result;
    const std::string stamp = "PRAGMA application_id = " + std::to_string(k_application_id) +
                              "; PRAGMA user_version = " + std::to_string(k_schema_version);
    return execute_sql(connection, stamp.c_str());
}

// Makes an empty database a registry database, or checks that it is one. Runs in a writing
// transaction, so that two processes that open a new database at once create it once.
int prepare_schema(sqlite3* connection)
{
    int result = execute_sql(connection, "BEGIN IMMEDIATE");
    if (result != SQLITE_OK)
        return result;
    std::int64_t application_id = 0;
    std::int64_t version = 0;
    std::int64_t objects = 0;
    result = query_integer(connection, "PRAGMA application_id", application_id);
    if (result == SQLITE_OK)
        result = query_integer(connection, "PRAGMA user_version", version);
    if (result == SQLITE_OK)
        result = query_integer(connection, "SELECT count(*) FROM sqlite_master", objects);
    if (result == SQLITE_OK)
    {
        if (application_id == k_application_id && version == k_schema_version)
            result = SQLITE_OK;
        else if (application_id == 0 && objects == 0)
            result = create_schema(connection);
        else
            result = SQLITE_NOTADB;  // someone else's database, or another schema
    }
    if (result == SQLITE_OK)
        result = execute_sql(connection, "COMMIT");
    if (result != SQLITE_OK)
        execute_sql(connection, "ROLLBACK");
    return result;
}

// Switches to the write-ahead log. Another process that opens the database at the same moment
// may hold the lock the switch needs without the busy handler being asked, so the switch is
// retried for up to the busy time-out.
int enable_write_ahead_log(sqlite3* connection) noexcept
{
    constexpr int k_pause_ms = 10;
    int result = SQLITE_BUSY;
    for (int waited_ms = 0; waited_ms <= k_busy_timeout_ms; waited_ms += k_pause_ms)
    {
        result = execute_sql(connection, "PRAGMA journal_mode = WAL");
        if ((result & 0xFF) != SQLITE_BUSY && (result & 0xFF) != SQLITE_LOCKED)
            return result;
        ::sqlite3_sleep(k_pause_ms);
    }
    return result;
}

}  // namespace

int execute_sql(sqlite3* connection, const char* sql) noexcept
{
    return ::sqlite3_exec(connection, sql, nullptr, nullptr, nullptr);
}

std::int64_t filetime_now() noexcept
{
    // 1601-01-01 to 1970-01-01 in 100-nanosecond units.
    constexpr std::int64_t k_epoch_difference = 116444736000000000;
    const auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
    return k_epoch_difference +
           std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100;
}

DWORD open_registry_database(const std::string& path, t_sqlite_connection& out)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
    {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error)
        {
            const int error_number = error.value();
            return error_number == EACCES || error_number == EPERM || error_number == EROFS
                       ? ERROR_ACCESS_DENIED
                       : ERROR_REGISTRY_IO_FAILED;
        }
    }
    // Stores use one connection from several threads under their own lock: that needs an SQLite
    // built for threads, which every common build is.
    if (::sqlite3_threadsafe() == 0)
        return ERROR_NOT_SUPPORTED;
    sqlite3* raw = nullptr;
    int result = ::sqlite3_open_v2(path.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    t_sqlite_connection connection(raw);
    if (result != SQLITE_OK)
        return win32_error_from_sqlite(result, raw);
    ::sqlite3_busy_timeout(raw, k_busy_timeout_ms);
    ::sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // Both count only for a database that is still empty. UTF-16 text needs no conversion on its
    // way to and from the callers. Every committed write appends its changed pages to the log, and
    // a value write changes two (the value's and its key's): small pages write fewer bytes, which
    // is most of a write's cost, while a page still holds a dozen or more typical rows.
    result = execute_sql(raw, "PRAGMA encoding = 'UTF-16le'; PRAGMA page_size = 1024");
    if (result == SQLITE_OK)
        result = enable_write_ahead_log(raw);
    if (result == SQLITE_OK)
        result = execute_sql(raw, "PRAGMA synchronous = NORMAL");
    if (result == SQLITE_OK)
        result = execute_sql(
            raw, ("PRAGMA wal_autocheckpoint = " + std::to_string(k_checkpoint_pages)).c_str());
    if (result == SQLITE_OK)
        result = execute_sql(raw, "PRAGMA cell_size_check = ON");
    if (result == SQLITE_OK)
        result = prepare_schema(raw);
    if (result != SQLITE_OK)
        return win32_error_from_sqlite(result, raw);
    out = std::move(connection);
    return ERROR_SUCCESS;
}

}  // namespace voka::platform::registry
