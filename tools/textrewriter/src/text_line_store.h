// Storage of a loaded text: the lines, kept in blocks of slots so that a line costs
// three words and no allocation of its own, and the bytes of all lines, back to back
// in one byte array, each line's bytes followed by a line feed once its break has been
// read. The array thus holds the text as the loader presents it, in one piece. Line
// k's bytes and break run from its offset to line k + 1's offset; the last line, the
// only one still growing, runs to the end of the array.
#pragma once

#include "byte_buffer.h"
#include "text_line.h"
#include "text_position.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace structure
{

class t_text_line_store
{
public:
    // Line numbers and columns stay below the end marker's value.
    static constexpr std::uint32_t max_line_count = t_text_position::end_value - 1;
    static constexpr std::uint64_t max_line_size = t_text_position::end_value - 2;

    t_text_line_store() = default;
    t_text_line_store(const t_text_line_store&) = delete;
    t_text_line_store& operator=(const t_text_line_store&) = delete;

    // Releases the store's reference to every line. A line's storage goes with the
    // store, so no other reference may outlive it.
    ~t_text_line_store();

    std::uint32_t count() const noexcept { return m_count; }

    // Line `number`, 1 to count().
    t_text_line& line(std::uint32_t number) noexcept
    {
        const std::uint32_t index = number - 1;
        return *std::launder(reinterpret_cast<t_text_line*>(
            m_blocks[index >> block_shift]->slots + (index & block_mask) * sizeof(t_text_line)));
    }
    const t_text_line& line(std::uint32_t number) const noexcept
    {
        return const_cast<t_text_line_store*>(this)->line(number);
    }

    // The line with the highest number; only valid while count() is not 0.
    t_text_line& last_line() noexcept { return *m_last; }
    const t_text_line& last_line() const noexcept { return *m_last; }

    // Creates line count() + 1, empty, with first column 1, and takes one reference to
    // it. Throws std::length_error when the line numbers are used up, std::bad_alloc.
    t_text_line& append_line() { return append_line_at(m_bytes.size()); }

    // Appends a byte to the last line.
    void append_byte(char byte) { m_bytes.push_back(byte); }

    // Marks the last line's break as read: its line feed follows its bytes.
    void end_line()
    {
        m_bytes.push_back('\n');
        m_last->set_break_read();
    }

    // Bulk loading: room for `count` more bytes of text behind the loaded ones. Text
    // written there, with every line break as one line feed, is taken by
    // append_text, which ends a line at each line feed and starts a new one where
    // bytes follow a read break.
    char* tail_room(std::size_t count) { return m_bytes.tail_room(count); }
    // Throws std::length_error when a line grows too long or the line numbers are used
    // up, std::bad_alloc; the bytes and lines before the failing line stay.
    void append_text(std::size_t count);

    // The number of the line whose bytes or break hold byte `offset` of the text;
    // offset must lie below size().
    std::uint32_t line_at(std::uint64_t offset) const noexcept;

    // Appending through a local cursor (see t_byte_buffer); commit before the store
    // is used otherwise.
    t_byte_buffer::t_appender appender() const noexcept { return m_bytes.appender(); }
    void append_byte(t_byte_buffer::t_appender& appender, char byte)
    {
        m_bytes.append(appender, byte);
    }
    void reserve(t_byte_buffer::t_appender& appender, std::size_t count)
    {
        m_bytes.reserve(appender, count);
    }
    void commit(const t_byte_buffer::t_appender& appender) noexcept { m_bytes.commit(appender); }

    // The loaded text: every line's bytes, each followed by a line feed once its break
    // has been read.
    const char* bytes() const noexcept { return m_bytes.data(); }
    std::uint64_t size() const noexcept { return m_bytes.size(); }

    // Number of bytes of line `number` (1 to count()), its break not included.
    std::uint64_t line_size(std::uint32_t number) const noexcept
    {
        if (number == m_count)
            return last_line_size();
        // Every line but the last has its break read.
        return line(number + 1).offset() - line(number).offset() - 1;
    }

    std::uint64_t last_line_size() const noexcept
    {
        return m_bytes.size() - m_last->offset() - (m_last->break_read() ? 1 : 0);
    }

private:
    t_text_line& append_line_at(std::uint64_t offset);

    static constexpr std::uint32_t block_shift = 13;
    static constexpr std::uint32_t block_lines = std::uint32_t{1} << block_shift;
    static constexpr std::uint32_t block_mask = block_lines - 1;

    struct t_block
    {
        alignas(t_text_line) std::byte slots[block_lines * sizeof(t_text_line)];
    };

    std::vector<std::unique_ptr<t_block>> m_blocks;
    t_byte_buffer m_bytes;
    std::uint32_t m_count = 0;
    t_text_line* m_last = nullptr;
};

}  // namespace structure
