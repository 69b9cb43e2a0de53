// Creation and release of the lines of a loaded text.
#include "text_line_store.h"

#include <memory>
#include <stdexcept>

namespace structure
{

t_text_line_store::~t_text_line_store()
{
    for (std::uint32_t number = 1; number <= m_count; ++number)
        line(number).release();
}

t_text_line& t_text_line_store::append_line()
{
    if (m_count == max_line_count)
        throw std::length_error("[text loader] too many lines");
    const std::uint32_t index = m_count;
    if ((index & block_mask) == 0)
        m_blocks.push_back(std::make_unique_for_overwrite<t_block>());
    std::byte* slot =
        m_blocks[index >> block_shift]->slots + (index & block_mask) * sizeof(t_text_line);
    t_text_line* created = std::construct_at(reinterpret_cast<t_text_line*>(slot), m_bytes.size());
    created->add_ref();
    m_last = created;
    ++m_count;
    return *created;
}

}  // namespace structure
