// BeginUpdateResourceW, UpdateResourceW and EndUpdateResourceW: adding, replacing and deleting
// resources, upper-cased names, zero-length resources, discarding, handles, every failure with its
// code and the module byte-identical after it, the file's mode and links, changes on disk between
// begin and end, share modes, bounded growth over repeated edits, and the checksum.
#include "module_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace voka::platform
{
namespace
{

using namespace test;

t_test_image sample_module(bool pe32_plus = true)
{
    t_test_image image;
    image.pe32_plus = pe32_plus;
    image.resources = sample_resources();
    image.sections = {
        {".text", k_scn_code, test_pattern(0x300, 11)},
        {".rdata", k_scn_rdata, test_pattern(0x120, 12)},
        {".rsrc", k_scn_rsrc, {}, 0, true},
        {".reloc", k_scn_reloc, test_pattern(0x40, 13)},
    };
    return image;
}

// Adds or replaces one resource in a tree, as the updater does (exact identifiers).
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

// Runs one update: the callback makes its UpdateResourceW calls; returns EndUpdateResourceW's
// result with the last error in `error`.
template <typename t_changes>
BOOL update_module(const std::filesystem::path& path, t_changes changes, DWORD* error = nullptr,
                   BOOL delete_existing = FALSE)
{
    const HANDLE update = BeginUpdateResourceW(wide(path).c_str(), delete_existing);
    EXPECT_NE(update, nullptr) << "BeginUpdateResourceW failed: " << GetLastError();
    if (update == nullptr)
        return FALSE;
    changes(update);
    const BOOL result = EndUpdateResourceW(update, FALSE);
    if (error != nullptr)
        *error = GetLastError();
    return result;
}

BOOL add(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language,
         const std::vector<std::uint8_t>& bytes)
{
    return UpdateResourceW(update, type, name, language, const_cast<std::uint8_t*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()));
}

std::size_t files_in(const std::filesystem::path& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

class ResourceUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = m_folder / "module.dll";
        m_original = build_test_image(sample_module());
        write_all(m_path, m_original);
    }

    t_temp_folder m_folder;
    std::filesystem::path m_path;
    std::vector<std::uint8_t> m_original;
};

TEST_F(ResourceUpdateTest, ReplacedResourceReadsBackAndEveryOtherStays)
{
    const auto bytes = test_pattern(777, 42);
    ASSERT_TRUE(
        update_module(m_path, [&](HANDLE update)
                      { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, bytes)); }));
    t_resource_content expected = sample_resources();
    put(expected, id(10), id(1), 0x409, bytes);
    expect_module_resources(m_path, expected);
    EXPECT_EQ(files_in(m_folder.path()), 1u);  // no file left beside the module
}

TEST_F(ResourceUpdateTest, DeleteThenAddReplacesAsTheToolWrites)
{
    const auto bytes = test_pattern(5, 43);
    ASSERT_TRUE(update_module(m_path,
                              [&](HANDLE update)
                              {
                                  EXPECT_TRUE(
                                      UpdateResourceW(update, L"MYTYPE", L"BETA", 0, nullptr, 0));
                                  EXPECT_TRUE(add(update, L"MYTYPE", L"BETA", 0, bytes));
                              }));
    t_resource_content expected = sample_resources();
    put(expected, named(L"MYTYPE"), named(L"BETA"), 0, bytes);
    expect_module_resources(m_path, expected);
}

TEST_F(ResourceUpdateTest, StringTypesAndNamesAreStoredUpperCase)
{
    const auto fresh = test_pattern(9, 44);
    const auto joined = test_pattern(11, 45);
    ASSERT_TRUE(update_module(m_path,
                              [&](HANDLE update)
                              {
                                  EXPECT_TRUE(add(update, L"newType", L"someName", 7, fresh));
                                  EXPECT_TRUE(add(update, L"myType", L"Alpha", 0x409, joined));
                              }));
    t_resource_content expected = sample_resources();
    put(expected, named(L"NEWTYPE"), named(L"SOMENAME"), 7, fresh);
    put(expected, named(L"MYTYPE"), named(L"ALPHA"), 0x409, joined);
    expect_module_resources(m_path, expected);

    // On disk the names are upper case.
    const t_resource_directory directory = resource_directory_of(read_all(m_path));
    std::vector<std::wstring> type_names;
    for (const auto& type : directory.types)
        if (type.id.is_name())
            type_names.push_back(type.id.name());
    EXPECT_EQ(type_names, (std::vector<std::wstring>{L"MYTYPE", L"NEWTYPE"}));
}

TEST_F(ResourceUpdateTest, HashAndDigitsNameAnInteger)
{
    const auto bytes = test_pattern(3, 46);
    ASSERT_TRUE(update_module(m_path, [&](HANDLE update)
                              { EXPECT_TRUE(add(update, L"#10", L"#007", 0x409, bytes)); }));
    const t_loaded_module module(m_path);
    EXPECT_EQ(read_resource(module.get(), RT_RCDATA, MAKEINTRESOURCEW(7), 0x409), bytes);
}

TEST_F(ResourceUpdateTest, DeletingWhatIsNotThereSucceedsAndLeavesTheFileAsItWas)
{
    ASSERT_TRUE(update_module(
        m_path,
        [&](HANDLE update)
        {
            EXPECT_TRUE(
                UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(99), 0x409, nullptr, 0));
            EXPECT_TRUE(UpdateResourceW(update, L"NOTYPE", L"X", 0, nullptr, 0));
            EXPECT_TRUE(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x407, nullptr, 0));
        }));
    EXPECT_EQ(read_all(m_path), m_original);
}

TEST_F(ResourceUpdateTest, ZeroLengthResourcesSurviveLaterUpdates)
{
    const std::vector<std::uint8_t> nothing;
    const std::uint8_t anything = 0;
    ASSERT_TRUE(update_module(m_path,
                              [&](HANDLE update)
                              {
                                  EXPECT_TRUE(UpdateResourceW(update, L"EMPTY", L"ONE", 0,
                                                              const_cast<std::uint8_t*>(&anything),
                                                              0));
                              }));
    ASSERT_TRUE(update_module(m_path,
                              [&](HANDLE update) {
                                  EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(2), 0x409,
                                                  test_pattern(64, 47)));
                              }));
    t_resource_content expected = sample_resources();
    put(expected, named(L"EMPTY"), named(L"ONE"), 0, nothing);
    put(expected, id(10), id(2), 0x409, test_pattern(64, 47));
    expect_module_resources(m_path, expected);  // RCDATA 3 and EMPTY/ONE, both of length zero
}

TEST_F(ResourceUpdateTest, DeleteExistingStartsFromNoResources)
{
    const auto bytes = test_pattern(12, 48);
    ASSERT_TRUE(update_module(
        m_path,
        [&](HANDLE update) { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(5), 0, bytes)); },
        nullptr, TRUE));
    t_resource_content expected;
    put(expected, id(10), id(5), 0, bytes);
    expect_module_resources(m_path, expected);

    ASSERT_TRUE(update_module(
        m_path, [](HANDLE) {}, nullptr, TRUE));
    EXPECT_EQ(resource_count(resource_directory_of(read_all(m_path))), 0u);
    const t_loaded_module module(m_path);
    EXPECT_EQ(FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(5), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST_F(ResourceUpdateTest, DiscardLeavesTheFileAsItWas)
{
    const HANDLE update = BeginUpdateResourceW(wide(m_path).c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(50, 1)));
    EXPECT_TRUE(EndUpdateResourceW(update, TRUE));
    EXPECT_EQ(read_all(m_path), m_original);
}

TEST_F(ResourceUpdateTest, EndedAndForeignHandlesAreInvalid)
{
    const HANDLE update = BeginUpdateResourceW(wide(m_path).c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    EXPECT_FALSE(CloseHandle(update));  // not a kernel object
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(EndUpdateResourceW(update, TRUE));
    const std::vector<std::uint8_t> bytes = {1};
    EXPECT_FALSE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0, bytes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (const HANDLE handle : {HANDLE{}, INVALID_HANDLE_VALUE, event})
    {
        EXPECT_FALSE(EndUpdateResourceW(handle, TRUE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    CloseHandle(event);
}

TEST_F(ResourceUpdateTest, BadArgumentsOfUpdateAreRefused)
{
    const HANDLE update = BeginUpdateResourceW(wide(m_path).c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    std::uint8_t byte = 1;
    const std::wstring too_long(0x10000, L'A');
    const std::wstring pair_in_one = {L'A', static_cast<wchar_t>(0xD800),
                                      static_cast<wchar_t>(0xDC00)};
    const std::wstring beyond_unicode = {L'A', static_cast<wchar_t>(0x110000)};
    const struct
    {
        const char* label;
        LPCWSTR type;
        LPCWSTR name;
        LPVOID data;
        DWORD size;
    } cases[] = {
        {"null type", nullptr, L"N", &byte, 1},
        {"null name", L"T", nullptr, &byte, 1},
        {"empty name", L"T", L"", &byte, 1},
        {"null data with a size", L"T", L"N", nullptr, 5},
        {"'#' alone", L"#", L"N", &byte, 1},
        {"'#' and a number past 65535", L"T", L"#65536", &byte, 1},
        {"'#' and a letter", L"T", L"#1a", &byte, 1},
        {"name of 65536 units", L"T", too_long.c_str(), &byte, 1},
        {"surrogate pair as two characters", pair_in_one.c_str(), L"N", &byte, 1},
        {"character beyond Unicode", L"T", beyond_unicode.c_str(), &byte, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        EXPECT_FALSE(UpdateResourceW(update, c.type, c.name, 0, c.data, c.size));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(EndUpdateResourceW(update, FALSE));  // nothing changed
    EXPECT_EQ(read_all(m_path), m_original);
}

TEST_F(ResourceUpdateTest, BeginFailuresGiveMeaningfulCodes)
{
    auto truncated = m_original;
    truncated.resize(m_original.size() - 1);
    write_all(m_folder / "truncated.dll", truncated);
    write_all(m_folder / "text.txt", {'M', 'Z', 'x'});
    auto bad_directory = m_original;
    const t_test_pe_view view = view_test_image(m_original);
    const auto* resources = view.find(".rsrc");
    ASSERT_NE(resources, nullptr);
    test_put16(bad_directory, resources->raw_pointer + 12, 0x7FFF);  // named entries without names
    write_all(m_folder / "bad_directory.dll", bad_directory);
    auto bad_symbols = m_original;
    test_put32(bad_symbols, view.file_header + 8, 0xFFFFFF00u);
    write_all(m_folder / "bad_symbols.dll", bad_symbols);
    std::filesystem::create_directory(m_folder / "folder");

    const struct
    {
        const char* label;
        std::wstring path;
        DWORD error;
    } cases[] = {
        {"missing file", wide(m_folder / "missing.dll"), ERROR_FILE_NOT_FOUND},
        {"missing folder", wide(m_folder / "missing" / "module.dll"), ERROR_PATH_NOT_FOUND},
        {"directory", wide(m_folder / "folder"), ERROR_ACCESS_DENIED},
        {"not a PE file", wide(m_folder / "text.txt"), ERROR_BAD_EXE_FORMAT},
        {"truncated inside a section", wide(m_folder / "truncated.dll"), ERROR_BAD_EXE_FORMAT},
        {"malformed resource directory", wide(m_folder / "bad_directory.dll"), ERROR_INVALID_DATA},
        {"symbol table outside the file", wide(m_folder / "bad_symbols.dll"), ERROR_BAD_EXE_FORMAT},
        {"empty path", L"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        EXPECT_EQ(BeginUpdateResourceW(c.path.c_str(), FALSE), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(BeginUpdateResourceW(nullptr, FALSE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(read_all(m_folder / "truncated.dll"), truncated);
}

TEST_F(ResourceUpdateTest, ReadOnlyModuleCannotBeUpdated)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_read);
    EXPECT_EQ(BeginUpdateResourceW(wide(m_path).c_str(), FALSE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ResourceUpdateTest, ModeAndSymbolicLinksAreKept)
{
    ::chmod(m_path.c_str(), 0751);
    const auto link = m_folder / "link.dll";
    std::filesystem::create_symlink(m_path, link);
    const auto bytes = test_pattern(30, 49);
    ASSERT_TRUE(
        update_module(link, [&](HANDLE update)
                      { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(8), 0, bytes)); }));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat status;
    ASSERT_EQ(::stat(m_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0751u);
    const t_loaded_module module(m_path);
    EXPECT_EQ(read_resource(module.get(), RT_RCDATA, MAKEINTRESOURCEW(8), 0), bytes);
}

TEST_F(ResourceUpdateTest, ModuleChangedOnDiskSinceBeginIsNotOverwritten)
{
    const HANDLE update = BeginUpdateResourceW(wide(m_path).c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    auto changed = m_original;
    changed.push_back(0x55);  // another program appends to the module meanwhile
    write_all(m_path, changed);
    EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, test_pattern(10, 1)));
    EXPECT_FALSE(EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(read_all(m_path), changed);
    EXPECT_EQ(files_in(m_folder.path()), 1u);
}

TEST_F(ResourceUpdateTest, PendingUpdateHoldsTheModuleAgainstWriters)
{
    const std::wstring path = wide(m_path);
    const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    const HANDLE writer =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const HANDLE reader =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    EXPECT_TRUE(EndUpdateResourceW(update, TRUE));

    const HANDLE exclusive =
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(BeginUpdateResourceW(path.c_str(), FALSE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(exclusive);
}

TEST_F(ResourceUpdateTest, RepeatedEditsDoNotGrowTheFile)
{
    std::vector<std::size_t> sizes;
    for (int round = 0; round < 6; ++round)
    {
        const auto bytes = test_pattern(round % 2 == 0 ? 9000 : 100, 50 + round);
        ASSERT_TRUE(update_module(
            m_path, [&](HANDLE update)
            { EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, bytes)); }));
        sizes.push_back(read_all(m_path).size());
    }
    EXPECT_EQ(sizes[0], sizes[2]);
    EXPECT_EQ(sizes[2], sizes[4]);
    EXPECT_EQ(sizes[1], sizes[3]);
    EXPECT_EQ(sizes[3], sizes[5]);
    EXPECT_LT(sizes[1], sizes[0]);
}

TEST_F(ResourceUpdateTest, ChecksumIsRecomputedOnlyWhenTheModuleHadOne)
{
    for (const bool with_checksum : {false, true})
    {
        SCOPED_TRACE(with_checksum);
        t_test_image image = sample_module(false);
        image.checksum = with_checksum;
        image.overlay = test_pattern(333, 7);  // odd: the checksum's last word is half a word
        write_all(m_path, build_test_image(image));
        ASSERT_TRUE(update_module(m_path,
                                  [&](HANDLE update) {
                                      EXPECT_TRUE(add(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409,
                                                      test_pattern(1001, 1)));
                                  }));
        const auto file = read_all(m_path);
        const t_test_pe_view view = view_test_image(file);
        EXPECT_EQ(view.checksum,
                  with_checksum ? textbook_checksum(file, view.checksum_offset()) : 0u);
    }
}

}  // namespace
}  // namespace voka::platform
