// Fuzzes the ELF section lookup of data-file modules: any input is either rejected with
// t_elf_format_error or yields a section that lies inside the input, whose resource directory the
// codec then parses (or rejects) without reading outside it. A broken promise aborts the target.
#include "modules/elf_resource_section.h"
#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace voka::platform;
    const std::span<const std::uint8_t> file(data, size);
    std::optional<std::span<const std::uint8_t>> section;
    try
    {
        section = elf::find_elf_resource_section(file);
    }
    catch (const elf::t_elf_format_error&)
    {
        return 0;
    }
    if (!section)
        return 0;
    if (section->empty() || section->data() < data ||
        section->data() + section->size() > data + size)
        std::abort();
    try
    {
        const t_resource_directory directory = parse_resource_directory(*section);
        read_resource_content(directory, t_rva_range{0, *section});
    }
    catch (const t_resource_directory_error&)
    {
    }
    return 0;
}
