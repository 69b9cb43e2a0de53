// The resources of a module being updated: the tree of the original module's resources with the
// changes made so far, where each resource is either still the original's bytes (a range of the
// old file, never copied into memory) or new data. Portable code: no OS calls.
#pragma once

#include "output_piece.h"
#include "pe_image.h"
#include "resource_section_layout.h"
#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace voka::platform::pe
{

struct t_update_leaf
{
    std::uint32_t code_page = 0;
    std::uint32_t size = 0;
    std::uint64_t file_offset = 0;                           // of the original's bytes
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;  // new data; null: the original's
};
using t_update_tree = t_resource_tree<t_update_leaf>;

// The resource section of a module: the bytes from its root table to the end of the section's
// file data, and that section's file data at its RVA (where resource data is found).
struct t_resource_section_bytes
{
    std::span<const std::uint8_t> directory;
    t_rva_range data_range;
};

// The resource section `image` names in its data directory 2; nullopt for a module without
// resources (an empty entry). Throws t_pe_format_error when the entry points outside the
// section data in the file.
std::optional<t_resource_section_bytes> find_resource_section(const t_pe_image& image,
                                                              std::span<const std::uint8_t> file);

// The original resources of the module whose file is `file`: each resource a range of the file,
// found through the section table wherever in the image its data lies. Throws
// t_resource_directory_error for a malformed directory and t_pe_format_error for data that is not
// in the file.
t_update_tree read_update_tree(const t_pe_image& image, std::span<const std::uint8_t> file);

// Adds, replaces and deletes resources. Types and names match as FindResourceExW matches them
// (integers exactly, names without regard to case); a match keeps the spelling already stored.
// Threading: none; the owner serialises calls.
class t_resource_update_model
{
public:
    t_resource_update_model() = default;
    // Starts from `original`; `differs_from_module` says that it is not what the module holds
    // already (an update that began by dropping the module's resources).
    explicit t_resource_update_model(t_update_tree original, bool differs_from_module = false)
        : m_tree(std::move(original)), m_modified(differs_from_module)
    {
    }

    // Adds the resource, or replaces the data of the one with this type, name and language.
    void put(const t_resource_id& type, const t_resource_id& name, std::uint16_t language,
             t_update_leaf leaf);
    // Deletes the resource; a name or type left without resources goes too. Returns whether there
    // was one; deleting what is not there changes nothing.
    bool remove(const t_resource_id& type, const t_resource_id& name, std::uint16_t language);
    // Deletes every resource.
    void clear() noexcept;

    // Whether any call changed the resources since construction.
    bool is_modified() const noexcept { return m_modified; }
    const t_update_tree& tree() const noexcept { return m_tree; }

private:
    t_update_tree m_tree;
    bool m_modified = false;
};

// The sizes and code pages of `tree`, in its order.
t_resource_extents extents_of(const t_update_tree& tree);

// The content of the new resource section laid out as `layout` says, for `tree` sorted with
// sort_resource_tree: the directory, then each resource's bytes (a range of the old file or new
// data) with the zeros between, up to layout.size bytes.
t_piece_list resource_section_pieces(const t_update_tree& tree,
                                     std::shared_ptr<const t_resource_section_layout> layout);

}  // namespace voka::platform::pe
