// FindResourceExW, LoadResource, LockResource and SizeofResource: integer and string identifiers,
// "#123", case-insensitive names, every error code, exact languages and the language-0 fallback
// through the locale environment.
#include "resource_test_support.h"
#include "voka/platform/resource_module.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace voka::platform
{
namespace
{

using namespace test;

constexpr std::uint32_t k_rva = 0x2000;

// Sets LC_ALL, LC_MESSAGES and LANG (nullptr: unset) for one scope and restores them after.
class t_scoped_locale
{
public:
    t_scoped_locale(const char* lc_all, const char* lc_messages, const char* lang)
    {
        const char* values[] = {lc_all, lc_messages, lang};
        for (std::size_t i = 0; i < 3; ++i)
        {
            const char* saved = std::getenv(k_names[i]);
            m_saved[i] = saved ? std::optional<std::string>(saved) : std::nullopt;
            set(k_names[i], values[i]);
        }
    }
    ~t_scoped_locale()
    {
        for (std::size_t i = 0; i < 3; ++i)
            set(k_names[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
    }
    t_scoped_locale(const t_scoped_locale&) = delete;
    t_scoped_locale& operator=(const t_scoped_locale&) = delete;

private:
    static void set(const char* name, const char* value)
    {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

    static constexpr const char* k_names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> m_saved[3];
};

t_resource_module_registration register_content(const t_resource_content& content,
                                                std::uint32_t section_rva = k_rva)
{
    return t_resource_module_registration(
        register_resource_module(build_resource_directory(content, k_rva), section_rva));
}

// The bytes of a found resource, read through LoadResource, LockResource and SizeofResource.
std::string resource_text(HMODULE module, HRSRC resource)
{
    const HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr)
        return "<LoadResource failed>";
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(module, resource));
}

class FindResourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t_resource_content content;
        content.types.push_back(
            {id(10),  // RT_RCDATA
             {{id(1), {{0x0409, blob("one-en")}, {0x0419, blob("one-ru")}}},
              {id(123), {{0, blob("id-123")}}},
              {named(L"HELLO"), {{0x0409, blob("hello")}}},
              {named(L"10"), {{0, blob("name-10")}}},
              {named(L"\u041F\u0420\u0418\u0412\u0415\u0422"), {{0, blob("privet")}}},
              {id(2), {{0, blob("")}}}}});
        content.types.push_back({named(L"MYTYPE"), {{id(5), {{0x0407, blob("mytype-5")}}}}});
        m_module = register_content(content);
        ASSERT_TRUE(m_module);
    }

    std::string find(LPCWSTR type, LPCWSTR name, WORD language)
    {
        const HRSRC resource = FindResourceExW(m_module.get(), type, name, language);
        if (resource == nullptr)
            return "<error " + std::to_string(GetLastError()) + ">";
        return resource_text(m_module.get(), resource);
    }

    t_resource_module_registration m_module;
};

TEST_F(FindResourceTest, FindsByIntegerAndStringIdentifiers)
{
    const struct
    {
        LPCWSTR type;
        LPCWSTR name;
        WORD language;
        std::string expected;
    } cases[] = {
        {RT_RCDATA, MAKEINTRESOURCEW(1), 0x0409, "one-en"},
        {RT_RCDATA, MAKEINTRESOURCEW(1), 0x0419, "one-ru"},
        {L"#10", L"#123", 0, "id-123"},
        {L"#010", L"#0123", 0, "id-123"},
        {RT_RCDATA, L"#01", 0x0409, "one-en"},
        {RT_RCDATA, L"10", 0, "name-10"},  // digits without "#" are a name
        {RT_RCDATA, L"hello", 0x0409, "hello"},
        {RT_RCDATA, L"HeLLo", 0x0409, "hello"},
        {RT_RCDATA, L"\u043F\u0440\u0438\u0432\u0435\u0442", 0, "privet"},  // Cyrillic lower case
        {L"mytype", MAKEINTRESOURCEW(5), 0x0407, "mytype-5"},
        {L"MyType", L"#5", 0x0407, "mytype-5"},
        {RT_RCDATA, MAKEINTRESOURCEW(2), 0, ""},  // an empty resource is a resource
    };
    for (const auto& test_case : cases)
    {
        SCOPED_TRACE(test_case.expected);
        EXPECT_EQ(find(test_case.type, test_case.name, test_case.language), test_case.expected);
    }
}

TEST_F(FindResourceTest, FailsWithTheWindowsCodes)
{
    const std::string invalid_parameter = "<error " + std::to_string(ERROR_INVALID_PARAMETER) + ">";
    const std::string type_not_found =
        "<error " + std::to_string(ERROR_RESOURCE_TYPE_NOT_FOUND) + ">";
    const std::string name_not_found =
        "<error " + std::to_string(ERROR_RESOURCE_NAME_NOT_FOUND) + ">";
    const std::string lang_not_found =
        "<error " + std::to_string(ERROR_RESOURCE_LANG_NOT_FOUND) + ">";
    const struct
    {
        LPCWSTR type;
        LPCWSTR name;
        WORD language;
        const std::string& expected;
    } cases[] = {
        {RT_STRING, MAKEINTRESOURCEW(1), 0, type_not_found},
        {L"10", MAKEINTRESOURCEW(1), 0, type_not_found},  // a name, not RT_RCDATA
        {L"#65535", MAKEINTRESOURCEW(1), 0, type_not_found},
        {RT_RCDATA, MAKEINTRESOURCEW(3), 0, name_not_found},
        {RT_RCDATA, L"HELL", 0x0409, name_not_found},
        {RT_RCDATA, L"#10", 0, name_not_found},  // the id 10, not the name "10"
        {L"MYTYPE", L"#6", 0x0407, name_not_found},
        {RT_RCDATA, MAKEINTRESOURCEW(1), 0x0407, lang_not_found},  // no fallback for non-zero
        {RT_RCDATA, MAKEINTRESOURCEW(1), 0x0009, lang_not_found},
        {RT_RCDATA, L"#123", 0x0409, lang_not_found},  // not even to neutral
        {L"#", MAKEINTRESOURCEW(1), 0, invalid_parameter},
        {RT_RCDATA, L"#12a", 0, invalid_parameter},
        {RT_RCDATA, L"#65536", 0, invalid_parameter},
    };
    for (const auto& test_case : cases)
    {
        SCOPED_TRACE(test_case.expected);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(find(test_case.type, test_case.name, test_case.language), test_case.expected);
    }
}

TEST(FindResourceModuleTest, UnknownModulesAndModulesWithoutResourcesFail)
{
    int not_a_module = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindResourceExW(reinterpret_cast<HMODULE>(&not_a_module), RT_RCDATA,
                              MAKEINTRESOURCEW(1), 0),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    const t_resource_module_registration empty(register_resource_module({}, k_rva));
    ASSERT_TRUE(empty);
    EXPECT_EQ(FindResourceExW(empty.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    // The executable's resources are not registered in this test program.
    EXPECT_EQ(FindResourceExW(nullptr, RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(FindResourceModuleTest, HandlesEndWithTheRegistration)
{
    t_resource_module_registration module =
        register_content(single(id(10), id(1), 0, blob("data")));
    const HMODULE handle = module.get();
    ASSERT_NE(FindResourceExW(handle, RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    module.reset();
    EXPECT_EQ(FindResourceExW(handle, RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(LoadResourceTest, GivesTheDataAddressThatLockResourceReturns)
{
    const t_resource_content content = single(id(10), id(1), 0x0409, blob("payload"));
    const std::vector<std::uint8_t> section = build_resource_directory(content, k_rva);
    const t_resource_module_registration module(register_resource_module(section, k_rva));
    const HRSRC resource = FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0x0409);
    ASSERT_NE(resource, nullptr);

    const HGLOBAL loaded = LoadResource(module.get(), resource);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(LockResource(loaded), loaded);
    EXPECT_EQ(SizeofResource(module.get(), resource), 7u);
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(loaded)), 7), "payload");
    // The same data each time.
    EXPECT_EQ(LoadResource(module.get(), resource), loaded);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(LoadResourceTest, SizeofResourceLeavesTheLastErrorOnSuccess)
{
    const t_resource_module_registration module =
        register_content(single(id(10), id(1), 0, blob("")));
    const HRSRC resource = FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0);
    ASSERT_NE(resource, nullptr);
    SetLastError(1234);
    EXPECT_EQ(SizeofResource(module.get(), resource), 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_NE(LoadResource(module.get(), resource), nullptr);
}

TEST(LoadResourceTest, RejectsResourceHandlesOfOtherModules)
{
    const t_resource_module_registration first =
        register_content(single(id(10), id(1), 0, blob("a")));
    const t_resource_module_registration second =
        register_content(single(id(10), id(1), 0, blob("b")));
    const HRSRC of_first = FindResourceExW(first.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0);
    ASSERT_NE(of_first, nullptr);
    int not_a_resource = 0;
    const struct
    {
        HMODULE module;
        HRSRC resource;
    } cases[] = {
        {second.get(), of_first},
        {first.get(), nullptr},
        {first.get(), reinterpret_cast<HRSRC>(&not_a_resource)},
        {reinterpret_cast<HMODULE>(&not_a_resource), of_first},
    };
    for (const auto& test_case : cases)
    {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadResource(test_case.module, test_case.resource), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(SizeofResource(test_case.module, test_case.resource), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(LoadResourceTest, DataOutsideTheSectionIsFoundButNotLoaded)
{
    std::vector<std::uint8_t> section =
        build_resource_directory(single(id(10), id(1), 0, blob("abc")), k_rva);
    // The data entry is at 0x48 (see the codec's tests); its size field is at 0x4C.
    put32(section, 0x4C, 0xFFFFFFF0);
    const t_resource_module_registration module(register_resource_module(section, k_rva));
    ASSERT_TRUE(module);
    const HRSRC resource = FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(SizeofResource(module.get(), resource), 0xFFFFFFF0u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadResource(module.get(), resource), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    // A section registered at another RVA than it was built for: every data RVA is off.
    const t_resource_module_registration moved =
        register_content(single(id(10), id(1), 0, blob("abc")), k_rva + 0x1000);
    const HRSRC moved_resource = FindResourceExW(moved.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0);
    ASSERT_NE(moved_resource, nullptr);
    EXPECT_EQ(LoadResource(moved.get(), moved_resource), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

// Language 0: neutral, the user's language, its primary language, 0x0409, 0x0009, the first.
struct t_fallback_case
{
    const char* label;
    std::vector<std::uint16_t> languages;
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    std::uint16_t expected;
};

TEST(FindResourceLanguageTest, LanguageZeroFallsBackInWindowsOrder)
{
    const t_fallback_case cases[] = {
        {"neutral first", {0x0409, 0x0419, 0x0000}, nullptr, nullptr, "ru_RU.UTF-8", 0x0000},
        {"user language", {0x0409, 0x0019, 0x0419}, nullptr, nullptr, "ru_RU.UTF-8", 0x0419},
        {"its primary language", {0x0409, 0x0009, 0x0019}, nullptr, nullptr, "ru_RU.UTF-8", 0x0019},
        {"then US English", {0x0407, 0x0009, 0x0409}, nullptr, nullptr, "ru_RU.UTF-8", 0x0409},
        {"then English", {0x0407, 0x0809, 0x0009}, nullptr, nullptr, "ru_RU.UTF-8", 0x0009},
        {"then the first present", {0x0419, 0x040C, 0x0809}, nullptr, nullptr, "de_DE", 0x040C},
        {"country variant", {0x0407, 0x0C07, 0x0409}, nullptr, nullptr, "de_AT.UTF-8", 0x0C07},
        {"language without country", {0x0409, 0x0419}, nullptr, nullptr, "ru", 0x0419},
        {"unlisted country", {0x0409, 0x040C}, nullptr, nullptr, "fr_SN.UTF-8", 0x040C},
        {"LC_ALL first", {0x0419, 0x0407, 0x040C}, "de_DE.UTF-8", "fr_FR", "ru_RU", 0x0407},
        {"LC_MESSAGES second", {0x0419, 0x0407, 0x040C}, nullptr, "fr_FR", "ru_RU", 0x040C},
        {"empty values skipped", {0x0419, 0x0407, 0x040C}, "", "", "ru_RU", 0x0419},
        {"C names no language", {0x0419, 0x0409}, nullptr, nullptr, "C", 0x0409},
        {"POSIX decides", {0x0419, 0x0409}, "POSIX", nullptr, "ru_RU", 0x0409},
        {"unknown language decides", {0x0419, 0x0409}, "xx_YY", nullptr, "ru_RU", 0x0409},
        {"nothing set", {0x0419, 0x040C}, nullptr, nullptr, nullptr, 0x040C},
        {"Ukrainian", {0x0409, 0x0422}, nullptr, nullptr, "uk_UA.UTF-8", 0x0422},
        {"Chinese Taiwan", {0x0409, 0x0804, 0x0404}, nullptr, nullptr, "zh_TW", 0x0404},
        {"Japanese with modifier", {0x0409, 0x0411}, nullptr, nullptr, "ja_JP.eucJP@x", 0x0411},
    };
    for (const t_fallback_case& test_case : cases)
    {
        SCOPED_TRACE(test_case.label);
        t_resource_content content;
        t_name& name =
            content.types.emplace_back(t_type{id(10), {}}).names.emplace_back(t_name{id(1), {}});
        for (const std::uint16_t language : test_case.languages)
            name.languages.push_back({language, blob(std::to_string(language))});
        const t_resource_module_registration module = register_content(content);
        const t_scoped_locale locale(test_case.lc_all, test_case.lc_messages, test_case.lang);

        const HRSRC resource = FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0);
        ASSERT_NE(resource, nullptr);
        EXPECT_EQ(resource_text(module.get(), resource), std::to_string(test_case.expected));
    }
}

TEST(FindResourceLanguageTest, LanguageZeroWithoutLanguagesFails)
{
    t_resource_content content;
    content.types.push_back({id(10), {{id(1), {}}}});
    const t_resource_module_registration module = register_content(content);
    EXPECT_EQ(FindResourceExW(module.get(), RT_RCDATA, MAKEINTRESOURCEW(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

}  // namespace
}  // namespace voka::platform
