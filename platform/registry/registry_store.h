// One registry database and the operations of the registry functions on it, by key id.
#pragma once

#include "registry_text.h"
#include "sqlite_owner.h"
#include "voka/win32.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace voka::platform::registry
{

using t_key_id = std::int64_t;

// Where the last listing of sub keys through one handle stopped, so that the next index
// continues from there instead of counting from the start. Valid only while the key's sub keys
// are unchanged: the connection's data version (commits of other connections) and the store's
// count of its own key creations and deletions are kept with it. Guarded by the lock of the store
// it belongs to.
struct t_enum_cursor
{
    bool valid = false;
    DWORD index = 0;
    std::string fold;  // the folded name at `index`
    std::int64_t data_version = 0;
    std::uint64_t key_changes = 0;
};

// A value as the database gives it back.
struct t_value
{
    DWORD type = 0;
    bool is_utf16 = false;
    std::string bytes;  // the stored bytes (see t_stored_data)
    DWORD size = 0;     // the size the caller sees
};

// A sub key as RegEnumKeyExW reports it.
struct t_sub_key_entry
{
    std::u16string name;
    DWORD name_length = 0;
    std::u16string class_name;
    DWORD class_length = 0;
    std::int64_t last_write = 0;
};

// A value as RegEnumValueW reports it.
struct t_value_entry
{
    std::u16string name;
    DWORD name_length = 0;
    t_value value;
};

// What RegQueryInfoKeyW reports.
struct t_key_info
{
    std::u16string class_name;
    DWORD class_length = 0;
    std::int64_t last_write = 0;
    DWORD sub_keys = 0;
    DWORD max_sub_key_length = 0;
    DWORD max_class_length = 0;
    DWORD values = 0;
    DWORD max_value_name_length = 0;
    DWORD max_value_size = 0;
};

// One open registry database. Threading: every method may be called from any thread; they are
// serialised by one lock around the connection and its cached statements, and each is one SQLite
// transaction, so other processes see all of it or nothing. Methods return ERROR_SUCCESS or the
// Win32 error; they throw std::bad_alloc only, and then nothing has changed.
//
// A store belongs to the process that opened it. SQLite connections must not be used across
// fork(), not even closed: a child's close could take the parent's write-ahead log for its own
// and fold it away. A child therefore opens stores of its own (see registry_location.h), and a
// store inherited from a parent is never closed; its memory is left to the end of the child.
class t_registry_store
{
    struct tag_private
    {
    };

public:
    // Opens the database at `path` (see open_registry_database) and stores the store in `out`.
    static DWORD open(const std::string& path, std::shared_ptr<t_registry_store>& out);

    explicit t_registry_store(tag_private) noexcept;
    ~t_registry_store();
    t_registry_store(const t_registry_store&) = delete;
    t_registry_store& operator=(const t_registry_store&) = delete;

    const std::string& path() const noexcept { return m_path; }
    // False in a child process forked after the store was opened (fork() with its fork handlers,
    // as every library call makes one).
    bool belongs_to_this_process() const noexcept;
    // The key behind HKEY_CLASSES_ROOT: HKEY_LOCAL_MACHINE\Software\Classes.
    t_key_id classes_root_id() const noexcept { return m_classes_root_id; }

    // ERROR_SUCCESS while `key` exists, else ERROR_KEY_DELETED.
    DWORD check_key(t_key_id key);
    // The key at `path` below `parent` (an empty path: `parent` itself). ERROR_FILE_NOT_FOUND
    // when a key on the path is missing; ERROR_KEY_DELETED when `parent` is.
    DWORD open_key(t_key_id parent, const std::vector<t_name>& path, t_key_id& out);
    // Opens or creates the key at `path` below `parent`, with every missing key on the path;
    // `class_name` (may be null) goes to the last key if it is created. `created` tells whether
    // the last key was created.
    DWORD create_key(t_key_id parent, const std::vector<t_name>& path, const t_name* class_name,
                     t_key_id& out, bool& created);
    // Deletes the key at `path` below `parent` (an empty path: `parent` itself) with its values.
    // ERROR_ACCESS_DENIED for a key with sub keys or a fixed key.
    DWORD delete_key(t_key_id parent, const std::vector<t_name>& path);

    DWORD query_value(t_key_id key, const t_name& name, t_value& out);
    DWORD set_value(t_key_id key, const t_name& name, DWORD type, const t_stored_data& data);
    DWORD delete_value(t_key_id key, const t_name& name);

    // Sub key number `index` in folded-name order; ERROR_NO_MORE_ITEMS past the last one.
    DWORD enum_sub_key(t_key_id key, DWORD index, t_enum_cursor& cursor, t_sub_key_entry& out);
    // Value number `index` in creation order; ERROR_NO_MORE_ITEMS past the last one.
    DWORD enum_value(t_key_id key, DWORD index, t_value_entry& out);
    DWORD query_info(t_key_id key, t_key_info& out);

    // The sub key cursor of the predefined key number `root` (it has no handle object of its
    // own to keep one). Only enum_sub_key reads or changes it, with the lock.
    t_enum_cursor& predefined_cursor(int root) noexcept { return m_predefined_cursors[root]; }
    static constexpr int k_predefined_key_count = 5;

private:
    // check_key for callers that hold m_lock.
    DWORD key_state_error(t_key_id key);
    // The statements every operation uses, prepared once per connection.
    enum t_statement_id : int
    {
        begin_write,
        commit,
        rollback,
        key_state,
        find_child,
        insert_key,
        note_sub_key_added,
        note_sub_key_removed,
        delete_key_row,
        delete_key_values,
        select_value,
        update_value,
        insert_value,
        note_value_written,
        delete_value_row,
        note_value_removed,
        select_key_info,
        sub_key_at,
        sub_key_after,
        value_order,
        select_value_entry,
        data_version,
        statement_count
    };

    class t_write_transaction;

    DWORD prepare_statements();
    sqlite3_stmt* statement(t_statement_id id) const noexcept { return m_statements[id].get(); }
    DWORD failure(int result) const noexcept;

    // Helpers called with m_lock held.
    int read_key_state(t_key_id key, bool& exists, bool& fixed, std::int64_t& sub_keys,
                       t_key_id& parent);
    int find_child_id(t_key_id parent, const t_name& name, t_key_id& child, bool& found);
    DWORD resolve_path(t_key_id parent, const std::vector<t_name>& path, t_key_id& out);
    int current_data_version(std::int64_t& version);
    bool cursor_is_fresh(const t_enum_cursor& cursor, DWORD index);
    void remember_cursor(t_enum_cursor& cursor, DWORD index);
    DWORD load_value_order(t_key_id key);
    void remember_value_added(t_key_id key, const std::string& fold) noexcept;
    void remember_value_removed(t_key_id key, const std::string& fold) noexcept;
    void remember_key_changed(t_key_id key) noexcept;

    std::string m_path;
    int m_owner_process = 0;  // the id of the process that opened the store
    // The process's count of forks (see registry_store.cpp) when the store was opened.
    std::uint64_t m_owner_fork_count = 0;
    t_key_id m_classes_root_id = 0;
    std::mutex m_lock;
    // Guarded by m_lock, as is everything done with the connection. The statements are
    // finalized before the connection closes.
    t_sqlite_connection m_connection;
    std::vector<t_sqlite_statement> m_statements;
    t_enum_cursor m_predefined_cursors[k_predefined_key_count];  // guarded by m_lock
    // Key creations and deletions through this store; guarded by m_lock.
    std::uint64_t m_key_changes = 0;

    // The folded names of the values of one key in creation order: the key listed last. It
    // follows this store's own changes to that key and is loaded again when another connection
    // has committed anything (the data version moved). Guarded by m_lock.
    struct tag_value_order
    {
        bool valid = false;
        t_key_id key = 0;
        std::int64_t data_version = 0;
        std::vector<std::string> folds;
    };
    tag_value_order m_value_order;
};

}  // namespace voka::platform::registry
