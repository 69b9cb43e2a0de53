// Growth of the byte array: doubling through realloc.
#include "byte_buffer.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace structure
{

namespace
{
constexpr std::size_t initial_capacity = 64 * 1024;
}

t_byte_buffer::~t_byte_buffer()
{
    std::free(m_data);
}

void t_byte_buffer::grow()
{
    const std::size_t size = static_cast<std::size_t>(m_end - m_data);
    const std::size_t capacity = static_cast<std::size_t>(m_capacity_end - m_data);
    if (capacity > std::numeric_limits<std::size_t>::max() / 2)
        throw std::bad_alloc();
    const std::size_t grown_capacity = capacity == 0 ? initial_capacity : capacity * 2;
    // realloc rather than allocate-and-copy: for large blocks the C runtime moves the
    // pages instead of the bytes, and the untouched tail costs no memory until written.
    void* grown = std::realloc(m_data, grown_capacity);
    if (grown == nullptr)
        throw std::bad_alloc();
    m_data = static_cast<char8_t*>(grown);
    m_end = m_data + size;
    m_capacity_end = m_data + grown_capacity;
}

t_byte_buffer::t_appender t_byte_buffer::grow_from(const t_appender& appender)
{
    commit(appender);
    grow();
    return this->appender();
}

}  // namespace structure
