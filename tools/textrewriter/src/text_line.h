// One line of a loaded text: a counted object that records where its bytes start in
// the loader's byte store, its first column and whether its line break has been read.
#pragma once

#include "line_counted_base.h"

#include <cstdint>

namespace structure
{

class t_text_line final : public t_line_counted_base
{
public:
    // A new line starts with no references; its owner takes the first one.
    explicit t_text_line(std::uint64_t offset, std::uint32_t first_column = 1) noexcept
        : m_first_column(first_column), m_offset(offset), m_break_read(0)
    {
    }

    // Column number of the line's first byte.
    std::uint32_t first_column() const noexcept { return m_first_column; }

    // Offset of the line's first byte in the byte store of its loader.
    std::uint64_t offset() const noexcept { return m_offset; }

    bool break_read() const noexcept { return m_break_read != 0; }
    void set_break_read() noexcept { m_break_read = 1; }

private:
    std::uint32_t m_first_column;
    // Lines are kept by the million, so the offset and the flag share one word.
    std::uint64_t m_offset : 63;
    std::uint64_t m_break_read : 1;
};

// Under the Itanium C++ ABI (g++, clang, mingw-w64) the first column fills the tail
// padding of the counted base, which makes a line three words long.
static_assert(sizeof(t_text_line) <= 4 * sizeof(void*), "a line must stay compact");

}  // namespace structure
