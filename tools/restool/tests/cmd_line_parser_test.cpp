// The command-line parser: tokens, names, values and syntax errors, over command-line strings.
#include "cmd_line_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

using structure::t_cmd_line_parser;
using structure::t_cmd_line_parser_exception;

using t_pairs = std::vector<std::pair<std::wstring, std::wstring>>;

// Registers `file`, `type` and `id` as taking values and `help` as a switch.
void register_test_names(t_cmd_line_parser& parser)
{
    parser.register_name(L"file", 1);
    parser.register_name(L"type", 1);
    parser.register_name(L"id", 1);
    parser.register_name(L"help", 0);
}

t_pairs arguments_of(t_cmd_line_parser& parser)
{
    t_pairs pairs;
    for (const auto& argument : parser)
        pairs.emplace_back(argument->name(), argument->value());
    return pairs;
}

t_pairs parse(const std::wstring& text)
{
    t_cmd_line_parser parser;
    register_test_names(parser);
    parser.parse(text.data(), text.size());
    return arguments_of(parser);
}

struct t_parse_case
{
    const wchar_t* text;
    t_pairs expected;
};

class CmdLineParserTest : public ::testing::TestWithParam<t_parse_case>
{
};

TEST_P(CmdLineParserTest, SplitsTheLineIntoArguments)
{
    const t_parse_case& c = GetParam();
    EXPECT_EQ(parse(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, CmdLineParserTest,
    ::testing::Values(
        t_parse_case{L"", {}}, t_parse_case{L" \t\r\n ", {}},
        t_parse_case{L"-file a b", {{L"file", L"a"}, {L"", L"b"}}},
        t_parse_case{L"/file a", {{L"file", L"a"}}},
        t_parse_case{L"-file -type x", {{L"file", L""}, {L"type", L"x"}}},
        t_parse_case{L"-file \"a b\"", {{L"file", L"a b"}}},
        t_parse_case{L"-file\"a b\"", {{L"file", L"a b"}}},
        t_parse_case{L"-file \"\"", {{L"file", L""}}},
        t_parse_case{L"-file \"-x /y\"", {{L"file", L"-x /y"}}},
        t_parse_case{L"-file --5", {{L"file", L"-5"}}}, t_parse_case{L"//x", {{L"", L"/x"}}},
        t_parse_case{L"--", {{L"", L"-"}}}, t_parse_case{L"-help x", {{L"help", L""}, {L"", L"x"}}},
        t_parse_case{L"-unknown x", {{L"unknown", L""}, {L"", L"x"}}},
        t_parse_case{L"-File a", {{L"File", L""}, {L"", L"a"}}},
        t_parse_case{L"-file", {{L"file", L""}}}, t_parse_case{L"-file=x", {{L"file", L"=x"}}},
        t_parse_case{L"-a_1.b", {{L"a_1", L""}, {L"", L".b"}}},
        t_parse_case{L"-file\ta\nb\rc", {{L"file", L"a"}, {L"", L"b"}, {L"", L"c"}}},
        t_parse_case{L"\"a\"b", {{L"", L"a"}, {L"", L"b"}}},
        t_parse_case{L"\"a\"\"b\"", {{L"", L"a"}, {L"", L"b"}}},
        t_parse_case{L"a\"b c\"", {{L"", L"a\"b"}, {L"", L"c\""}}},
        t_parse_case{L"x-file y", {{L"", L"x-file"}, {L"", L"y"}}},
        t_parse_case{L"-file a -file b", {{L"file", L"a"}, {L"file", L"b"}}},
        t_parse_case{L"-help-file a", {{L"help", L""}, {L"file", L"a"}}},
        t_parse_case{L"\"C:\\a b\\tool.exe\" -id 5", {{L"", L"C:\\a b\\tool.exe"}, {L"id", L"5"}}},
        // Vertical tab and form feed are not whitespace here.
        t_parse_case{L"a\vb\fc", {{L"", L"a\vb\fc"}}}));

struct t_error_case
{
    const wchar_t* text;
    std::int32_t code;
    const char* what;
    std::size_t arguments_before;  // arguments appended before the error
};

class CmdLineParserErrorTest : public ::testing::TestWithParam<t_error_case>
{
};

TEST_P(CmdLineParserErrorTest, RaisesTheParsersError)
{
    const t_error_case& c = GetParam();
    t_cmd_line_parser parser;
    register_test_names(parser);
    const std::wstring text = c.text;
    try
    {
        parser.parse(text.data(), text.size());
        ADD_FAILURE() << "no error";
    }
    catch (const t_cmd_line_parser_exception& error)
    {
        EXPECT_STREQ(error.what(), c.what);
        ASSERT_EQ(error.get_record_count(), 1);
        EXPECT_EQ(error.get_record(0)->get_error_code(), c.code);
    }
    EXPECT_EQ(parser.count(), c.arguments_before);
}

INSTANTIATE_TEST_SUITE_P(
    SyntaxErrors, CmdLineParserErrorTest,
    ::testing::Values(
        t_error_case{L"-", 1, "[t_cmd_line_parser]:empty command line argument name.", 0},
        t_error_case{L"a /", 1, "[t_cmd_line_parser]:empty command line argument name.", 1},
        t_error_case{L"- x", 2, "[t_cmd_line_parser]:bad command line argument name.", 0},
        t_error_case{L"-1", 2, "[t_cmd_line_parser]:bad command line argument name.", 0},
        t_error_case{L"-/x", 2, "[t_cmd_line_parser]:bad command line argument name.", 0},
        t_error_case{L"/-x", 2, "[t_cmd_line_parser]:bad command line argument name.", 0},
        t_error_case{L"-_x", 2, "[t_cmd_line_parser]:bad command line argument name.", 0},
        t_error_case{L"-file a -\"x\"", 2, "[t_cmd_line_parser]:bad command line argument name.",
                     1},
        t_error_case{L"\"", 4, "[t_cmd_line_parser]:bad command line format.", 0},
        t_error_case{L"-file \"a b", 4, "[t_cmd_line_parser]:bad command line format.", 1},
        t_error_case{L"a \"b\" \"c", 4, "[t_cmd_line_parser]:bad command line format.", 2}));

TEST(CmdLineParserTest, OnlyTheExactRegisteredSpellingTakesAValue)
{
    t_cmd_line_parser parser;
    parser.register_name(L"file", 1);
    const std::wstring text = L"-File a -FILE b -file c";
    parser.parse(text.data(), text.size());
    EXPECT_EQ(arguments_of(parser),
              (t_pairs{{L"File", L""}, {L"", L"a"}, {L"FILE", L""}, {L"", L"b"}, {L"file", L"c"}}));
}

TEST(CmdLineParserTest, ALaterRegistrationReplacesTheEarlierOne)
{
    t_cmd_line_parser parser;
    parser.register_name(L"file", 1);
    parser.register_name(L"file", 0);
    parser.register_name(L"type", 0);
    parser.register_name(L"type", 1);
    parser.register_name(L"id", 2);  // only 1 means a value
    const std::wstring text = L"-file a -type b -id c";
    parser.parse(text.data(), text.size());
    EXPECT_EQ(arguments_of(parser),
              (t_pairs{{L"file", L""}, {L"", L"a"}, {L"type", L"b"}, {L"id", L""}, {L"", L"c"}}));
}

TEST(CmdLineParserTest, ParsesOnlyTheGivenLength)
{
    t_cmd_line_parser parser;
    register_test_names(parser);
    const std::wstring text = L"-file abc\"";
    parser.parse(text.data(), 8);  // stops before "c" and the unmatched quote
    EXPECT_EQ(arguments_of(parser), (t_pairs{{L"file", L"ab"}}));
}

TEST(CmdLineParserTest, ArgumentsCanBeErasedAndOutliveTheParser)
{
    t_cmd_line_parser::t_arg_ptr kept;
    {
        t_cmd_line_parser parser;
        register_test_names(parser);
        const std::wstring text = L"tool.exe -file a";
        parser.parse(text.data(), text.size());
        ASSERT_EQ(parser.count(), 2u);
        parser.erase(parser.begin());
        ASSERT_EQ(parser.count(), 1u);
        kept = *parser.begin();
    }
    EXPECT_EQ(kept->name(), L"file");
    EXPECT_EQ(kept->value(), L"a");
}

}  // namespace
