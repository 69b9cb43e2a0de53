// Fuzzes the resource-directory parser: any input is parsed without reading out of range, and a
// directory that parses, with all its data inside the input, is built again from its tree and
// parsed back; the two trees and their data must be equal, or the target aborts.
#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace
{

using namespace voka::platform;

// The RVA the seed corpus was built for (fuzz_resource_directory_seeds uses the same).
constexpr std::uint32_t k_section_rva = 0x3000;

// Builds and parses `content` again; returns what was read back, or aborts when the builder
// rejects a tree the parser accepted.
t_resource_content rebuild(const t_resource_content& content, std::vector<std::uint8_t>& section)
{
    try
    {
        section = build_resource_directory(content, k_section_rva);
        return read_resource_content(parse_resource_directory(section), {k_section_rva, section});
    }
    catch (...)
    {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    t_resource_content content;
    try
    {
        const t_resource_directory directory = parse_resource_directory(input);
        content = read_resource_content(directory, {k_section_rva, input});
    }
    catch (const t_resource_directory_error&)
    {
        return 0;  // malformed input, or data outside it: rejected cleanly
    }

    std::vector<std::uint8_t> section;
    const t_resource_content read_back = rebuild(content, section);
    sort_resource_tree(content);
    if (!(read_back == content))
        std::abort();
    // The layout depends on the tree alone.
    std::vector<std::uint8_t> section_again;
    if (!(rebuild(read_back, section_again) == content) || section_again != section)
        std::abort();
    return 0;
}
