// The output side of one code-page conversion. It counts every unit and stores it
// while the caller's buffer has room, so the size query and the converting call run
// the very same code and cannot disagree.
#pragma once

#include <climits>
#include <cstddef>

namespace voka::platform::io
{

// How a conversion pass ended.
enum class t_conversion_status
{
    ok,
    invalid_input,     // invalid input, and the caller asked to fail on it
    buffer_too_small,  // the output does not fit the buffer (or a count of int)
    failed,            // the host converter failed for another reason
};

// Collects the units of one conversion. Built with a capacity of 0 it only counts
// (the Windows size query), up to INT_MAX units; otherwise it writes into `buffer`
// and refuses units past `capacity`. Single-threaded, like the call that owns it.
template <typename t_unit>
class t_text_output
{
public:
    t_text_output(t_unit* buffer, int capacity) noexcept
        : m_buffer(capacity > 0 ? buffer : nullptr),
          m_limit(capacity > 0 ? static_cast<std::size_t>(capacity) : std::size_t{INT_MAX})
    {
    }

    // False when the unit does not fit; the conversion then stops.
    bool put(t_unit unit) noexcept
    {
        if (m_count == m_limit)
            return false;
        if (m_buffer != nullptr)
            m_buffer[m_count] = unit;
        ++m_count;
        return true;
    }

    bool put(const t_unit* units, std::size_t count) noexcept
    {
        if (count > m_limit - m_count)
            return false;
        if (m_buffer != nullptr)
            for (std::size_t index = 0; index < count; ++index)
                m_buffer[m_count + index] = units[index];
        m_count += count;
        return true;
    }

    // Units produced so far; never above INT_MAX.
    int count() const noexcept { return static_cast<int>(m_count); }

private:
    t_unit* m_buffer;     // null when only counting
    std::size_t m_limit;  // at most INT_MAX
    std::size_t m_count = 0;
};

}  // namespace voka::platform::io
