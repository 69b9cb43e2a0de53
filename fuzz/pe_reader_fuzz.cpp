// Fuzzes the PE reader and the updater's planner, without any file I/O: any input is parsed
// without reading out of range; for a module the reader accepts, every RVA lookup it answers, the
// symbol table and every resource's data lie in the input, and a plan that rewrites the module
// with its own resources only refers to bytes of the input and adds up to the size it announces.
// A broken promise aborts the target.
#include "pe/pe_bytes.h"
#include "pe/pe_image.h"
#include "pe/resource_section_layout.h"
#include "pe/resource_update_model.h"
#include "pe/resource_update_plan.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace
{

using namespace voka::platform;
using namespace voka::platform::pe;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void check_plan(const t_pe_image& image, std::span<const std::uint8_t> file,
                const t_update_tree& original)
{
    t_update_tree tree = original;
    sort_resource_tree(tree);
    try
    {
        const t_resource_placement placement = place_resource_section(image, file);
        auto layout = std::make_shared<const t_resource_section_layout>(
            lay_out_resource_section(extents_of(tree), placement.rva));
        const t_piece_list section = resource_section_pieces(tree, layout);
        require(section.size() == layout->size);
        const t_update_plan plan = plan_module_update(image, file, placement, section);
        std::uint64_t total = 0;
        for (const t_output_piece& piece : plan.pieces.pieces())
        {
            if (piece.source == t_output_piece::t_source::original)
                require(range_fits(piece.original_offset, piece.length, file.size()));
            if (piece.source == t_output_piece::t_source::memory)
                require(piece.bytes.size() == piece.length);
            total += piece.length;
        }
        require(total == plan.pieces.size());
        if (plan.checksum_offset)
            require(*plan.checksum_offset + 4 <= image.size_of_headers ||
                    *plan.checksum_offset + 4 <= total);
    }
    catch (const t_pe_update_error&)
    {
    }
    catch (const t_pe_format_error&)
    {
    }
    catch (const std::length_error&)
    {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    t_pe_image image;
    try
    {
        image = parse_pe_image(file);
    }
    catch (const t_pe_format_error&)
    {
        return 0;
    }
    for (const t_section& section : image.sections)
        if (section.raw_size != 0)
            require(range_fits(section.raw_pointer, section.raw_size, size));
    for (const t_data_directory& directory : image.data_directories)
        if (const auto offset = image.file_offset_of(directory.rva, directory.size))
            require(range_fits(*offset, directory.size, size));
    if (image.symbol_table)
        require(range_fits(image.symbol_table->offset, image.symbol_table->size, size));

    t_update_tree tree;
    try
    {
        tree = read_update_tree(image, file);
    }
    catch (const t_resource_directory_error&)
    {
        return 0;
    }
    catch (const t_pe_format_error&)
    {
        return 0;
    }
    for (const auto& type : tree.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
                require(range_fits(language.leaf.file_offset, language.leaf.size, size));
    check_plan(image, file, tree);
    return 0;
}
