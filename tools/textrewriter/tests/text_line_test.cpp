// Tests of the counted text line and of the line store behind the loader.
#include "line_counted_base.h"
#include "text_line.h"
#include "text_line_store.h"
#include "text_loader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace structure
{
namespace
{

class t_probe final : public t_line_counted_base
{
public:
    explicit t_probe(std::vector<std::string>& log) : m_log(log) {}
    ~t_probe() override { m_log.push_back("destroyed"); }

protected:
    void on_final_release() noexcept override { m_log.push_back("final release"); }

private:
    std::vector<std::string>& m_log;
};

TEST(text_line, counts_references_and_destroys_on_the_last_release)
{
    std::vector<std::string> log;
    alignas(t_probe) std::byte storage[sizeof(t_probe)];
    t_probe* probe = std::construct_at(reinterpret_cast<t_probe*>(storage), log);
    EXPECT_EQ(probe->ref_count(), 0);
    EXPECT_EQ(probe->add_ref(), 1);
    EXPECT_EQ(probe->add_ref(), 2);
    EXPECT_EQ(probe->release(), 1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(probe->release(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"final release", "destroyed"}));
}

TEST(text_line, starts_uncounted_open_and_at_column_one)
{
    alignas(t_text_line) std::byte storage[sizeof(t_text_line)];
    t_text_line* line = std::construct_at(reinterpret_cast<t_text_line*>(storage), 1234567890123u);
    EXPECT_EQ(line->ref_count(), 0);
    EXPECT_EQ(line->first_column(), 1u);
    EXPECT_EQ(line->offset(), 1234567890123u);
    EXPECT_FALSE(line->break_read());
    line->set_break_read();
    EXPECT_TRUE(line->break_read());
    EXPECT_EQ(line->offset(), 1234567890123u);
    line->add_ref();
    line->release();
}

TEST(text_line_store, lays_lines_back_to_back)
{
    t_text_line_store store;
    EXPECT_EQ(store.count(), 0u);
    store.append_line();
    store.append_byte('a');
    store.append_byte('b');
    store.end_line();
    EXPECT_TRUE(store.line(1).break_read());
    store.append_line();
    store.end_line();
    store.append_line();
    store.append_byte('c');

    ASSERT_EQ(store.count(), 3u);
    EXPECT_EQ(store.line(1).offset(), 0u);
    EXPECT_EQ(store.line(2).offset(), 3u);
    EXPECT_EQ(store.line(3).offset(), 4u);
    EXPECT_EQ(store.line_size(1), 2u);
    EXPECT_EQ(store.line_size(2), 0u);
    EXPECT_EQ(store.line_size(3), 1u);
    EXPECT_FALSE(store.line(3).break_read());
    EXPECT_EQ(&store.last_line(), &store.line(3));
    ASSERT_EQ(store.size(), 5u);
    EXPECT_EQ(std::string(store.bytes(), 5), "ab\n\nc");
    for (std::uint32_t number = 1; number <= 3; ++number)
        EXPECT_EQ(store.line(number).ref_count(), 1);
}

// Text appended in bulk, in pieces cut anywhere, gives the lines that the same text
// byte by byte gives; line_at finds the line of every byte.
TEST(text_line_store, takes_text_in_bulk_as_byte_by_byte)
{
    const std::string text = "ab\n\ncd\nef\n";
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
    {
        t_text_line_store bulk;
        for (const std::string& piece : {text.substr(0, cut), text.substr(cut)})
        {
            if (!piece.empty())
                std::memcpy(bulk.tail_room(piece.size()), piece.data(), piece.size());
            bulk.append_text(piece.size());
        }
        t_text_line_store bytewise;
        for (const char c : text)
        {
            if (bytewise.count() == 0 || bytewise.last_line().break_read())
                bytewise.append_line();
            if (c == '\n')
                bytewise.end_line();
            else
                bytewise.append_byte(c);
        }
        ASSERT_EQ(bulk.count(), bytewise.count()) << cut;
        ASSERT_EQ(bulk.size(), text.size()) << cut;
        EXPECT_EQ(std::string(bulk.bytes(), bulk.size()), text) << cut;
        for (std::uint32_t number = 1; number <= bulk.count(); ++number)
        {
            EXPECT_EQ(bulk.line(number).offset(), bytewise.line(number).offset()) << cut;
            EXPECT_EQ(bulk.line(number).break_read(), bytewise.line(number).break_read()) << cut;
            EXPECT_EQ(bulk.line_size(number), bytewise.line_size(number)) << cut;
            EXPECT_EQ(bulk.line(number).ref_count(), 1) << cut;
        }
        // Lines 1 to 4 hold "ab\n", "\n", "cd\n" and "ef\n".
        const std::vector<std::uint32_t> lines = {1, 1, 1, 2, 3, 3, 3, 4, 4, 4};
        for (std::uint64_t offset = 0; offset < text.size(); ++offset)
            EXPECT_EQ(bulk.line_at(offset), lines[offset]) << cut << " at " << offset;
    }
}

TEST(text_line_store, holds_lines_across_its_blocks)
{
    // Enough lines to fill several blocks of line slots, each line holding its number.
    constexpr std::uint32_t lines = 20000;
    std::string text;
    for (std::uint32_t number = 1; number <= lines; ++number)
        text += std::to_string(number) + (number % 3 == 0 ? "\r\n" : "\n");
    std::istringstream source(text);
    t_text_loader loader(source);
    t_text_position position = t_text_position::start();
    std::string walked;
    for (loader.next_position(position); !position.is_end(); loader.next_position(position))
        walked += loader.get_char(position);
    EXPECT_EQ(loader.line_count(), lines + 1);

    for (std::uint32_t number : {1u, 8191u, 8192u, 8193u, 16384u, 16385u, lines})
    {
        const std::string expected = std::to_string(number);
        std::string read;
        for (std::uint32_t column = 1; column <= expected.size(); ++column)
            read += loader.get_char(number, column);
        EXPECT_EQ(read, expected) << number;
        EXPECT_EQ(loader.get_char(number, static_cast<std::uint32_t>(expected.size() + 1)), '\n');
    }
}

}  // namespace
}  // namespace structure
