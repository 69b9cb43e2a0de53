// Where the registry database of this user is, and the store that the predefined keys reach.
#pragma once

#include "registry_store.h"

#include <memory>
#include <string>

namespace voka::platform::registry
{

// The database path: VOKA_REGISTRY when set and not empty; else $XDG_DATA_HOME/voka/registry.db
// when XDG_DATA_HOME is an absolute path; else ~/.local/share/voka/registry.db, with the home
// folder from HOME or the user database. Empty when there is no home folder. Throws
// std::bad_alloc.
std::string registry_database_path();

// The store of the database at registry_database_path(), opened on first use and opened anew
// when the path has changed since (the store of the old path lives on while handles use it) or
// when this process is a fork of the one that opened it. A store that fails to open is not kept:
// the next call tries again. Thread-safe. Returns ERROR_SUCCESS or the error of opening;
// ERROR_REGISTRY_IO_FAILED when there is no path. Throws std::bad_alloc.
DWORD current_registry_store(std::shared_ptr<t_registry_store>& out);

// A store of this process for the database at `path`, for a handle that a forked child inherited
// with its parent's store: the current store when it has that path, else a new one. Thread-safe.
// Throws std::bad_alloc.
DWORD registry_store_for_path(const std::string& path, std::shared_ptr<t_registry_store>& out);

}  // namespace voka::platform::registry
