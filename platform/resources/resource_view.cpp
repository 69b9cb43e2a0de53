// One module's parsed resources and the set of its leaves that HRSRC values are checked against.
#include "resource_view.h"

#include <algorithm>
#include <functional>

namespace voka::platform
{

t_resource_view::t_resource_view(std::shared_ptr<const void> owner,
                                 std::span<const std::uint8_t> section, t_rva_range data_range)
    : m_owner(std::move(owner)), m_data_range(data_range),
      m_directory(parse_resource_directory(section))
{
    for (const auto& type : m_directory.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
                m_leaves.push_back(&language.leaf);
    std::sort(m_leaves.begin(), m_leaves.end(), std::less<>());
}

std::shared_ptr<const t_resource_view>
t_resource_view::from_section(std::vector<std::uint8_t> section, std::uint32_t section_rva)
{
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(section));
    const std::span<const std::uint8_t> span(*bytes);
    return std::make_shared<const t_resource_view>(std::move(bytes), span,
                                                   t_rva_range{section_rva, span});
}

bool t_resource_view::owns(const void* entry) const noexcept
{
    // std::less gives a total order over unrelated pointers, so a foreign pointer is just absent.
    const auto found = std::lower_bound(m_leaves.begin(), m_leaves.end(), entry,
                                        [](const t_resource_data_entry* leaf, const void* wanted)
                                        { return std::less<const void*>()(leaf, wanted); });
    return found != m_leaves.end() && static_cast<const void*>(*found) == entry;
}

}  // namespace voka::platform
