// Tests of the tag transformation: tables of source text and the text it becomes,
// and the _MC failures with their exact positions.
#include "tag_transformer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace structure
{
namespace
{

std::string rewrite(const std::string& text)
{
    std::istringstream source(text);
    std::ostringstream destination;
    t_tag_transformer transformer(source, destination);
    transformer.run();
    return destination.str();
}

struct t_case
{
    const char* name;
    std::string source;
    std::string expected;
};

void expect_rewrites(const std::vector<t_case>& cases)
{
    for (const t_case& test : cases)
        EXPECT_EQ(rewrite(test.source), test.expected) << test.name << ": [" << test.source << "]";
}

TEST(tag_transformer, complete_tags_become_literals)
{
    expect_rewrites({
        {"T string", "x = _T( \"a b\" )", "x = 'a b'"},
        {"T string, no blanks", "_T(\"a\")", "'a'"},
        {"T string, blank before paren", "_T (\"a\")", "'a'"},
        {"T string over lines", "_T(\n\"a\nb\"\r\n)", "'a\nb'"},
        {"T string keeps apostrophes", "_T(\"it's\")", "'it's'"},
        {"T string keeps backslashes", "_T(\"a\\\\n\")", "'a\\\\n'"},
        {"T empty string", "_T(\"\")", "''"},
        {"Tx", "_Tx(\"00ff\")", "x'00ff'"},
        {"Tx with blanks", "_Tx ( \"1\" )", "x'1'"},
        {"T null", "_T(null)", "NULL"},
        {"T null, mixed case and blanks", "_T( NuLl\t)", "NULL"},
        {"T null upper", "_T(NULL)", "NULL"},
        {"D", "_D( 12 . 5 )", "12.5"},
        {"D over lines", "_D(a\r\n b\n)", "ab"},
        {"D empty", "_D()", ""},
        {"D keeps everything but white", "_D(a(b /*c*/ \"d\")", "a(b/*c*/\"d\""},
        {"MC two pieces", "_MC(\"one\\n\" \"two\")", "one\ntwo"},
        {"MC empty", "_MC()", ""},
        {"MC blanks and lines", "_MC ( \n \"a\"\n\"b\" \n)", "ab"},
        {"MC escapes", "_MC(\"q\\\"q \\\\ \\t \\r|\")", "q\"q \\ t \n|"},
        {"MC escaped line break", "_MC(\"a\\\nb\")", "a\nb"},
        {"MC piece over lines", "_MC(\"a\nb\")", "a\nb"},
        {"tags side by side", "_T(\"a\")_D(1)_T(n)", "'a'1_T(n)"},
        {"tag after tag", "_T(\"a\")_T(\"b\")", "'a''b'"},
    });
}

TEST(tag_transformer, incomplete_tags_are_copied_unchanged)
{
    expect_rewrites({
        {"T alone", "_T", "_T"},
        {"T paren", "_T(", "_T("},
        {"T unclosed string", "_T(\"abc", "_T(\"abc"},
        {"T no closing paren", "_T(\"abc\"", "_T(\"abc\""},
        {"T something after the string", "_T(\"a\" x)", "_T(\"a\" x)"},
        {"T word", "_T(abc)", "_T(abc)"},
        {"T null too long", "_T(NULLX)", "_T(NULLX)"},
        {"T null short", "_T(NUL)", "_T(NUL)"},
        {"TX is not Tx", "_TX(\"a\")", "_TX(\"a\")"},
        {"Tx without string", "_Tx(1)", "_Tx(1)"},
        {"Txy", "_Txy(\"a\")", "_Txy(\"a\")"},
        {"TEXT", "_TEXT(\"a\")", "_TEXT(\"a\")"},
        {"D unclosed", "_D(abc", "_D(abc"},
        {"D no paren", "_D x", "_D x"},
        {"many unclosed D", "_D( _D( _D(", "_D( _D( _D("},
        {"MC no paren", "_MC \"a\"", "_MC \"a\""},
        {"lone underscore", "_ _x _", "_ _x _"},
    });
}

TEST(tag_transformer, tags_are_found_only_where_a_turn_starts)
{
    expect_rewrites({
        {"inside a word", "MY_T(\"a\")", "MY_T(\"a\")"},
        {"after a digit", "1_D(2)", "1_D(2)"},
        {"after a parenthesis", "(_T(\"a\"))", "('a')"},
        {"after a delimiter", "x=_D(1 2);", "x=12;"},
        {"after a full stop", "x._T(\"a\")", "x.'a'"},
        {"after a quoted run", "\"q\"_T(\"a\")", "\"q\"'a'"},
        {"after a comment", "/**/_D(1)", "    1"},
        {"after white", "a\t_T(null)", "a\tNULL"},
        {"inside a quoted run", "\"_T(\"a\")\"", "\"_T(\"a\")\""},
        {"inside a comment", "// _MC(\"\nx", "\nx"},
    });
}

TEST(tag_transformer, quoted_runs_are_copied_as_they_are)
{
    expect_rewrites({
        {"apostrophe and slashes", "\"it's // not /* a comment\"", "\"it's // not /* a comment\""},
        {"single quotes", "'a\"b' '//'", "'a\"b' '//'"},
        {"no escapes", "\"a\\\" // x\"\nb", "\"a\\\" \nb"},
        {"quote inside a word", "x\"y // z\"", "x\"y "},
        {"unclosed to the end", "\"abc\n// x\n/* y", "\"abc\n// x\n/* y"},
        {"over lines", "'a\r\nb'", "'a\nb'"},
    });
}

TEST(tag_transformer, comments_are_removed_or_blanked)
{
    expect_rewrites({
        {"line comment", "a // note\nb", "a \nb"},
        {"line comment at the end", "a //x", "a "},
        {"line comment only", "// x", ""},
        {"empty line comment", "//\n", "\n"},
        {"slashes after a word", "a// note", "a// note"},
        {"one slash", "a/b a /b", "a/b a /b"},
        {"block comment", "/* x */", "       "},
        {"block comment between words", "x /*c*/ y", "x       y"},
        {"block comment over lines", "/* a\nbc */d", "    \n     d"},
        {"block comment over cr lf", "/* a\r\nbc */d", "    \n     d"},
        {"empty block comment", "/**/", "    "},
        {"stars", "/***/x", "     x"},
        {"star slash of the opener", "/*/ x", "     "},
        {"unclosed block comment", "/* abc\ndef", "      \n   "},
        {"block comment ends a word", "a/**/b", "a/**/b"},
    });
}

TEST(tag_transformer, everything_else_is_copied)
{
    expect_rewrites({
        {"empty", "", ""},
        {"words and punctuation", "int x = a->b[2] + c.d(e, f);", "int x = a->b[2] + c.d(e, f);"},
        {"line breaks", "a\r\nb\rc\n", "a\nb\nc\n"},
        {"empty lines", "\n\r\n\r", "\n\n\n"},
        {"control and high bytes", std::string("a\0b\x01\xff\x80 c\x7f", 10),
         std::string("a\0b\x01\xff\x80 c\x7f", 10)},
        {"backslashes", "a\\b \\", "a\\b \\"},
    });
}

TEST(tag_transformer, large_and_unclosed_constructs_take_one_pass)
{
    // Each of these would rescan the rest of the text at every turn if the
    // transformation went back over failed look-aheads; they finish in one pass.
    const std::string block(2 * 1024 * 1024, 'x');
    std::string many_d;
    std::string many_t;
    for (int i = 0; i < 200000; ++i)
    {
        many_d += "_D( ";
        many_t += "_T(\"";
    }
    expect_rewrites({
        {"unclosed block comment", "/*" + block + "\n" + block,
         std::string(2 + block.size(), ' ') + "\n" + std::string(block.size(), ' ')},
        {"unclosed quote", "\"" + block + "\n//" + block, "\"" + block + "\n//" + block},
        {"unclosed T body", "_T(\"" + block, "_T(\"" + block},
        {"many unclosed D", many_d, many_d},
        {"many T openers", many_t, many_t},
        {"long line", block + " _D(1) " + block, block + " 1 " + block},
    });
}

std::string mc_failure(const std::string& text, std::string* written = nullptr)
{
    std::istringstream source(text);
    std::ostringstream destination;
    t_tag_transformer transformer(source, destination);
    try
    {
        transformer.run();
    }
    catch (const std::runtime_error& error)
    {
        if (written != nullptr)
            *written = destination.str();
        return error.what();
    }
    return "<no error>";
}

TEST(tag_transformer, malformed_mc_fails_at_its_position)
{
    const std::vector<t_case> cases = {
        {"no paren at the end", "_MC(\"abc\"",
         "[tag _MC] not found ')'. line:4294967295 col:4294967295"},
        {"nothing after the paren", "_MC(",
         "[tag _MC] not found ')'. line:4294967295 col:4294967295"},
        {"white to the end", "_MC( \n ", "[tag _MC] not found ')'. line:4294967295 col:4294967295"},
        {"word instead of paren", "_MC(\"a\" x)", "[tag _MC] not found ')'. line:1 col:9"},
        {"no piece", "_MC(abc)", "[tag _MC] not found ')'. line:1 col:5"},
        {"on a later line", "_MC(\n\"a\"\r\n\n  ;", "[tag _MC] not found ')'. line:4 col:3"},
        {"piece never closed", "_MC(\"abc", "[tag _MC] close of text [line:1 col:5] not found"},
        {"piece closed by an escape", "_MC(\"a\\\"",
         "[tag _MC] close of text [line:1 col:5] not found"},
        {"backslash at the end", "_MC(\"a\\", "[tag _MC] close of text [line:1 col:5] not found"},
        {"second piece", "_MC(\"a\" \"b", "[tag _MC] close of text [line:1 col:9] not found"},
        {"piece on a later line", "x\n  _MC(\"abc",
         "[tag _MC] close of text [line:2 col:7] not found"},
    };
    for (const t_case& test : cases)
        EXPECT_EQ(mc_failure(test.source), test.expected) << test.name;
}

// The text is loaded in blocks: every construct comes out the same when the end of a
// block cuts it anywhere, and an _MC failure behind a block's end names its position.
TEST(tag_transformer, constructs_cut_by_the_end_of_a_loaded_block)
{
    const std::vector<t_case> cases = {
        {"T string", "_T( \"a b\" )", "'a b'"},
        {"Tx", "_Tx(\"00ff\")", "x'00ff'"},
        {"T null", "_T( null )", "NULL"},
        {"D", "_D( 1 . 2 )", "1.2"},
        {"MC", "_MC(\"x\\n\" \"y\")", "x\ny"},
        {"block comment", "/* c\n */z", "    \n   z"},
        {"line comment", "// c\nz", "\nz"},
        {"quoted run", "\"q // x\"", "\"q // x\""},
        {"incomplete tag", "_T( \"a\" ;", "_T( \"a\" ;"},
    };
    for (const t_case& test : cases)
    {
        const std::string construct = test.source;
        for (std::size_t cut = 1; cut <= construct.size(); ++cut)
        {
            // A word and a blank fill the block up to `cut` bytes before its end.
            std::string prefix(t_text_loader::first_block_size - cut - 1, 'w');
            prefix += ' ';
            EXPECT_EQ(rewrite(prefix + construct + " e"), prefix + test.expected + " e")
                << test.name << " cut " << cut;
        }
    }
    std::string prefix(t_text_loader::first_block_size - 3, 'w');
    prefix += ' ';
    const std::string column = std::to_string(prefix.size() + 5);
    EXPECT_EQ(mc_failure(prefix + "_MC(\"abc"),
              "[tag _MC] close of text [line:1 col:" + column + "] not found");
    EXPECT_EQ(mc_failure(prefix + "_MC(\"a\" x)"),
              "[tag _MC] not found ')'. line:1 col:" + std::to_string(prefix.size() + 9));
}

TEST(tag_transformer, text_before_a_failure_stays_written)
{
    std::string written;
    EXPECT_EQ(mc_failure("a _T(\"b\") // c\n_MC(x", &written),
              "[tag _MC] not found ')'. line:2 col:5");
    EXPECT_EQ(written, "a 'b' \n");
}

// A destination that takes a fixed number of bytes and then fails every write.
class t_full_device : public std::streambuf
{
public:
    explicit t_full_device(std::size_t room) : m_room(room) {}
    const std::string& taken() const { return m_taken; }
    int attempts_after_full() const { return m_attempts; }

protected:
    int_type overflow(int_type c) override
    {
        if (m_taken.size() == m_room)
        {
            ++m_attempts;
            return traits_type::eof();
        }
        m_taken += traits_type::to_char_type(c);
        return c;
    }

private:
    std::size_t m_room;
    std::string m_taken;
    int m_attempts = 0;
};

TEST(tag_transformer, a_failed_destination_is_marked_bad_and_the_pass_goes_on)
{
    for (const std::size_t room : {0u, 3u, 9u})
    {
        std::istringstream source("some text _MC(\"a\")");
        t_full_device device(room);
        std::ostream destination(&device);
        t_tag_transformer transformer(source, destination);
        transformer.run();
        EXPECT_TRUE(destination.bad()) << room;
        EXPECT_EQ(device.taken(), std::string("some text a").substr(0, room)) << room;
        EXPECT_EQ(device.attempts_after_full(), 1) << room;
        EXPECT_TRUE(source.rdbuf()->sgetc() == std::char_traits<char>::eof()) << room;
    }
}

TEST(tag_transformer, a_destination_without_buffer_is_marked_bad)
{
    std::istringstream source("x");
    std::ostream destination(nullptr);
    destination.clear();
    t_tag_transformer transformer(source, destination);
    transformer.run();
    EXPECT_TRUE(destination.bad());
}

}  // namespace
}  // namespace structure
