// voka-reg's operations on the registry, through the Win32 registry functions only. Each one
// throws t_tool_error naming the key or value when a registry call fails; none prints.
#pragma once

#include "key_path.h"
#include "reg_file.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace voka_reg
{

// Which values a query shows or a delete removes.
struct t_value_selection
{
    std::optional<std::wstring> name;  // -v NAME; the empty name is the default value (-ve)
    bool all = false;                  // -va (delete only)
};

// One value as RegEnumValueW gives it.
struct t_listed_value
{
    std::wstring name;
    DWORD type = 0;
    t_bytes data;
};

// One call of RegEnumValueW for one index of one key: (name, name size, type, data, data size)
// as RegEnumValueW takes them, giving its error.
using t_enum_value_call = std::function<LSTATUS(LPWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)>;

// Reads one value through `call` into `value`. The buffers `name` (wide characters) and `data`
// (bytes) may start at any size, even empty (sized by a RegQueryInfoKeyW made before the value
// appeared or grew, say): every call gets at least one character and one byte, nothing is read
// beyond the buffers whatever size the call reports, and a name or data that does not fit grows
// its buffer for another call, a few times at most. Returns ERROR_SUCCESS, ERROR_MORE_DATA when
// the value outgrew the buffers each time, or the call's error (ERROR_NO_MORE_ITEMS past the last
// value).
LSTATUS read_listed_value(const t_enum_value_call& call, std::vector<wchar_t>& name, t_bytes& data,
                          t_listed_value& value);

// The text of `query`: the key's path, one line per value ("    NAME    TYPE    DATA", the
// default value named "(Default)"), then, when the key has sub keys, an empty line and their
// paths. With `recursive`, every key below follows as a block of its own, after an empty line,
// instead of the list of sub keys. With a value name, only that value (it must exist).
std::wstring query_key(const t_key_path& path, const t_value_selection& selection, bool recursive);

// Creates the key (with the keys on its path) and, when `name` is given, sets that value.
void add_value(const t_key_path& path, const std::optional<std::wstring>& name, DWORD type,
               const t_bytes& data);

// Deletes the key with everything below it, or only the selected values.
void delete_key_or_values(const t_key_path& path, const t_value_selection& selection);

// The key and everything below it as a .reg file model, keys in listing order (each key before
// its sub keys), values in creation order.
t_reg_file export_key(const t_key_path& path);

// Applies a parsed .reg file: every key path (its root, its names: none empty, none longer than
// the registry takes) and the name of every value set are checked before anything changes; then
// keys are created or deleted and values set or deleted in the order of the file. Deleting what
// does not exist is no error, as with the registry editor. `source` names the file in messages.
void import_reg_file(const t_reg_file& file, const std::string& source);

}  // namespace voka_reg
