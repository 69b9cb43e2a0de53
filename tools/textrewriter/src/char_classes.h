// Character classes of the tag transformation: white characters (every byte up to 32,
// taken unsigned), the 22 delimiters that end a word and the characters that may start
// a step.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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

    // The first character in [first, last) where a turn could start a quoted run, a
    // comment or a tag: a quote, a slash or an underscore that follows white or a
    // delimiter, or that stands at `first` while `turn_start` is set. Sets turn_start
    // to whether a turn starts after the last character passed over.
    static const char* find_turn_step(const char* first, const char* last,
                                      bool& turn_start) noexcept
    {
#if defined(__SSE2__) || defined(_M_X64)
        return find_turn_step_by_vectors(first, last, turn_start);
#else
        return find_turn_step_by_words(first, last, turn_start);
#endif
    }

#if defined(__SSE2__) || defined(_M_X64)
    // find_turn_step sixteen bytes at a time with the SSE2 compares.
    static const char* find_turn_step_by_vectors(const char* first, const char* last,
                                                 bool& turn_start) noexcept
    {
        if (first == last || (turn_start && may_start_step(*first)))
            return first;
        const __m128i quotes = _mm_set1_epi8('\'');
        const __m128i double_quotes = _mm_set1_epi8('"');
        const __m128i slashes = _mm_set1_epi8('/');
        const __m128i underscores = _mm_set1_epi8('_');
        const char* next = first + 1;
        while (last - next >= 16)
        {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
            const __m128i marks = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, quotes), _mm_cmpeq_epi8(bytes, double_quotes)),
                _mm_or_si128(_mm_cmpeq_epi8(bytes, slashes), _mm_cmpeq_epi8(bytes, underscores)));
            // Most blocks hold none; most underscores in the others are inside a word.
            auto candidates = static_cast<unsigned>(_mm_movemask_epi8(marks));
            for (; candidates != 0; candidates &= candidates - 1)
            {
                const char* const at = next + std::countr_zero(candidates);
                if (ends_word(at[-1]))
                {
                    turn_start = true;
                    return at;
                }
            }
            next += 16;
        }
        return find_turn_step_from(next, last, turn_start);
    }
#endif

    // find_turn_step eight bytes at a time in a 64-bit word, on any processor.
    static const char* find_turn_step_by_words(const char* first, const char* last,
                                               bool& turn_start) noexcept
    {
        if (first == last || (turn_start && may_start_step(*first)))
            return first;
        const char* next = first + 1;
        if constexpr (std::endian::native == std::endian::little)
        {
            while (last - next >= 8)
            {
                std::uint64_t word;
                std::memcpy(&word, next, sizeof word);
                std::uint64_t candidates = bytes_equal(word, '\'') | bytes_equal(word, '"') |
                                           bytes_equal(word, '/') | bytes_equal(word, '_');
                for (; candidates != 0; candidates &= candidates - 1)
                {
                    const char* const at = next + std::countr_zero(candidates) / 8;
                    if (may_start_step(*at) && ends_word(at[-1]))
                    {
                        turn_start = true;
                        return at;
                    }
                }
                next += 8;
            }
        }
        return find_turn_step_from(next, last, turn_start);
    }

private:
    // find_turn_step byte by byte from `next`, which follows a character passed over.
    static const char* find_turn_step_from(const char* next, const char* last,
                                           bool& turn_start) noexcept
    {
        for (; next != last; ++next)
        {
            // Two lookups with no chain from one character to the next.
            if (may_start_step(*next) && ends_word(next[-1]))
            {
                turn_start = true;
                return next;
            }
        }
        turn_start = ends_word(next[-1]);
        return last;
    }

    // A mark in the high bit of each byte of `word` equal to `value`; the lowest mark is
    // always right, those above it may also mark a byte that differs from value in its
    // lowest bit only.
    static std::uint64_t bytes_equal(std::uint64_t word, char value) noexcept
    {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        const std::uint64_t differences = word ^ (ones * static_cast<unsigned char>(value));
        return (differences - ones) & ~differences & highs;
    }

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
