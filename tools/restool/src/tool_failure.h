// Raising tarnwick's failures: std::runtime_error with a message of tool_texts.h, its
// placeholders filled in order.
#pragma once

#include <cstdint>
#include <string>

namespace tw
{

// Throws the message as it stands.
[[noreturn]] void raise_failure(const char* message);

// Throws `message_template` with %1 = `name` (converted to the ANSI code page).
[[noreturn]] void raise_failure(const char* message_template, const std::wstring& name);

// Throws `message_template` with %1 = `code` in unsigned decimal (an error code or a count).
[[noreturn]] void raise_failure(const char* message_template, std::uint32_t code);

// Throws `message_template` with %1 = `name`, %2 = `code`.
[[noreturn]] void raise_failure(const char* message_template, const std::wstring& name,
                                std::uint32_t code);

// Throws `message_template` with %1 = `first`, %2 = `second`, both in unsigned decimal.
[[noreturn]] void raise_failure(const char* message_template, std::uint32_t first,
                                std::uint32_t second);

}  // namespace tw
