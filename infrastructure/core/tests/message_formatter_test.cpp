// Message templates: placeholders, percent escapes and argument filling, narrow and wide.
#include "voka/infrastructure/core/message_formatter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using structure::t_message_formatter;
using structure::t_wmessage_formatter;

struct t_format_case
{
    const char* templ;
    std::vector<const char*> args;
    const char* expected;
};

class MessageFormatterTest : public ::testing::TestWithParam<t_format_case>
{
};

TEST_P(MessageFormatterTest, BuildsTheExpectedText)
{
    const t_format_case& c = GetParam();
    t_message_formatter narrow(c.templ);
    for (const char* arg : c.args)
        narrow.add_arg(arg);
    EXPECT_EQ(narrow.build(), c.expected);

    // The wide formatter behaves identically.
    const auto widen = [](const char* text)
    { return std::wstring(text, text + std::strlen(text)); };
    t_wmessage_formatter wide(widen(c.templ));
    for (const char* arg : c.args)
        wide.add_arg(widen(arg));
    EXPECT_EQ(wide.build(), widen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MessageFormatterTest,
    ::testing::Values(
        t_format_case{"", {}, ""}, t_format_case{"plain text", {"surplus"}, "plain text"},
        t_format_case{"a %1 b %2 c", {"x", "y"}, "a x b y c"},
        t_format_case{"%1 and %2", {"one"}, "one and %2"}, t_format_case{"%1%2", {"x", "y"}, "xy"},
        t_format_case{"%%1", {"x"}, "%1"}, t_format_case{"100%% sure", {}, "100% sure"},
        t_format_case{"ends with %", {}, "ends with "}, t_format_case{"%.", {}, "."},
        t_format_case{"a % b", {}, "a  b"}, t_format_case{"%01 %1", {"x"}, "%01 x"},
        t_format_case{"%2 before %1", {"first", "second"}, "second before first"},
        t_format_case{"%1 %1", {"twice"}, "twice twice"},
        t_format_case{"%10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}, "ten"},
        t_format_case{"%name and %Name%", {"x"}, "%name and %Name"},
        t_format_case{"%a_1%.", {}, "%a_1."},
        t_format_case{"%1 %2 %3", {"a", "b", "c", "d"}, "a b c"},
        t_format_case{
            "fail open %1 file \"%2\"", {"source", "in.txt"}, "fail open source file \"in.txt\""}));

TEST(MessageFormatterIntegerTest, WritesUnsignedDecimal)
{
    EXPECT_EQ(t_message_formatter("%1 %2 %3").add_arg(0).add_arg(4294967295u).add_arg(-1).build(),
              "0 4294967295 4294967295");
    EXPECT_EQ(t_wmessage_formatter(L"[%1]").add_arg(1007).build(), L"[1007]");
}

TEST(MessageFormatterLengthTest, ExplicitLengthAndNullTemplate)
{
    EXPECT_EQ(t_message_formatter("%1 cut here", 2).add_arg("x").build(), "x");
    EXPECT_EQ(t_message_formatter(static_cast<const char*>(nullptr)).add_arg("x").build(), "");
}

TEST(MessageFormatterRebuildTest, BuildAgainAfterMoreArguments)
{
    t_message_formatter formatter("%1-%2");
    formatter.add_arg("a");
    EXPECT_EQ(formatter.build(), "a-%2");
    formatter.add_arg("b");
    EXPECT_EQ(formatter.build(), "a-b");
}

TEST(MessageFormatterWideArgumentTest, NarrowFormatterConvertsWideText)
{
    EXPECT_EQ(t_message_formatter("[%1]").add_arg(std::wstring(L"wide")).build(), "[wide]");
}

}  // namespace
