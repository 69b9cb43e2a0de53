// The resource updater on every layout it distinguishes, for PE32 and PE32+, EXE and DLL: .rsrc
// last, followed by .reloc and discardable debug sections (resized in place, the followers moved),
// followed by sections code may address (a new last section), no resources at all (a new section),
// with COFF symbols, an overlay, a certificate table and a checksum. After each of several edits:
// the resources read back, every other section is byte-identical, the overlay and the symbol table
// follow the sections, the certificate table is gone, and the headers agree with the sections.
// Without room for a section header the update fails and the module is byte-identical.
#include "module_test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace voka::platform
{
namespace
{

using namespace test;

struct t_layout_case
{
    const char* label;
    std::function<void(t_test_image&)> shape;  // sections and extras, on an image with resources
    bool resized_in_place;                     // for the first edit
};

std::uint64_t aligned(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

const t_layout_case k_layouts[] = {
    {"rsrc last",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".rdata", k_scn_rdata, test_pattern(0x90, 2)},
                           {".data", k_scn_data, test_pattern(0x30, 3)},
                           {".rsrc", k_scn_rsrc, {}, 0, true}};
     },
     true},
    {"rsrc then reloc",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".rsrc", k_scn_rsrc, {}, 0, true},
                           {".reloc", k_scn_reloc, test_pattern(0x2C, 4)}};
     },
     true},
    {"rsrc then reloc and debug sections, symbols, overlay",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".bss", k_scn_bss, {}, 0x2000},
                           {".rsrc", k_scn_rsrc, {}, 0, true},
                           {".reloc", k_scn_reloc, test_pattern(0x2C, 4)},
                           {"/4", k_scn_debug, test_pattern(0x1234, 5)},
                           {"/19", k_scn_debug, test_pattern(0x321, 6)}};
         image.symbol_count = 7;
         image.overlay = test_pattern(0x777, 7);
     },
     true},
    {"rsrc last, overlay, certificate, checksum",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".rsrc", k_scn_rsrc, {}, 0, true}};
         image.overlay = test_pattern(0x1001, 8);
         image.certificate = test_pattern(0x230, 9);
         image.checksum = true;
     },
     true},
    {"rsrc then data",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".rsrc", k_scn_rsrc, {}, 0, true},
                           {".data", k_scn_data, test_pattern(0x80, 10)},
                           {".reloc", k_scn_reloc, test_pattern(0x2C, 4)}};
     },
     false},
    {"rsrc then uninitialized data, symbols, certificate",
     [](t_test_image& image)
     {
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".rsrc", k_scn_rsrc, {}, 0, true},
                           {".bss", k_scn_bss, {}, 0x3000}};
         image.symbol_count = 2;
         image.certificate = test_pattern(0x100, 11);
     },
     false},
    {"no resources, overlay, checksum",
     [](t_test_image& image)
     {
         image.resources = {};
         image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                           {".data", k_scn_data, test_pattern(0x80, 10)}};
         image.overlay = test_pattern(0x99, 12);
         image.checksum = true;
     },
     false},
};

// One edit of the module and the resources it should then hold.
struct t_edit
{
    const char* label;
    std::function<void(HANDLE)> apply;
    std::function<void(t_resource_content&)> expect;
};

void put(t_resource_content& content, const t_resource_id& type, const t_resource_id& name,
         std::uint16_t language, std::vector<std::uint8_t> bytes)
{
    auto type_node = std::find_if(content.types.begin(), content.types.end(),
                                  [&](const auto& node) { return node.id == type; });
    if (type_node == content.types.end())
        type_node = content.types.insert(content.types.end(), t_type{type, {}});
    auto name_node = std::find_if(type_node->names.begin(), type_node->names.end(),
                                  [&](const auto& node) { return node.id == name; });
    if (name_node == type_node->names.end())
        name_node = type_node->names.insert(type_node->names.end(), t_name{name, {}});
    for (auto& node : name_node->languages)
        if (node.language == language)
        {
            node.leaf = {0, std::move(bytes)};
            return;
        }
    name_node->languages.push_back({language, {0, std::move(bytes)}});
}

void remove(t_resource_content& content, const t_resource_id& type, const t_resource_id& name,
            std::uint16_t language)
{
    for (auto type_node = content.types.begin(); type_node != content.types.end(); ++type_node)
    {
        if (type_node->id != type)
            continue;
        for (auto name_node = type_node->names.begin(); name_node != type_node->names.end();
             ++name_node)
        {
            if (name_node->id != name)
                continue;
            std::erase_if(name_node->languages,
                          [&](const auto& node) { return node.language == language; });
            if (name_node->languages.empty())
                type_node->names.erase(name_node);
            if (type_node->names.empty())
                content.types.erase(type_node);
            return;
        }
    }
}

BOOL add(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language,
         const std::vector<std::uint8_t>& bytes)
{
    return UpdateResourceW(update, type, name, language, const_cast<std::uint8_t*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()));
}

const t_edit k_edits[] = {
    {"grow a resource past the file alignment",
     [](HANDLE update)
     { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(5000, 70))); },
     [](t_resource_content& content)
     { put(content, id(10), id(1), 0x409, test_pattern(5000, 70)); }},
    {"shrink a resource",
     [](HANDLE update)
     { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(10, 71))); },
     [](t_resource_content& content) { put(content, id(10), id(1), 0x409, test_pattern(10, 71)); }},
    {"add a named type, delete a resource",
     [](HANDLE update)
     {
         EXPECT_TRUE(add(update, L"NEWTYPE", L"NEW", 0, test_pattern(77, 72)));
         EXPECT_TRUE(UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), 0x409, nullptr, 0));
     },
     [](t_resource_content& content)
     {
         put(content, named(L"NEWTYPE"), named(L"NEW"), 0, test_pattern(77, 72));
         remove(content, id(16), id(1), 0x409);
     }},
};

std::uint64_t sections_end(const t_test_pe_view& view)
{
    std::uint64_t end = 0;
    for (const auto& section : view.sections)
        if (section.raw_size != 0)
            end = std::max<std::uint64_t>(end, section.raw_pointer + section.raw_size);
    return end;
}

// The bytes behind the sections, without the certificate table.
std::vector<std::uint8_t> tail_of(const std::vector<std::uint8_t>& file, const t_test_pe_view& view)
{
    const auto start = static_cast<std::ptrdiff_t>(sections_end(view));
    std::vector<std::uint8_t> tail(file.begin() + start, file.end());
    if (view.directories.size() > 4 && view.directories[4].second != 0)
    {
        const auto certificate = static_cast<std::ptrdiff_t>(view.directories[4].first) - start;
        tail.erase(tail.begin() + certificate,
                   tail.begin() + certificate + view.directories[4].second);
    }
    return tail;
}

// Checks one update from `before` to `after` (see the top of the file).
void check_update(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                  bool in_place)
{
    const t_test_pe_view old_view = view_test_image(before);
    const t_test_pe_view view = view_test_image(after);
    const std::uint32_t file_alignment = view.file_alignment;
    const std::uint32_t section_alignment = view.section_alignment;
    ASSERT_EQ(view.file_alignment, old_view.file_alignment);
    ASSERT_EQ(view.section_alignment, old_view.section_alignment);
    ASSERT_EQ(view.sections.size(), old_view.sections.size() + (in_place ? 0 : 1));

    // The resource section and the data directory that finds it.
    const std::uint32_t resource_rva = view.directories.at(2).first;
    std::size_t resource_index = 0;
    while (resource_index < view.sections.size() &&
           view.sections[resource_index].virtual_address != resource_rva)
        ++resource_index;
    ASSERT_LT(resource_index, view.sections.size());
    const t_test_section_view& resources = view.sections[resource_index];
    EXPECT_EQ(resources.name, ".rsrc");
    EXPECT_EQ(view.directories[2].second, resources.virtual_size);
    EXPECT_EQ(resources.raw_size, aligned(resources.virtual_size, file_alignment));
    EXPECT_EQ(resources.raw_pointer % file_alignment, 0u);
    if (!in_place)
    {
        EXPECT_EQ(resource_index, view.sections.size() - 1);
    }

    std::int64_t initialized_change = 0;
    std::uint64_t address_end = aligned(view.size_of_headers, section_alignment);
    for (std::size_t index = 0; index < view.sections.size(); ++index)
    {
        const t_test_section_view& section = view.sections[index];
        SCOPED_TRACE(section.name);
        if (index > 0)
        {
            EXPECT_GE(section.virtual_address, address_end);
        }
        EXPECT_EQ(section.virtual_address % section_alignment, 0u);
        address_end = aligned(std::uint64_t{section.virtual_address} + section.virtual_size,
                              section_alignment);
        if (index == resource_index)
        {
            const std::int64_t old_raw =
                in_place ? old_view.sections[index].raw_size : std::int64_t{0};
            initialized_change += std::int64_t{section.raw_size} - old_raw;
            continue;
        }
        // Every other section keeps its bytes, sizes and flags; only what follows the resource
        // section (in place) moves, to the next aligned address and file offset.
        const t_test_section_view& old = old_view.sections.at(index);
        EXPECT_EQ(section.name, old.name);
        EXPECT_EQ(section.virtual_size, old.virtual_size);
        EXPECT_EQ(section.raw_size, old.raw_size);
        EXPECT_EQ(section.characteristics, old.characteristics);
        EXPECT_EQ(section_bytes(after, section), section_bytes(before, old));
        if (!in_place || index < resource_index)
        {
            EXPECT_EQ(section.virtual_address, old.virtual_address);
            EXPECT_EQ(section.raw_pointer, old.raw_pointer);
        }
        else if (section.raw_size != 0)
        {
            EXPECT_EQ(section.raw_pointer % file_alignment, 0u);
        }
    }
    EXPECT_EQ(view.size_of_image, address_end);
    EXPECT_EQ(std::int64_t{view.size_of_initialized_data},
              std::int64_t{old_view.size_of_initialized_data} + initialized_change);

    // Data directories: resources and relocations where their sections are now, no certificate,
    // the rest unchanged.
    for (std::size_t entry = 0; entry < view.directories.size(); ++entry)
    {
        SCOPED_TRACE(entry);
        if (entry == 2)
            continue;
        if (entry == 4)
        {
            EXPECT_EQ(view.directories[4], std::make_pair(0u, 0u));
            continue;
        }
        if (entry == 5 && view.find(".reloc") != nullptr)
        {
            EXPECT_EQ(view.directories[5].first, view.find(".reloc")->virtual_address);
            EXPECT_EQ(view.directories[5].second, old_view.directories[5].second);
            continue;
        }
        EXPECT_EQ(view.directories[entry], old_view.directories.at(entry));
    }

    // Behind the sections: the overlay and the symbols as they were, without the certificate.
    const std::uint64_t end = sections_end(view);
    const std::uint64_t old_end = sections_end(old_view);
    EXPECT_EQ(tail_of(after, view), tail_of(before, old_view));
    EXPECT_EQ(after.size(), end + tail_of(before, old_view).size());
    EXPECT_EQ(view.symbol_count, old_view.symbol_count);
    if (old_view.symbol_table != 0)
    {
        EXPECT_EQ(view.symbol_table - end, old_view.symbol_table - old_end);
    }
    else
    {
        EXPECT_EQ(view.symbol_table, 0u);
    }
    if (in_place)
    {
        // The file grows or shrinks by the change of the resource section only.
        const auto& old_resources = old_view.sections[resource_index];
        EXPECT_EQ(std::int64_t(end) - std::int64_t(old_end),
                  std::int64_t{resources.raw_size} - std::int64_t{old_resources.raw_size});
    }

    EXPECT_EQ(view.checksum,
              old_view.checksum != 0 ? textbook_checksum(after, view.checksum_offset()) : 0u);
}

class ResourceUpdateLayoutTest
    : public ::testing::TestWithParam<std::tuple<std::size_t, bool, bool>>
{
};

TEST_P(ResourceUpdateLayoutTest, EditsKeepEverythingButTheResources)
{
    const auto [layout_index, pe32_plus, dll] = GetParam();
    const t_layout_case& layout = k_layouts[layout_index];
    t_test_image image;
    image.pe32_plus = pe32_plus;
    image.dll = dll;
    image.resources = sample_resources();
    layout.shape(image);
    t_resource_content expected = image.resources;

    const t_temp_folder folder;
    const auto path = folder / (dll ? "module.dll" : "module.exe");
    write_all(path, build_test_image(image));
    bool in_place = layout.resized_in_place;
    for (const t_edit& edit : k_edits)
    {
        SCOPED_TRACE(edit.label);
        const auto before = read_all(path);
        const HANDLE update = BeginUpdateResourceW(wide(path).c_str(), FALSE);
        ASSERT_NE(update, nullptr) << GetLastError();
        edit.apply(update);
        ASSERT_TRUE(EndUpdateResourceW(update, FALSE)) << GetLastError();
        edit.expect(expected);
        check_update(before, read_all(path), in_place);
        expect_module_resources(path, expected);
        in_place = true;  // the resource section is the last section now
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ResourceUpdateLayoutTest,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(k_layouts)),
                                            ::testing::Bool(), ::testing::Bool()),
                         [](const auto& info)
                         {
                             std::string name = k_layouts[std::get<0>(info.param)].label;
                             for (char& character : name)
                                 if (!std::isalnum(static_cast<unsigned char>(character)))
                                     character = '_';
                             return name + (std::get<1>(info.param) ? "_pe32plus" : "_pe32") +
                                    (std::get<2>(info.param) ? "_dll" : "_exe");
                         });

TEST(ResourceUpdateRoomTest, NoRoomForASectionHeaderFailsAndLeavesTheModule)
{
    const struct
    {
        const char* label;
        bool with_resources;
    } cases[] = {{"resources followed by data", true}, {"no resources", false}};
    for (const auto& c : cases)
        for (const bool pe32_plus : {false, true})
        {
            SCOPED_TRACE(std::string(c.label) + (pe32_plus ? ", PE32+" : ", PE32"));
            t_test_image image;
            image.pe32_plus = pe32_plus;
            image.spare_section_headers = 0;
            if (c.with_resources)
            {
                image.resources = sample_resources();
                image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                                  {".rsrc", k_scn_rsrc, {}, 0, true},
                                  {".data", k_scn_data, test_pattern(0x80, 2)}};
            }
            else
            {
                image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)}};
            }
            const auto original = build_test_image(image);
            const t_temp_folder folder;
            const auto path = folder / "full.exe";
            write_all(path, original);
            const HANDLE update = BeginUpdateResourceW(wide(path).c_str(), FALSE);
            ASSERT_NE(update, nullptr);
            EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(20, 3)));
            EXPECT_FALSE(EndUpdateResourceW(update, FALSE));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(read_all(path), original);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                                    std::filesystem::directory_iterator()),
                      1);

            // With the resource section last, the same module needs no new header.
            if (c.with_resources)
            {
                image.sections.pop_back();
                write_all(path, build_test_image(image));
                const HANDLE again = BeginUpdateResourceW(wide(path).c_str(), FALSE);
                ASSERT_NE(again, nullptr);
                EXPECT_TRUE(add(again, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(20, 3)));
                EXPECT_TRUE(EndUpdateResourceW(again, FALSE));
            }
        }
}

}  // namespace
}  // namespace voka::platform

namespace voka::platform
{
namespace
{

// A module with .rsrc followed by .reloc and a discardable section, and a debug directory in
// .rdata, for the cases where what refers to moving bytes decides the layout.
struct t_debug_module
{
    std::vector<std::uint8_t> file;
    t_test_pe_view view;
};

t_debug_module debug_module(std::uint32_t debug_rva_section, bool data_by_file_offset_in_overlay)
{
    t_test_image image;
    image.resources = sample_resources();
    image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                      {".rdata", k_scn_rdata, std::vector<std::uint8_t>(0x100, 0)},
                      {".rsrc", k_scn_rsrc, {}, 0, true},
                      {".reloc", k_scn_reloc, test_pattern(0x2C, 4)},
                      {"/4", k_scn_debug, test_pattern(0x300, 5)}};
    image.overlay = test_pattern(0x80, 6);
    t_debug_module module;
    module.file = build_test_image(image);
    module.view = view_test_image(module.file);
    const auto& rdata = module.view.sections[1];
    const auto& target = module.view.sections.at(debug_rva_section);
    // One IMAGE_DEBUG_DIRECTORY entry at the start of .rdata.
    const std::uint32_t entry = rdata.raw_pointer;
    test_put32(module.file, entry + 12, 2);     // IMAGE_DEBUG_TYPE_CODEVIEW
    test_put32(module.file, entry + 16, 0x20);  // SizeOfData
    if (data_by_file_offset_in_overlay)
    {
        test_put32(module.file, entry + 20, 0);  // not mapped
        test_put32(module.file, entry + 24, static_cast<std::uint32_t>(module.file.size() - 0x40));
    }
    else
    {
        test_put32(module.file, entry + 20, target.virtual_address + 0x10);
        test_put32(module.file, entry + 24, target.raw_pointer + 0x10);
    }
    const std::uint32_t directories = module.view.optional_header + 112;
    test_put32(module.file, directories + 6 * 8, rdata.virtual_address);
    test_put32(module.file, directories + 6 * 8 + 4, 28);
    module.view = view_test_image(module.file);
    return module;
}

DWORD grow_resource(const std::filesystem::path& path)
{
    const HANDLE update = BeginUpdateResourceW(wide(path).c_str(), FALSE);
    EXPECT_NE(update, nullptr);
    EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(6000, 9)));
    SetLastError(0);
    return EndUpdateResourceW(update, FALSE) ? ERROR_SUCCESS : GetLastError();
}

TEST(ResourceUpdateReferenceTest, DebugDataInTextKeepsTheResourceSectionInPlace)
{
    const t_debug_module module = debug_module(0, false);
    const t_temp_folder folder;
    write_all(folder / "module.exe", module.file);
    ASSERT_EQ(grow_resource(folder / "module.exe"), static_cast<DWORD>(ERROR_SUCCESS));
    const auto after = read_all(folder / "module.exe");
    check_update(module.file, after, true);
}

TEST(ResourceUpdateReferenceTest, DebugDataInAMovableSectionGetsANewSectionInstead)
{
    // The debug entry holds the RVA and file offset of data in the discardable section, in bytes
    // of .rdata that must not change: that section stays where it is.
    const t_debug_module module = debug_module(4, false);
    const t_temp_folder folder;
    write_all(folder / "module.exe", module.file);
    ASSERT_EQ(grow_resource(folder / "module.exe"), static_cast<DWORD>(ERROR_SUCCESS));
    const auto after = read_all(folder / "module.exe");
    check_update(module.file, after, false);
    t_resource_content expected = sample_resources();
    put(expected, id(10), id(1), 0x409, test_pattern(6000, 9));
    expect_module_resources(folder / "module.exe", expected);
}

TEST(ResourceUpdateReferenceTest, DebugDataFoundByFileOffsetInTheOverlayRefusesTheUpdate)
{
    const t_debug_module module = debug_module(0, true);
    const t_temp_folder folder;
    write_all(folder / "module.exe", module.file);
    EXPECT_EQ(grow_resource(folder / "module.exe"), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(read_all(folder / "module.exe"), module.file);
}

TEST(ResourceUpdateReferenceTest, DataDirectoryInsideTheResourceSectionGetsANewSection)
{
    t_test_image image;
    image.resources = sample_resources();
    image.sections = {{".text", k_scn_code, test_pattern(0x400, 1)},
                      {".rsrc", k_scn_rsrc, {}, 0, true}};
    auto file = build_test_image(image);
    const t_test_pe_view view = view_test_image(file);
    // Load configuration (directory 10) said to lie in the resource section's last bytes.
    const std::uint32_t directories = view.optional_header + 112;
    const auto& resources = view.sections[1];
    test_put32(file, directories + 10 * 8, resources.virtual_address + resources.virtual_size - 8);
    test_put32(file, directories + 10 * 8 + 4, 8);
    const t_temp_folder folder;
    write_all(folder / "module.exe", file);
    ASSERT_EQ(grow_resource(folder / "module.exe"), static_cast<DWORD>(ERROR_SUCCESS));
    check_update(file, read_all(folder / "module.exe"), false);
}

}  // namespace
}  // namespace voka::platform
