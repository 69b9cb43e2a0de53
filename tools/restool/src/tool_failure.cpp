// Raising tarnwick's failures with the narrow message formatter.
#include "tool_failure.h"

#include "voka/infrastructure/core/message_formatter.h"

#include <stdexcept>

namespace tw
{

using structure::t_message_formatter;

void raise_failure(const char* message)
{
    throw std::runtime_error(message);
}

void raise_failure(const char* message_template, const std::wstring& name)
{
    throw std::runtime_error(t_message_formatter(message_template).add_arg(name).build());
}

void raise_failure(const char* message_template, std::uint32_t code)
{
    throw std::runtime_error(t_message_formatter(message_template).add_arg(code).build());
}

void raise_failure(const char* message_template, const std::wstring& name, std::uint32_t code)
{
    throw std::runtime_error(
        t_message_formatter(message_template).add_arg(name).add_arg(code).build());
}

void raise_failure(const char* message_template, std::uint32_t first, std::uint32_t second)
{
    throw std::runtime_error(
        t_message_formatter(message_template).add_arg(first).add_arg(second).build());
}

}  // namespace tw
