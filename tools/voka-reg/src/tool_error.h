// Failures of voka-reg: one exception type whose message is the text after "ERROR: ", and the
// wording of Win32 registry errors.
#pragma once

#include "voka/win32.h"

#include <stdexcept>
#include <string>

namespace voka_reg
{

// A failure of an operation; the message names the input or the key it concerns.
class t_tool_error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Throws t_tool_error with `message`.
[[noreturn]] void raise_error(const std::string& message);

// Throws t_tool_error "<action> <target>: <text> (error <code>)", e.g. "cannot open
// HKEY_CURRENT_USER\Software\X: the key or value does not exist (error 2)".
[[noreturn]] void raise_win32_error(const std::string& action, const std::wstring& target,
                                    LSTATUS code);

// The short text of a Win32 error code of the registry functions; "Win32 error" for others.
std::string win32_error_text(LSTATUS code);

// UTF-8 for output and messages, and back (invalid input becomes U+FFFD).
std::string to_utf8(const std::wstring& text);
std::wstring from_utf8(const std::string& text);

}  // namespace voka_reg
