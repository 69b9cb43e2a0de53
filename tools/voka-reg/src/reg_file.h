// The .reg text format of Windows' registry editor: its model, the parser used by import and the
// writer used by export.
//
// A file starts with "Windows Registry Editor Version 5.00" (UTF-16LE with a byte-order mark, or
// UTF-8) or "REGEDIT4" (8-bit text, taken as UTF-8 here). Then blocks: a line "[KEY PATH]" opens
// a key (creating it on import), "[-KEY PATH]" deletes a key with everything below it. Below a
// key, one line per value: "name"=data, or @=data for the default value, where data is
//   "text"            REG_SZ; \\ and \" are the only escapes
//   dword:1a2b        REG_DWORD, 1 to 8 hexadecimal digits
//   hex:01,02         REG_BINARY, bytes in hexadecimal
//   hex(N):01,02      type N (hexadecimal); for the string types 1, 2, 6 and 7 the bytes are
//                     UTF-16LE text (8-bit text in REGEDIT4 files)
//   -                 deletes the value
// A hexadecimal list may go on over several lines, each but the last ending in a backslash.
// Lines starting with ';' are comments; empty lines separate blocks; line ends are CR LF or LF.
#pragma once

#include "value_data.h"

#include <cstdint>
#include <string>
#include <vector>

namespace voka_reg
{

// One value line. Threading: plain values throughout.
struct t_reg_value
{
    std::wstring name;    // empty for the default value (@)
    bool remove = false;  // "name"=-
    DWORD type = REG_NONE;
    t_bytes data;          // as the registry calls take it: wide characters for strings
    std::size_t line = 0;  // where it was read (from 1)
};

// One "[KEY]" or "[-KEY]" block.
struct t_reg_key
{
    std::wstring path;    // as written between the brackets
    bool remove = false;  // [-KEY]
    std::vector<t_reg_value> values;
    std::size_t line = 0;  // where it was read (from 1)
};

struct t_reg_file
{
    std::vector<t_reg_key> keys;
};

// Parses the bytes of a .reg file. Throws t_tool_error "<source> line N: <what is wrong>" for
// malformed input (and "<source>: not a .reg file" without the header); never reads outside
// `bytes`. Names and key paths must be text the registry can hold (no zero character, no
// surrogate); whether a key path starts with a root key is not checked here.
t_reg_file parse_reg_file(const std::vector<std::uint8_t>& bytes, const std::string& source);

// The text of a .reg file (version 5.00) for `file`, with CR LF line ends: values as the registry
// editor writes them (strings that are plain text in quotes, REG_DWORD as dword:, the rest as hex
// lists wrapped at 80 columns), a blank line after each key. What parse_reg_file would not give
// back unchanged is refused with t_tool_error naming the key or value: a key path or value name
// with a line feed, string data that is not a whole number of valid characters (a partial last
// character, a value above U+10FFFF, surrogates that UTF-16 would pair).
std::wstring format_reg_file(const t_reg_file& file);

// The bytes of `text` in UTF-16LE with a byte-order mark (as the registry editor writes files),
// or in UTF-8 without one.
std::vector<std::uint8_t> encode_reg_text(const std::wstring& text, bool utf8);

}  // namespace voka_reg
