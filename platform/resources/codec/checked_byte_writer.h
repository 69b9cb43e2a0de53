// Bounds-checked little-endian writes into a buffer sized in advance, shared by the resource
// codec's builder and the PE updater's header editor. Portable code: no OS calls.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace voka::platform
{

// Whether [offset, offset + length) lies in a range of `size` bytes; cannot overflow.
constexpr bool range_fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) noexcept
{
    return offset <= size && length <= size - offset;
}

// Writes fields into `bytes`. Writing outside the buffer is a bug of whoever sized it, not bad
// input, and throws std::logic_error with `misuse_text`.
class t_checked_byte_writer
{
public:
    t_checked_byte_writer(std::vector<std::uint8_t>& bytes, const char* misuse_text) noexcept
        : m_bytes(bytes), m_misuse_text(misuse_text)
    {
    }

    void put16(std::uint64_t offset, std::uint16_t value)
    {
        check(offset, 2);
        const auto at = static_cast<std::size_t>(offset);
        m_bytes[at] = static_cast<std::uint8_t>(value);
        m_bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }

    void put32(std::uint64_t offset, std::uint32_t value)
    {
        check(offset, 4);
        const auto at = static_cast<std::size_t>(offset);
        for (std::size_t i = 0; i < 4; ++i)
            m_bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }

    void put_bytes(std::uint64_t offset, std::span<const std::uint8_t> bytes)
    {
        check(offset, bytes.size());
        std::copy(bytes.begin(), bytes.end(),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }

private:
    void check(std::uint64_t offset, std::uint64_t length) const
    {
        if (!range_fits(offset, length, m_bytes.size()))
            throw std::logic_error(m_misuse_text);
    }

    std::vector<std::uint8_t>& m_bytes;
    const char* m_misuse_text;
};

}  // namespace voka::platform
