// The program flow's dispatch: help goes to the given stream, an unknown command code is a bug
// check.
#include "program_flow.h"
#include "tool_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace
{

using tw::TW_ProgArgs;

TW_ProgArgs::t_ptr args_for(std::int32_t command)
{
    return voka::infrastructure::core::structure::make_smart<TW_ProgArgs>(
        command, L"m.dll", L"f.bin", L"T", tw::t_resource_name(), 0);
}

TEST(RunCommandTest, HelpPrintsTheHelpText)
{
    std::ostringstream out;
    tw::run_command(*args_for(tw::command_help), out);
    EXPECT_EQ(out.str(), tw::help_text());
}

class UnknownCommandTest : public ::testing::TestWithParam<std::int32_t>
{
};

TEST_P(UnknownCommandTest, IsABugCheck)
{
    std::ostringstream out;
    try
    {
        tw::run_command(*args_for(GetParam()), out);
        ADD_FAILURE() << "no failure";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "[BUG CHECK] main [#001]");
    }
    EXPECT_EQ(out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(Codes, UnknownCommandTest, ::testing::Values(0, 6, -1, 0x7FFFFFFF));

}  // namespace
