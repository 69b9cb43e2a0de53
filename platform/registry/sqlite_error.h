// The Win32 error that a failed SQLite call of the registry reports.
#pragma once

#include "voka/win32.h"

#include <sqlite3.h>

namespace voka::platform::registry
{

// The Win32 code for the SQLite result `result` of a call on `connection` (may be null):
// corruption and foreign files ERROR_BADDB; a read-only database ERROR_ACCESS_DENIED; a full disk
// ERROR_DISK_FULL; a writer that waited too long ERROR_BUSY; no memory ERROR_NOT_ENOUGH_MEMORY;
// data above SQLite's size limit ERROR_OUTOFMEMORY; a file that cannot be opened, read or written
// ERROR_ACCESS_DENIED, ERROR_DISK_FULL or ERROR_NOT_ENOUGH_MEMORY when the system error behind it
// says so, else ERROR_REGISTRY_IO_FAILED.
DWORD win32_error_from_sqlite(int result, sqlite3* connection) noexcept;

}  // namespace voka::platform::registry
