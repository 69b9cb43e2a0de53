// Reading text and blob columns of the registry's statements into strings.
#pragma once

#include <cstddef>
#include <sqlite3.h>
#include <string>

namespace voka::platform::registry
{

// A UTF-16 text column; NULL and empty text give an empty string. Throws std::bad_alloc.
inline void read_text16(sqlite3_stmt* statement, int column, std::u16string& out)
{
    const void* text = ::sqlite3_column_text16(statement, column);
    const int bytes = ::sqlite3_column_bytes16(statement, column);
    if (text != nullptr && bytes > 0)
        out.assign(static_cast<const char16_t*>(text), static_cast<std::size_t>(bytes) / 2);
    else
        out.clear();
}

// A blob column; SQLite gives a null pointer for an empty blob. Throws std::bad_alloc.
inline void read_blob(sqlite3_stmt* statement, int column, std::string& out)
{
    const void* data = ::sqlite3_column_blob(statement, column);
    const int size = ::sqlite3_column_bytes(statement, column);
    if (data != nullptr && size > 0)
        out.assign(static_cast<const char*>(data), static_cast<std::size_t>(size));
    else
        out.clear();
}

}  // namespace voka::platform::registry
