// Byte output of the tag transformation: buffered in chunks handed to the destination
// stream's buffer. A failed write marks the stream bad (so the caller sees the failure
// in the stream's state) and drops every later byte instead of retrying the device.
//
// Bytes are stored as char8_t, which may not alias other objects, so that a loop
// writing through a t_cursor keeps its pointers, and the stream pointers of the loader
// it runs beside, in registers.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace structure
{

class t_text_writer
{
public:
    // A stream already failed takes no bytes; one without a buffer is marked bad at
    // the first flush that has bytes for it.
    explicit t_text_writer(std::ostream& stream);
    t_text_writer(const t_text_writer&) = delete;
    t_text_writer& operator=(const t_text_writer&) = delete;

    // Hands what is left to the stream; a failure marks the stream bad.
    ~t_text_writer();

    // Writes one byte; a line feed becomes the destination's line break, as the
    // stream's mode makes it.
    void put(char c)
    {
        if (m_next == m_end)
            m_next = flush_until(m_next);
        *m_next++ = static_cast<char8_t>(c);
    }

    void put(const std::string& text)
    {
        for (const char c : text)
            put(c);
    }

    // Hands the buffered bytes to the stream. May throw what the stream throws for a
    // bad state when its exception mask asks for it.
    void flush() { m_next = flush_until(m_next); }

    // Writing from a loop through a local copy of the buffer's cursor, given back when
    // the cursor goes; the writer is not used otherwise meanwhile.
    class t_cursor
    {
    public:
        explicit t_cursor(t_text_writer& writer) noexcept
            : m_writer(writer), m_next(writer.m_next), m_end(writer.m_end)
        {
        }
        t_cursor(const t_cursor&) = delete;
        t_cursor& operator=(const t_cursor&) = delete;
        ~t_cursor() { m_writer.m_next = m_next; }

        void put(char c)
        {
            if (m_next == m_end)
                m_next = m_writer.flush_until(m_next);
            *m_next++ = static_cast<char8_t>(c);
        }

        // Writes `count` bytes from `text`, as many put calls would.
        void put(const char* text, std::size_t count)
        {
            while (count != 0)
            {
                if (m_next == m_end)
                    m_next = m_writer.flush_until(m_next);
                const std::size_t room = static_cast<std::size_t>(m_end - m_next);
                const std::size_t part = count < room ? count : room;
                std::memcpy(m_next, text, part);
                m_next += part;
                text += part;
                count -= part;
            }
        }

        // Writes `count` bytes in place of those from `text`: a line feed for each line
        // feed, a space for every other byte.
        void put_blanked(const char* text, std::size_t count)
        {
            while (count != 0)
            {
                if (m_next == m_end)
                    m_next = m_writer.flush_until(m_next);
                const std::size_t room = static_cast<std::size_t>(m_end - m_next);
                const std::size_t part = count < room ? count : room;
                for (std::size_t i = 0; i != part; ++i)
                    m_next[i] = text[i] == '\n' ? char8_t{'\n'} : char8_t{' '};
                m_next += part;
                text += part;
                count -= part;
            }
        }

    private:
        t_text_writer& m_writer;
        char8_t* m_next;
        char8_t* m_end;
    };

private:
    static constexpr std::size_t chunk_size = 64 * 1024;

    // Writes the chunk up to `next` to the stream; returns the chunk's start.
    char8_t* flush_until(char8_t* next);
    void fail();

    std::ostream& m_stream;
    std::streambuf* m_buffer;  // null once a write failed
    std::unique_ptr<char8_t[]> m_chunk;
    char8_t* m_next;
    char8_t* m_end;
};

}  // namespace structure
