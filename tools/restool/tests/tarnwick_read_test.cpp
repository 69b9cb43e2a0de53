// End-to-end tests of `tarnwick -read` on generated PE32 and PE32+ modules: the bytes of the
// resource in the destination file, nothing on standard output, and the exact ERROR line and
// exit code of every failure.
#include "tarnwick_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace tw::testing
{
namespace
{

struct t_read_case
{
    const char* label;
    t_resource_ref ref;
    std::vector<std::uint8_t> expected;
};

class TarnwickReadTest : public ::testing::TestWithParam<std::tuple<t_read_case, bool>>
{
};

TEST_P(TarnwickReadTest, CopiesTheResourceBytesIntoTheFile)
{
    const auto& [c, pe32_plus] = GetParam();
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    const std::vector<std::uint8_t> image = write_sample_module(module, layout_of(pe32_plus));
    const std::string out = folder / "out.bin";

    const t_run run = run_tarnwick(command_line("-read", module, out, c.ref), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(read_file_bytes(out), c.expected);
    EXPECT_EQ(read_file_bytes(module), image);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, TarnwickReadTest,
    ::testing::Combine(
        ::testing::Values(
            t_read_case{"text_name", {"MYTYPE", "-name", "HELLO", "1033"}, bytes_of("hello bytes")},
            t_read_case{
                "names_ignore_case", {"mytype", "-name", "Hello", "1033"}, bytes_of("hello bytes")},
            t_read_case{"other_language", {"MYTYPE", "-name", "HELLO", "1049"}, bytes_of("privet")},
            t_read_case{
                "hex_language", {"MYTYPE", "-name", "HELLO", "0x409"}, bytes_of("hello bytes")},
            t_read_case{"numeric_id", {"MYTYPE", "-id", "7", "0"}, bytes_of("seven")},
            t_read_case{"octal_id", {"MYTYPE", "-id", "07", "0"}, bytes_of("seven")},
            t_read_case{"hash_name_is_an_id", {"MYTYPE", "-name", "#7", "0"}, bytes_of("seven")},
            t_read_case{"hash_type_is_an_id", {"#10", "-id", "1", "1033"}, binary_bytes()},
            t_read_case{"empty_resource", {"MYTYPE", "-name", "EMPTY", "1033"}, {}}),
        ::testing::Bool()),
    [](const auto& info)
    {
        return std::string(std::get<0>(info.param).label) +
               (std::get<1>(info.param) ? "_pe32plus" : "_pe32");
    });

struct t_not_found_case
{
    const char* label;
    t_resource_ref ref;
};

class TarnwickReadNotFoundTest : public ::testing::TestWithParam<t_not_found_case>
{
};

TEST_P(TarnwickReadNotFoundTest, ReportsResourceNotFoundAndCreatesNoFile)
{
    const t_not_found_case& c = GetParam();
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    const std::string out = folder / "out.bin";

    const t_run run = run_tarnwick(command_line("-read", module, out, c.ref), folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Resource not found\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, TarnwickReadNotFoundTest,
    ::testing::Values(
        // A non-zero language is matched exactly.
        t_not_found_case{"other_language", {"MYTYPE", "-name", "HELLO", "1050"}},
        t_not_found_case{"other_sublanguage", {"MYTYPE", "-name", "HELLO", "2057"}},
        t_not_found_case{"missing_name", {"MYTYPE", "-name", "BYE", "1033"}},
        t_not_found_case{"missing_id", {"MYTYPE", "-id", "8", "0"}},
        t_not_found_case{"missing_type", {"OTHER", "-id", "7", "0"}},
        // The type is always text: "10" names a type, it is not RT_RCDATA.
        t_not_found_case{"digits_type_is_a_name", {"10", "-id", "1", "1033"}},
        // A text name of digits is a name, not the id.
        t_not_found_case{"digits_name_is_a_name", {"MYTYPE", "-name", "7", "0"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TarnwickReadModuleTest, AModuleWithoutResourcesHasNoResource)
{
    t_temp_folder folder;
    const std::string module = folder / "plain.dll";
    write_sample_module(module, layout_of(true, false));
    const t_run run = run_tarnwick(
        command_line("-read", module, folder / "out.bin", {"MYTYPE", "-id", "7", "0"}), folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Resource not found\n");
}

struct t_module_failure_case
{
    const char* label;
    const char* module;  // inside the test's folder
    unsigned error_code;
};

class TarnwickReadModuleFailureTest : public ::testing::TestWithParam<t_module_failure_case>
{
};

TEST_P(TarnwickReadModuleFailureTest, FailsBeforeAnyFileIsCreated)
{
    const t_module_failure_case& c = GetParam();
    t_temp_folder folder;
    std::filesystem::create_directory(folder / "folder.dll");
    write_file_text(folder / "text.dll", "this is not a PE module, only text\n");
    write_file_text(folder / "mz.dll", "MZ");
    const std::string module = folder / c.module;
    const std::string out = folder / "out.bin";

    const t_run run =
        run_tarnwick(command_line("-read", module, out, {"MYTYPE", "-id", "7", "0"}), folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Failed to load the module [" + module +
                           "]. Win32 Error Code: " + std::to_string(c.error_code) + ".\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Modules, TarnwickReadModuleFailureTest,
    ::testing::Values(t_module_failure_case{"missing", "missing.dll", 2},
                      t_module_failure_case{"missing_folder", "no folder/missing.dll", 2},
                      t_module_failure_case{"directory", "folder.dll", 2},
                      t_module_failure_case{"not_a_pe", "text.dll", 193},
                      t_module_failure_case{"truncated", "mz.dll", 193},
                      t_module_failure_case{"non_ascii_name", "модуль.dll", 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TarnwickReadDestinationTest, ReportsADestinationThatCannotBeCreated)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    std::filesystem::create_directory(folder / "existing folder");

    struct t_case
    {
        std::string file;
        unsigned error_code;
    };
    for (const t_case& c :
         {t_case{folder / "no folder/out.bin", 3}, t_case{folder / "existing folder", 5}})
    {
        const t_run run = run_tarnwick(
            command_line("-read", module, c.file, {"MYTYPE", "-name", "HELLO", "1033"}), folder);
        EXPECT_EQ(run.code, failure_code) << c.file;
        EXPECT_EQ(run.out, "ERROR: Failed to create dest file [" + c.file +
                               "]. Win32 Error Code: " + std::to_string(c.error_code) + ".\n");
    }
}

TEST(TarnwickReadDestinationTest, ReplacesAnExistingFileWhole)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    const std::string out = folder / "out.bin";
    write_file_text(out, std::string(5000, 'x'));

    const t_run run =
        run_tarnwick(command_line("-read", module, out, {"MYTYPE", "-id", "7", "0"}), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(read_file_text(out), "seven");
}

TEST(TarnwickReadDestinationTest, ReportsAFailedWriteAndKeepsWhatWasWritten)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    const std::string out = folder / "out.bin";
    // A file-size limit of one 512-byte block (as sh counts it) stops the 600-byte resource part
    // way; with SIGXFSZ ignored the write fails with EFBIG, the file too large.
    const t_run run = run_tarnwick(command_line("-read", module, out, {"#10", "-id", "1", "1033"}),
                                   folder, "", "trap '' XFSZ; ulimit -f 1;");
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Failed to write file. Win32 Error Code: 223.\n");
    const std::vector<std::uint8_t> written = read_file_bytes(out);
    const std::vector<std::uint8_t> expected = binary_bytes();
    ASSERT_LT(written.size(), expected.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), expected.begin()));
}

TEST(TarnwickReadDestinationTest, ReportsAFullDevice)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    const t_run run = run_tarnwick(
        command_line("-read", module, "/dev/full", {"MYTYPE", "-id", "7", "0"}), folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Failed to write file. Win32 Error Code: 112.\n");
}

TEST(TarnwickReadPathTest, TakesPathsRelativeToTheWorkingFolder)
{
    t_temp_folder folder;
    std::filesystem::create_directory(folder / "work dir");
    write_sample_module(folder / "work dir/sample.dll");
    const t_run run = run_tarnwick(
        command_line("-read", "sample.dll", "out.bin", {"MYTYPE", "-name", "HELLO", "1049"}),
        folder, folder / "work dir");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file_text(folder / "work dir/out.bin"), "privet");
}

TEST(TarnwickReadPathTest, TakesNonAsciiAndBlankPaths)
{
    t_temp_folder folder;
    const std::string module = folder / "модуль с пробелом.dll";
    write_sample_module(module);
    const std::string out = folder / "вывод.bin";
    const t_run run =
        run_tarnwick(command_line("-read", module, out, {"MYTYPE", "-id", "7", "0"}), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file_text(out), "seven");
}

}  // namespace
}  // namespace tw::testing
