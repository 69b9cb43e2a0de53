// End-to-end tests of `tarnwick -write`, `-add` and `-del` on generated PE32 and PE32+ modules:
// after every update the changed resource reads back and every other resource, the code section
// and the overlay are unchanged; after every failure the exact ERROR line is printed and the
// module is byte-identical.
#include "tarnwick_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tw::testing
{
namespace
{

using t_bytes = std::vector<std::uint8_t>;

// A resource and what it must hold after the update (nullopt: it must be gone).
struct t_expected_resource
{
    t_resource_ref ref;
    std::optional<t_bytes> bytes;
};

// Reads every resource of `expected` back with the tool.
void expect_resources(const t_temp_folder& folder, const std::string& module,
                      const std::vector<t_expected_resource>& expected)
{
    const std::string out = folder / "check.bin";
    for (const t_expected_resource& resource : expected)
    {
        std::filesystem::remove(out);
        const t_run run = run_tarnwick(command_line("-read", module, out, resource.ref), folder);
        const std::string label =
            resource.ref.type + " " + resource.ref.name + " " + resource.ref.language;
        if (resource.bytes)
        {
            EXPECT_EQ(run.code, 0) << label;
            EXPECT_EQ(run.out, "") << label;
            EXPECT_EQ(read_file_bytes(out), *resource.bytes) << label;
        }
        else
        {
            EXPECT_EQ(run.code, failure_code) << label;
            EXPECT_EQ(run.out, "ERROR: Resource not found\n") << label;
        }
    }
}

// The code section is byte-identical and the overlay follows the last section unchanged.
void expect_rest_of_module_kept(const t_bytes& updated, const t_bytes& overlay)
{
    const auto sections = read_pe_sections(updated);
    ASSERT_TRUE(sections.has_value()) << "the updated module's section table does not fit";
    const auto text = std::find_if(sections->begin(), sections->end(),
                                   [](const t_pe_section& s) { return s.name == ".text"; });
    ASSERT_NE(text, sections->end());
    t_bytes code = sample_code();
    code.resize(text->raw_bytes.size(), 0);
    EXPECT_EQ(text->raw_bytes, code);
    const std::optional<std::uint32_t> end = end_of_sections(updated);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(t_bytes(updated.begin() + std::min<std::size_t>(*end, updated.size()), updated.end()),
              overlay);
}

struct t_update_case
{
    const char* label;
    const char* command;
    t_resource_ref ref;
    std::optional<t_bytes> source;  // the file's bytes; none for -del
    t_resource_ref check_ref;       // where the effect shows (the ref with names upper-cased)
    std::optional<t_bytes> result;  // what check_ref holds afterwards
};

t_bytes large_bytes()
{
    t_bytes bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    return bytes;
}

const t_resource_ref hello_en{"MYTYPE", "-name", "HELLO", "1033"};
const t_resource_ref hello_ru{"MYTYPE", "-name", "HELLO", "1049"};
const t_resource_ref seven{"MYTYPE", "-id", "7", "0"};
const t_resource_ref empty{"MYTYPE", "-name", "EMPTY", "1033"};
const t_resource_ref rcdata{"#10", "-id", "1", "1033"};

std::vector<t_update_case> update_cases()
{
    return {
        {"write_replaces", "-write", hello_en, bytes_of("new hello data"), hello_en,
         bytes_of("new hello data")},
        {"write_adds_a_missing_resource",
         "-write",
         {"MYTYPE", "-name", "NEW", "1033"},
         bytes_of("brand new"),
         {"MYTYPE", "-name", "NEW", "1033"},
         bytes_of("brand new")},
        {"write_grows_the_section", "-write", rcdata, large_bytes(), rcdata, large_bytes()},
        {"write_shrinks_the_section", "-write", rcdata, bytes_of("x"), rcdata, bytes_of("x")},
        {"write_of_an_empty_file_deletes", "-write", hello_en, t_bytes{}, hello_en, std::nullopt},
        {"add_new_type",
         "-add",
         {"NEWTYPE", "-id", "5", "1033"},
         bytes_of("added"),
         {"NEWTYPE", "-id", "5", "1033"},
         bytes_of("added")},
        {"add_new_language",
         "-add",
         {"MYTYPE", "-id", "7", "1033"},
         bytes_of("sieben"),
         {"MYTYPE", "-id", "7", "1033"},
         bytes_of("sieben")},
        {"add_replaces", "-add", hello_ru, bytes_of("zdravstvuj"), hello_ru,
         bytes_of("zdravstvuj")},
        {"add_of_an_empty_file_deletes", "-add", hello_ru, t_bytes{}, hello_ru, std::nullopt},
        {"add_stores_names_upper_case",
         "-add",
         {"newtype", "-name", "lower", "1033"},
         bytes_of("lower"),
         {"NEWTYPE", "-name", "LOWER", "1033"},
         bytes_of("lower")},
        {"add_name_with_blank",
         "-add",
         {"MYTYPE", "-name", "a b", "1033"},
         bytes_of("blank"),
         {"MYTYPE", "-name", "A B", "1033"},
         bytes_of("blank")},
        {"add_to_an_existing_type_in_other_case",
         "-add",
         {"myType", "-id", "9", "0"},
         bytes_of("nine"),
         {"MYTYPE", "-id", "9", "0"},
         bytes_of("nine")},
        {"del_by_name", "-del", hello_en, std::nullopt, hello_en, std::nullopt},
        {"del_by_id", "-del", seven, std::nullopt, seven, std::nullopt},
        {"del_empty_resource", "-del", empty, std::nullopt, empty, std::nullopt},
        {"del_missing_changes_nothing",
         "-del",
         {"MYTYPE", "-name", "NOPE", "1033"},
         std::nullopt,
         {"MYTYPE", "-name", "NOPE", "1033"},
         std::nullopt},
    };
}

// The sample's resources after `c`: the changed one replaced, added or removed.
std::vector<t_expected_resource> expected_after(const t_update_case& c)
{
    std::vector<t_expected_resource> expected;
    bool replaced = false;
    for (const t_sample_resource& resource : sample_resources())
    {
        const bool same = resource.ref.type == c.check_ref.type &&
                          resource.ref.name_switch == c.check_ref.name_switch &&
                          resource.ref.name == c.check_ref.name &&
                          resource.ref.language == c.check_ref.language;
        expected.push_back(
            {resource.ref, same ? c.result : std::optional<t_bytes>(resource.bytes)});
        replaced = replaced || same;
    }
    if (!replaced)
        expected.push_back({c.check_ref, c.result});
    return expected;
}

class TarnwickUpdateTest : public ::testing::TestWithParam<std::tuple<t_update_case, bool, bool>>
{
};

TEST_P(TarnwickUpdateTest, ChangesOnlyTheResource)
{
    const auto& [c, pe32_plus, with_overlay] = GetParam();
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    const t_bytes overlay =
        with_overlay ? bytes_of("installer payload after the sections") : t_bytes{};
    write_sample_module(module, layout_of(pe32_plus, true, overlay));
    const std::string source = folder / "source.bin";
    if (c.source)
        write_file_bytes(source, *c.source);

    const t_run run =
        run_tarnwick(command_line(c.command, module, c.source ? source : "", c.ref), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    expect_resources(folder, module, expected_after(c));
    expect_rest_of_module_kept(read_file_bytes(module), overlay);
    if (c.source)
    {
        EXPECT_EQ(read_file_bytes(source), *c.source);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, TarnwickUpdateTest,
                         ::testing::Combine(::testing::ValuesIn(update_cases()), ::testing::Bool(),
                                            ::testing::Bool()),
                         [](const auto& info)
                         {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_pe32plus" : "_pe32") +
                                    (std::get<2>(info.param) ? "_overlay" : "");
                         });

TEST(TarnwickUpdateNothingTest, DeletingAMissingResourceLeavesTheModuleByteIdentical)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    const t_bytes image = write_sample_module(module, layout_of(false, true, bytes_of("overlay")));
    const t_run run =
        run_tarnwick(command_line("-del", module, "", {"MYTYPE", "-id", "99", "1033"}), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file_bytes(module), image);
}

TEST(TarnwickUpdateSequenceTest, RepeatedWritesReadBackAndDoNotGrowTheModule)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module);
    const std::string source = folder / "source.bin";
    std::uintmax_t size_after_first = 0;
    for (int round = 0; round < 5; ++round)
    {
        const t_bytes data = bytes_of("round " + std::to_string(round % 2));
        write_file_bytes(source, data);
        const t_run run = run_tarnwick(command_line("-write", module, source, hello_en), folder);
        ASSERT_EQ(run.code, 0) << run.out;
        expect_resources(folder, module, {{hello_en, data}, {hello_ru, bytes_of("privet")}});
        if (round == 0)
            size_after_first = std::filesystem::file_size(module);
        else
            EXPECT_EQ(std::filesystem::file_size(module), size_after_first) << round;
    }
}

class TarnwickUpdateWithoutResourcesTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(TarnwickUpdateWithoutResourcesTest, AddGivesTheModuleItsFirstResource)
{
    t_temp_folder folder;
    const std::string module = folder / "plain.dll";
    write_sample_module(module, layout_of(GetParam(), false));
    const std::string source = folder / "source.bin";
    write_file_text(source, "first");
    const t_resource_ref ref{"FIRST", "-id", "1", "1033"};

    const t_run run = run_tarnwick(command_line("-add", module, source, ref), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    expect_resources(folder, module, {{ref, bytes_of("first")}});
    expect_rest_of_module_kept(read_file_bytes(module), {});
}

INSTANTIATE_TEST_SUITE_P(Formats, TarnwickUpdateWithoutResourcesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "pe32plus" : "pe32"; });

TEST(TarnwickUpdateHeaderRoomTest, GrowsALastResourceSectionWithoutANewHeader)
{
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    write_sample_module(module, layout_of(true, true, {}, true));
    const std::string source = folder / "source.bin";
    write_file_bytes(source, large_bytes());

    const t_run run = run_tarnwick(command_line("-write", module, source, rcdata), folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    expect_resources(folder, module, {{rcdata, large_bytes()}, {seven, bytes_of("seven")}});
}

// ---- failures: the exact ERROR line, and the module byte-identical ----

struct t_failure_case
{
    const char* label;
    std::vector<std::string> arguments;  // "{DIR}" stands for the test's folder
    std::string message;                 // the same
};

std::string in_folder(std::string text, const std::string& folder)
{
    const std::string key = "{DIR}";
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
    {
        text.replace(at, key.size(), folder);
        at += folder.size();
    }
    return text;
}

class TarnwickUpdateFailureTest : public ::testing::TestWithParam<t_failure_case>
{
};

TEST_P(TarnwickUpdateFailureTest, ReportsTheFailureAndLeavesTheModuleUntouched)
{
    const t_failure_case& c = GetParam();
    t_temp_folder folder;
    const t_bytes image =
        write_sample_module(folder / "sample.dll", layout_of(true, true, bytes_of("overlay")));
    std::filesystem::create_directory(folder / "folder");
    write_file_text(folder / "text.dll", "not a module");
    write_file_text(folder / "source.bin", "new data");

    std::vector<std::string> arguments;
    for (const std::string& argument : c.arguments)
        arguments.push_back(in_folder(argument, folder.path().string()));
    const t_run run = run_tarnwick(arguments, folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, in_folder(c.message, folder.path().string()));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_file_bytes(folder / "sample.dll"), image);
    EXPECT_EQ(read_file_text(folder / "text.dll"), "not a module");
}

std::vector<std::string> update_line(const char* command, const char* module, const char* file)
{
    std::vector<std::string> arguments{command, "-module", std::string("{DIR}/") + module};
    if (file != nullptr)
    {
        arguments.push_back("-file");
        arguments.push_back(std::string("{DIR}/") + file);
    }
    for (const char* argument : {"-type", "MYTYPE", "-name", "HELLO", "-lang", "1033"})
        arguments.push_back(argument);
    return arguments;
}

std::string open_source_failed(const char* file, unsigned code)
{
    return "ERROR: Failed to open source file [{DIR}/" + std::string(file) +
           "]. Win32 Error Code: " + std::to_string(code) + ".\n";
}

std::string begin_update_failed(unsigned code)
{
    return "ERROR: Failed to start update resource. Win32 Error Code: " + std::to_string(code) +
           ".\n";
}

INSTANTIATE_TEST_SUITE_P(
    Sources, TarnwickUpdateFailureTest,
    ::testing::Values(
        t_failure_case{"write_missing_source", update_line("-write", "sample.dll", "missing.bin"),
                       open_source_failed("missing.bin", 2)},
        t_failure_case{"add_missing_source", update_line("-add", "sample.dll", "missing.bin"),
                       open_source_failed("missing.bin", 2)},
        t_failure_case{"write_source_in_missing_folder",
                       update_line("-write", "sample.dll", "no folder/x.bin"),
                       open_source_failed("no folder/x.bin", 3)},
        t_failure_case{"add_source_is_a_folder", update_line("-add", "sample.dll", "folder"),
                       open_source_failed("folder", 5)},
        // The source is read before the module is opened.
        t_failure_case{"source_before_module", update_line("-write", "missing.dll", "missing.bin"),
                       open_source_failed("missing.bin", 2)}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Modules, TarnwickUpdateFailureTest,
    ::testing::Values(
        t_failure_case{"write_missing_module", update_line("-write", "missing.dll", "source.bin"),
                       begin_update_failed(2)},
        t_failure_case{"add_missing_module", update_line("-add", "missing.dll", "source.bin"),
                       begin_update_failed(2)},
        t_failure_case{"del_missing_module", update_line("-del", "missing.dll", nullptr),
                       begin_update_failed(2)},
        t_failure_case{"add_module_in_missing_folder",
                       update_line("-add", "no folder/m.dll", "source.bin"),
                       begin_update_failed(3)},
        t_failure_case{"write_not_a_module", update_line("-write", "text.dll", "source.bin"),
                       begin_update_failed(193)},
        t_failure_case{"del_not_a_module", update_line("-del", "text.dll", nullptr),
                       begin_update_failed(193)},
        t_failure_case{"write_module_is_a_folder", update_line("-write", "folder", "source.bin"),
                       begin_update_failed(5)}),
    [](const auto& info) { return std::string(info.param.label); });

class TarnwickLargeSourceTest
    : public ::testing::TestWithParam<std::tuple<const char*, std::uintmax_t>>
{
};

// A source of 4 GiB or more is refused whole; its size is never cut to the low 32 bits. The file
// is sparse, so it takes no disk space.
TEST_P(TarnwickLargeSourceTest, RefusesASourceOf4GiBOrMore)
{
    const auto& [command, size] = GetParam();
    t_temp_folder folder;
    const std::string module = folder / "sample.dll";
    const t_bytes image = write_sample_module(module);
    const std::string source = folder / "huge.bin";
    write_file_text(source, "");
    std::filesystem::resize_file(source, size);

    const t_run run = run_tarnwick(command_line(command, module, source, hello_en), folder);
    EXPECT_EQ(run.code, failure_code);
    EXPECT_EQ(run.out, "ERROR: Failed to get file size. Win32 Error Code: 223.\n");
    EXPECT_EQ(read_file_bytes(module), image);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TarnwickLargeSourceTest,
                         ::testing::Combine(::testing::Values("-write", "-add"),
                                            ::testing::Values(std::uintmax_t{1} << 32,
                                                              (std::uintmax_t{1} << 32) + 5)),
                         [](const auto& info)
                         {
                             return std::string(std::get<0>(info.param) + 1) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(TarnwickUpdateHeaderRoomTest, ACommitThatCannotAddASectionLeavesTheModuleUntouched)
{
    t_temp_folder folder;
    const std::string module = folder / "plain.dll";
    const t_bytes image = write_sample_module(module, layout_of(true, false, {}, true));
    const std::string source = folder / "source.bin";
    write_file_text(source, "first");

    const t_run run =
        run_tarnwick(command_line("-add", module, source, {"FIRST", "-id", "1", "1033"}), folder);
    EXPECT_EQ(run.code, failure_code);
    // No room for a new section header: the header area is a buffer too small for the change.
    EXPECT_EQ(run.out, "ERROR: Failed to commit resource update. Win32 Error Code: 122.\n");
    EXPECT_EQ(read_file_bytes(module), image);
}

}  // namespace
}  // namespace tw::testing
