// The value kinds of the registry storage service: their registry types and the rules their
// data must follow. Sizes are in bytes; wide characters are wchar_t.
#pragma once

#include "voka/win32.h"

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

// The registry type of a value kind; false for an unknown kind.
bool registry_type_of_kind(DWORD kind, DWORD& type) noexcept;

// The value kind of a registry type; false for a type without a kind.
bool kind_of_registry_type(DWORD type, DWORD& kind) noexcept;

// For REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: whether `size` is a whole number of wide
// characters, at least one (REG_MULTI_SZ: two), and, when `data` is given, the last one
// (REG_MULTI_SZ: the last two) are 0. True for every other type.
bool string_data_fits(DWORD type, DWORD size, const BYTE* data) noexcept;

// Whether the data of a value to be set follows the rules of its type: the string rules above,
// 4 bytes for REG_DWORD, 8 for REG_QWORD, anything for REG_BINARY.
bool data_fits_type(DWORD type, DWORD size, const BYTE* data) noexcept;

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
