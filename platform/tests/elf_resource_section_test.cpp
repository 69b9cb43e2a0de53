// LoadLibraryExW(LOAD_LIBRARY_AS_DATAFILE) on ELF shared objects: the .voka_rsrc section of
// synthetic ELF files read back through the resource functions, files without it, every kind of
// damage to the headers and every truncation rejected, a real module built with its resources,
// and BeginUpdateResourceW refusing ELF files.
#include "module_test_support.h"
#include "modules/elf_resource_section.h"
#include "voka/platform/resource_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace voka::platform
{
namespace
{

using namespace test;
using bytes_t = std::vector<std::uint8_t>;

constexpr std::uint32_t k_progbits = 1;
constexpr std::uint32_t k_strtab = 3;
constexpr std::uint32_t k_nobits = 8;

void put(bytes_t& bytes, std::size_t at, std::uint64_t value, std::size_t width)
{
    for (std::size_t index = 0; index < width; ++index)
        bytes.at(at + index) = static_cast<std::uint8_t>(value >> (8 * index));
}

struct t_elf_section
{
    std::string name;
    bytes_t bytes;
    std::uint32_t type = k_progbits;
};

// A minimal ELF64 little-endian shared object: header, the sections' bytes, the section name
// table, then the section header table (a null header, the sections, the name table).
struct t_elf_file
{
    bytes_t bytes;
    std::size_t table = 0;  // offset of the section header table
    std::size_t header(std::size_t index) const { return table + 64 * index; }
};

t_elf_file build_elf(const std::vector<t_elf_section>& sections)
{
    t_elf_file file;
    file.bytes.assign(64, 0);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(ident), std::end(ident), file.bytes.begin());
    put(file.bytes, 16, 3, 2);   // ET_DYN
    put(file.bytes, 18, 62, 2);  // EM_X86_64
    put(file.bytes, 20, 1, 4);
    put(file.bytes, 52, 64, 2);

    std::vector<std::size_t> offsets;
    bytes_t names(1, 0);
    std::vector<std::size_t> name_offsets;
    for (const t_elf_section& section : sections)
    {
        file.bytes.resize((file.bytes.size() + 7) / 8 * 8, 0);
        offsets.push_back(file.bytes.size());
        if (section.type != k_nobits)
            file.bytes.insert(file.bytes.end(), section.bytes.begin(), section.bytes.end());
        name_offsets.push_back(names.size());
        names.insert(names.end(), section.name.begin(), section.name.end());
        names.push_back(0);
    }
    const std::size_t names_name = names.size();
    const std::string shstrtab = ".shstrtab";
    names.insert(names.end(), shstrtab.begin(), shstrtab.end());
    names.push_back(0);
    const std::size_t names_offset = file.bytes.size();
    file.bytes.insert(file.bytes.end(), names.begin(), names.end());
    file.bytes.resize((file.bytes.size() + 7) / 8 * 8, 0);

    file.table = file.bytes.size();
    const std::size_t count = sections.size() + 2;
    file.bytes.resize(file.table + 64 * count, 0);
    const auto set_header = [&file](std::size_t index, std::size_t name, std::uint32_t type,
                                    std::size_t offset, std::size_t size)
    {
        const std::size_t at = file.header(index);
        put(file.bytes, at, name, 4);
        put(file.bytes, at + 4, type, 4);
        put(file.bytes, at + 24, offset, 8);
        put(file.bytes, at + 32, size, 8);
        put(file.bytes, at + 48, 8, 8);
    };
    for (std::size_t index = 0; index < sections.size(); ++index)
        set_header(index + 1, name_offsets[index], sections[index].type, offsets[index],
                   sections[index].bytes.size());
    set_header(count - 1, names_name, k_strtab, names_offset, names.size());
    put(file.bytes, 40, file.table, 8);  // e_shoff
    put(file.bytes, 58, 64, 2);          // e_shentsize
    put(file.bytes, 60, count, 2);       // e_shnum
    put(file.bytes, 62, count - 1, 2);   // e_shstrndx
    return file;
}

t_resource_content small_resources()
{
    return single(id(10), named(L"ALPHA"), 0x409, blob("alpha bytes"));
}

t_elf_file module_with_resources()
{
    return build_elf({{".text", test_pattern(100, 1)},
                      {".voka_rsrc", build_resource_directory(small_resources(), 0)},
                      {".data", test_pattern(30, 2)}});
}

// Loads `bytes` as a data file; the loader's result and last error.
std::pair<bool, DWORD> load(const bytes_t& bytes)
{
    const t_temp_folder folder;
    write_all(folder / "module.so", bytes);
    SetLastError(ERROR_SUCCESS);
    const t_loaded_module module(folder / "module.so");
    return {module.get() != nullptr, GetLastError()};
}

TEST(ElfResourceSectionTest, SectionBytesAreTheModulesResources)
{
    const t_elf_file file = module_with_resources();
    const auto section = elf::find_elf_resource_section(file.bytes);
    ASSERT_TRUE(section);
    EXPECT_EQ(bytes_t(section->begin(), section->end()),
              build_resource_directory(small_resources(), 0));

    const t_temp_folder folder;
    write_all(folder / "module.so", file.bytes);
    const t_loaded_module module(folder / "module.so");
    ASSERT_NE(module.get(), nullptr) << GetLastError();
    EXPECT_EQ(read_resource(module.get(), MAKEINTRESOURCEW(10), L"alpha", 0x409),
              blob("alpha bytes").bytes);
    EXPECT_FALSE(read_resource(module.get(), MAKEINTRESOURCEW(10), L"alpha", 0x419));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST(ElfResourceSectionTest, ElfWithoutTheSectionIsAModuleWithoutResources)
{
    t_elf_file no_table = build_elf({{".text", test_pattern(10, 1)}});
    put(no_table.bytes, 40, 0, 8);
    put(no_table.bytes, 60, 0, 2);
    put(no_table.bytes, 62, 0, 2);
    t_elf_file no_names = module_with_resources();
    put(no_names.bytes, 62, 0, 2);
    const std::pair<const char*, bytes_t> cases[] = {
        {"other sections only", build_elf({{".text", test_pattern(10, 1)}}).bytes},
        {"an empty .voka_rsrc", build_elf({{".voka_rsrc", {}}}).bytes},
        {"a longer name", build_elf({{".voka_rsrc2", test_pattern(64, 1)}}).bytes},
        {"no section table", no_table.bytes},
        {"no section names", no_names.bytes},
    };
    for (const auto& [what, bytes] : cases)
    {
        SCOPED_TRACE(what);
        EXPECT_FALSE(elf::find_elf_resource_section(bytes));
        const t_temp_folder folder;
        write_all(folder / "module.so", bytes);
        const t_loaded_module module(folder / "module.so");
        ASSERT_NE(module.get(), nullptr) << GetLastError();
        EXPECT_EQ(FindResourceExW(module.get(), MAKEINTRESOURCEW(10), L"ALPHA", 0x409), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    }
}

TEST(ElfResourceSectionTest, ExtendedSectionNumberingIsFollowed)
{
    t_elf_file file = module_with_resources();
    const std::uint64_t count = 5;
    put(file.bytes, 60, 0, 2);                           // e_shnum: see the first header
    put(file.bytes, 62, 0xFFFF, 2);                      // e_shstrndx: SHN_XINDEX
    put(file.bytes, file.header(0) + 32, count, 8);      // sh_size of header 0
    put(file.bytes, file.header(0) + 40, count - 1, 4);  // sh_link of header 0
    const auto section = elf::find_elf_resource_section(file.bytes);
    ASSERT_TRUE(section);
    EXPECT_EQ(bytes_t(section->begin(), section->end()),
              build_resource_directory(small_resources(), 0));
}

TEST(ElfResourceSectionTest, DamagedHeadersAreBadFormat)
{
    const t_elf_file valid = module_with_resources();
    const std::size_t resource_header = valid.header(2);
    const std::size_t names_header = valid.header(4);
    using t_damage = std::function<void(bytes_t&)>;
    const std::pair<const char*, t_damage> cases[] = {
        {"ELF32", [](bytes_t& b) { b[4] = 1; }},
        {"big-endian", [](bytes_t& b) { b[5] = 2; }},
        {"version 0", [](bytes_t& b) { b[6] = 0; }},
        {"small section headers", [](bytes_t& b) { put(b, 58, 40, 2); }},
        {"table past the end", [&](bytes_t& b) { put(b, 40, b.size() - 63, 8); }},
        {"table offset overflows", [](bytes_t& b) { put(b, 40, ~0ull, 8); }},
        {"too many sections", [](bytes_t& b) { put(b, 60, 6, 2); }},
        {"sections counted, no table", [](bytes_t& b) { put(b, 40, 0, 8); }},
        {"extended count of zero", [](bytes_t& b) { put(b, 60, 0, 2); }},
        {"name table index too high", [](bytes_t& b) { put(b, 62, 5, 2); }},
        {"name table without bytes", [&](bytes_t& b) { put(b, names_header + 4, k_nobits, 4); }},
        {"name table past the end", [&](bytes_t& b) { put(b, names_header + 32, b.size(), 8); }},
        {"name outside the name table", [&](bytes_t& b) { put(b, resource_header, 0x1000, 4); }},
        {"name not terminated",
         [&](bytes_t& b)
         {
             // The name table ends right before the terminator of its last name.
             put(b, names_header + 32, get32(b, names_header + 32) - 1, 4);
         }},
        {"resource section without bytes",
         [&](bytes_t& b) { put(b, resource_header + 4, k_nobits, 4); }},
        {"resource section past the end",
         [&](bytes_t& b) { put(b, resource_header + 24, b.size() - 8, 8); }},
        {"resource section size overflows",
         [&](bytes_t& b) { put(b, resource_header + 32, ~0ull - 16, 8); }},
        {"two resource sections",
         [&](bytes_t& b) { put(b, valid.header(3), b[resource_header], 4); }},
    };
    for (const auto& [what, damage] : cases)
    {
        SCOPED_TRACE(what);
        bytes_t bytes = valid.bytes;
        damage(bytes);
        EXPECT_THROW(elf::find_elf_resource_section(bytes), elf::t_elf_format_error);
        const auto [loaded, error] = load(bytes);
        EXPECT_FALSE(loaded);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    }
}

TEST(ElfResourceSectionTest, EveryTruncationIsRejected)
{
    const bytes_t valid = module_with_resources().bytes;
    for (std::size_t size = 0; size < valid.size(); ++size)
    {
        const bytes_t truncated(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(elf::find_elf_resource_section(truncated), elf::t_elf_format_error)
            << "size " << size;
    }
    for (const std::size_t size : {std::size_t{4}, std::size_t{63}, valid.size() - 1})
    {
        const auto [loaded, error] =
            load(bytes_t(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_FALSE(loaded);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << "size " << size;
    }
}

TEST(ElfResourceSectionTest, MalformedResourceDirectoryIsInvalidData)
{
    bytes_t directory(16, 0);
    directory[14] = 100;  // 100 id entries in a 16-byte section
    const auto [loaded, error] = load(build_elf({{".voka_rsrc", directory}}).bytes);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
}

std::string text_of(const std::optional<bytes_t>& bytes)
{
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

TEST(ElfResourceSectionTest, BuiltModuleCarriesItsResources)
{
    const t_loaded_module module(VOKA_TEST_MODULE_RESOURCES);
    ASSERT_NE(module.get(), nullptr) << GetLastError();
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    EXPECT_EQ(text_of(read_resource(module.get(), L"VOKA.BINARY_INFO", MAKEINTRESOURCEW(1), 0x409)),
              declaration +
                  "<BinaryInfo Version=\"1.0\">\r\n  <References>\r\n"
                  "    <Reference Name=\"voka.test.referenced.dll\" Version=\"5.6.7.8\" />"
                  "\r\n  </References>\r\n</BinaryInfo>\r\n");
    EXPECT_EQ(text_of(read_resource(module.get(), RT_MANIFEST, MAKEINTRESOURCEW(2), 0x409)),
              declaration + "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                            "manifestVersion=\"1.0\">\r\n</assembly>\r\n");

    const std::optional<bytes_t> version =
        read_resource(module.get(), RT_VERSION, MAKEINTRESOURCEW(1), 0x409);
    ASSERT_TRUE(version);
    ASSERT_GE(version->size(), 92u);
    EXPECT_EQ(get32(*version, 40), 0xFEEF04BDu);  // VS_FIXEDFILEINFO after the root's key
    EXPECT_EQ(get32(*version, 48), 0x00010002u);  // 1.2
    EXPECT_EQ(get32(*version, 52), 0x00030004u);  // 3.4
    bytes_t file_name;
    for (const char c : std::string("voka.test.resource-module.dll"))
    {
        file_name.push_back(static_cast<std::uint8_t>(c));
        file_name.push_back(0);
    }
    EXPECT_NE(std::search(version->begin(), version->end(), file_name.begin(), file_name.end()),
              version->end());

    const std::string entry =
        text_of(read_resource(module.get(), RT_MESSAGETABLE, L"voka.test.messages", 0x19));
    EXPECT_NE(entry.find("\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82\r\n"), std::string::npos);  // "Тест"
    EXPECT_FALSE(read_resource(module.get(), RT_MESSAGETABLE, L"VOKA.TEST.MESSAGES", 0x409));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST(ElfResourceSectionTest, UpdatingAnElfModuleFails)
{
    const t_temp_folder folder;
    const bytes_t original = read_all(VOKA_TEST_MODULE_RESOURCES);
    write_all(folder / "module.so", original);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(BeginUpdateResourceW(wide(folder / "module.so").c_str(), FALSE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(BeginUpdateResourceW(wide(folder / "module.so").c_str(), TRUE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(read_all(folder / "module.so"), original);
}

}  // namespace
}  // namespace voka::platform
