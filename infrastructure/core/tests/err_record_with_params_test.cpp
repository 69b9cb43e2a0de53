// Records with parameters over the command-line parser's traits: descriptions,
// narrow texts, nested records and help.
#include "voka/infrastructure/core/cmd_line_parser_error_traits.h"
#include "voka/infrastructure/core/err_exception_with_params.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{

using structure::t_cmd_line_parser_err_record;
using structure::t_err_exception_with_params;
using voka::infrastructure::core::structure::make_smart;
using voka::infrastructure::core::structure::t_smart_interface;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

using t_parser_exception = t_err_exception_with_params<t_cmd_line_parser_err_record, wchar_t>;

struct t_description_case
{
    std::int32_t message_id;
    const wchar_t* argument;
    const wchar_t* description;
    bool found;
};

class ParserRecordDescriptionTest : public ::testing::TestWithParam<t_description_case>
{
};

TEST_P(ParserRecordDescriptionTest, DescribesItselfFromTheTable)
{
    const t_description_case& c = GetParam();
    auto record = make_smart<t_cmd_line_parser_err_record>(c.message_id);
    if (c.argument != nullptr)
        record->add_str_arg(c.argument);
    std::wstring source = L"stale";
    std::wstring description = L"stale";
    EXPECT_EQ(record->get_description(0, 0, &source, &description), c.found);
    EXPECT_EQ(description, c.description);
    EXPECT_EQ(source, L"t_cmd_line_parser");
    EXPECT_EQ(record->get_error_code(), c.message_id);
    EXPECT_EQ(record->get_error_kind(), 0);
    EXPECT_EQ(record->get_value2(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, ParserRecordDescriptionTest,
    ::testing::Values(
        t_description_case{1, nullptr, L"empty command line argument name.", true},
        t_description_case{2, nullptr, L"bad command line argument name.", true},
        t_description_case{3, L"-zz", L"unknown command line argument [-zz].", true},
        t_description_case{3, nullptr, L"unknown command line argument [%1].", true},
        t_description_case{4, L"surplus", L"bad command line format.", true},
        t_description_case{0, L"ignored", L"[cmd line parser] unknown error message [0]", false},
        t_description_case{5, nullptr, L"[cmd line parser] unknown error message [5]", false},
        t_description_case{-7, nullptr, L"[cmd line parser] unknown error message [-7]", false}));

TEST(ParserRecordTextTest, TextIsBracketedSourceColonDescription)
{
    auto record = make_smart<t_cmd_line_parser_err_record>(3);
    record->add_str_arg(L"/q");
    EXPECT_STREQ(record->get_text(), "[t_cmd_line_parser]:unknown command line argument [/q].");
}

TEST(ParserRecordTextTest, OnlyRequestedTextsAreFilled)
{
    auto record = make_smart<t_cmd_line_parser_err_record>(9);
    std::wstring source;
    EXPECT_TRUE(record->get_description(1, 0x0419, &source, nullptr));
    EXPECT_EQ(source, L"t_cmd_line_parser");
    std::wstring description;
    EXPECT_FALSE(record->get_description(1, 0, nullptr, &description));
}

TEST(ParserRecordArgumentTest, ExceptionWithRecordsContributesItsFirstRecord)
{
    t_parser_exception inner(3);
    inner.add_str_arg(L"inner-arg");
    t_parser_exception outer(3);
    outer.add_exception_arg(inner);
    // The nested record contributes its description, without its source.
    EXPECT_STREQ(outer.what(), "[t_cmd_line_parser]:unknown command line argument [unknown command "
                               "line argument [inner-arg].].");
}

TEST(ParserRecordArgumentTest, PlainExceptionContributesItsWhatText)
{
    t_parser_exception error(3);
    error.add_exception_arg(std::runtime_error("disk on fire"));
    EXPECT_STREQ(error.what(), "[t_cmd_line_parser]:unknown command line argument [disk on fire].");
}

// A counted object that is neither a string argument nor a record.
class t_foreign_arg : public t_basic_smart_interface_impl__dynamic<t_smart_interface>
{
};

TEST(ParserRecordArgumentTest, UnknownArgumentKindFormatsAsPlaceholderText)
{
    auto record = make_smart<t_cmd_line_parser_err_record>(3);
    auto foreign = make_smart<t_foreign_arg>();
    record->add_object_arg(foreign.get());
    std::wstring description;
    EXPECT_TRUE(record->get_description(0, 0, nullptr, &description));
    EXPECT_EQ(description, L"unknown command line argument [?unk_arg_type?].");
}

TEST(ParserRecordHelpTest, HelpContextAndEmptiedHelpFile)
{
    auto record = make_smart<t_cmd_line_parser_err_record>(1);
    std::int32_t context = -1;
    std::wstring help_file = L"old.chm";
    EXPECT_FALSE(record->get_help(0, 0, &help_file, &context));
    EXPECT_EQ(context, 0);
    EXPECT_TRUE(help_file.empty());
    EXPECT_TRUE(record->get_help(0, 0, nullptr, &context));
}

}  // namespace
