// End-to-end tests of the built glossel program: exact standard output, exit code and
// destination bytes, for the command line cases and for the source and expected-output
// file pairs in tests/data (<name>.src rewritten must give <name>.expected).
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace structure
{
namespace
{

using testing::read_bytes;
using testing::t_temp_folder;
using testing::write_bytes;

const std::string banner = "Glossel text rewriter: tags to literals, comments removed\n";
const std::string usage = "command parameters: <source file> <dest file>\n";
// Exit code -1 as the shell reports it.
constexpr int failure_code = 255;

std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct t_run
{
    int code = -1000;
    std::string out;
};

// Runs glossel with `arguments` through the shell, which records the exit code.
t_run run_glossel(const std::vector<std::string>& arguments, const t_temp_folder& folder)
{
    std::string command = shell_quoted(GLOSSEL_PATH);
    for (const std::string& argument : arguments)
        command += " " + shell_quoted(argument);
    const std::string out = (folder / "stdout.txt").string();
    const std::string code = (folder / "code.txt").string();
    command += " >" + shell_quoted(out) + " 2>&1; echo $? >" + shell_quoted(code);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    t_run run;
    run.out = read_bytes(out);
    std::ifstream(code) >> run.code;
    std::filesystem::remove(out);
    std::filesystem::remove(code);
    return run;
}

TEST(glossel, prints_the_usage_for_other_argument_counts)
{
    t_temp_folder folder;
    write_bytes(folder / "in.txt", "x");
    const std::string in = (folder / "in.txt").string();
    const std::string out = (folder / "out.txt").string();
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {in}, {in, out, out}, {in, out, "x", "y"}})
    {
        const t_run run = run_glossel(arguments, folder);
        EXPECT_EQ(run.code, 0) << arguments.size();
        EXPECT_EQ(run.out, banner + usage) << arguments.size();
        EXPECT_FALSE(std::filesystem::exists(out)) << arguments.size();
    }
}

TEST(glossel, a_missing_source_leaves_the_destination_untouched)
{
    t_temp_folder folder;
    const std::string missing = (folder / "missing.c").string();
    const std::string existing = (folder / "existing.c").string();
    const std::string absent = (folder / "absent.c").string();
    write_bytes(existing, "precious\r\n");

    for (const std::string& dest : {existing, absent})
    {
        const t_run run = run_glossel({missing, dest}, folder);
        EXPECT_EQ(run.code, failure_code);
        EXPECT_EQ(run.out, banner + "\nERROR:fail open source file \"" + missing + "\"\n");
    }
    EXPECT_EQ(read_bytes(existing), "precious\r\n");
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST(glossel, reports_a_destination_it_cannot_open)
{
    t_temp_folder folder;
    write_bytes(folder / "in.c", "x");
    for (const std::string& dest :
         {(folder / "missing folder" / "out.c").string(), (folder / "").string()})
    {
        const t_run run = run_glossel({(folder / "in.c").string(), dest}, folder);
        EXPECT_EQ(run.code, failure_code);
        EXPECT_EQ(run.out, banner + "\nERROR:fail open dest file \"" + dest + "\"\n");
    }
}

TEST(glossel, reports_a_destination_it_cannot_write)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    t_temp_folder folder;
    // A short text fails when the destination is closed, a long one while it is written.
    write_bytes(folder / "short.c", "int x = _D(1 2);\n");
    std::string long_text;
    while (long_text.size() < 3 * 1024 * 1024)
        long_text += "static const char* name = _T(\"value\"); // note\n";
    write_bytes(folder / "long.c", long_text);
    for (const char* source : {"short.c", "long.c"})
    {
        const t_run run = run_glossel({(folder / source).string(), "/dev/full"}, folder);
        EXPECT_EQ(run.code, failure_code) << source;
        EXPECT_EQ(run.out, banner + "\nERROR:fail write dest file \"/dev/full\"\n") << source;
    }
}

TEST(glossel, a_malformed_mc_keeps_what_was_written)
{
    struct t_case
    {
        const char* name;
        std::string source;
        std::string message;
        std::string written;
    };
    const std::vector<t_case> cases = {
        {"missing paren", "a\r\nb _MC(\"x\"",
         "[tag _MC] not found ')'. line:4294967295 col:4294967295", "a\nb "},
        {"unclosed piece", "a /* c */\n\t_MC(\n \"x\\\"",
         "[tag _MC] close of text [line:3 col:2] not found", "a        \n\t"},
    };
    t_temp_folder folder;
    for (const t_case& test : cases)
    {
        write_bytes(folder / "in.c", test.source);
        const t_run run =
            run_glossel({(folder / "in.c").string(), (folder / "out.c").string()}, folder);
        EXPECT_EQ(run.code, failure_code) << test.name;
        EXPECT_EQ(run.out, banner + "\nERROR:" + test.message + "\n") << test.name;
        EXPECT_EQ(read_bytes(folder / "out.c"), test.written) << test.name;
    }
}

TEST(glossel, rewrites_every_source_of_the_data_folder)
{
    std::vector<std::filesystem::path> sources;
    for (const auto& entry : std::filesystem::directory_iterator(GLOSSEL_DATA_DIR))
        if (entry.path().extension() == ".src")
            sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    ASSERT_GE(sources.size(), 6u);

    t_temp_folder folder;
    for (const std::filesystem::path& source : sources)
    {
        std::filesystem::path expected = source;
        expected.replace_extension(".expected");
        ASSERT_TRUE(std::filesystem::exists(expected)) << expected;
        const std::string dest = (folder / (source.stem().string() + ".out")).string();
        // An existing destination is truncated.
        write_bytes(dest, std::string(100000, 'z'));
        const t_run run = run_glossel({source.string(), dest}, folder);
        EXPECT_EQ(run.code, 0) << source;
        EXPECT_EQ(run.out, banner) << source;
        EXPECT_EQ(read_bytes(dest), read_bytes(expected)) << source;
    }
}

}  // namespace
}  // namespace structure
