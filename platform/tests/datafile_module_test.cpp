// LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE and FreeLibrary: resources of PE32 and PE32+ EXEs
// and DLLs read back through FindResourceExW, the error codes of missing, foreign and truncated
// files, and handles that FreeLibrary ends.
#include "module_test_support.h"

#include <gtest/gtest.h>

namespace voka::platform
{
namespace
{

using namespace test;

t_test_image module_with_resources(bool pe32_plus, bool dll)
{
    t_test_image image;
    image.pe32_plus = pe32_plus;
    image.dll = dll;
    image.resources = sample_resources();
    image.sections = {
        {".text", k_scn_code, test_pattern(0x200, 1)},
        {".rsrc", k_scn_rsrc, {}, 0, true},
        {".reloc", k_scn_reloc, test_pattern(0x20, 2)},
    };
    return image;
}

TEST(DatafileModuleTest, ResourcesOfEveryKindOfModuleReadBack)
{
    for (const bool pe32_plus : {false, true})
        for (const bool dll : {false, true})
        {
            SCOPED_TRACE(std::string(pe32_plus ? "PE32+" : "PE32") + (dll ? " DLL" : " EXE"));
            const t_temp_folder folder;
            const auto path = folder / "module.bin";
            write_all(path, build_test_image(module_with_resources(pe32_plus, dll)));
            expect_module_resources(path, sample_resources());
        }
}

TEST(DatafileModuleTest, LookupsFollowTheResourceRules)
{
    const t_temp_folder folder;
    const auto path = folder / "module.bin";
    write_all(path, build_test_image(module_with_resources(true, false)));
    const t_loaded_module module(path);
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(read_resource(module.get(), L"mytype", L"alpha", 0x409),
              test_pattern(40, 4));  // names ignore case
    EXPECT_EQ(read_resource(module.get(), L"#10", L"#2", 0x409), test_pattern(17, 3));
    EXPECT_EQ(read_resource(module.get(), RT_RCDATA, MAKEINTRESOURCEW(3), 0x409),
              std::vector<std::uint8_t>{});  // zero length
    EXPECT_FALSE(read_resource(module.get(), RT_RCDATA, MAKEINTRESOURCEW(2), 0x419));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_FALSE(read_resource(module.get(), RT_RCDATA, MAKEINTRESOURCEW(9), 0x409));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_FALSE(read_resource(module.get(), RT_ICON, MAKEINTRESOURCEW(1), 0x409));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(DatafileModuleTest, ModuleWithoutResourcesLoadsAndFindsNothing)
{
    t_test_image image;
    image.sections = {{".text", k_scn_code, test_pattern(0x100, 1)}};
    const t_temp_folder folder;
    const auto path = folder / "plain.bin";
    write_all(path, build_test_image(image));
    const t_loaded_module module(path);
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    // Loaded again while the first stays, and beside a module with resources: a handle each.
    const auto other_path = folder / "module.bin";
    write_all(other_path, build_test_image(module_with_resources(true, true)));
    const t_loaded_module again(path);
    const t_loaded_module other(other_path);
    ASSERT_NE(again.get(), nullptr) << GetLastError();
    ASSERT_NE(other.get(), nullptr) << GetLastError();
    EXPECT_NE(again.get(), module.get());
    EXPECT_NE(other.get(), module.get());
    EXPECT_NE(other.get(), again.get());
    EXPECT_EQ(read_resource(other.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0x419),
              test_pattern(301, 2));
}

TEST(DatafileModuleTest, LoadFailuresGiveTheWindowsCodes)
{
    const t_temp_folder folder;
    const auto valid = build_test_image(module_with_resources(true, false));
    ASSERT_GT(valid.size(), 100u);
    auto truncated = valid;
    truncated.erase(truncated.end() - 100, truncated.end());
    write_all(folder / "truncated.bin", truncated);
    write_all(folder / "text.txt", {'h', 'e', 'l', 'l', 'o'});
    write_all(folder / "empty.bin", {});
    auto bad_directory = valid;
    const t_test_pe_view view = view_test_image(valid);
    const auto* resources = view.find(".rsrc");
    ASSERT_NE(resources, nullptr);
    test_put16(bad_directory, resources->raw_pointer + 14, 0xFFFF);  // root: 65535 id entries
    write_all(folder / "bad_directory.bin", bad_directory);
    std::filesystem::create_directory(folder / "folder");

    const struct
    {
        const char* label;
        std::string name;
        DWORD error;
    } cases[] = {
        {"missing file", "missing.bin", ERROR_FILE_NOT_FOUND},
        {"missing folder", "missing/module.bin", ERROR_FILE_NOT_FOUND},
        {"directory", "folder", ERROR_FILE_NOT_FOUND},
        {"not a PE file", "text.txt", ERROR_BAD_EXE_FORMAT},
        {"empty file", "empty.bin", ERROR_BAD_EXE_FORMAT},
        {"truncated inside its sections", "truncated.bin", ERROR_BAD_EXE_FORMAT},
        {"malformed resource directory", "bad_directory.bin", ERROR_INVALID_DATA},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        EXPECT_EQ(LoadLibraryExW(wide(folder / c.name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
                  nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(DatafileModuleTest, OnlyTheDataFileModeIsSupported)
{
    const t_temp_folder folder;
    const auto path = folder / "module.bin";
    write_all(path, build_test_image(module_with_resources(true, false)));
    // LOAD_WITH_ALTERED_SEARCH_PATH (0x8): a mode outside the subset. Flags 0 load a module to
    // run, which the tests of modules loaded to run cover.
    EXPECT_EQ(LoadLibraryExW(wide(path).c_str(), nullptr, 0x00000008u), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(LoadLibraryExW(wide(path).c_str(), INVALID_HANDLE_VALUE, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(LoadLibraryExW(nullptr, nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DatafileModuleTest, EachLoadIsItsOwnHandleAndFreeLibraryEndsIt)
{
    const t_temp_folder folder;
    const auto path = folder / "module.bin";
    write_all(path, build_test_image(module_with_resources(false, true)));
    const HMODULE first = LoadLibraryExW(wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HMODULE second = LoadLibraryExW(wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);

    SetLastError(4321);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), 4321u);  // kept on success
    EXPECT_EQ(FindResourceExW(first, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // The other handle is unaffected.
    EXPECT_EQ(read_resource(second, RT_RCDATA, MAKEINTRESOURCEW(1), 0x419), test_pattern(301, 2));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(std::uintptr_t{0x1001})));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(DatafileModuleTest, ResourcesOutsideTheirSectionAreNotFound)
{
    // A data entry whose RVA points into .text: the layer finds data in the resource section only.
    t_test_image image = module_with_resources(true, false);
    image.resources = {};
    image.resources.types.push_back({id(10), {{id(1), {{0x409, {0, test_pattern(8, 9)}}}}}});
    auto file = build_test_image(image);
    const t_test_pe_view view = view_test_image(file);
    const auto* resources = view.find(".rsrc");
    const auto* text = view.find(".text");
    ASSERT_TRUE(resources && text);
    // Root, name and language tables, then the one data entry: 3 * 24 bytes in.
    test_put32(file, resources->raw_pointer + 72, text->virtual_address);
    const t_temp_folder folder;
    write_all(folder / "module.bin", file);
    const t_loaded_module module(folder / "module.bin");
    ASSERT_NE(module.get(), nullptr);
    const HRSRC resource = FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0x409);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(LoadResource(module.get(), resource), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

}  // namespace
}  // namespace voka::platform
