// One module's resources as FindResourceExW sees them: the bytes of its resource section, where
// the resource data lies in the image, and the parsed directory.
#pragma once

#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace voka::platform
{

// Immutable once made, so any thread may read it without a lock; shared by reference so that a
// lookup in progress keeps it alive while the module is unregistered.
class t_resource_view
{
public:
    // Parses `section` (the resource section, root table first). `owner` keeps the bytes of
    // `section` and of `data_range` alive (a buffer, a file mapping). Data entries are resolved in
    // `data_range`: usually the section itself at its RVA; a loader that maps a whole image may
    // pass the image. Throws t_resource_directory_error for a malformed directory, std::bad_alloc.
    t_resource_view(std::shared_ptr<const void> owner, std::span<const std::uint8_t> section,
                    t_rva_range data_range);

    // The leaves' addresses serve as HRSRC values: a view never moves.
    t_resource_view(const t_resource_view&) = delete;
    t_resource_view& operator=(const t_resource_view&) = delete;

    // A view that owns `section` and finds data in it, at `section_rva`.
    static std::shared_ptr<const t_resource_view> from_section(std::vector<std::uint8_t> section,
                                                               std::uint32_t section_rva);

    const t_resource_directory& directory() const noexcept { return m_directory; }
    const t_rva_range& data_range() const noexcept { return m_data_range; }

    // Whether `entry` is one of this view's leaves: checks the address only, never reads it, so
    // any pointer a caller passes as an HRSRC may be tested.
    bool owns(const void* entry) const noexcept;

private:
    std::shared_ptr<const void> m_owner;
    t_rva_range m_data_range;
    t_resource_directory m_directory;
    std::vector<const t_resource_data_entry*> m_leaves;  // sorted by address
};

}  // namespace voka::platform
