// Key paths as voka-reg takes and prints them: a root key name, a backslash, a sub key path.
#pragma once

#include "voka/win32.h"

#include <cstddef>
#include <string>

namespace voka_reg
{

// The longest names the registry takes, in UTF-16 units, as on Windows.
constexpr std::size_t k_max_key_name_length = 255;
constexpr std::size_t k_max_value_name_length = 16383;

// The length of `text` in UTF-16 units: characters beyond the Basic Multilingual Plane count two.
std::size_t utf16_length(const std::wstring& text);

// A parsed key path. Threading: a plain value.
struct t_key_path
{
    HKEY root = nullptr;
    std::wstring root_name;  // the long form: HKEY_CURRENT_USER, ...
    std::wstring sub_key;    // without leading or trailing backslashes; empty for the root

    // The full path with the long root name.
    std::wstring full() const;
    // The path of the sub key `name` below this key.
    t_key_path child(const std::wstring& name) const;
};

// Parses "ROOT[\sub\key]". ROOT is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT,
// HKEY_USERS, HKEY_CURRENT_CONFIG or a short form (HKLM, HKCU, HKCR, HKU, HKCC), in any case.
// Trailing backslashes are dropped. Throws t_tool_error naming the text for another root.
t_key_path parse_key_path(const std::wstring& text);

// Throws t_tool_error when the registry cannot create a key of `path`: an empty name in it (a
// leading or doubled backslash) or a name longer than k_max_key_name_length. The message names
// the path.
void check_key_names(const t_key_path& path);

}  // namespace voka_reg
