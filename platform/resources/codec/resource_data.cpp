// Finds the bytes a data entry describes in a run of image bytes, and copies a whole parsed
// directory's data out into a t_resource_content. Portable code: no OS calls.
#include "byte_io.h"
#include "voka/platform/resource_directory.h"

#include <cstdio>

namespace voka::platform
{

std::optional<std::span<const std::uint8_t>>
find_resource_data(const t_rva_range& range, const t_resource_data_entry& entry) noexcept
{
    if (entry.rva < range.rva)
        return std::nullopt;
    const std::uint64_t offset = entry.rva - range.rva;
    if (!codec::range_fits(offset, entry.size, range.bytes.size()))
        return std::nullopt;
    return range.bytes.subspan(static_cast<std::size_t>(offset), entry.size);
}

t_resource_content read_resource_content(const t_resource_directory& directory,
                                         const t_rva_range& range)
{
    t_resource_content content;
    content.types.reserve(directory.types.size());
    for (const auto& type : directory.types)
    {
        auto& content_type = content.types.emplace_back();
        content_type.id = type.id;
        content_type.names.reserve(type.names.size());
        for (const auto& name : type.names)
        {
            auto& content_name = content_type.names.emplace_back();
            content_name.id = name.id;
            content_name.languages.reserve(name.languages.size());
            for (const auto& language : name.languages)
            {
                const std::optional<std::span<const std::uint8_t>> bytes =
                    find_resource_data(range, language.leaf);
                if (!bytes)
                {
                    char problem[128];
                    std::snprintf(problem, sizeof(problem),
                                  "%u bytes at RVA 0x%X lie outside the image bytes at RVA 0x%X "
                                  "(size 0x%zX)",
                                  static_cast<unsigned>(language.leaf.size),
                                  static_cast<unsigned>(language.leaf.rva),
                                  static_cast<unsigned>(range.rva), range.bytes.size());
                    throw t_resource_directory_error("resource data", language.leaf.rva, problem);
                }
                content_name.languages.push_back(
                    {language.language,
                     {language.leaf.code_page,
                      std::vector<std::uint8_t>(bytes->begin(), bytes->end())}});
            }
        }
    }
    return content;
}

}  // namespace voka::platform
