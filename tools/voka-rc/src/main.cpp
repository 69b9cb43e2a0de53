// voka-rc: compiles a module's resource source into the C++ source that embeds its resource
// section (-o) and/or the raw section bytes (--raw). See README.md for the source format.
#include "cpp_emitter.h"
#include "resource_compiler.h"
#include "resource_source.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int k_exit_bad_input = 1;
constexpr int k_exit_usage = 2;

constexpr const char* k_usage =
    "usage: voka-rc <source.resources> [-o <output.cpp>] [--raw <output.bin>]\n"
    "  -o     write the C++ source that embeds the resource section\n"
    "  --raw  write the resource section's bytes\n";

struct t_arguments
{
    std::string source;
    std::optional<std::string> cpp_output;
    std::optional<std::string> raw_output;
};

std::optional<t_arguments> parse_arguments(int argc, char** argv)
{
    t_arguments arguments;
    for (int index = 1; index < argc; ++index)
    {
        const std::string argument = argv[index];
        if ((argument == "-o" || argument == "--raw") && index + 1 < argc)
        {
            std::optional<std::string>& output =
                argument == "-o" ? arguments.cpp_output : arguments.raw_output;
            if (output)
                return std::nullopt;
            output = argv[++index];
        }
        else if (!argument.empty() && argument[0] != '-' && arguments.source.empty())
            arguments.source = argument;
        else
            return std::nullopt;
    }
    if (arguments.source.empty() || (!arguments.cpp_output && !arguments.raw_output))
        return std::nullopt;
    return arguments;
}

// Writes `bytes` to `path` through a temporary file renamed into place, so a failed run never
// leaves a half-written output that the build would take as up to date.
bool write_file(const std::string& path, std::string_view bytes)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
        {
            std::cerr << "voka-rc: cannot write " << temporary << '\n';
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error)
    {
        std::cerr << "voka-rc: cannot rename " << temporary << " to " << path << ": "
                  << error.message() << '\n';
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<t_arguments> arguments = parse_arguments(argc, argv);
    if (!arguments)
    {
        std::cerr << k_usage;
        return k_exit_usage;
    }
    std::ifstream in(arguments->source, std::ios::binary);
    if (!in)
    {
        std::cerr << "voka-rc: cannot open " << arguments->source << '\n';
        return k_exit_bad_input;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
    {
        std::cerr << "voka-rc: cannot read " << arguments->source << '\n';
        return k_exit_bad_input;
    }

    try
    {
        const voka::rc::t_resource_source source =
            voka::rc::parse_resource_source(text, arguments->source);
        const std::vector<std::uint8_t> section = voka::rc::compile_resource_section(source);
        const std::string_view raw(reinterpret_cast<const char*>(section.data()), section.size());
        if (arguments->raw_output && !write_file(*arguments->raw_output, raw))
            return k_exit_bad_input;
        if (arguments->cpp_output &&
            !write_file(*arguments->cpp_output,
                        voka::rc::emit_resource_source(
                            section, std::filesystem::path(arguments->source).filename().string())))
            return k_exit_bad_input;
    }
    catch (const voka::rc::t_source_error& error)
    {
        std::cerr << error.what() << '\n';
        return k_exit_bad_input;
    }
    catch (const std::exception& error)
    {
        std::cerr << "voka-rc: " << arguments->source << ": " << error.what() << '\n';
        return k_exit_bad_input;
    }
    return 0;
}
