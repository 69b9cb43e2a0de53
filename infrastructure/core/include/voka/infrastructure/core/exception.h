// The exception base of the system: a std::exception that keeps its message and
// can throw a copy of itself as its most-derived type.
#pragma once

#include <exception>
#include <string>

namespace voka::infrastructure::core::structure
{

class t_exception : public std::exception
{
public:
    t_exception() = default;
    explicit t_exception(const char* message) : m_message(message != nullptr ? message : "") {}
    t_exception(const t_exception& other) = default;
    t_exception& operator=(const t_exception& other) = default;
    ~t_exception() override = default;

    // The stored message; "Unknown exception" when none was given.
    const char* what() const noexcept override;

    // Throws a copy of this exception as its most-derived type.
    [[noreturn]] virtual void raise() const;

private:
    // The message lives here because std::exception keeps none on every platform.
    std::string m_message;
};

}  // namespace voka::infrastructure::core::structure
