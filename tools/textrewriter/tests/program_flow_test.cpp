// Tests of glossel's entry routine in-process: the texts it prints and raises, its
// return values, and the order in which it opens and tests the files.
#include "glossel_texts.h"
#include "program_flow.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace structure
{
namespace
{

using testing::read_bytes;
using testing::t_temp_folder;
using testing::write_bytes;

struct t_result
{
    int code;
    std::string out;
};

t_result run(const std::vector<std::string>& arguments)
{
    std::vector<const char*> argv{"glossel"};
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    std::ostringstream out;
    const int code = run_glossel(static_cast<int>(argv.size()), argv.data(), out);
    return {code, out.str()};
}

TEST(glossel_texts, compose_the_messages)
{
    EXPECT_EQ(glossel_texts::open_failure("source", "a b.txt"),
              "fail open source file \"a b.txt\"");
    EXPECT_EQ(glossel_texts::open_failure("dest", "%1"), "fail open dest file \"%1\"");
    EXPECT_EQ(glossel_texts::write_failure("/dev/full"), "fail write dest file \"/dev/full\"");
    EXPECT_EQ(glossel_texts::mc_unclosed_piece(3, 14),
              "[tag _MC] close of text [line:3 col:14] not found");
    EXPECT_EQ(glossel_texts::mc_missing_paren(4294967295u, 4294967295u),
              "[tag _MC] not found ')'. line:4294967295 col:4294967295");
    EXPECT_EQ(glossel_texts::report("boom"), "\nERROR:boom\n");
    EXPECT_EQ(glossel_texts::usage(), "command parameters: <source file> <dest file>");
    EXPECT_NE(glossel_texts::banner().find("Glossel"), std::string::npos);
    EXPECT_EQ(glossel_texts::banner().find('\n'), std::string::npos);
}

TEST(run_glossel, prints_the_usage_unless_given_two_arguments)
{
    const std::string usage = glossel_texts::banner() + "\n" + glossel_texts::usage() + "\n";
    for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"a"}, {"a", "b", "c"}})
    {
        const t_result result = run(arguments);
        EXPECT_EQ(result.code, 0) << arguments.size();
        EXPECT_EQ(result.out, usage) << arguments.size();
    }
}

TEST(run_glossel, rewrites_and_prints_only_the_banner)
{
    t_temp_folder folder;
    write_bytes(folder / "in.txt", "a = _T(\"b\"); // c\n");
    const t_result result = run({(folder / "in.txt").string(), (folder / "out.txt").string()});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, glossel_texts::banner() + "\n");
    EXPECT_EQ(read_bytes(folder / "out.txt"), "a = 'b'; \n");
}

TEST(run_glossel, reports_a_failure_and_returns_minus_one)
{
    t_temp_folder folder;
    write_bytes(folder / "in.txt", "ok _MC(\"x\" y");
    const std::string dest = (folder / "out.txt").string();
    const t_result result = run({(folder / "in.txt").string(), dest});
    EXPECT_EQ(result.code, -1);
    EXPECT_EQ(result.out,
              glossel_texts::banner() + "\n\nERROR:[tag _MC] not found ')'. line:1 col:12\n");
    EXPECT_EQ(read_bytes(dest), "ok ");
}

TEST(rewrite_file, tests_the_source_before_touching_the_destination)
{
    t_temp_folder folder;
    const std::string missing = (folder / "missing.txt").string();
    const std::string existing = (folder / "existing.txt").string();
    const std::string absent = (folder / "absent.txt").string();
    write_bytes(existing, "keep me");

    for (const std::string& dest : {existing, absent})
    {
        try
        {
            rewrite_file(missing, dest);
            ADD_FAILURE() << "no failure";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(std::string(error.what()), "fail open source file \"" + missing + "\"");
        }
    }
    EXPECT_EQ(read_bytes(existing), "keep me");
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST(rewrite_file, fails_for_a_destination_it_cannot_open)
{
    t_temp_folder folder;
    write_bytes(folder / "in.txt", "x");
    const std::string dest = (folder / "no such folder" / "out.txt").string();
    try
    {
        rewrite_file((folder / "in.txt").string(), dest);
        ADD_FAILURE() << "no failure";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ(std::string(error.what()), "fail open dest file \"" + dest + "\"");
    }
}

}  // namespace
}  // namespace structure
