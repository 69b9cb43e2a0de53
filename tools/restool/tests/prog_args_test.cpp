// The program arguments: commands, parameters, conversions, the order of checks and the help
// text, over whole command lines (the program's path first).
#include "prog_args.h"
#include "tool_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace
{

using tw::TW_ProgArgs;

struct t_args_case
{
    const wchar_t* command_line;
    std::int32_t command;
    const wchar_t* module_name;
    const wchar_t* file_name;
    const wchar_t* type_name;
    const wchar_t* text_name;  // null for a numeric identifier
    std::uint16_t id;
    std::uint16_t language;
};

class ProgArgsTest : public ::testing::TestWithParam<t_args_case>
{
};

TEST_P(ProgArgsTest, TakesTheCommandAndItsParameters)
{
    const t_args_case& c = GetParam();
    const TW_ProgArgs::t_ptr args = TW_ProgArgs::Create(c.command_line);
    ASSERT_TRUE(args);
    EXPECT_EQ(args->command(), c.command);
    EXPECT_EQ(args->module_name(), c.module_name);
    EXPECT_EQ(args->file_name(), c.file_name);
    EXPECT_EQ(args->type_name(), c.type_name);
    EXPECT_EQ(args->language(), c.language);
    if (c.text_name != nullptr)
    {
        EXPECT_TRUE(args->resource_name().is_text());
        EXPECT_EQ(args->resource_name().text(), c.text_name);
        EXPECT_STREQ(args->resource_name().get(), c.text_name);
    }
    else
    {
        EXPECT_FALSE(args->resource_name().is_text());
        EXPECT_EQ(args->resource_name().id(), c.id);
        EXPECT_TRUE(IS_INTRESOURCE(args->resource_name().get()));
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(args->resource_name().get()), c.id);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProgArgsTest,
    ::testing::Values(
        t_args_case{L"tarnwick", tw::command_help, L"", L"", L"", nullptr, 0, 0},
        t_args_case{L"   tarnwick   ", tw::command_help, L"", L"", L"", nullptr, 0, 0},
        t_args_case{L"\"C:\\my tools\\tarnwick.exe\"", tw::command_help, L"", L"", L"", nullptr, 0,
                    0},
        t_args_case{L"tarnwick -help", tw::command_help, L"", L"", L"", nullptr, 0, 0},
        t_args_case{L"tarnwick /help", tw::command_help, L"", L"", L"", nullptr, 0, 0},
        t_args_case{L"tarnwick -read -file out.bin -module m.dll -type MYTYPE -id 7 -lang 1033",
                    tw::command_read, L"m.dll", L"out.bin", L"MYTYPE", nullptr, 7, 1033},
        t_args_case{L"tarnwick -lang 0 -name Hello -type #10 -module \"a b.dll\" -file f -write",
                    tw::command_write, L"a b.dll", L"f", L"#10", L"Hello", 0, 0},
        t_args_case{L"tarnwick /add /module m /file f /type T /name N /lang 0x409", tw::command_add,
                    L"m", L"f", L"T", L"N", 0, 0x409},
        t_args_case{L"tarnwick -del -module m -type T -id 0 -lang 25", tw::command_delete, L"m",
                    L"", L"T", nullptr, 0, 25},
        // A value may begin with a prefix character when it is quoted or the prefix is doubled.
        t_args_case{L"tarnwick -read -file \"/tmp/x\" -module --m -type //t -id 1 -lang 1",
                    tw::command_read, L"-m", L"/tmp/x", L"/t", nullptr, 1, 1},
        // Trailing and leading blanks go; the tab inside stays a separator.
        t_args_case{L"  tarnwick\t-del -module m -type T -id 1 -lang 1   ", tw::command_delete,
                    L"m", L"", L"T", nullptr, 1, 1}));

struct t_number_case
{
    const wchar_t* value;
    std::uint16_t expected;
};

class ProgArgsNumberTest : public ::testing::TestWithParam<t_number_case>
{
};

TEST_P(ProgArgsNumberTest, ConvertsIdentifierAndLanguage)
{
    const t_number_case& c = GetParam();
    const std::wstring value = c.value;
    const TW_ProgArgs::t_ptr by_id =
        TW_ProgArgs::Create((L"t -del -module m -type T -lang 1 -id " + value).c_str());
    EXPECT_EQ(by_id->resource_name().id(), c.expected);
    const TW_ProgArgs::t_ptr by_lang =
        TW_ProgArgs::Create((L"t -del -module m -type T -id 1 -lang " + value).c_str());
    EXPECT_EQ(by_lang->language(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, ProgArgsNumberTest,
                         ::testing::Values(t_number_case{L"0", 0}, t_number_case{L"5", 5},
                                           t_number_case{L"0x10", 16}, t_number_case{L"0X1f", 31},
                                           t_number_case{L"010", 8}, t_number_case{L"65535", 65535},
                                           t_number_case{L"0xFFFF", 65535},
                                           t_number_case{L"0177777", 65535},
                                           t_number_case{L"+7", 7}, t_number_case{L"--0", 0},
                                           t_number_case{L"\" 12\"", 12}, t_number_case{L"00", 0}));

struct t_failure_case
{
    const wchar_t* command_line;
    const char* message;
};

class ProgArgsFailureTest : public ::testing::TestWithParam<t_failure_case>
{
};

TEST_P(ProgArgsFailureTest, RejectsTheLineWithItsMessage)
{
    const t_failure_case& c = GetParam();
    try
    {
        TW_ProgArgs::Create(c.command_line);
        ADD_FAILURE() << "accepted";
    }
    catch (const std::exception& error)
    {
        EXPECT_STREQ(error.what(), c.message);
    }
}

constexpr const char* incorrect = "Incorrect command line.";
constexpr const char* multiple_primary = "Command line contains multiple primary commands.";
constexpr const char* bad_id = "Incorrect value of numeric resource identifier.";
constexpr const char* id_not_word = "Failed to convert a numeric resource identifier to WORD.";
constexpr const char* bad_lang = "Incorrect value of numeric language identifier.";
constexpr const char* lang_not_word = "Failed to convert a numeric language identifier to WORD.";

INSTANTIATE_TEST_SUITE_P(
    PrimaryCommands, ProgArgsFailureTest,
    ::testing::Values(t_failure_case{L"", "[BUG CHECK] TW_ProgArgs::Create [#001]"},
                      t_failure_case{L"   ", "[BUG CHECK] TW_ProgArgs::Create [#001]"},
                      t_failure_case{L"t -help -file x", incorrect},
                      t_failure_case{L"t -file x -help", incorrect},
                      t_failure_case{L"t -help x", incorrect},
                      t_failure_case{L"t -read -help", multiple_primary},
                      t_failure_case{L"t -help -read", incorrect},
                      t_failure_case{L"t -read -read", multiple_primary},
                      t_failure_case{L"t -del -add", multiple_primary},
                      t_failure_case{L"t -write -module m",
                                     "Command line does not contain the source file name"},
                      t_failure_case{L"t -module m -file f -type T -id 1 -lang 1",
                                     "Command line does not contain primary command"}));

INSTANTIATE_TEST_SUITE_P(
    Parameters, ProgArgsFailureTest,
    ::testing::Values(
        t_failure_case{L"t -file a -file b",
                       "Command line contains multiple defintion of parameter [file]."},
        t_failure_case{L"t -module a -module b",
                       "Command line contains multiple defintion of parameter [module]."},
        t_failure_case{L"t -type a -type b",
                       "Command line contains multiple defintion of parameter [type]."},
        t_failure_case{L"t -lang 1 -lang 1",
                       "Command line contains multiple defintion of parameter [lang]."},
        t_failure_case{L"t -file \"\"", "Command line contains empty value of parameter [file]."},
        t_failure_case{L"t -read -file", "Command line contains empty value of parameter [file]."},
        t_failure_case{L"t -file -read", "Command line contains empty value of parameter [file]."},
        t_failure_case{L"t -module \"\"",
                       "Command line contains empty value of parameter [module]."},
        t_failure_case{L"t -type", "Command line contains empty value of parameter [type]."},
        t_failure_case{L"t -name", "Command line contains empty value of parameter [name]."},
        t_failure_case{L"t -id \"\"", "Command line contains empty value of parameter [id]."},
        t_failure_case{L"t -lang", "Command line contains empty value of parameter [lang]."},
        t_failure_case{L"t -id 5 -name X", incorrect},
        t_failure_case{L"t -name X -id 5", incorrect},
        t_failure_case{L"t -name X -name Y", incorrect},
        t_failure_case{L"t -id 1 -id 2", incorrect},
        // A repeated identifier is rejected before its empty value is looked at.
        t_failure_case{L"t -id 1 -id", incorrect}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, ProgArgsFailureTest,
    ::testing::Values(
        t_failure_case{L"t -id 65536", id_not_word}, t_failure_case{L"t -id --1", id_not_word},
        t_failure_case{L"t -id \"-1\"", id_not_word},
        // Unquoted, a value that begins with a prefix is a name to the parser.
        t_failure_case{L"t -id -1", "[t_cmd_line_parser]:bad command line argument name."},
        t_failure_case{L"t -id 0x10000", id_not_word},
        t_failure_case{L"t -id 4294967296", id_not_word},
        t_failure_case{L"t -id 99999999999999999999", id_not_word},
        t_failure_case{L"t -id 12a", bad_id}, t_failure_case{L"t -id x", bad_id},
        t_failure_case{L"t -id 08", bad_id}, t_failure_case{L"t -id 0x", bad_id},
        t_failure_case{L"t -id 0xg", bad_id}, t_failure_case{L"t -id +", bad_id},
        t_failure_case{L"t -id \"5 \"", bad_id}, t_failure_case{L"t -id \" \"", bad_id},
        t_failure_case{L"t -id 1.0", bad_id},
        // Trailing characters are found before the range.
        t_failure_case{L"t -id 99999999999x", bad_id},
        t_failure_case{L"t -lang 65536", lang_not_word},
        t_failure_case{L"t -lang --5", lang_not_word}, t_failure_case{L"t -lang 1x", bad_lang},
        t_failure_case{L"t -lang en", bad_lang}));

INSTANTIATE_TEST_SUITE_P(
    Arguments, ProgArgsFailureTest,
    ::testing::Values(
        t_failure_case{L"t -read x", incorrect}, t_failure_case{L"t x", incorrect},
        t_failure_case{L"t -read \"\"", incorrect},
        t_failure_case{L"t -Read", "Unknown command line argument: [Read]."},
        t_failure_case{L"t -module m -verbose", "Unknown command line argument: [verbose]."},
        // Unknown names are found while walking, before any requirement is checked.
        t_failure_case{L"t -type T -zz", "Unknown command line argument: [zz]."},
        t_failure_case{L"t -read -file\"a\"",
                       "Command line does not contain the source module name"},
        t_failure_case{L"t \"", "[t_cmd_line_parser]:bad command line format."},
        t_failure_case{L"t -read -", "[t_cmd_line_parser]:empty command line argument name."},
        t_failure_case{L"t -read -1", "[t_cmd_line_parser]:bad command line argument name."}));

INSTANTIATE_TEST_SUITE_P(
    Requirements, ProgArgsFailureTest,
    ::testing::Values(
        t_failure_case{L"t -read", "Command line does not contain the target file name"},
        t_failure_case{L"t -read -file f", "Command line does not contain the source module name"},
        t_failure_case{L"t -read -file f -module m", "Resource type name not defined"},
        t_failure_case{L"t -read -file f -module m -type T", "Resource language not defined"},
        t_failure_case{L"t -read -file f -module m -type T -lang 0",
                       "Resource identifier not defined"},
        t_failure_case{L"t -read -module m -type T -lang 0 -id 1",
                       "Command line does not contain the target file name"},
        t_failure_case{L"t -write", "Command line does not contain the source file name"},
        t_failure_case{L"t -write -file f", "Command line does not contain the target module name"},
        t_failure_case{L"t -write -file f -module m -lang 0 -id 1",
                       "Resource type name not defined"},
        t_failure_case{L"t -add -module m -type T -lang 0 -id 1",
                       "Command line does not contain the source file name"},
        t_failure_case{L"t -add -file f", "Command line does not contain the target module name"},
        t_failure_case{L"t -add -file f -module m -type T -id 1", "Resource language not defined"},
        t_failure_case{L"t -add -file f -module m -type T -lang 1",
                       "Resource identifier not defined"},
        t_failure_case{L"t -del", "Command line does not contain the module name"},
        // del with a file fails before any other requirement of del.
        t_failure_case{L"t -del -file f", incorrect},
        t_failure_case{L"t -del -file f -module m -type T -lang 0 -id 1", incorrect},
        t_failure_case{L"t -del -module m", "Resource type name not defined"},
        t_failure_case{L"t -del -module m -type T", "Resource language not defined"},
        t_failure_case{L"t -del -module m -type T -lang 0", "Resource identifier not defined"}));

TEST(ProgArgsHelpTest, PrintsOneLinePerOptionWithTheNamePaddedTo20Characters)
{
    std::ostringstream out;
    TW_ProgArgs::print_help(out);
    EXPECT_EQ(out.str(), "help                [primary] print helps\n"
                         "read                [primary] read resource from module\n"
                         "write               [primary] write (update) resource to module\n"
                         "del                 [primary] delete resource from module\n"
                         "add                 [primary] add resource to module\n"
                         "module              name of module\n"
                         "file                name of file\n"
                         "type                name of resource type\n"
                         "id                  numeric identifier of resource\n"
                         "name                text identifier of resource\n"
                         "lang                numeric identifier of language\n");
}

TEST(ProgArgsTest, TextNamesAreOwnedCopies)
{
    std::wstring line = L"t -del -module m -type T -lang 0 -name Original";
    const TW_ProgArgs::t_ptr args = TW_ProgArgs::Create(line.c_str());
    line.assign(line.size(), L'x');
    EXPECT_STREQ(args->resource_name().get(), L"Original");
}

}  // namespace
