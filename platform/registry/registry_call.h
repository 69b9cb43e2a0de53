// Shared pieces of the registry functions: the exception barrier, argument parsing and the
// copying of names to the caller.
#pragma once

#include "registry_handles.h"
#include "registry_text.h"
#include "voka/win32.h"

#include <string>
#include <vector>

namespace voka::platform::registry
{

// Runs the body of a registry function. Nothing but allocation throws inside the layer, so any
// exception becomes ERROR_NOT_ENOUGH_MEMORY, as on Windows when memory runs out; nothing leaves.
template <typename t_body>
LSTATUS run_registry_call(t_body&& body) noexcept
{
    try
    {
        return static_cast<LSTATUS>(body());
    }
    catch (...)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// The names of a sub key path (see RegOpenKeyExW): NULL and empty give no names; repeated and
// trailing backslashes are skipped; a leading one gives ERROR_BAD_PATHNAME; a component longer
// than 255 UTF-16 units ERROR_INVALID_PARAMETER; a component that is not Unicode text
// ERROR_INVALID_PARAMETER when `creating`, else ERROR_FILE_NOT_FOUND. Throws std::bad_alloc.
DWORD parse_key_path(LPCWSTR sub_key, bool creating, std::vector<t_name>& out);

// A value name (NULL is the default value, as is the empty name). Throws std::bad_alloc.
t_name_result parse_value_name(LPCWSTR value_name, t_name& out);

// Copies `text` and a terminating 0 into `buffer` of `buffer_size` wide characters when they fit.
// Returns false (and writes nothing) when they do not. Throws std::bad_alloc.
bool copy_name(const std::u16string& text, LPWSTR buffer, DWORD buffer_size);

// A FILETIME from its 64-bit value.
FILETIME filetime_from(std::int64_t value) noexcept;

}  // namespace voka::platform::registry
