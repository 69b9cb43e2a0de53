// Building piece lists; adjacent pieces of the same kind merge, so the writer makes few calls.
#include "output_piece.h"

namespace voka::platform::pe
{

void t_piece_list::add_original(std::uint64_t offset, std::uint64_t length)
{
    if (length == 0)
        return;
    m_size += length;
    if (!m_pieces.empty())
    {
        t_output_piece& last = m_pieces.back();
        if (last.source == t_output_piece::t_source::original &&
            last.original_offset + last.length == offset)
        {
            last.length += length;
            return;
        }
    }
    m_pieces.push_back({t_output_piece::t_source::original, length, offset, {}});
}

void t_piece_list::add_zeros(std::uint64_t length)
{
    if (length == 0)
        return;
    m_size += length;
    if (!m_pieces.empty() && m_pieces.back().source == t_output_piece::t_source::zeros)
    {
        m_pieces.back().length += length;
        return;
    }
    m_pieces.push_back({t_output_piece::t_source::zeros, length, 0, {}});
}

void t_piece_list::add_memory(std::span<const std::uint8_t> bytes,
                              std::shared_ptr<const void> owner)
{
    if (bytes.empty())
        return;
    m_size += bytes.size();
    m_owners.push_back(std::move(owner));
    m_pieces.push_back({t_output_piece::t_source::memory, bytes.size(), 0, bytes});
}

void t_piece_list::append(const t_piece_list& other)
{
    for (const t_output_piece& piece : other.m_pieces)
    {
        switch (piece.source)
        {
        case t_output_piece::t_source::original:
            add_original(piece.original_offset, piece.length);
            break;
        case t_output_piece::t_source::zeros:
            add_zeros(piece.length);
            break;
        case t_output_piece::t_source::memory:
            m_size += piece.length;
            m_pieces.push_back(piece);
            break;
        }
    }
    m_owners.insert(m_owners.end(), other.m_owners.begin(), other.m_owners.end());
}

}  // namespace voka::platform::pe
