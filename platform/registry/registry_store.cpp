// The registry store: opening, the cached statements, transactions and the helpers that the
// operations in registry_store_keys.cpp, registry_store_values.cpp and registry_store_enum.cpp
// share.
#include "registry_store.h"

#include "registry_database.h"
#include "registry_store_transaction.h"
#include "sqlite_error.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <pthread.h>
#include <unistd.h>

namespace voka::platform::registry
{
namespace
{

// The SQL of each t_statement_id, in their order. The writing statements say OR IGNORE: the
// operations check every constraint before they write, and a statement that cannot abort needs
// no statement journal inside the transaction, which saves an allocation and copying per write.
constexpr const char* k_statement_sql[] = {
    // begin_write: takes the write lock at once, so the transaction never fails half-way
    // because another writer came first.
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    // key_state
    "SELECT fixed, sub_keys, parent FROM keys WHERE id = ?1",
    // find_child
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    // insert_key
    "INSERT OR IGNORE INTO keys(parent, fold, name, name_length, class, class_length, last_write)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    // note_sub_key_added: the parent's count and longest lengths, as Windows keeps them
    "UPDATE OR IGNORE keys SET sub_keys = sub_keys + 1,"
    " max_sub_key_length = max(max_sub_key_length, ?2),"
    " max_class_length = max(max_class_length, ?3), last_write = ?4 WHERE id = ?1",
    // note_sub_key_removed: the longest lengths fall back to 0 with the last sub key
    "UPDATE OR IGNORE keys SET sub_keys = sub_keys - 1,"
    " max_sub_key_length = CASE WHEN sub_keys = 1 THEN 0 ELSE max_sub_key_length END,"
    " max_class_length = CASE WHEN sub_keys = 1 THEN 0 ELSE max_class_length END,"
    " last_write = ?2 WHERE id = ?1",
    // delete_key_row
    "DELETE FROM keys WHERE id = ?1",
    // delete_key_values
    "DELETE FROM vals WHERE key = ?1",
    // select_value
    "SELECT type, form, size, data FROM vals WHERE key = ?1 AND fold = ?2",
    // update_value
    "UPDATE OR IGNORE vals SET type = ?3, form = ?4, size = ?5, data = ?6 WHERE key = ?1 AND fold "
    "= ?2",
    // insert_value: numbered after the key's last value; a missing key gives no number, and so
    // no row
    "INSERT OR IGNORE INTO vals(key, fold, name, name_length, seq, type, form, size, data)"
    " VALUES(?1, ?2, ?3, ?4, (SELECT next_seq + 1 FROM keys WHERE id = ?1), ?5, ?6, ?7, ?8)",
    // note_value_written: ?5 is 1 for a new value (counted, numbered), 0 for a replaced one
    "UPDATE OR IGNORE keys SET last_write = ?2,"
    " max_value_name_length = max(max_value_name_length, ?3),"
    " max_value_size = max(max_value_size, ?4), vals = vals + ?5, next_seq = next_seq + ?5"
    " WHERE id = ?1",
    // delete_value_row
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    // note_value_removed
    "UPDATE OR IGNORE keys SET vals = vals - 1,"
    " max_value_name_length = CASE WHEN vals = 1 THEN 0 ELSE max_value_name_length END,"
    " max_value_size = CASE WHEN vals = 1 THEN 0 ELSE max_value_size END,"
    " last_write = ?2 WHERE id = ?1",
    // select_key_info
    "SELECT class, class_length, last_write, sub_keys, max_sub_key_length, max_class_length,"
    " vals, max_value_name_length, max_value_size FROM keys WHERE id = ?1",
    // sub_key_at
    "SELECT fold, name, name_length, class, class_length, last_write FROM keys"
    " WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    // sub_key_after
    "SELECT fold, name, name_length, class, class_length, last_write FROM keys"
    " WHERE parent = ?1 AND fold > ?2 ORDER BY fold LIMIT 1",
    // value_order: a key's values in creation order
    "SELECT fold FROM vals WHERE key = ?1 ORDER BY seq",
    // select_value_entry
    "SELECT name, name_length, type, form, size, data FROM vals WHERE key = ?1 AND fold = ?2",
    // data_version
    "PRAGMA data_version",
};

// Forks of this process, counted in each child by a fork handler, so that a store tells whether it
// belongs to this process without a system call on every registry call (getpid is one). The
// handler is registered before the first store is made; a fork before that leaves no store to
// tell apart. Should the registration fail, stores compare process ids instead.
std::atomic<std::uint64_t> g_fork_count{0};

void count_fork_in_child() noexcept
{
    g_fork_count.fetch_add(1, std::memory_order_relaxed);
}

bool fork_counting_works() noexcept
{
    static const bool registered = ::pthread_atfork(nullptr, nullptr, &count_fork_in_child) == 0;
    return registered;
}

}  // namespace

DWORD t_registry_store::open(const std::string& path, std::shared_ptr<t_registry_store>& out)
{
    auto store = std::make_shared<t_registry_store>(tag_private{});
    store->m_path = path;
    DWORD error = open_registry_database(path, store->m_connection);
    if (error == ERROR_SUCCESS)
        error = store->prepare_statements();
    if (error != ERROR_SUCCESS)
        return error;
    // HKEY_CLASSES_ROOT's key, found once: it is fixed and cannot be deleted.
    t_name software;
    t_name classes;
    make_name(L"Software", k_max_key_name_units, software);
    make_name(L"Classes", k_max_key_name_units, classes);
    const std::lock_guard<std::mutex> lock(store->m_lock);
    error = store->resolve_path(k_local_machine_id, {software, classes}, store->m_classes_root_id);
    if (error != ERROR_SUCCESS)
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_KEY_DELETED ? ERROR_BADDB : error;
    out = std::move(store);
    return ERROR_SUCCESS;
}

t_registry_store::t_registry_store(tag_private) noexcept
    : m_owner_process(::getpid()),
      m_owner_fork_count(fork_counting_works() ? g_fork_count.load(std::memory_order_relaxed) : 0)
{
}

t_registry_store::~t_registry_store()
{
    if (!belongs_to_this_process())
    {
        // Opened by the parent of this forked process: SQLite must not touch it here.
        for (t_sqlite_statement& statement : m_statements)
            static_cast<void>(statement.release());
        static_cast<void>(m_connection.release());
        return;
    }
    // Every statement is finalized before the connection closes.
    m_statements.clear();
}

bool t_registry_store::belongs_to_this_process() const noexcept
{
    if (fork_counting_works())
        return m_owner_fork_count == g_fork_count.load(std::memory_order_relaxed);
    return m_owner_process == ::getpid();
}

DWORD t_registry_store::prepare_statements()
{
    static_assert(std::size(k_statement_sql) == statement_count);
    m_statements.resize(statement_count);
    for (int id = 0; id < statement_count; ++id)
    {
        sqlite3_stmt* raw = nullptr;
        const int result = ::sqlite3_prepare_v3(m_connection.get(), k_statement_sql[id], -1,
                                                SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        m_statements[id].reset(raw);
        if (result != SQLITE_OK)
            return failure(result);
    }
    return ERROR_SUCCESS;
}

DWORD t_registry_store::failure(int result) const noexcept
{
    return win32_error_from_sqlite(result, m_connection.get());
}

int t_registry_store::read_key_state(t_key_id key, bool& exists, bool& fixed,
                                     std::int64_t& sub_keys, t_key_id& parent)
{
    sqlite3_stmt* query = statement(key_state);
    const t_statement_use use(query);
    ::sqlite3_bind_int64(query, 1, key);
    const int result = ::sqlite3_step(query);
    exists = result == SQLITE_ROW;
    if (!exists)
        return result == SQLITE_DONE ? SQLITE_OK : result;
    fixed = ::sqlite3_column_int(query, 0) != 0;
    sub_keys = ::sqlite3_column_int64(query, 1);
    parent = ::sqlite3_column_int64(query, 2);
    return SQLITE_OK;
}

int t_registry_store::find_child_id(t_key_id parent, const t_name& name, t_key_id& child,
                                    bool& found)
{
    sqlite3_stmt* query = statement(find_child);
    const t_statement_use use(query);
    ::sqlite3_bind_int64(query, 1, parent);
    ::sqlite3_bind_blob(query, 2, name.fold.data(), static_cast<int>(name.fold.size()),
                        SQLITE_STATIC);
    const int result = ::sqlite3_step(query);
    found = result == SQLITE_ROW;
    if (found)
        child = ::sqlite3_column_int64(query, 0);
    return result == SQLITE_ROW || result == SQLITE_DONE ? SQLITE_OK : result;
}

DWORD t_registry_store::resolve_path(t_key_id parent, const std::vector<t_name>& path,
                                     t_key_id& out)
{
    t_key_id current = parent;
    for (const t_name& component : path)
    {
        bool found = false;
        const int result = find_child_id(current, component, current, found);
        if (result != SQLITE_OK)
            return failure(result);
        if (!found)
        {
            // Below a deleted key nothing is found; Windows reports the deletion.
            if (&component == &path.front() && key_state_error(parent) == ERROR_KEY_DELETED)
                return ERROR_KEY_DELETED;
            return ERROR_FILE_NOT_FOUND;
        }
    }
    if (path.empty())
    {
        const DWORD error = key_state_error(parent);
        if (error != ERROR_SUCCESS)
            return error;
    }
    out = current;
    return ERROR_SUCCESS;
}

int t_registry_store::current_data_version(std::int64_t& version)
{
    sqlite3_stmt* query = statement(data_version);
    const t_statement_use use(query);
    const int result = ::sqlite3_step(query);
    if (result != SQLITE_ROW)
        return result;
    version = ::sqlite3_column_int64(query, 0);
    return SQLITE_OK;
}

bool t_registry_store::cursor_is_fresh(const t_enum_cursor& cursor, DWORD index)
{
    if (!cursor.valid || index != cursor.index + 1 || cursor.key_changes != m_key_changes)
        return false;
    std::int64_t version = 0;
    return current_data_version(version) == SQLITE_OK && version == cursor.data_version;
}

void t_registry_store::remember_cursor(t_enum_cursor& cursor, DWORD index)
{
    std::int64_t version = 0;
    cursor.valid = current_data_version(version) == SQLITE_OK;
    cursor.index = index;
    cursor.data_version = version;
    cursor.key_changes = m_key_changes;
}

void t_registry_store::remember_key_changed(t_key_id key) noexcept
{
    ++m_key_changes;
    if (m_value_order.key == key)
        m_value_order.valid = false;
}

void t_registry_store::remember_value_added(t_key_id key, const std::string& fold) noexcept
{
    // A new value has the key's highest creation number: it comes last.
    if (m_value_order.valid && m_value_order.key == key)
    {
        try
        {
            m_value_order.folds.push_back(fold);
        }
        catch (...)
        {
            // The value is written; only the list is lost, and it is loaded again when needed.
            m_value_order.valid = false;
        }
    }
}

void t_registry_store::remember_value_removed(t_key_id key, const std::string& fold) noexcept
{
    if (m_value_order.valid && m_value_order.key == key)
    {
        const auto found = std::find(m_value_order.folds.begin(), m_value_order.folds.end(), fold);
        if (found != m_value_order.folds.end())
            m_value_order.folds.erase(found);
        else
            m_value_order.valid = false;
    }
}

}  // namespace voka::platform::registry
