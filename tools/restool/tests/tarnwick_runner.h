// Runs the built tarnwick program for the end-to-end tests and describes the sample module they
// work on.
#pragma once

#include "pe_image_builder.h"
#include "temp_folder.h"
#include "voka/platform/resource_directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tw::testing
{

// Exit code -1 as the shell reports it.
constexpr int failure_code = 255;

inline std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct t_run
{
    int code = -1000;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs tarnwick with `arguments` (each one argv element) in `working_folder` (the folder itself
// when empty) and collects its output and exit code. `shell_setup` runs first in the tool's own
// subshell (limits, signal dispositions).
inline t_run run_tarnwick(const std::vector<std::string>& arguments, const t_temp_folder& folder,
                          const std::string& working_folder = "",
                          const std::string& shell_setup = "")
{
    const std::string out = folder / ".stdout";
    const std::string err = folder / ".stderr";
    const std::string code = folder / ".code";
    std::string command =
        "(cd " + shell_quoted(working_folder.empty() ? folder.path().string() : working_folder) +
        " && " + shell_setup + " exec " + shell_quoted(TARNWICK_PATH);
    for (const std::string& argument : arguments)
        command += " " + shell_quoted(argument);
    command +=
        ") >" + shell_quoted(out) + " 2>" + shell_quoted(err) + "; echo $? >" + shell_quoted(code);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    t_run run;
    run.out = read_file_text(out);
    run.err = read_file_text(err);
    std::ifstream(code) >> run.code;
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    std::filesystem::remove(code);
    return run;
}

// Where a resource is, as the command line names it: `-id N` or `-name TEXT`.
struct t_resource_ref
{
    std::string type;
    std::string name_switch;  // "-id" or "-name"
    std::string name;
    std::string language;
};

inline std::vector<std::string> resource_arguments(const t_resource_ref& ref)
{
    return {"-type", ref.type, ref.name_switch, ref.name, "-lang", ref.language};
}

inline std::vector<std::string> command_line(const std::string& command, const std::string& module,
                                             const std::string& file, const t_resource_ref& ref)
{
    std::vector<std::string> arguments{command, "-module", module};
    if (!file.empty())
    {
        arguments.push_back("-file");
        arguments.push_back(file);
    }
    for (std::string& argument : resource_arguments(ref))
        arguments.push_back(std::move(argument));
    return arguments;
}

inline std::vector<std::uint8_t> bytes_of(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// 600 bytes of every value, with NULs, CR and LF among them.
inline std::vector<std::uint8_t> binary_bytes()
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 600; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i * 7));
    return bytes;
}

// The resources of the sample module and how the command line names each.
struct t_sample_resource
{
    t_resource_ref ref;
    std::vector<std::uint8_t> bytes;
};

inline std::vector<t_sample_resource> sample_resources()
{
    return {
        {{"MYTYPE", "-name", "EMPTY", "1033"}, {}},
        {{"MYTYPE", "-name", "HELLO", "1033"}, bytes_of("hello bytes")},
        {{"MYTYPE", "-name", "HELLO", "1049"}, bytes_of("privet")},
        {{"MYTYPE", "-id", "7", "0"}, bytes_of("seven")},
        {{"#10", "-id", "1", "1033"}, binary_bytes()},
    };
}

inline voka::platform::t_resource_content sample_content()
{
    using namespace voka::platform;
    const auto blob = [](std::vector<std::uint8_t> bytes) {
        return t_resource_blob{0, std::move(bytes)};
    };
    t_resource_content content;
    content.types.push_back(
        {t_resource_id(std::wstring(L"MYTYPE")),
         {{t_resource_id(std::wstring(L"EMPTY")), {{1033, blob({})}}},
          {t_resource_id(std::wstring(L"HELLO")),
           {{1033, blob(bytes_of("hello bytes"))}, {1049, blob(bytes_of("privet"))}}},
          {t_resource_id(7), {{0, blob(bytes_of("seven"))}}}}});
    content.types.push_back(
        {t_resource_id(10), {{t_resource_id(1), {{1033, blob(binary_bytes())}}}}});
    return content;
}

// Code bytes that a test can find again unchanged.
inline std::vector<std::uint8_t> sample_code()
{
    std::vector<std::uint8_t> code(700);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(0xC3 ^ (i * 13));
    return code;
}

inline t_pe_layout layout_of(bool pe32_plus, bool with_resources = true,
                             std::vector<std::uint8_t> overlay = {}, bool headers_full = false)
{
    t_pe_layout layout;
    layout.pe32_plus = pe32_plus;
    layout.with_resources = with_resources;
    layout.overlay = std::move(overlay);
    layout.headers_full = headers_full;
    return layout;
}

// Writes the sample module into `path` and returns its bytes.
inline std::vector<std::uint8_t> write_sample_module(const std::string& path,
                                                     t_pe_layout layout = layout_of(true))
{
    if (layout.code.empty())
        layout.code = sample_code();
    const std::vector<std::uint8_t> image = build_pe_module(sample_content(), layout);
    write_file_bytes(path, image);
    return image;
}

}  // namespace tw::testing
