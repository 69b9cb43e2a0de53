// Creation and release of the lines of a loaded text.
#include "text_line_store.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace structure
{

t_text_line_store::~t_text_line_store()
{
    for (std::uint32_t number = 1; number <= m_count; ++number)
        line(number).release();
}

t_text_line& t_text_line_store::append_line_at(std::uint64_t offset)
{
    if (m_count == max_line_count)
        throw std::length_error("[text loader] too many lines");
    const std::uint32_t index = m_count;
    if ((index & block_mask) == 0)
        m_blocks.push_back(std::make_unique_for_overwrite<t_block>());
    std::byte* slot =
        m_blocks[index >> block_shift]->slots + (index & block_mask) * sizeof(t_text_line);
    t_text_line* created = std::construct_at(reinterpret_cast<t_text_line*>(slot), offset);
    created->add_ref();
    m_last = created;
    ++m_count;
    return *created;
}

void t_text_line_store::append_text(std::size_t count)
{
    const char* const text = m_bytes.data();
    const std::uint64_t start = m_bytes.size();
    const std::uint64_t end = start + count;
    std::uint64_t next = start;
    while (next != end)
    {
        if (m_count == 0 || m_last->break_read())
        {
            // Commit what the finished lines hold first: the new line starts behind it.
            m_bytes.extend(static_cast<std::size_t>(next - m_bytes.size()));
            append_line_at(next);
        }
        const void* const feed =
            std::memchr(text + next, '\n', static_cast<std::size_t>(end - next));
        const std::uint64_t line_end =
            feed != nullptr ? static_cast<std::uint64_t>(static_cast<const char*>(feed) - text)
                            : end;
        if (line_end - m_last->offset() > max_line_size)
        {
            m_bytes.extend(static_cast<std::size_t>(next - m_bytes.size()));
            throw std::length_error("[text loader] line too long");
        }
        if (feed == nullptr)
        {
            next = end;
            break;
        }
        m_last->set_break_read();
        next = line_end + 1;
    }
    m_bytes.extend(static_cast<std::size_t>(next - m_bytes.size()));
}

std::uint32_t t_text_line_store::line_at(std::uint64_t offset) const noexcept
{
    // The last line whose offset is not above `offset`: a line that holds a byte is
    // never empty, so the offsets of such lines rise strictly.
    std::uint32_t low = 1;
    std::uint32_t high = m_count;
    while (low < high)
    {
        const std::uint32_t middle = low + (high - low + 1) / 2;
        if (line(middle).offset() <= offset)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

}  // namespace structure
