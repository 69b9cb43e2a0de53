// The text loader: turns an input stream into lines addressed by (line, column),
// reading the stream lazily, no further than a caller walks forward; bytes waiting in
// the stream's buffer are taken from it in place, the rest one at a time. Line
// breaks (LF, CR LF or a lone CR) are presented as one line feed at the break
// position, one past the line's last byte. A reader that goes through the whole text
// once may instead load it in blocks and read the loaded text in one piece.
//
// Design: every line stays loaded until the loader goes, so walking again over text
// already read costs no input. The lines' bytes lie back to back in one array, each
// line's followed by its line feed once the break is read, which is the text exactly
// as the walk presents it. The walk mostly happens on the last line, where bytes
// arrive, or on one line read again after a look-ahead; both cases are served inline
// (the last line directly, an earlier line through a one-line cache), and everything
// else, errors included, goes through the general algorithm out of line. The inline
// paths rely on every line starting at column 1, which holds for every line this
// loader creates.
#pragma once

#include "text_line.h"
#include "text_line_store.h"
#include "text_loader_errors.h"
#include "text_loader_traits.h"
#include "text_position.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <type_traits>

namespace structure
{

template <typename t_traits>
class t_basic_text_loader
{
public:
    using traits = t_traits;
    using char_type = typename t_traits::char_type;
    using istream_type = typename t_traits::istream_type;
    using t_line = t_text_line;

    static_assert(std::is_same_v<char_type, char>, "the loader stores bytes");

    // Borrows `source`, which must outlive the loader. Reads nothing yet.
    explicit t_basic_text_loader(istream_type& source) noexcept : m_source(source.rdbuf()) {}
    t_basic_text_loader(const t_basic_text_loader&) = delete;
    t_basic_text_loader& operator=(const t_basic_text_loader&) = delete;

    // Moves `position` to the next readable position, reading one byte from the
    // stream when the walk reaches the end of what has been read; the end of the
    // stream gives the end marker, which stays unchanged. Start from (0, 0).
    // Throws std::logic_error for a position outside the loaded text (codes 1 to 4),
    // std::bad_alloc, std::length_error past 4294967294 lines or bytes in a line.
    void next_position(t_text_position& position)
    {
        const std::uint32_t count = m_store.count();
        if (position.line == count && count != 0)
        {
            t_line& last = m_store.last_line();
            if (!last.break_read())
            {
                const std::uint64_t size = m_store.last_line_size();
                if (position.column < size)
                {
                    ++position.column;
                    return;
                }
                if (position.column == size && size != t_text_line_store::max_line_size)
                {
                    read_next_byte(position);
                    return;
                }
            }
        }
        else if (position.line == m_cache_line && position.line != 0 &&
                 position.column <= m_cache_size)
        {
            ++position.column;  // a byte of a complete line, or its break position
            return;
        }
        next_position_slow(position);
    }

    // The byte at (line, column), or a line feed at a line's break position. Throws
    // std::logic_error: code 5 before anything was read, 2 for a line outside the
    // loaded range, 3 and 4 for a column outside the line.
    char_type get_char(std::uint32_t line, std::uint32_t column) const
    {
        const std::uint32_t count = m_store.count();
        if (line == count && count != 0)
        {
            const t_line& last = m_store.last_line();
            const std::uint64_t index = column - std::uint64_t{1};
            const std::uint64_t size = m_store.last_line_size();
            if (index < size)
                return m_store.bytes()[last.offset() + index];
            if (index == size && last.break_read())
                return static_cast<char_type>(t_traits::line_feed);
        }
        else if (line == m_cache_line && line != 0)
        {
            const std::uint64_t index = column - std::uint64_t{1};
            if (index < m_cache_size)
                return m_store.bytes()[m_cache_offset + index];
            if (index == m_cache_size)
                return static_cast<char_type>(t_traits::line_feed);
        }
        return get_char_slow(line, column);
    }

    char_type get_char(const t_text_position& position) const
    {
        return get_char(position.line, position.column);
    }

    static bool is_end(const t_text_position& position) noexcept { return position.is_end(); }

    // What a walk's visitor asks for after seeing a character.
    enum class t_walk : unsigned char
    {
        next,         // take the character and go on
        stop_before,  // stop at the character, leaving the position on it
        stop_after,   // take the character and stop at the next position
    };

    // Shows `visit` the characters from `position` on, one by one, until it asks to
    // stop or the text ends. A visitor may also have a member run(first, last) taking
    // bytes of one line, none a line break: it returns how many of them, from the
    // first, it takes as visit would with t_walk::next, and is shown the rest one by
    // one. Does exactly what this loop does, faster:
    //
    //   while (!is_end(position)) {
    //       const t_walk action = visit(get_char(position));
    //       if (action == t_walk::stop_before) return;
    //       next_position(position);
    //       if (action == t_walk::stop_after) return;
    //   }
    //
    // Throws what next_position and get_char throw, and what `visit` throws.
    template <typename t_visit>
    void walk(t_text_position& position, t_visit&& visit)
    {
        while (!position.is_end())
        {
            const std::uint32_t count = m_store.count();
            if (position.line == count && count != 0 && position.column != 0 &&
                position.column <=
                    m_store.last_line_size() + (m_store.last_line().break_read() ? 1 : 0))
            {
                if (!walk_open_line(position, visit))
                    return;
                continue;
            }
            if (position.line < count && position.line != 0 && position.column != 0 &&
                m_store.line(position.line).first_column() == 1 &&
                position.column <= m_store.line_size(position.line) + 1)
            {
                if (!walk_complete_line(position, visit))
                    return;
                continue;
            }
            const t_walk action = visit(get_char(position));
            if (action == t_walk::stop_before)
                return;
            next_position(position);
            if (action == t_walk::stop_after)
                return;
        }
    }

    // Bulk reading, for a reader that goes once through the whole text and needs no
    // byte-wise laziness: loads the stream's next block into the lines at once, every
    // line break as one line feed. The first block holds up to first_block_size bytes;
    // each block that comes full doubles the next, up to max_block_size, so that a short
    // text costs little memory and a long one few reads. Returns false, loading
    // nothing, when the stream has no more bytes. Mixes with the walk above: a walk
    // reads on where the last load ended. Throws std::bad_alloc, std::length_error
    // past 4294967294 lines or bytes in a line.
    bool load_block();

    // The text loaded so far, as the walk presents it: the bytes of every line, each
    // followed by a line feed once its break has been read. The pointer holds until
    // the next read from the stream.
    const char_type* text() const noexcept { return m_store.bytes(); }
    std::uint64_t text_size() const noexcept { return m_store.size(); }

    // The position of byte `offset` of text(), which must lie below text_size().
    t_text_position position_at(std::uint64_t offset) const noexcept
    {
        const std::uint32_t number = m_store.line_at(offset);
        const t_line& holder = m_store.line(number);
        return {number,
                static_cast<std::uint32_t>(offset - holder.offset() + holder.first_column())};
    }

    static constexpr std::size_t first_block_size = std::size_t{64} << 10;
    static constexpr std::size_t max_block_size = std::size_t{4} << 20;

    // Number of lines created so far, the number of the last line.
    std::uint32_t line_count() const noexcept { return m_store.count(); }

    // Line `number`, 1 to line_count().
    const t_line& line(std::uint32_t number) const noexcept { return m_store.line(number); }

private:
    using int_type = typename t_traits::int_type;

    // Takes the byte after the last line's last byte, at (line, size of that line).
    void read_next_byte(t_text_position& position)
    {
        const int_type next = m_source != nullptr ? m_source->sbumpc() : t_traits::eof();
        if (next == t_traits::eof())
        {
            position = t_text_position::end();
            return;
        }
        if (next == t_traits::line_feed)
        {
            m_store.end_line();
        }
        else if (next == t_traits::carriage_return)
        {
            if (m_source->sgetc() == t_traits::line_feed)
                m_source->sbumpc();
            m_store.end_line();
        }
        else
        {
            m_store.append_byte(static_cast<char_type>(next));
        }
        ++position.column;
    }

    // walk() on the last line, from one of its bytes or its break position: the loaded
    // bytes, then bytes taken from the stream, creating lines as their breaks are read.
    // Returns false when the walk is over (stopped or at the end), true when the
    // general walk has to go on.
    template <typename t_visit>
    bool walk_open_line(t_text_position& position, t_visit& visit)
    {
        constexpr bool takes_runs = requires(t_visit & run_visit, const char_type* run_bytes)
        {
            run_visit.run(run_bytes, run_bytes);
        };
        typename t_traits::streambuf_type* const source = m_source;
        t_line* last = &m_store.last_line();
        std::uint64_t offset = last->offset();
        std::uint64_t size = m_store.last_line_size();
        std::uint32_t line = position.line;
        std::uint32_t column = position.column;
        char_type c = column <= size ? m_store.bytes()[offset + column - 1]
                                     : static_cast<char_type>(t_traits::line_feed);
        // New bytes go through a local cursor, committed on every way out.
        t_text_line_store& store = m_store;
        t_byte_buffer::t_appender bytes = store.appender();
        struct t_commit
        {
            t_text_line_store& store;
            t_byte_buffer::t_appender& bytes;
            ~t_commit() { store.commit(bytes); }
        } commit_on_exit{store, bytes};

        for (;;)
        {
            t_walk action = visit(c);
            if (action == t_walk::stop_before)
                break;
            if (column < size)
            {
                ++column;
                c = store.bytes()[offset + column - 1];
            }
            else if (column == size && last->break_read())
            {
                ++column;
                c = static_cast<char_type>(t_traits::line_feed);
            }
            else
            {
                if (last->break_read())
                {
                    // From the break position to the next line, created as the walk
                    // reaches it; its first byte is read right away.
                    store.commit(bytes);
                    last = &store.append_line();
                    ++line;
                    offset = last->offset();
                    size = 0;
                    column = 0;
                }
                if (size == t_text_line_store::max_line_size || source == nullptr)
                {
                    store.commit(bytes);
                    position = {line, column};
                    next_position_slow(position);
                    bytes = store.appender();
                    return action == t_walk::next;
                }
                // Bytes already in the stream's buffer up to the next line break are
                // taken straight from it, each as the walk reaches it; a break, a refill
                // and the end go through the byte-wise path below.
                const char_type* const waiting = t_get_area::next(*source);
                const std::uint64_t room = t_text_line_store::max_line_size - size;
                if (waiting != t_get_area::end(*source) && !is_break(*waiting))
                {
                    std::uint64_t available =
                        static_cast<std::uint64_t>(t_get_area::end(*source) - waiting);
                    available = available < room ? available : room;
                    available = available < max_take ? available : max_take;
                    const char_type* const limit = waiting + available;
                    store.reserve(bytes, static_cast<std::size_t>(limit - waiting));
                    typename t_get_area::t_taker taken{*source, bytes, waiting, waiting};
                    // A local cursor, not the taker's, so that it can stay in a register;
                    // the taker learns it before each visit, which may throw.
                    const char_type* p = waiting;
                    // For a visitor taking runs, the line's end in the next bytes: a
                    // bounded search, as a walk may stop anywhere.
                    const char_type* line_end = limit;
                    if constexpr (takes_runs)
                        line_end = find_break(
                            waiting + 1, limit - waiting > max_run ? waiting + max_run : limit);
                    for (;;)
                    {
                        c = *p++;
                        taken.next = p;
                        if (action == t_walk::stop_after || p == line_end ||
                            (!takes_runs && is_break(*p)))
                            break;
                        action = visit(c);
                        if (action == t_walk::stop_before)
                            break;
                        // A visitor that takes runs of bytes at once gets those up to the
                        // line's last byte here, which the loop then takes on its own.
                        if constexpr (takes_runs)
                        {
                            if (action == t_walk::next && line_end - p > 1)
                            {
                                p += visit.run(p, line_end - 1);
                                taken.next = p;
                            }
                        }
                    }
                    const auto count = static_cast<std::uint32_t>(p - waiting);
                    size += count;
                    column += count;
                    if (action != t_walk::next)
                        break;
                    continue;
                }
                const int_type next = source->sbumpc();
                if (next == t_traits::eof())
                {
                    position = t_text_position::end();
                    return false;
                }
                ++column;
                if (next == t_traits::line_feed || next == t_traits::carriage_return)
                {
                    if (next == t_traits::carriage_return && source->sgetc() == t_traits::line_feed)
                        source->sbumpc();
                    c = static_cast<char_type>(t_traits::line_feed);
                    store.append_byte(bytes, c);
                    last->set_break_read();
                }
                else
                {
                    c = static_cast<char_type>(next);
                    store.append_byte(bytes, c);
                    ++size;
                }
            }
            if (action == t_walk::stop_after)
                break;
        }
        position = {line, column};
        return false;
    }

    // walk() on a complete line other than the last, from a byte or its break position.
    // Returns false when the walk is over, true on the next line.
    template <typename t_visit>
    bool walk_complete_line(t_text_position& position, t_visit& visit)
    {
        const std::uint64_t offset = m_store.line(position.line).offset();
        const std::uint64_t size = m_store.line_size(position.line);
        std::uint32_t column = position.column;
        for (; column <= size; ++column)
        {
            const t_walk action = visit(m_store.bytes()[offset + column - 1]);
            if (action == t_walk::stop_before)
            {
                position.column = column;
                return false;
            }
            if (action == t_walk::stop_after)
            {
                position.column = column + 1;
                return false;
            }
        }
        // The break position: its line feed, then on to the next line.
        position.column = column;
        const t_walk action = visit(static_cast<char_type>(t_traits::line_feed));
        if (action == t_walk::stop_before)
            return false;
        next_position(position);
        return action == t_walk::next;
    }

    // The most bytes taken from the stream's buffer at once: its read position moves by int.
    static constexpr std::uint64_t max_take = std::numeric_limits<int>::max();

    // The most bytes searched for a line break at once for a visitor taking runs.
    static constexpr std::ptrdiff_t max_run = 256;

    // The first LF or CR in [first, last), or `last`.
    static const char_type* find_break(const char_type* first, const char_type* last) noexcept
    {
        const std::size_t count = static_cast<std::size_t>(last - first);
        const void* const feed = std::memchr(first, t_traits::line_feed, count);
        const char_type* const end = feed != nullptr ? static_cast<const char_type*>(feed) : last;
        const void* const carriage =
            std::memchr(first, t_traits::carriage_return, static_cast<std::size_t>(end - first));
        return carriage != nullptr ? static_cast<const char_type*>(carriage) : end;
    }

    static bool is_break(char_type c) noexcept
    {
        return c == static_cast<char_type>(t_traits::line_feed) ||
               c == static_cast<char_type>(t_traits::carriage_return);
    }

    // Access to the get area of a stream buffer, to take the bytes it holds in place.
    struct t_get_area : t_traits::streambuf_type
    {
        using streambuf_type = typename t_traits::streambuf_type;

        static const char_type* next(streambuf_type& buffer)
        {
            return (buffer.*&t_get_area::gptr)();
        }
        static const char_type* end(streambuf_type& buffer)
        {
            return (buffer.*&t_get_area::egptr)();
        }

        // Appends the bytes taken to the line's bytes, in room reserved beforehand, and
        // moves the buffer's read position past them, also when a visitor throws.
        struct t_taker
        {
            streambuf_type& buffer;
            t_byte_buffer::t_appender& bytes;
            const char_type* const from;
            const char_type* next;
            ~t_taker()
            {
                const std::size_t count = static_cast<std::size_t>(next - from);
                std::memcpy(bytes.end, from, count);
                bytes.end += count;
                (buffer.*&t_get_area::gbump)(static_cast<int>(count));
            }
        };
    };

    void next_position_slow(t_text_position& position);
    char_type get_char_slow(std::uint32_t line, std::uint32_t column) const;

    // Remembers a complete line (break read, not the last line) for the inline paths.
    void cache_line(std::uint32_t number) const;

    typename t_traits::streambuf_type* m_source;
    t_text_line_store m_store;

    // The size of the next block load_block reads.
    std::size_t m_block_size = first_block_size;

    // The complete line read most recently out of line; 0 when none.
    mutable std::uint32_t m_cache_line = 0;
    mutable std::uint64_t m_cache_offset = 0;
    mutable std::uint64_t m_cache_size = 0;
};

extern template class t_basic_text_loader<t_text_loader_traits_ansi>;

using t_text_loader = t_basic_text_loader<t_text_loader_traits_ansi>;

}  // namespace structure
