// End-to-end tests of tarnwick's command line: the help text, and the ERROR line and exit code of
// lines that are refused before any file is touched, as the process's arguments reach the tool.
#include "tarnwick_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::testing
{
namespace
{

const std::string help = "help                [primary] print helps\n"
                         "read                [primary] read resource from module\n"
                         "write               [primary] write (update) resource to module\n"
                         "del                 [primary] delete resource from module\n"
                         "add                 [primary] add resource to module\n"
                         "module              name of module\n"
                         "file                name of file\n"
                         "type                name of resource type\n"
                         "id                  numeric identifier of resource\n"
                         "name                text identifier of resource\n"
                         "lang                numeric identifier of language\n";

struct t_line_case
{
    const char* label;
    std::vector<std::string> arguments;
    int code;
    std::string out;
};

class TarnwickCommandLineTest : public ::testing::TestWithParam<t_line_case>
{
};

TEST_P(TarnwickCommandLineTest, PrintsExactlyTheExpectedOutput)
{
    const t_line_case& c = GetParam();
    t_temp_folder folder;
    const t_run run = run_tarnwick(c.arguments, folder);
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Help, TarnwickCommandLineTest,
    ::testing::Values(t_line_case{"no_arguments", {}, 0, help},
                      t_line_case{"help", {"-help"}, 0, help},
                      t_line_case{"help_with_more",
                                  {"-help", "-file", "x"},
                                  failure_code,
                                  "ERROR: Incorrect command line.\n"},
                      t_line_case{"read_then_help",
                                  {"-read", "-help"},
                                  failure_code,
                                  "ERROR: Command line contains multiple primary commands.\n"}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Refused, TarnwickCommandLineTest,
    ::testing::Values(
        t_line_case{"unknown_argument",
                    {"-Read"},
                    failure_code,
                    "ERROR: Unknown command line argument: [Read].\n"},
        t_line_case{"no_primary",
                    {"-type", "T"},
                    failure_code,
                    "ERROR: Command line does not contain primary command\n"},
        t_line_case{"free_value", {"-read", "x"}, failure_code, "ERROR: Incorrect command line.\n"},
        t_line_case{"empty_value",
                    {"-read", "-file", ""},
                    failure_code,
                    "ERROR: Command line contains empty value of parameter [file].\n"},
        t_line_case{"twice",
                    {"-lang", "1", "-lang", "2"},
                    failure_code,
                    "ERROR: Command line contains multiple defintion of parameter [lang].\n"},
        t_line_case{"id_too_large",
                    {"-id", "65536"},
                    failure_code,
                    "ERROR: Failed to convert a numeric resource identifier to WORD.\n"},
        t_line_case{"lang_not_a_number",
                    {"-lang", "en"},
                    failure_code,
                    "ERROR: Incorrect value of numeric language identifier.\n"},
        t_line_case{"requirement",
                    {"-del", "-module", "m.dll"},
                    failure_code,
                    "ERROR: Resource type name not defined\n"},
        t_line_case{"del_with_file",
                    {"-del", "-file", "f"},
                    failure_code,
                    "ERROR: Incorrect command line.\n"},
        t_line_case{"bad_name",
                    {"-read", "-1"},
                    failure_code,
                    "ERROR: [t_cmd_line_parser]:bad command line argument name.\n"},
        t_line_case{"empty_name",
                    {"-read", "-"},
                    failure_code,
                    "ERROR: [t_cmd_line_parser]:empty command line argument name.\n"},
        // A quote inside an argument is kept as it is and opens a quote the line never closes.
        t_line_case{"unmatched_quote",
                    {"-read", "-file", "\"x"},
                    failure_code,
                    "ERROR: [t_cmd_line_parser]:bad command line format.\n"}),
    [](const auto& info) { return std::string(info.param.label); });

// On POSIX the command line is rebuilt from the arguments: an argument that is empty, holds
// whitespace or begins with `/` arrives quoted, as a value.
INSTANTIATE_TEST_SUITE_P(
    PosixCommandLine, TarnwickCommandLineTest,
    ::testing::Values(
        t_line_case{
            "slash_switch_is_a_value", {"/help"}, failure_code, "ERROR: Incorrect command line.\n"},
        t_line_case{
            "empty_argument_is_a_value", {""}, failure_code, "ERROR: Incorrect command line.\n"},
        t_line_case{"absolute_path_is_a_value",
                    {"-read", "-module", "/no such folder/m.dll", "-file", "/tmp/o", "-type", "T",
                     "-id", "1", "-lang", "0"},
                    failure_code,
                    "ERROR: Failed to load the module [/no such folder/m.dll]. Win32 Error Code: "
                    "2.\n"},
        t_line_case{"doubled_prefix_writes_a_dash",
                    {"-del", "-module", "--m.dll", "-type", "T", "-id", "1", "-lang", "0"},
                    failure_code,
                    "ERROR: Failed to start update resource. Win32 Error Code: 2.\n"},
        // Quoted whole, `-file"a b"` becomes the value `-file`, then two more free values.
        t_line_case{"argument_with_blank_is_one_value",
                    {"-read", "-file\"a b\""},
                    failure_code,
                    "ERROR: Incorrect command line.\n"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tw::testing
