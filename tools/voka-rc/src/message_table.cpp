// Lays out a message table: blocks first, entries after them in block order.
#include "message_table.h"

#include <algorithm>
#include <stdexcept>

namespace voka::rc
{
namespace
{

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    for (std::size_t index = 0; index < 4; ++index)
        out[at + index] = static_cast<std::uint8_t>((value >> (8 * index)) & 0xFF);
}

struct t_block
{
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

}  // namespace

std::vector<std::uint8_t> build_message_table(std::vector<t_message_entry> entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const t_message_entry& left, const t_message_entry& right)
              { return left.id < right.id; });
    std::vector<t_block> blocks;
    for (const t_message_entry& entry : entries)
    {
        if (!blocks.empty() && blocks.back().high != 0xFFFFFFFF &&
            blocks.back().high + 1 == entry.id)
            blocks.back().high = entry.id;
        else
            blocks.push_back({entry.id, entry.id});
    }

    std::vector<std::uint8_t> out(4 + 12 * blocks.size(), 0);
    put32(out, 0, static_cast<std::uint32_t>(blocks.size()));
    std::size_t next_entry = 0;
    for (std::size_t index = 0; index < blocks.size(); ++index)
    {
        const std::size_t at = 4 + 12 * index;
        put32(out, at, blocks[index].low);
        put32(out, at + 4, blocks[index].high);
        put32(out, at + 8, static_cast<std::uint32_t>(out.size()));
        const std::uint64_t count = std::uint64_t{blocks[index].high} - blocks[index].low + 1;
        for (std::uint64_t entry = 0; entry < count; ++entry, ++next_entry)
        {
            const std::string& text = entries[next_entry].text;
            if (text.size() > k_max_message_text_bytes)
                throw std::length_error("message " + std::to_string(entries[next_entry].id) +
                                        ": the text is too long for an entry");
            const std::size_t length = (4 + text.size() + 2 + 1 + 3) / 4 * 4;
            out.push_back(static_cast<std::uint8_t>(length & 0xFF));
            out.push_back(static_cast<std::uint8_t>(length >> 8));
            out.push_back(0);  // flags: 8-bit text
            out.push_back(0);
            out.insert(out.end(), text.begin(), text.end());
            out.push_back('\r');
            out.push_back('\n');
            out.resize(out.size() + (length - 4 - text.size() - 2), 0);
        }
    }
    return out;
}

}  // namespace voka::rc
