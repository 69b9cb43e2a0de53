// A growable byte array that grows in place where the allocator can (a large block is
// remapped rather than copied), so that a text of many megabytes is never held twice.
//
// Bytes are written as char8_t: unlike char, it may not alias other objects, so a loop
// that appends bytes lets the compiler keep the stream and buffer pointers it works
// with in registers. The bytes are read back as char, which may read any object.
#pragma once

#include <cstddef>
#include <cstdint>

namespace structure
{

class t_byte_buffer
{
public:
    t_byte_buffer() noexcept = default;
    t_byte_buffer(const t_byte_buffer&) = delete;
    t_byte_buffer& operator=(const t_byte_buffer&) = delete;
    ~t_byte_buffer();

    const char* data() const noexcept { return reinterpret_cast<const char*>(m_data); }
    std::uint64_t size() const noexcept { return static_cast<std::uint64_t>(m_end - m_data); }

    // Appends one byte; throws std::bad_alloc when the buffer cannot grow.
    void push_back(char byte)
    {
        if (m_end == m_capacity_end)
            grow();
        *m_end++ = static_cast<char8_t>(byte);
    }

    // Appending from a loop that keeps the end of the bytes in a local cursor: take
    // the cursor, append through it, and hand it back before anything else reads or
    // changes the buffer.
    struct t_appender
    {
        char8_t* end;
        char8_t* capacity_end;
    };

    t_appender appender() const noexcept { return {m_end, m_capacity_end}; }

    void append(t_appender& appender, char byte)
    {
        if (appender.end == appender.capacity_end)
            appender = grow_from(appender);
        *appender.end++ = static_cast<char8_t>(byte);
    }

    // Makes room for `count` more bytes behind the cursor, which may then be written
    // to appender.end without further checks.
    void reserve(t_appender& appender, std::size_t count)
    {
        while (static_cast<std::size_t>(appender.capacity_end - appender.end) < count)
            appender = grow_from(appender);
    }

    void commit(const t_appender& appender) noexcept { m_end = appender.end; }

    // Bulk appending: room for at least `count` more bytes behind the end, to be
    // written there and then taken into the array by extend(count).
    char* tail_room(std::size_t count)
    {
        while (static_cast<std::size_t>(m_capacity_end - m_end) < count)
            grow();
        return reinterpret_cast<char*>(m_end);
    }
    void extend(std::size_t count) noexcept { m_end += count; }

private:
    void grow();
    t_appender grow_from(const t_appender& appender);

    char8_t* m_data = nullptr;
    char8_t* m_end = nullptr;
    char8_t* m_capacity_end = nullptr;
};

}  // namespace structure
