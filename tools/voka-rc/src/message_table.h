// Message-table resources (RT_MESSAGETABLE): the block array and the 8-bit entries.
#pragma once

#include "resource_source.h"

#include <cstdint>
#include <vector>

namespace voka::rc
{

// MESSAGE_RESOURCE_DATA for `entries` (any order, ids unique): the number of blocks, one block
// (lowest id, highest id, offset of its first entry) per run of consecutive ids in ascending
// order, then the entries of every block in id order. Each entry is its 16-bit length, flags 0
// (8-bit text) and the text's UTF-8 bytes followed by CR LF and NUL bytes: at least one, as
// mc.exe terminates its entries, and as many more as make the length a multiple of four.
// Throws std::length_error for a text longer than k_max_message_text_bytes.
std::vector<std::uint8_t> build_message_table(std::vector<t_message_entry> entries);

}  // namespace voka::rc
