// The new file of a module update, described as a sequence of pieces: ranges of the old file,
// bytes held in memory and runs of zeros. The updater's planner produces it (portable code); the
// writer turns it into a file. Portable code: no OS calls.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace voka::platform::pe
{

struct t_output_piece
{
    enum class t_source : std::uint8_t
    {
        original,  // `length` bytes of the old file from `original_offset`
        memory,    // `bytes`
        zeros,     // `length` zero bytes
    };

    t_source source = t_source::zeros;
    std::uint64_t length = 0;
    std::uint64_t original_offset = 0;
    std::span<const std::uint8_t> bytes;
};

// Pieces in file order, and the buffers their memory pieces point into (kept alive with them).
class t_piece_list
{
public:
    void add_original(std::uint64_t offset, std::uint64_t length);
    void add_zeros(std::uint64_t length);
    // Adds `bytes`, which `owner` keeps alive.
    void add_memory(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> owner);
    void append(const t_piece_list& other);

    const std::vector<t_output_piece>& pieces() const noexcept { return m_pieces; }
    std::uint64_t size() const noexcept { return m_size; }

private:
    std::vector<t_output_piece> m_pieces;
    std::vector<std::shared_ptr<const void>> m_owners;
    std::uint64_t m_size = 0;
};

}  // namespace voka::platform::pe
