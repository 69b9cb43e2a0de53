// Tests of the text loader: the walk over every form of line break, the end marker,
// reading again from memory, every error with its text, and walk() against the plain
// loop of next_position and get_char, also across the ends of the stream's buffer and
// with a visitor taking runs of bytes.
#include "text_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace structure
{
namespace
{

constexpr std::uint32_t end_value = t_text_position::end_value;

// A stream buffer over a string that counts the bytes taken from it.
class t_counting_buffer : public std::streambuf
{
public:
    explicit t_counting_buffer(std::string text) : m_text(std::move(text)) {}

    std::size_t taken() const { return m_taken; }

protected:
    int_type underflow() override
    {
        return m_next < m_text.size() ? traits_type::to_int_type(m_text[m_next])
                                      : traits_type::eof();
    }
    int_type uflow() override
    {
        const int_type c = underflow();
        if (c != traits_type::eof())
        {
            ++m_next;
            ++m_taken;
        }
        return c;
    }

private:
    std::string m_text;
    std::size_t m_next = 0;
    std::size_t m_taken = 0;
};

struct t_step
{
    std::uint32_t line;
    std::uint32_t column;
    char c;
};

// Walks the whole text with next_position and get_char.
std::vector<t_step> walk_all(t_text_loader& loader)
{
    std::vector<t_step> steps;
    t_text_position position = t_text_position::start();
    loader.next_position(position);
    while (!t_text_loader::is_end(position))
    {
        steps.push_back({position.line, position.column, loader.get_char(position)});
        loader.next_position(position);
    }
    return steps;
}

std::string describe(const std::vector<t_step>& steps)
{
    std::string text;
    for (const t_step& step : steps)
    {
        text += "(" + std::to_string(step.line) + "," + std::to_string(step.column) + ")";
        text += step.c == '\n' ? std::string("LF") : std::string(1, step.c);
        text += ' ';
    }
    return text;
}

std::string logic_error_text(const auto& action)
{
    try
    {
        action();
    }
    catch (const std::logic_error& error)
    {
        return error.what();
    }
    return "<no error>";
}

struct t_walk_case
{
    const char* name;
    std::string text;
    std::string walk;
    std::uint32_t line_count;
};

TEST(text_loader, walks_every_form_of_line_break_to_the_same_positions)
{
    const std::vector<t_walk_case> cases = {
        {"empty", "", "", 1},
        {"one byte", "a", "(1,1)a ", 1},
        {"lf", "ab\nc", "(1,1)a (1,2)b (1,3)LF (2,1)c ", 2},
        {"cr lf", "ab\r\nc", "(1,1)a (1,2)b (1,3)LF (2,1)c ", 2},
        {"lone cr", "ab\rc", "(1,1)a (1,2)b (1,3)LF (2,1)c ", 2},
        {"ends with lf", "a\n", "(1,1)a (1,2)LF ", 2},
        {"ends with cr", "a\r", "(1,1)a (1,2)LF ", 2},
        {"only a break", "\n", "(1,1)LF ", 2},
        {"empty lines lf", "a\n\nb", "(1,1)a (1,2)LF (2,1)LF (3,1)b ", 3},
        {"empty lines cr lf", "a\r\n\r\nb", "(1,1)a (1,2)LF (2,1)LF (3,1)b ", 3},
        {"empty lines cr", "a\r\rb", "(1,1)a (1,2)LF (2,1)LF (3,1)b ", 3},
        {"lf cr is two breaks", "a\n\rb", "(1,1)a (1,2)LF (2,1)LF (3,1)b ", 3},
        {"cr cr lf", "\r\r\n", "(1,1)LF (2,1)LF ", 3},
    };
    for (const t_walk_case& test : cases)
    {
        std::istringstream source(test.text);
        t_text_loader loader(source);
        EXPECT_EQ(describe(walk_all(loader)), test.walk) << test.name;
        EXPECT_EQ(loader.line_count(), test.line_count) << test.name;
    }
}

TEST(text_loader, keeps_every_other_byte_as_it_is)
{
    std::string text;
    for (int byte = 0; byte < 256; ++byte)
        if (byte != '\n' && byte != '\r')
            text += static_cast<char>(byte);
    std::istringstream source(text);
    t_text_loader loader(source);
    const std::vector<t_step> steps = walk_all(loader);
    ASSERT_EQ(steps.size(), text.size());
    for (std::size_t i = 0; i < steps.size(); ++i)
    {
        EXPECT_EQ(steps[i].line, 1u);
        EXPECT_EQ(steps[i].column, i + 1);
        EXPECT_EQ(steps[i].c, text[i]);
    }
}

TEST(text_loader, end_marker_stays_and_is_the_only_end)
{
    std::istringstream source("x");
    t_text_loader loader(source);
    t_text_position position = t_text_position::start();
    loader.next_position(position);
    loader.next_position(position);
    EXPECT_TRUE(t_text_loader::is_end(position));
    EXPECT_EQ(position.line, end_value);
    EXPECT_EQ(position.column, end_value);
    loader.next_position(position);
    EXPECT_TRUE(t_text_loader::is_end(position));

    EXPECT_FALSE(t_text_loader::is_end({end_value, 1}));
    EXPECT_FALSE(t_text_loader::is_end({1, end_value}));
    EXPECT_FALSE(t_text_loader::is_end({0, 0}));
}

TEST(text_loader, reads_nothing_at_construction_and_only_what_the_walk_needs)
{
    t_counting_buffer buffer("ab\ncd");
    std::istream source(&buffer);
    t_text_loader loader(source);
    EXPECT_EQ(buffer.taken(), 0u);
    EXPECT_EQ(loader.line_count(), 0u);

    t_text_position position = t_text_position::start();
    loader.next_position(position);
    EXPECT_EQ(buffer.taken(), 1u);
    loader.next_position(position);
    loader.next_position(position);
    EXPECT_EQ(position, (t_text_position{1, 3}));
    EXPECT_EQ(buffer.taken(), 3u);
    EXPECT_EQ(loader.line_count(), 1u);
}

TEST(text_loader, walking_again_from_the_start_reads_nothing)
{
    t_counting_buffer buffer("ab\r\n\rc\n");
    std::istream source(&buffer);
    t_text_loader loader(source);
    const std::vector<t_step> first = walk_all(loader);
    const std::size_t taken = buffer.taken();
    EXPECT_EQ(taken, 7u);

    const std::vector<t_step> second = walk_all(loader);
    EXPECT_EQ(describe(second), describe(first));
    EXPECT_EQ(buffer.taken(), taken);

    // Any position on line 0 is the start.
    t_text_position position{0, 12};
    loader.next_position(position);
    EXPECT_EQ(position, (t_text_position{1, 1}));
    EXPECT_EQ(buffer.taken(), taken);
}

TEST(text_loader, positions_walk_independently)
{
    std::istringstream source("abc\ndef");
    t_text_loader loader(source);
    t_text_position ahead = t_text_position::start();
    for (int i = 0; i < 6; ++i)
        loader.next_position(ahead);
    EXPECT_EQ(ahead, (t_text_position{2, 2}));
    EXPECT_EQ(loader.get_char(ahead), 'e');

    t_text_position behind{1, 2};
    loader.next_position(behind);
    EXPECT_EQ(loader.get_char(behind), 'c');
    loader.next_position(behind);
    EXPECT_EQ(loader.get_char(behind), '\n');
    loader.next_position(behind);
    EXPECT_EQ(behind, (t_text_position{2, 1}));
    loader.next_position(ahead);
    loader.next_position(ahead);
    EXPECT_TRUE(ahead.is_end());
}

struct t_error_case
{
    const char* name;
    std::string text;
    int steps;  // next_position calls from the start before the action
    bool get;   // get_char (else next_position) at `at`
    t_text_position at;
    std::string message;
};

TEST(text_loader, raises_each_error_with_its_text)
{
    const std::vector<t_error_case> cases = {
        {"get before reading", "abc", 0, true, {1, 1}, "[text loader] no data."},
        {"get line above",
         "a\nb\nc",
         5,
         true,
         {7, 1},
         "[text loader] incorrect line number 7. Range [1...3]."},
        {"get line 0",
         "a",
         1,
         true,
         {0, 1},
         "[text loader] incorrect line number 0. Range [1...1]."},
        {"get column 0",
         "ab",
         1,
         true,
         {1, 0},
         "[text loader] line 1. low column number 0 - min 1."},
        {"get past break",
         "ab\nc",
         4,
         true,
         {1, 4},
         "[text loader] line 1. big column number 4 - min 3."},
        {"get past open line",
         "abc",
         2,
         true,
         {1, 3},
         "[text loader] line 1. big column number 3 - min 3."},
        {"next on nothing loaded",
         "abc",
         0,
         false,
         {2, 1},
         "[text loader] incorrect line number 2. Range [0...0]."},
        {"next line above",
         "a\nb",
         1,
         false,
         {3, 1},
         "[text loader] incorrect line number 3. Range [1...1]."},
        {"next past break",
         "ab\nc",
         4,
         false,
         {1, 5},
         "[text loader] line 1. big column number 5 - min 3."},
        {"next past open line",
         "abc",
         1,
         false,
         {1, 2},
         "[text loader] line 1. big column number 2 - min 1."},
        {"next on empty open line",
         "",
         1,
         false,
         {1, 1},
         "[text loader] line 1. big column number 1 - min 0."},
        {"next largest column",
         "ab",
         1,
         false,
         {1, end_value},
         "[text loader] line 1. low column number 4294967295 - min 1."},
    };
    for (const t_error_case& test : cases)
    {
        std::istringstream source(test.text);
        t_text_loader loader(source);
        t_text_position position = t_text_position::start();
        for (int i = 0; i < test.steps; ++i)
            loader.next_position(position);
        const std::string message = logic_error_text(
            [&]
            {
                t_text_position at = test.at;
                if (test.get)
                    loader.get_char(at);
                else
                    loader.next_position(at);
            });
        EXPECT_EQ(message, test.message) << test.name;
    }
}

TEST(text_loader, stays_usable_after_an_error)
{
    std::istringstream source("ab\ncd");
    t_text_loader loader(source);
    t_text_position position = t_text_position::start();
    loader.next_position(position);
    EXPECT_THROW(loader.get_char(9, 1), std::logic_error);
    EXPECT_THROW(loader.next_position(position = {1, 7}), std::logic_error);
    position = {1, 1};
    std::string rest;
    while (!position.is_end())
    {
        rest += loader.get_char(position);
        loader.next_position(position);
    }
    EXPECT_EQ(rest, "ab\ncd");
}

TEST(text_loader, message_texts_of_every_code)
{
    EXPECT_EQ(text_loader_message(1), "[text loader] start from BOF position is failed.");
    EXPECT_EQ(text_loader_message(2, 7, 1, 3),
              "[text loader] incorrect line number 7. Range [1...3].");
    EXPECT_EQ(text_loader_message(3, 2, 0, 1),
              "[text loader] line 2. low column number 0 - min 1.");
    EXPECT_EQ(text_loader_message(4, 5, 4294967295u, 9),
              "[text loader] line 5. big column number 4294967295 - min 9.");
    EXPECT_EQ(text_loader_message(5), "[text loader] no data.");
    EXPECT_EQ(text_loader_message(0), "[text loader] Unknown error code");
    EXPECT_EQ(text_loader_message(6), "[text loader] Unknown error code");
    EXPECT_EQ(text_loader_message(-1), "[text loader] Unknown error code");
}

TEST(text_loader, lines_are_counted_once_by_the_loader)
{
    std::istringstream source("a\n\nb");
    t_text_loader loader(source);
    walk_all(loader);
    ASSERT_EQ(loader.line_count(), 3u);
    for (std::uint32_t number = 1; number <= 3; ++number)
    {
        EXPECT_EQ(loader.line(number).ref_count(), 1) << number;
        EXPECT_EQ(loader.line(number).first_column(), 1u) << number;
        EXPECT_TRUE(loader.line(number).break_read() == (number < 3)) << number;
    }
}

// walk() must do exactly what the loop of get_char and next_position does.
using t_walk = t_text_loader::t_walk;

struct t_visit_record
{
    std::string seen;
    t_text_position stop;
};

template <typename t_rule>
t_visit_record walk_with_loop(const std::string& text, t_text_position from_steps, t_rule rule)
{
    std::istringstream source(text);
    t_text_loader loader(source);
    t_text_position position = t_text_position::start();
    loader.next_position(position);
    for (std::uint32_t i = 0; i < from_steps.line && !position.is_end(); ++i)
        loader.next_position(position);  // walk ahead first, then come back
    position = t_text_position::start();
    loader.next_position(position);
    for (std::uint32_t i = 0; i < from_steps.column && !position.is_end(); ++i)
        loader.next_position(position);
    t_visit_record record;
    while (!position.is_end())
    {
        const char c = loader.get_char(position);
        record.seen += c;
        const t_walk action = rule(c);
        if (action == t_walk::stop_before)
            break;
        loader.next_position(position);
        if (action == t_walk::stop_after)
            break;
    }
    record.stop = position;
    return record;
}

template <typename t_rule>
t_visit_record walk_with_walk(const std::string& text, t_text_position from_steps, t_rule rule)
{
    std::istringstream source(text);
    t_text_loader loader(source);
    t_text_position position = t_text_position::start();
    loader.next_position(position);
    for (std::uint32_t i = 0; i < from_steps.line && !position.is_end(); ++i)
        loader.next_position(position);
    position = t_text_position::start();
    loader.next_position(position);
    for (std::uint32_t i = 0; i < from_steps.column && !position.is_end(); ++i)
        loader.next_position(position);
    t_visit_record record;
    loader.walk(position,
                [&](char c)
                {
                    record.seen += c;
                    return rule(c);
                });
    record.stop = position;
    return record;
}

TEST(text_loader, walk_matches_the_plain_loop)
{
    const std::vector<std::string> texts = {
        "", "a", "\n", "ab cd\nef\r\n\r\ngh\rij", "x\n\n\n", "word) and more)\n)", "a\rb\r",
    };
    const std::vector<std::pair<const char*, t_walk (*)(char)>> rules = {
        {"all", [](char) { return t_walk::next; }},
        {"before space", [](char c) { return c == ' ' ? t_walk::stop_before : t_walk::next; }},
        {"after paren", [](char c) { return c == ')' ? t_walk::stop_after : t_walk::next; }},
        {"before break", [](char c) { return c == '\n' ? t_walk::stop_before : t_walk::next; }},
        {"after break", [](char c) { return c == '\n' ? t_walk::stop_after : t_walk::next; }},
        {"one", [](char) { return t_walk::stop_after; }},
        {"none", [](char) { return t_walk::stop_before; }},
    };
    for (const std::string& text : texts)
        for (const auto& [name, rule] : rules)
            for (std::uint32_t ahead : {0u, 3u, 40u})
                for (std::uint32_t from = 0; from <= text.size(); ++from)
                {
                    const t_text_position steps{ahead, from};
                    const t_visit_record expected = walk_with_loop(text, steps, rule);
                    const t_visit_record actual = walk_with_walk(text, steps, rule);
                    EXPECT_EQ(actual.seen, expected.seen)
                        << name << " from " << from << " ahead " << ahead << " in [" << text << "]";
                    EXPECT_EQ(actual.stop, expected.stop)
                        << name << " from " << from << " ahead " << ahead << " in [" << text << "]";
                }
}

// A stream buffer over a string that shows it through a get area of a few bytes at a
// time, so that the walk meets the end of the area anywhere, also inside a CR LF pair.
class t_window_buffer : public std::streambuf
{
public:
    t_window_buffer(std::string text, std::size_t window)
        : m_text(std::move(text)), m_window(window)
    {
    }

    // Bytes taken so far: those of the windows shown before, and the current one's read part.
    std::size_t taken() const { return m_shown - static_cast<std::size_t>(egptr() - gptr()); }

protected:
    int_type underflow() override
    {
        if (m_shown == m_text.size())
            return traits_type::eof();
        const std::size_t count = std::min(m_window, m_text.size() - m_shown);
        char* const first = m_text.data() + m_shown;
        setg(first, first, first + count);
        m_shown += count;
        return traits_type::to_int_type(*first);
    }

private:
    std::string m_text;
    std::size_t m_window;
    std::size_t m_shown = 0;
};

TEST(text_loader, walk_across_the_ends_of_the_stream_buffer_matches_the_plain_loop)
{
    const std::vector<std::string> texts = {
        "ab\r\ncd\r\nef", "a\r\n\r\n\rb\n", "word) more\r\n) x\r", "\r\n", "abcdefgh",
    };
    const std::vector<std::pair<const char*, t_walk (*)(char)>> rules = {
        {"all", [](char) { return t_walk::next; }},
        {"before space", [](char c) { return c == ' ' ? t_walk::stop_before : t_walk::next; }},
        {"after paren", [](char c) { return c == ')' ? t_walk::stop_after : t_walk::next; }},
        {"before break", [](char c) { return c == '\n' ? t_walk::stop_before : t_walk::next; }},
        {"after letter c", [](char c) { return c == 'c' ? t_walk::stop_after : t_walk::next; }},
    };
    for (const std::string& text : texts)
        for (const auto& [name, rule] : rules)
            for (std::size_t window = 1; window <= 4; ++window)
            {
                // The plain loop over a stream that hands out one byte at a time.
                t_counting_buffer plain_buffer(text);
                std::istream plain_source(&plain_buffer);
                t_text_loader plain(plain_source);
                t_text_position expected = t_text_position::start();
                plain.next_position(expected);
                std::string expected_seen;
                while (!expected.is_end())
                {
                    const char c = plain.get_char(expected);
                    expected_seen += c;
                    const t_walk action = rule(c);
                    if (action == t_walk::stop_before)
                        break;
                    plain.next_position(expected);
                    if (action == t_walk::stop_after)
                        break;
                }

                t_window_buffer buffer(text, window);
                std::istream source(&buffer);
                t_text_loader loader(source);
                t_text_position position = t_text_position::start();
                loader.next_position(position);
                std::string seen;
                loader.walk(position,
                            [&](char c)
                            {
                                seen += c;
                                return rule(c);
                            });
                EXPECT_EQ(seen, expected_seen)
                    << name << " window " << window << " in [" << text << "]";
                EXPECT_EQ(position, expected)
                    << name << " window " << window << " in [" << text << "]";
                EXPECT_EQ(buffer.taken(), plain_buffer.taken())
                    << name << " window " << window << " in [" << text << "]";
                EXPECT_EQ(loader.line_count(), plain.line_count())
                    << name << " window " << window << " in [" << text << "]";
            }
}

// A visitor that also takes runs of bytes: it stops after a ')' and takes bytes at
// once up to one.
struct t_run_visitor
{
    std::string seen;
    std::size_t run_bytes = 0;

    t_walk operator()(char c)
    {
        seen += c;
        return c == ')' ? t_walk::stop_after : t_walk::next;
    }

    std::size_t run(const char* first, const char* last)
    {
        const char* next = first;
        while (next != last && *next != ')')
            ++next;
        seen.append(first, next);
        run_bytes += static_cast<std::size_t>(next - first);
        return static_cast<std::size_t>(next - first);
    }
};

TEST(text_loader, walk_with_runs_matches_the_plain_loop)
{
    const std::string long_line = std::string(300, 'a') + ")" + std::string(400, 'b') + ")";
    const std::vector<std::string> texts = {
        "ab)cd\r\nef)", "abc\r\n\r\nxyz)", long_line + "\r\n" + long_line, "a)b)c)", "\r\n)",
    };
    constexpr std::size_t max_short_text = 20;
    for (const std::string& text : texts)
        for (std::size_t window :
             {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{1000}})
        {
            t_counting_buffer plain_buffer(text);
            std::istream plain_source(&plain_buffer);
            t_text_loader plain(plain_source);
            t_window_buffer buffer(text, window);
            std::istream source(&buffer);
            t_text_loader loader(source);

            t_text_position expected = t_text_position::start();
            plain.next_position(expected);
            t_text_position position = t_text_position::start();
            loader.next_position(position);
            t_run_visitor visitor;
            // Walk by walk, each to the next ')', until the end.
            while (!position.is_end())
            {
                std::string expected_seen;
                while (!expected.is_end())
                {
                    const char c = plain.get_char(expected);
                    expected_seen += c;
                    plain.next_position(expected);
                    if (c == ')')
                        break;
                }
                visitor.seen.clear();
                loader.walk(position, visitor);
                EXPECT_EQ(visitor.seen, expected_seen)
                    << "window " << window << " in [" << text << "]";
                EXPECT_EQ(position, expected) << "window " << window << " in [" << text << "]";
                EXPECT_EQ(buffer.taken(), plain_buffer.taken())
                    << "window " << window << " in [" << text << "]";
            }
            EXPECT_TRUE(expected.is_end());
            EXPECT_EQ(loader.line_count(), plain.line_count());
            // Runs come only from bytes waiting in the stream's buffer, after the one taken by a
            // refill and before a line's last byte: the long lines have them.
            if (text.size() > max_short_text && window >= 4)
            {
                EXPECT_GT(visitor.run_bytes, 0u) << "window " << window << " in [" << text << "]";
            }
        }
}

// Loading in blocks gives the text the walk presents, every byte at the position the
// walk gives it, also for a CR LF pair or a lone CR cut by the end of a block; a walk
// over the loaded lines reads nothing more and gives the same positions.
TEST(text_loader, block_loading_gives_the_walked_text_and_positions)
{
    const std::string full_block(t_text_loader::first_block_size - 1, 'a');
    const std::vector<std::string> texts = {
        "",
        "ab\nc",
        "ab\r\nc",
        "ab\rc",
        "a\r\n\r\n\rb\n",
        "\r",
        "x\r\n",
        "\n\n",
        "no break",
        full_block + "\r\nb",
        full_block + "\rb",
        full_block + "\r",
        full_block + "b\r\nc",
        // The second block, twice as large, ends behind three first blocks.
        std::string(3 * t_text_loader::first_block_size - 1, 'a') + "\r\nb",
    };
    for (const std::string& text : texts)
        for (const std::size_t window : {std::size_t{3}, std::size_t{1} << 20})
        {
            const std::string name = text.substr(0, 12) + " size " + std::to_string(text.size());
            std::istringstream plain_source(text);
            t_text_loader plain(plain_source);
            const std::vector<t_step> expected = walk_all(plain);

            t_window_buffer buffer(text, window);
            std::istream source(&buffer);
            t_text_loader loader(source);
            while (loader.load_block())
            {
            }
            EXPECT_EQ(buffer.taken(), text.size()) << name;
            ASSERT_EQ(loader.text_size(), expected.size()) << name;
            std::size_t mismatches = 0;
            for (std::size_t offset = 0; offset < expected.size(); ++offset)
            {
                const t_step& step = expected[offset];
                const t_text_position at = loader.position_at(offset);
                if (loader.text()[offset] != step.c || at.line != step.line ||
                    at.column != step.column)
                    ++mismatches;
            }
            EXPECT_EQ(mismatches, 0u) << name;

            const std::vector<t_step> walked = walk_all(loader);
            EXPECT_EQ(buffer.taken(), text.size()) << name;
            ASSERT_EQ(walked.size(), expected.size()) << name;
            EXPECT_TRUE(std::equal(walked.begin(), walked.end(), expected.begin(),
                                   [](const t_step& left, const t_step& right) {
                                       return left.line == right.line &&
                                              left.column == right.column && left.c == right.c;
                                   }))
                << name;
            EXPECT_EQ(loader.line_count(), plain.line_count()) << name;
        }
}

}  // namespace
}  // namespace structure
