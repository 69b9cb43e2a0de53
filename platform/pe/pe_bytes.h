// Bounds-checked little-endian access to the bytes of a module: the one way the PE reader reads
// its input (t_pe_bytes) and the one way the updater changes header fields (t_pe_header_editor).
// Portable code: no OS calls.
#pragma once

#include "../resources/codec/checked_byte_writer.h"
#include "pe_format_error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace voka::platform::pe
{

using voka::platform::range_fits;

// Whether the ranges [a, a + a_length) and [b, b + b_length) share a byte; cannot overflow.
constexpr bool ranges_overlap(std::uint64_t a, std::uint64_t a_length, std::uint64_t b,
                              std::uint64_t b_length) noexcept
{
    if (a_length == 0 || b_length == 0)
        return false;
    return a < b ? b - a < a_length : a - b < b_length;
}

constexpr std::uint64_t align_up(std::uint64_t value, std::uint64_t alignment) noexcept
{
    return (value + alignment - 1) / alignment * alignment;
}

inline std::uint16_t load16(const std::uint8_t* at) noexcept
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline std::uint32_t load32(const std::uint8_t* at) noexcept
{
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// One on-disk record that has been checked to lie in the input; fields are read by their position
// within it. A field outside its record is a bug of the reader, not bad input.
class t_pe_record
{
public:
    t_pe_record(std::span<const std::uint8_t> bytes, std::uint64_t offset) noexcept
        : m_bytes(bytes), m_offset(offset)
    {
    }

    std::uint16_t u16(std::size_t position) const
    {
        check(position, 2);
        return load16(m_bytes.data() + position);
    }
    std::uint32_t u32(std::size_t position) const
    {
        check(position, 4);
        return load32(m_bytes.data() + position);
    }
    std::uint64_t u64(std::size_t position) const
    {
        return u32(position) | (static_cast<std::uint64_t>(u32(position + 4)) << 32);
    }

    std::span<const std::uint8_t> bytes() const noexcept { return m_bytes; }
    std::uint64_t offset() const noexcept { return m_offset; }  // in the file

private:
    void check(std::size_t position, std::size_t length) const
    {
        if (!range_fits(position, length, m_bytes.size()))
            throw std::logic_error("PE reader: field read outside its record");
    }

    std::span<const std::uint8_t> m_bytes;
    std::uint64_t m_offset = 0;
};

// The input of the reader: hands out records only after checking that they lie inside it.
class t_pe_bytes
{
public:
    explicit t_pe_bytes(std::span<const std::uint8_t> bytes) noexcept : m_bytes(bytes) {}

    std::uint64_t size() const noexcept { return m_bytes.size(); }
    bool contains(std::uint64_t offset, std::uint64_t length) const noexcept
    {
        return range_fits(offset, length, m_bytes.size());
    }

    // The `length` bytes of `structure` at `offset`; throws t_pe_format_error naming the
    // structure and the offset when they do not all lie in the file.
    t_pe_record record(std::uint64_t offset, std::uint64_t length, std::string_view structure) const
    {
        if (!contains(offset, length))
            throw t_pe_format_error(structure, offset, "runs past the end of the file");
        return t_pe_record(
            m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)),
            offset);
    }

    std::span<const std::uint8_t> span() const noexcept { return m_bytes; }

private:
    std::span<const std::uint8_t> m_bytes;
};

// A copy of a module's header bytes whose fields the updater changes.
class t_pe_header_editor : public t_checked_byte_writer
{
public:
    explicit t_pe_header_editor(std::vector<std::uint8_t>& bytes) noexcept
        : t_checked_byte_writer(bytes, "PE updater: header field written outside the headers")
    {
    }
};

}  // namespace voka::platform::pe
