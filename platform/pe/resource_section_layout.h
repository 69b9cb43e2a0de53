// Where everything of a resource section goes, without its data: the layout the codec's
// build_resource_directory gives a section, for an updater that streams resource data from the
// old module into the new one instead of holding every resource in memory twice. Portable code:
// no OS calls.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <vector>

namespace voka::platform::pe
{

// A resource as the layout sees it: its code page and size.
struct t_resource_extent
{
    std::uint32_t code_page = 0;
    std::uint32_t size = 0;
};
using t_resource_extents = t_resource_tree<t_resource_extent>;

struct t_resource_section_layout
{
    // The first bytes of the section, complete: the directory tables, the data entries (with the
    // RVAs and sizes of the data), the name strings, padded to 8 bytes.
    std::vector<std::uint8_t> directory;
    // Where each resource's bytes start in the section, in the order of the sorted tree; the
    // bytes between and after them are zeros.
    std::vector<std::uint64_t> data_offsets;
    std::uint64_t size = 0;  // of the whole section, a multiple of 8
};

// The layout of the section build_resource_directory would build at `section_rva` from a tree
// with these identifiers, code pages and sizes: placing each resource's bytes at its offset (and
// zeros elsewhere) after `directory` gives the very bytes it returns. `extents` must be sorted
// (sort_resource_tree). Throws what build_resource_directory throws for the same tree, and
// std::logic_error should the builder ever lay out its directory differently.
t_resource_section_layout lay_out_resource_section(const t_resource_extents& extents,
                                                   std::uint32_t section_rva);

}  // namespace voka::platform::pe
