// The exception base.
#include "voka/infrastructure/core/exception.h"

namespace voka::infrastructure::core::structure
{

const char* t_exception::what() const noexcept
{
    return m_message.empty() ? "Unknown exception" : m_message.c_str();
}

void t_exception::raise() const
{
    throw t_exception(*this);
}

}  // namespace voka::infrastructure::core::structure
