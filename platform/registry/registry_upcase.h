// Upper-casing of UTF-16 units for the registry's case-insensitive names.
#pragma once

namespace voka::platform::registry
{

// The upper case of one UTF-16 unit: the Unicode simple upper-case mapping (Unicode 14) of a
// character of the Basic Multilingual Plane whose upper case is one character of that plane;
// every other unit, surrogates included, maps to itself. Windows folds registry names the same
// way, unit by unit, with its own upper-case table.
char16_t upcase_unit(char16_t unit) noexcept;

}  // namespace voka::platform::registry
