// Reading class registrations: the default string value of a key below HKEY_CLASSES_ROOT, and
// the registry form of a class id.
#pragma once

#include "voka/win32.h"

#include <string>

namespace voka::platform::ole32
{

// The default value of HKEY_CLASSES_ROOT\<path> as text: REG_SZ as stored, REG_EXPAND_SZ with
// its %NAME% parts replaced by the environment's values. Gives ERROR_SUCCESS and the text (without
// its terminating 0), ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_INVALID_DATA for a
// value of another type, or the registry's error. Throws std::bad_alloc.
LSTATUS read_class_string(const std::wstring& path, std::wstring& text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" for `guid`.
std::wstring guid_key_name(REFGUID guid);

// The path of a class's key: "CLSID\{...}".
std::wstring class_key_path(REFCLSID class_id);

}  // namespace voka::platform::ole32
