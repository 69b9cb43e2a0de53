// Bounds-checked little-endian access to bytes: the one way the codec reads its input
// (t_byte_reader) and writes its output (t_byte_writer). Portable code: no OS calls.
#pragma once

#include "checked_byte_writer.h"
#include "voka/platform/resource_directory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace voka::platform::codec
{

using voka::platform::range_fits;

// A record of known size that has been checked to lie in the input; its fields are read by their
// position within the record.
class t_record_bytes
{
public:
    explicit t_record_bytes(std::span<const std::uint8_t> bytes) noexcept : m_bytes(bytes) {}

    std::uint16_t u16(std::size_t position) const
    {
        check(position, 2);
        return static_cast<std::uint16_t>(m_bytes[position] | (m_bytes[position + 1] << 8));
    }

    std::uint32_t u32(std::size_t position) const
    {
        check(position, 4);
        return static_cast<std::uint32_t>(m_bytes[position]) |
               (static_cast<std::uint32_t>(m_bytes[position + 1]) << 8) |
               (static_cast<std::uint32_t>(m_bytes[position + 2]) << 16) |
               (static_cast<std::uint32_t>(m_bytes[position + 3]) << 24);
    }

    std::span<const std::uint8_t> bytes() const noexcept { return m_bytes; }

private:
    // A field outside its record is a bug in the codec, not bad input.
    void check(std::size_t position, std::size_t length) const
    {
        if (!range_fits(position, length, m_bytes.size()))
            throw std::logic_error("resource codec: field read outside its record");
    }

    std::span<const std::uint8_t> m_bytes;
};

// The input of the parser: hands out records only after checking that they lie inside it.
class t_byte_reader
{
public:
    explicit t_byte_reader(std::span<const std::uint8_t> bytes) noexcept : m_bytes(bytes) {}

    std::uint64_t size() const noexcept { return m_bytes.size(); }

    bool contains(std::uint64_t offset, std::uint64_t length) const noexcept
    {
        return range_fits(offset, length, m_bytes.size());
    }

    // The `length` bytes of `structure` at `offset`; throws t_resource_directory_error naming the
    // structure and the offset when they do not all lie in the input.
    t_record_bytes record(std::uint64_t offset, std::uint64_t length,
                          std::string_view structure) const
    {
        if (!contains(offset, length))
            throw t_resource_directory_error(structure, offset, truncated_problem(length));
        return t_record_bytes(
            m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
    }

private:
    static std::string truncated_problem(std::uint64_t length)
    {
        return "its " + std::to_string(length) + " bytes run past the end of the section";
    }

    std::span<const std::uint8_t> m_bytes;
};

// The output of the builder: a buffer sized in advance by the layout.
class t_byte_writer : public t_checked_byte_writer
{
public:
    explicit t_byte_writer(std::vector<std::uint8_t>& bytes) noexcept
        : t_checked_byte_writer(bytes, "resource codec: write outside the laid-out section")
    {
    }
};

}  // namespace voka::platform::codec
