// Writes the seed corpora of fuzz_pe_reader and fuzz_pe_updater: small modules of the layouts the
// updater distinguishes (PE32 and PE32+, resources last, before .reloc, before data, none, with
// symbols, overlay, certificate and checksum, without room for a section header) and a few broken
// variants, one file each, a few KB each.
// Usage: fuzz_pe_seeds <folder>   (the corpora are fuzz/corpus/fuzz_pe_reader and
// fuzz/corpus/fuzz_pe_updater; both get the same files)
#include "pe_test_image.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace
{

using namespace voka::platform;
using namespace voka::platform::test;

t_resource_content seed_resources()
{
    t_resource_content content;
    content.types.push_back(
        {t_resource_id(std::uint16_t{10}),
         {{t_resource_id(std::uint16_t{1}), {{0x409, {0, test_pattern(40, 1)}}}},
          {t_resource_id(std::uint16_t{2}), {{0x409, {0, {}}}}}}});
    content.types.push_back(
        {t_resource_id(std::wstring(L"MYTYPE")),
         {{t_resource_id(std::wstring(L"NAME")), {{0, {0, test_pattern(9, 2)}}}}}});
    return content;
}

t_test_image base(bool pe32_plus)
{
    t_test_image image;
    image.pe32_plus = pe32_plus;
    image.resources = seed_resources();
    image.sections = {{".text", k_scn_code, test_pattern(0x60, 3)},
                      {".rsrc", k_scn_rsrc, {}, 0, true}};
    return image;
}

void write(const std::string& folder, const std::string& name,
           const std::vector<std::uint8_t>& bytes)
{
    std::ofstream stream(folder + "/" + name, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: fuzz_pe_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const bool pe32_plus : {false, true})
    {
        const std::string kind = pe32_plus ? "pe32plus_" : "pe32_";
        write(folder, kind + "rsrc_last.bin", build_test_image(base(pe32_plus)));

        t_test_image reloc = base(pe32_plus);
        reloc.dll = true;
        reloc.sections.push_back({".reloc", k_scn_reloc, test_pattern(0x0C, 4)});
        reloc.symbol_count = 2;
        write(folder, kind + "rsrc_reloc_symbols.bin", build_test_image(reloc));

        t_test_image data = base(pe32_plus);
        data.sections.push_back({".data", k_scn_data, test_pattern(0x10, 5)});
        data.overlay = test_pattern(0x21, 6);
        data.certificate = test_pattern(0x18, 7);
        data.checksum = true;
        write(folder, kind + "rsrc_data_overlay_certificate.bin", build_test_image(data));

        t_test_image none = base(pe32_plus);
        none.resources = {};
        none.sections.pop_back();
        write(folder, kind + "no_resources.bin", build_test_image(none));

        t_test_image full = base(pe32_plus);
        full.sections.push_back({".data", k_scn_data, test_pattern(0x10, 5)});
        full.spare_section_headers = 0;
        write(folder, kind + "no_room.bin", build_test_image(full));
    }
    auto truncated = build_test_image(base(true));
    truncated.resize(truncated.size() - 7);
    write(folder, "broken_truncated.bin", truncated);
    auto bad_directory = build_test_image(base(false));
    const t_test_pe_view view = view_test_image(bad_directory);
    const auto* resources = view.find(".rsrc");
    test_put16(bad_directory, resources->raw_pointer + 14, 0x4000);
    write(folder, "broken_resource_directory.bin", bad_directory);
    return 0;
}
