// Tests of the character classes: the classes themselves, and the search for where a
// turn can start a step, in every variant against a byte-by-byte reading of the rule.
#include "char_classes.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace structure
{
namespace
{

// The rule read byte by byte: stop at a quote, slash or underscore where a turn starts.
const char* reference_turn_step(const char* first, const char* last, bool& turn_start)
{
    bool starts = turn_start;
    for (const char* next = first; next != last; ++next)
    {
        if (starts && t_char_classes::may_start_step(*next))
        {
            turn_start = true;
            return next;
        }
        starts = t_char_classes::ends_word(*next);
    }
    turn_start = starts;
    return last;
}

using t_finder = const char* (*)(const char*, const char*, bool&) noexcept;

const std::vector<std::pair<const char*, t_finder>>& finders()
{
    static const std::vector<std::pair<const char*, t_finder>> all = {
        {"find_turn_step", &t_char_classes::find_turn_step},
        {"by words", &t_char_classes::find_turn_step_by_words},
#if defined(__SSE2__) || defined(_M_X64)
        {"by vectors", &t_char_classes::find_turn_step_by_vectors},
#endif
    };
    return all;
}

TEST(char_classes, classes_of_bytes)
{
    EXPECT_TRUE(t_char_classes::is_white(' '));
    EXPECT_TRUE(t_char_classes::is_white('\0'));
    EXPECT_TRUE(t_char_classes::is_white('\n'));
    EXPECT_FALSE(t_char_classes::is_white('!'));
    EXPECT_FALSE(t_char_classes::is_white('\x80'));
    for (const char c : t_char_classes::delimiters)
    {
        EXPECT_TRUE(t_char_classes::is_delimiter(c)) << c;
        EXPECT_TRUE(t_char_classes::ends_word(c)) << c;
    }
    for (const char c : {'"', '\'', '_', 'a', '0', '#', '$', '&', '\xff'})
        EXPECT_FALSE(t_char_classes::ends_word(c)) << c;
    for (const char c : {'"', '\'', '_', '/'})
        EXPECT_TRUE(t_char_classes::may_start_step(c)) << c;
    for (const char c : {'*', 'T', ' ', '('})
        EXPECT_FALSE(t_char_classes::may_start_step(c)) << c;
}

struct t_step_case
{
    const char* text;
    bool turn_start;
    std::size_t stop;  // the text's size when the search finds nothing
    bool turn_start_after;
};

TEST(char_classes, finds_where_a_turn_starts_a_step)
{
    const std::vector<t_step_case> cases = {
        {"", true, 0, true},
        {"_T", true, 0, true},
        {"_T", false, 2, false},
        {"abc_def", true, 7, false},
        {"abc _def", true, 4, true},
        {"f(\"x\")", true, 2, true},
        {"x//y", true, 2, true},
        {"a'b' c", true, 6, false},
        {"word) ", true, 6, true},
        {"long_identifier_name + other_value * (factor - 1), 'c'", true, 51, true},
        {"\x80_\xff\"", true, 4, false},
        {"tab\t/", false, 4, true},
    };
    for (const auto& [name, finder] : finders())
        for (const t_step_case& test : cases)
        {
            const std::string text = test.text;
            bool turn_start = test.turn_start;
            const char* const stop = finder(text.data(), text.data() + text.size(), turn_start);
            EXPECT_EQ(static_cast<std::size_t>(stop - text.data()), test.stop)
                << name << " in [" << text << "]";
            EXPECT_EQ(turn_start, test.turn_start_after) << name << " in [" << text << "]";
        }
}

TEST(char_classes, every_search_variant_agrees_with_the_rule)
{
    // Texts thick with the characters that matter, searched from every offset, so
    // that candidates fall on every place of an eight- or sixteen-byte block.
    const std::string alphabet = "__''\"\"//ab(.) \n\t*\x80\xff^.&#Z0";
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 90);
    std::size_t mismatches = 0;
    for (int round = 0; round < 400; ++round)
    {
        std::string text(length(random), ' ');
        for (char& c : text)
            c = alphabet[pick(random)];
        for (std::size_t from = 0; from <= text.size(); ++from)
            for (const bool turn_start : {false, true})
            {
                const char* const first = text.data() + from;
                const char* const last = text.data() + text.size();
                bool expected_start = turn_start;
                const char* const expected = reference_turn_step(first, last, expected_start);
                for (const auto& [name, finder] : finders())
                {
                    bool actual_start = turn_start;
                    if (finder(first, last, actual_start) != expected ||
                        actual_start != expected_start)
                    {
                        ADD_FAILURE() << name << " from " << from << " in [" << text << "]";
                        if (++mismatches > 10)
                            return;
                    }
                }
            }
    }
}

}  // namespace
}  // namespace structure
