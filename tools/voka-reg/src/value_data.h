// Value data as voka-reg reads, prints and stores it: type names, the data of registry calls
// (wide characters for strings), UTF-16LE as .reg files hold strings, and the text forms of the
// command line and the query output.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voka_reg
{

using t_bytes = std::vector<std::uint8_t>;

// The bits of a wide character as a number (a negative wchar_t is no character).
std::uint32_t code_of(wchar_t character) noexcept;

// "REG_SZ" for REG_SZ, ...; "REG_0x<hex>" for a type without a name.
std::wstring type_name(DWORD type);

// The type a name stands for (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD,
// REG_QWORD, REG_NONE, in any case); nullopt for others.
std::optional<DWORD> type_from_name(const std::wstring& name);

// The data of a registry call for `text` and its terminating 0, in wide characters.
t_bytes wide_string_data(const std::wstring& text);

// The wide characters of string data of a registry call (a partial last character is dropped).
std::wstring wide_characters(const t_bytes& data);

// String data of a registry call as UTF-16LE, as .reg files hold it: characters beyond the BMP
// become surrogate pairs; values that are no character become U+FFFD.
t_bytes utf16_from_wide_data(const t_bytes& data);

// UTF-16LE bytes as the data of a registry call; nullopt for an odd number of bytes. Surrogate
// pairs become one wide character, lone surrogates keep their value.
std::optional<t_bytes> wide_data_from_utf16(const t_bytes& utf16);

// The data that `add -t <type> -d <text>` stores; throws t_tool_error naming the text when it
// does not suit the type. REG_DWORD and REG_QWORD take a decimal or 0x-hexadecimal number,
// REG_BINARY and REG_NONE pairs of hexadecimal digits, REG_MULTI_SZ strings separated by the two
// characters "\0", the other string types any text.
t_bytes data_from_text(DWORD type, const std::wstring& text);

// The data as the query output shows it: strings as they are (the items of REG_MULTI_SZ joined
// by "\0"), numbers as 0x-hexadecimal, everything else as hexadecimal digit pairs.
std::wstring data_to_text(DWORD type, const t_bytes& data);

}  // namespace voka_reg
