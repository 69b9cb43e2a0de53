// A position in a loaded text: (line, column), both counted from 1, with the start
// position (line 0) and the end marker (both numbers at their largest value).
#pragma once

#include <cstdint>
#include <limits>

namespace structure
{

struct t_text_position
{
    static constexpr std::uint32_t end_value = std::numeric_limits<std::uint32_t>::max();

    std::uint32_t line = 0;
    std::uint32_t column = 0;

    // The position before the first byte of the text.
    static constexpr t_text_position start() noexcept { return {0, 0}; }

    // Past the last byte of the text.
    static constexpr t_text_position end() noexcept { return {end_value, end_value}; }

    // At the end exactly when both numbers are at their largest value.
    constexpr bool is_end() const noexcept { return line == end_value && column == end_value; }

    friend constexpr bool operator==(const t_text_position&, const t_text_position&) = default;
};

}  // namespace structure
