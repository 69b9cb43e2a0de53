// Writes the seed corpus of fuzz_resource_directory: directories made by the builder (for section
// RVA 0x3000, as the fuzz target assumes) and broken variants of them, one file each.
// Usage: fuzz_resource_directory_seeds <folder>   (the corpus is
// fuzz/corpus/fuzz_resource_directory)
#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace
{

using namespace voka::platform;
using t_bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t k_section_rva = 0x3000;

t_resource_blob blob(std::string_view text, std::uint32_t code_page = 0)
{
    return {code_page, t_bytes(text.begin(), text.end())};
}

t_resource_content single(t_resource_id type, t_resource_id name, std::uint16_t language,
                          t_resource_blob data)
{
    return {{{std::move(type), {{std::move(name), {{language, std::move(data)}}}}}}};
}

void put16(t_bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(t_bytes& bytes, std::size_t offset, std::uint32_t value)
{
    put16(bytes, offset, static_cast<std::uint16_t>(value));
    put16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

t_bytes build(const t_resource_content& content)
{
    return build_resource_directory(content, k_section_rva);
}

t_bytes changed(t_bytes bytes, const std::function<void(t_bytes&)>& change)
{
    change(bytes);
    return bytes;
}

t_resource_content mixed_content()
{
    t_resource_content content;
    content.types.push_back(
        {t_resource_id(16),
         {{t_resource_id(1), {{0x0409, blob("version", 1200)}, {0x0419, blob("ru")}}}}});
    content.types.push_back({t_resource_id(L"VOKA.BINARY_INFO"),
                             {{t_resource_id(1), {{0x0409, blob("<BinaryInfo/>", 65001)}}}}});
    content.types.push_back(
        {t_resource_id(11),
         {{t_resource_id(L"ERR_MESSAGES"), {{0x0009, blob("en")}, {0x0019, blob("ru")}}},
          {t_resource_id(3), {{0, blob("")}}}}});
    return content;
}

t_resource_content names_content()
{
    t_resource_content content;
    content.types.push_back(
        {t_resource_id(L"\U0001F600\u041F\u0420\u0418"),
         {{t_resource_id(std::wstring{wchar_t(0xD800), L'x'}), {{0, blob("lone surrogate")}}}}});
    content.types.push_back({t_resource_id(L"a"), {{t_resource_id(L"B"), {{7, blob("1")}}}}});
    return content;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    // One integer resource: root at 0, name table at 0x18, language table at 0x30, data entry at
    // 0x48, data at 0x58.
    const t_bytes one =
        build(single(t_resource_id(10), t_resource_id(1), 0x0409, blob("abc", 1252)));
    const std::pair<const char*, t_bytes> seeds[] = {
        {"valid_empty.bin", build({})},
        {"valid_one.bin", one},
        {"valid_zero_length.bin", build(single(t_resource_id(10), t_resource_id(2), 0, blob("")))},
        {"valid_mixed.bin", build(mixed_content())},
        {"valid_names.bin", build(names_content())},
        {"broken_truncated_root.bin", t_bytes(one.begin(), one.begin() + 15)},
        {"broken_truncated_data_entry.bin", t_bytes(one.begin(), one.begin() + 0x57)},
        {"broken_cycle.bin", changed(one, [](t_bytes& s) { put32(s, 0x14, 0x80000000); })},
        {"broken_data_at_type_level.bin", changed(one, [](t_bytes& s) { put32(s, 0x14, 0x48); })},
        {"broken_counts.bin",
         changed(one, [](t_bytes& s) { put16(s, 12, 0xFFFF), put16(s, 14, 0xFFFF); })},
        {"broken_name_length.bin",
         changed(build(single(t_resource_id(L"AB"), t_resource_id(1), 0, blob(""))),
                 [](t_bytes& s) { put16(s, 0x58, 0xFFFF); })},
        {"broken_data_outside.bin", changed(one, [](t_bytes& s) { put32(s, 0x4C, 0xFFFFFFF0); })},
    };
    for (const auto& [name, bytes] : seeds)
    {
        const std::string path = std::string(argv[1]) + "/" + name;
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        if (!file)
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
