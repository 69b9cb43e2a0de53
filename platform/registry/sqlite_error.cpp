// Translation of SQLite results into the Win32 errors of the registry functions.
#include "sqlite_error.h"

#include <cerrno>

namespace voka::platform::registry
{

DWORD win32_error_from_sqlite(int result, sqlite3* connection) noexcept
{
    switch (result & 0xFF)
    {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
        return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PROTOCOL:
    case SQLITE_NOLFS:
    {
        // The system error behind a failed open, read or write, where it tells the caller more
        // than that the registry's file failed. Codes such as ERROR_FILE_NOT_FOUND would read as
        // a missing key, so every other system error is ERROR_REGISTRY_IO_FAILED.
        const int error_number = connection != nullptr ? ::sqlite3_system_errno(connection) : 0;
        switch (error_number)
        {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
        }
    }
    default:
        // SQLITE_CORRUPT, SQLITE_NOTADB, and the errors of a database whose schema is not the
        // registry's (a missing table, a broken constraint).
        return ERROR_BADDB;
    }
}

}  // namespace voka::platform::registry
