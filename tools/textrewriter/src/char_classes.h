// Character classes of the tag transformation: white characters (every byte up to 32,
// taken unsigned), the 22 delimiters that end a word and the characters that may start
// a step.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace structure
{

class t_char_classes
{
public:
    static constexpr std::string_view delimiters = ".,:;-+*/%{}()[]=<>?!\\|";

    static bool is_white(char c) noexcept { return static_cast<unsigned char>(c) <= 32; }

    static bool is_delimiter(char c) noexcept
    {
        return (table()[static_cast<unsigned char>(c)] & delimiter_bit) != 0;
    }

    // A word goes on after `c` unless `c` is white or a delimiter.
    static bool ends_word(char c) noexcept
    {
        return (table()[static_cast<unsigned char>(c)] & (white_bit | delimiter_bit)) != 0;
    }

    // A quote, a slash or an underscore: what can start a turn other than white or a word.
    static bool may_start_step(char c) noexcept
    {
        return (table()[static_cast<unsigned char>(c)] & step_bit) != 0;
    }

private:
    static constexpr std::uint8_t white_bit = 1;
    static constexpr std::uint8_t delimiter_bit = 2;
    static constexpr std::uint8_t step_bit = 4;

    static constexpr std::array<std::uint8_t, 256> make_table() noexcept
    {
        std::array<std::uint8_t, 256> classes{};
        for (unsigned c = 0; c <= 32; ++c)
            classes[c] |= white_bit;
        for (const char c : delimiters)
            classes[static_cast<unsigned char>(c)] |= delimiter_bit;
        for (const char c : {'\'', '"', '/', '_'})
            classes[static_cast<unsigned char>(c)] |= step_bit;
        return classes;
    }

    static const std::array<std::uint8_t, 256>& table() noexcept
    {
        static constexpr std::array<std::uint8_t, 256> classes = make_table();
        return classes;
    }
};

}  // namespace structure
