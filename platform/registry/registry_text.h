// Names and string data of the registry: the conversions between the caller's wide characters
// (wchar_t, UTF-32 here) and the UTF-16 that the database keeps, and the folded form of a name
// that makes lookups case-insensitive.
#pragma once

#include "voka/win32.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace voka::platform::registry
{

// Windows' limits on names, in UTF-16 units.
constexpr std::size_t k_max_key_name_units = 255;
constexpr std::size_t k_max_value_name_units = 16383;

// A key or value name as the database keeps it. Threading: a plain value.
struct t_name
{
    std::u16string text;  // the name as given, in UTF-16
    std::string fold;     // the upper-cased UTF-16 units, big-endian: sorts in UTF-16 unit order
    DWORD length = 0;     // in the caller's wide characters
};

enum class t_name_result
{
    ok,
    not_text,  // holds a surrogate or a value above U+10FFFF
    too_long,  // more UTF-16 units than allowed
};

// Makes `out` from `wide`, which is checked to be Unicode text of at most `max_units` UTF-16
// units. Throws std::bad_alloc.
t_name_result make_name(std::wstring_view wide, std::size_t max_units, t_name& out);

// The caller's wide characters of UTF-16 `text` that the database gave back. A lone surrogate
// unit (which make_name never stores) becomes a wide character of its own value. Throws
// std::bad_alloc.
std::wstring wide_from_utf16(std::u16string_view text);

// Value types whose data Windows keeps as UTF-16 text.
bool is_string_type(DWORD type) noexcept;

// Value data in the form the database keeps. Threading: a plain value.
struct t_stored_data
{
    bool is_utf16 = false;  // `bytes` holds UTF-16LE text converted from the caller's characters
    std::string bytes;      // the stored bytes
    DWORD size = 0;         // the size the caller sees, in bytes
};

// The stored form of `size` bytes of `data` of type `type`: string types whose data is a whole
// number of valid wide characters become UTF-16LE, everything else stays byte for byte. Throws
// std::bad_alloc.
void store_value_data(DWORD type, const BYTE* data, DWORD size, t_stored_data& out);

// Writes the caller's form of stored data into `out`, which holds the size the caller sees.
void load_value_data(bool is_utf16, const void* bytes, std::size_t byte_count, BYTE* out) noexcept;

// Whether load_value_data writes exactly `size` bytes for these stored bytes. A row whose size
// column disagrees with its data (a database changed by other hands) must not be loaded: the
// callers size their buffers by the column.
bool stored_size_matches(bool is_utf16, const std::string& bytes, DWORD size) noexcept;

}  // namespace voka::platform::registry
