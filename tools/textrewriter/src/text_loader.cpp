// The text loader's general walk and lookup: every case the inline paths of the
// header leave out, with the loader's errors.
#include "text_loader.h"

#include <cassert>
#include <cstring>
#include <stdexcept>

namespace structure
{

template <typename t_traits>
void t_basic_text_loader<t_traits>::next_position_slow(t_text_position& position)
{
    if (position.is_end())
        return;

    const std::uint32_t count = m_store.count();
    std::uint32_t line = position.line;
    std::uint32_t column = position.column;

    // Any position on line 0 is the start position.
    if (line == 0 && count != 0)
    {
        if (m_store.line(1).first_column() > 1)
            raise_text_loader_error(text_loader_error_bof_start);
        line = 1;
        column = 0;
    }
    if (count == 0 ? line != 0 : (line < 1 || line > count))
        raise_text_loader_error(text_loader_error_line_number, line, count == 0 ? 0 : 1, count);
    if (count == 0)
    {
        m_store.append_line();
        line = 1;
        column = 0;
    }

    t_line* current = &m_store.line(line);
    // 32-bit arithmetic on purpose: the largest column wraps to 0 and is taken as low.
    if (static_cast<std::uint32_t>(column + 1u) < current->first_column())
        raise_text_loader_error(text_loader_error_low_column, line, column,
                                current->first_column());

    for (;;)
    {
        const std::uint64_t first = current->first_column();
        const std::uint64_t size = m_store.line_size(line);
        if (current->break_read())
        {
            const std::uint64_t break_column = first + size;
            if (column > break_column)
                raise_text_loader_error(text_loader_error_big_column, line, column,
                                        static_cast<std::uint32_t>(break_column));
            if (column < break_column)
            {
                if (line != m_store.count())
                    cache_line(line);
                position = {line, column + 1};
                return;
            }
            // At the break: on to the start of the next line, creating it when the
            // walk reaches it for the first time.
            ++line;
            column = 0;
            if (line > m_store.count())
                m_store.append_line();
            current = &m_store.line(line);
            if (current->first_column() > 1)
                raise_text_loader_error(text_loader_error_low_column, line, column,
                                        current->first_column());
            continue;
        }

        // Only the last line can still be waiting for its break.
        assert(line == m_store.count());
        const std::uint64_t last_column = size == 0 ? 0 : first + size - 1;
        if (column > last_column)
            raise_text_loader_error(text_loader_error_big_column, line, column,
                                    static_cast<std::uint32_t>(last_column));
        if (column < last_column)
        {
            position = {line, column + 1};
            return;
        }
        if (size == t_text_line_store::max_line_size)
            throw std::length_error("[text loader] line too long");
        position = {line, column};
        read_next_byte(position);
        return;
    }
}

template <typename t_traits>
typename t_basic_text_loader<t_traits>::char_type
t_basic_text_loader<t_traits>::get_char_slow(std::uint32_t line, std::uint32_t column) const
{
    const std::uint32_t count = m_store.count();
    if (count == 0)
        raise_text_loader_error(text_loader_error_no_data);
    if (line < 1 || line > count)
        raise_text_loader_error(text_loader_error_line_number, line, 1, count);

    const t_line& current = m_store.line(line);
    const std::uint64_t first = current.first_column();
    if (column < first)
        raise_text_loader_error(text_loader_error_low_column, line, column,
                                static_cast<std::uint32_t>(first));
    const std::uint64_t size = m_store.line_size(line);
    if (current.break_read())
    {
        const std::uint64_t break_column = first + size;
        if (column > break_column)
            raise_text_loader_error(text_loader_error_big_column, line, column,
                                    static_cast<std::uint32_t>(break_column));
        if (line != count)
            cache_line(line);
        if (column == break_column)
            return static_cast<char_type>(t_traits::line_feed);
    }
    else if (column >= first + size)
    {
        raise_text_loader_error(text_loader_error_big_column, line, column,
                                static_cast<std::uint32_t>(first + size));
    }
    // Counted from the line's first column, which is column 1 for every line here.
    return m_store.bytes()[current.offset() + (column - first)];
}

template <typename t_traits>
bool t_basic_text_loader<t_traits>::load_block()
{
    if (m_source == nullptr)
        return false;
    char_type* const room = m_store.tail_room(m_block_size);
    const std::streamsize read = m_source->sgetn(room, static_cast<std::streamsize>(m_block_size));
    if (read <= 0)
        return false;
    if (static_cast<std::size_t>(read) == m_block_size && m_block_size < max_block_size)
        m_block_size *= 2;
    char_type* const end = room + read;
    char_type* out = end;
    // CR LF and a lone CR each become one line feed: the bytes close up behind them.
    auto* carriage = static_cast<char_type*>(
        std::memchr(room, t_traits::carriage_return, static_cast<std::size_t>(read)));
    if (carriage != nullptr)
    {
        out = carriage;
        const char_type* in = carriage;
        while (in != end)
        {
            ++in;  // the carriage return
            if (in != end)
            {
                if (*in == static_cast<char_type>(t_traits::line_feed))
                    ++in;
            }
            else if (m_source->sgetc() == t_traits::line_feed)
            {
                m_source->sbumpc();
            }
            *out++ = static_cast<char_type>(t_traits::line_feed);
            const void* const found =
                std::memchr(in, t_traits::carriage_return, static_cast<std::size_t>(end - in));
            const char_type* const next =
                found != nullptr ? static_cast<const char_type*>(found) : end;
            std::memmove(out, in, static_cast<std::size_t>(next - in));
            out += next - in;
            in = next;
        }
    }
    m_store.append_text(static_cast<std::size_t>(out - room));
    return true;
}

template <typename t_traits>
void t_basic_text_loader<t_traits>::cache_line(std::uint32_t number) const
{
    const t_line& cached = m_store.line(number);
    if (cached.first_column() != 1)
        return;  // the inline paths count columns from 1
    m_cache_line = number;
    m_cache_offset = cached.offset();
    m_cache_size = m_store.line_size(number);
}

template class t_basic_text_loader<t_text_loader_traits_ansi>;

}  // namespace structure
