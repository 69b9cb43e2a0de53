// The registry database's path from the environment, and the store kept for it.
#include "registry_location.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace voka::platform::registry
{
namespace
{

std::string home_folder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return home;
    // No HOME (a service, say): the user database's entry.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

// The store that the predefined keys reach, and the lock that guards it.
struct t_current_store
{
    std::mutex lock;
    std::shared_ptr<t_registry_store> store;  // guarded by lock
};

t_current_store& current_store_slot()
{
    static t_current_store slot;
    return slot;
}

}  // namespace

std::string registry_database_path()
{
    const char* explicit_path = std::getenv("VOKA_REGISTRY");
    if (explicit_path != nullptr && explicit_path[0] != '\0')
        return explicit_path;
    const char* data_home = std::getenv("XDG_DATA_HOME");
    if (data_home != nullptr && data_home[0] == '/')
        return std::string(data_home) + "/voka/registry.db";
    const std::string home = home_folder();
    if (home.empty())
        return {};
    return home + "/.local/share/voka/registry.db";
}

DWORD current_registry_store(std::shared_ptr<t_registry_store>& out)
{
    const std::string path = registry_database_path();
    if (path.empty())
        return ERROR_REGISTRY_IO_FAILED;
    t_current_store& slot = current_store_slot();
    const std::lock_guard<std::mutex> lock(slot.lock);
    if (slot.store == nullptr || slot.store->path() != path ||
        !slot.store->belongs_to_this_process())
    {
        std::shared_ptr<t_registry_store> store;
        const DWORD error = t_registry_store::open(path, store);
        if (error != ERROR_SUCCESS)
            return error;
        slot.store = std::move(store);
    }
    out = slot.store;
    return ERROR_SUCCESS;
}

DWORD registry_store_for_path(const std::string& path, std::shared_ptr<t_registry_store>& out)
{
    {
        t_current_store& slot = current_store_slot();
        const std::lock_guard<std::mutex> lock(slot.lock);
        if (slot.store != nullptr && slot.store->path() == path &&
            slot.store->belongs_to_this_process())
        {
            out = slot.store;
            return ERROR_SUCCESS;
        }
    }
    if (path == registry_database_path())
        return current_registry_store(out);
    return t_registry_store::open(path, out);
}

}  // namespace voka::platform::registry
