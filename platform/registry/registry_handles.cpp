// The predefined keys and the table of open key handles.
#include "registry_handles.h"

#include "registry_database.h"
#include "registry_location.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace voka::platform::registry
{
namespace
{

// Handle values start above the values that code tends to mistake for handles, advance by 4 as
// Windows handles do, and never come back; in their low 32 bits they stay below the predefined
// keys' 0x80000000.
constexpr std::uintptr_t k_first_handle_value = 0x1000;

// The table of open handles.
struct t_handle_table
{
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<t_key_object>> objects;  // guarded by lock
    std::uintptr_t next_value = k_first_handle_value;                           // guarded by lock
};

t_handle_table& handle_table()
{
    static t_handle_table table;
    return table;
}

// The index of a predefined key (HKEY_CLASSES_ROOT 0, HKEY_CURRENT_USER 1, HKEY_LOCAL_MACHINE 2,
// HKEY_USERS 3, HKEY_CURRENT_CONFIG 4), or -1.
int predefined_index(HKEY key) noexcept
{
    const auto low = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    switch (low)
    {
    case 0x80000000u:
        return 0;
    case 0x80000001u:
        return 1;
    case 0x80000002u:
        return 2;
    case 0x80000003u:
        return 3;
    case 0x80000005u:
        return 4;
    default:
        return -1;
    }
}

}  // namespace

bool is_predefined_key(HKEY key) noexcept
{
    return predefined_index(key) >= 0;
}

REGSAM effective_access(REGSAM desired) noexcept
{
    REGSAM access =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if ((desired & (GENERIC_READ | GENERIC_EXECUTE)) != 0)
        access |= KEY_READ;
    if ((desired & GENERIC_WRITE) != 0)
        access |= KEY_WRITE;
    // Every key may be opened with every right here, so the most allowed is all of them.
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0)
        access |= KEY_ALL_ACCESS;
    return access;
}

DWORD resolve_key(HKEY key, t_key_ref& out)
{
    const int root = predefined_index(key);
    if (root >= 0)
    {
        const DWORD error = current_registry_store(out.store);
        if (error != ERROR_SUCCESS)
            return error;
        constexpr t_key_id k_root_ids[] = {0, k_current_user_id, k_local_machine_id, k_users_id,
                                           k_current_config_id};
        out.id = root == 0 ? out.store->classes_root_id() : k_root_ids[root];
        out.access = KEY_ALL_ACCESS;
        out.is_predefined = true;
        out.object.reset();
        out.sub_key_cursor = &out.store->predefined_cursor(root);
        return ERROR_SUCCESS;
    }
    t_handle_table& table = handle_table();
    {
        const std::lock_guard<std::mutex> lock(table.lock);
        const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(key));
        if (found == table.objects.end())
            return ERROR_INVALID_HANDLE;
        out.object = found->second;
    }
    out.store = out.object->store;
    out.id = out.object->id;
    out.access = out.object->access;
    out.is_predefined = false;
    out.sub_key_cursor = &out.object->sub_key_cursor;
    if (!out.store->belongs_to_this_process())
    {
        // A handle inherited by a forked child: the same key through a store of the child's own.
        // The handle's cursor belongs to the parent's store's lock; the call lists without one.
        const DWORD error = registry_store_for_path(out.object->store->path(), out.store);
        if (error != ERROR_SUCCESS)
            return error;
        out.sub_key_cursor = &out.spare_cursor;
    }
    return ERROR_SUCCESS;
}

HKEY insert_key_handle(std::shared_ptr<t_key_object> object)
{
    t_handle_table& table = handle_table();
    const std::lock_guard<std::mutex> lock(table.lock);
    const std::uintptr_t value = table.next_value;
    table.objects.emplace(value, std::move(object));
    table.next_value += 4;
    return reinterpret_cast<HKEY>(value);
}

bool erase_key_handle(HKEY key) noexcept
{
    std::shared_ptr<t_key_object> object;  // released after the lock
    t_handle_table& table = handle_table();
    const std::lock_guard<std::mutex> lock(table.lock);
    const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(key));
    if (found == table.objects.end())
        return false;
    object = std::move(found->second);
    table.objects.erase(found);
    return true;
}

}  // namespace voka::platform::registry
