// Deleting a registry key with all its descendants.
#pragma once

#include "voka/win32.h"

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

// Deletes the sub key `name` of `parent` and everything below it, depth first. Returns the
// registry's error code untranslated (ERROR_SUCCESS when the whole tree is gone); the first
// error stops the deletion. A key whose longest sub key name is reported as 0xFFFFFFFF raises
// std::overflow_error("Overflow in TRegistry::DeleteKey"); allocation failure std::bad_alloc.
LONG delete_key_tree(HKEY parent, LPCWSTR name);

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
