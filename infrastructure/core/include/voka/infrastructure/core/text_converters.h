// Conversion between 8-bit code-page text and wide text.
//
// Lengths: 0 is empty input; -1 is zero-terminated input (a null pointer counts as
// empty); any other negative length throws std::length_error. Characters that do not
// convert get the platform's default substitution; a total failure gives an empty
// result (and sets the failure flag where one is given).
#pragma once

#include <string>

namespace voka::infrastructure::core::structure
{

class t_ansi_to_unicode
{
public:
    // `code_page` 0 is the ANSI code page (CP_ACP). `failed`, when given, is set to
    // false on entry and to true when the platform could not convert.
    static void convert(std::wstring& result, const char* text, int length, unsigned code_page = 0,
                        bool* failed = nullptr);
};

class t_unicode_to_ansi
{
public:
    // Converts to the ANSI code page with no flags and no default character.
    static void convert(std::string& result, const wchar_t* text, int length);
};

}  // namespace voka::infrastructure::core::structure

namespace structure
{
using voka::infrastructure::core::structure::t_ansi_to_unicode;
using voka::infrastructure::core::structure::t_unicode_to_ansi;
}  // namespace structure
