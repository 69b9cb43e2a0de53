// The registry form of a GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
#pragma once

#include "voka/win32.h"

#include <string>

namespace voka::infrastructure::multitasking::oxa
{

// 38 characters: Data1, Data2 and Data3 as numbers, then Data4 byte by byte (2 bytes, a dash,
// 6 bytes), in braces.
std::wstring oxa_guid_registry_text(const GUID& guid);

}  // namespace voka::infrastructure::multitasking::oxa
