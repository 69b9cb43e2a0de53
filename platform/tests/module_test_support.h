// Helpers for tests of module files: a sample resource tree, reading one resource or all of them
// back through LoadLibraryExW and FindResourceExW, and writing a built module to a file.
#pragma once

#include "file_test_support.h"
#include "pe_test_image.h"
#include "resource_test_support.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace voka::platform::test
{

// Types and names of several kinds: numbered and named, two languages, a zero-length resource.
inline t_resource_content sample_resources()
{
    t_resource_content content;
    content.types.push_back(
        {id(10),
         {{id(1), {{0x409, {0, test_pattern(300, 1)}}, {0x419, {0, test_pattern(301, 2)}}}},
          {id(2), {{0x409, {0, test_pattern(17, 3)}}}},
          {id(3), {{0x409, {0, {}}}}}}});
    content.types.push_back({named(L"MYTYPE"),
                             {{named(L"ALPHA"), {{0x409, {1252, test_pattern(40, 4)}}}},
                              {named(L"BETA"), {{0, {0, test_pattern(2000, 5)}}}}}});
    content.types.push_back({id(16), {{id(1), {{0x409, {0, test_pattern(92, 6)}}}}}});
    return content;
}

// A resource identifier as FindResourceExW and UpdateResourceW take it; keeps a name's text.
class t_id_argument
{
public:
    explicit t_id_argument(const t_resource_id& id) : m_id(id) {}
    LPCWSTR get() const
    {
        return m_id.is_name() ? m_id.name().c_str() : MAKEINTRESOURCEW(m_id.integer());
    }

private:
    t_resource_id m_id;
};

// The number of resources of a tree.
template <typename t_leaf>
std::size_t resource_count(const t_resource_tree<t_leaf>& tree)
{
    std::size_t count = 0;
    for (const auto& type : tree.types)
        for (const auto& name : type.names)
            count += name.languages.size();
    return count;
}

// Frees a module on every path.
class t_loaded_module
{
public:
    explicit t_loaded_module(const std::filesystem::path& path)
        : m_module(LoadLibraryExW(wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~t_loaded_module()
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    t_loaded_module(const t_loaded_module&) = delete;
    t_loaded_module& operator=(const t_loaded_module&) = delete;

    HMODULE get() const noexcept { return m_module; }

private:
    HMODULE m_module;
};

// The bytes of one resource of a loaded module; nullopt when FindResourceExW fails.
inline std::optional<std::vector<std::uint8_t>> read_resource(HMODULE module, LPCWSTR type,
                                                              LPCWSTR name, WORD language)
{
    const HRSRC resource = FindResourceExW(module, type, name, language);
    if (resource == nullptr)
        return std::nullopt;
    SetLastError(ERROR_SUCCESS);
    const DWORD size = SizeofResource(module, resource);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    const HGLOBAL loaded = LoadResource(module, resource);
    EXPECT_NE(loaded, nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
    if (bytes == nullptr)
        return std::vector<std::uint8_t>{};
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

// The resource directory of a module file, parsed by the codec from the section that data
// directory 2 points into (read without the layer's PE reader).
inline t_resource_directory resource_directory_of(const std::vector<std::uint8_t>& file)
{
    const t_test_pe_view view = view_test_image(file);
    if (view.directories.size() <= 2 || view.directories[2].second == 0)
        return {};
    const std::uint32_t rva = view.directories[2].first;
    for (const t_test_section_view& section : view.sections)
        if (rva >= section.virtual_address && rva - section.virtual_address < section.raw_size)
        {
            const std::size_t start = section.raw_pointer + (rva - section.virtual_address);
            return parse_resource_directory(std::span<const std::uint8_t>(file).subspan(
                start, section.raw_pointer + section.raw_size - start));
        }
    throw std::runtime_error("the resource directory is in no section's file data");
}

// Checks that the module file at `path` holds exactly the resources of `expected`, each with its
// bytes through the resource functions, and no others.
inline void expect_module_resources(const std::filesystem::path& path,
                                    const t_resource_content& expected)
{
    EXPECT_EQ(resource_count(resource_directory_of(read_all(path))), resource_count(expected));
    const t_loaded_module module(path);
    ASSERT_NE(module.get(), nullptr) << "LoadLibraryExW failed: " << GetLastError();
    for (const auto& type : expected.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
            {
                const t_id_argument type_id(type.id);
                const t_id_argument name_id(name.id);
                const auto bytes =
                    read_resource(module.get(), type_id.get(), name_id.get(), language.language);
                ASSERT_TRUE(bytes.has_value()) << "missing resource, language " << language.language
                                               << ", error " << GetLastError();
                EXPECT_EQ(*bytes, language.leaf.bytes);
            }
}

}  // namespace voka::platform::test
