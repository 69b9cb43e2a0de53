// Text conversions of the resource compiler: the UTF-8 of source files to code points, and code
// points to the UTF-16LE bytes and wide strings of resource data and names. Explicit on purpose:
// wchar_t is UTF-32 on Linux and UTF-16 on Windows, resource data is UTF-16LE on both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voka::rc
{

// The code points of well-formed UTF-8 `text`; nullopt for malformed input (bad sequences,
// overlong forms, surrogates, values above 0x10FFFF).
std::optional<std::u32string> decode_utf8(std::string_view text);

// Appends the UTF-16LE form of `text` (valid code points) to `out`, without a terminator.
void append_utf16le(std::vector<std::uint8_t>& out, std::u32string_view text);

// The number of UTF-16 code units of `text`.
std::size_t utf16_length(std::u32string_view text) noexcept;

// `text` as a wide string, code point by code point where wchar_t is 32-bit, as UTF-16 otherwise.
std::wstring to_wide(std::u32string_view text);

}  // namespace voka::rc
