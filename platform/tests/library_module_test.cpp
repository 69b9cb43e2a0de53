// Conformance tests of modules loaded to run: LoadLibraryW / LoadLibraryExW with flags 0, the entry
// point's attach and detach calls, load counts, GetModuleHandleW, GetProcAddress and FreeLibrary.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

struct t_event
{
    HINSTANCE instance;
    DWORD reason;
    bool operator==(const t_event&) const = default;
};

std::vector<t_event> g_events;

}  // namespace

// Called by the test modules' entry points.
extern "C" __attribute__((visibility("default"))) void voka_test_module_event(HINSTANCE instance,
                                                                              DWORD reason, LPVOID)
{
    g_events.push_back({instance, reason});
}

namespace
{

std::wstring wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring file_name_of(const char* path)
{
    const std::wstring full = wide(path);
    return full.substr(full.rfind(L'/') + 1);
}

using t_answer_function = int (*)();

class LibraryModuleTest : public ::testing::Test
{
protected:
    void SetUp() override { g_events.clear(); }
};

TEST_F(LibraryModuleTest, FirstLoadAttachesAndLastFreeDetaches)
{
    const std::wstring path = wide(VOKA_TEST_MODULE_COUNTING);
    const HMODULE first = LoadLibraryW(path.c_str());
    ASSERT_NE(first, nullptr) << GetLastError();
    EXPECT_EQ(g_events, (std::vector<t_event>{{first, DLL_PROCESS_ATTACH}}));

    const HMODULE second = LoadLibraryExW(path.c_str(), nullptr, 0);
    EXPECT_EQ(second, first);
    EXPECT_EQ(g_events.size(), 1u);  // attach only on the first load

    SetLastError(1234);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(g_events.size(), 1u);  // still loaded once
    EXPECT_EQ(GetModuleHandleW(file_name_of(VOKA_TEST_MODULE_COUNTING).c_str()), first);

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(g_events,
              (std::vector<t_event>{{first, DLL_PROCESS_ATTACH}, {first, DLL_PROCESS_DETACH}}));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(file_name_of(VOKA_TEST_MODULE_COUNTING).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(LibraryModuleTest, ReloadAfterUnloadAttachesAgain)
{
    const std::wstring path = wide(VOKA_TEST_MODULE_COUNTING);
    for (int round = 0; round < 2; ++round)
    {
        const HMODULE module = LoadLibraryW(path.c_str());
        ASSERT_NE(module, nullptr);
        ASSERT_TRUE(FreeLibrary(module));
    }
    ASSERT_EQ(g_events.size(), 4u);
    EXPECT_EQ(g_events[2].reason, static_cast<DWORD>(DLL_PROCESS_ATTACH));
    EXPECT_EQ(g_events[3].reason, static_cast<DWORD>(DLL_PROCESS_DETACH));
}

TEST_F(LibraryModuleTest, FailingAttachDetachesUnloadsAndFails)
{
    const std::wstring path = wide(VOKA_TEST_MODULE_FAILING);
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
        EXPECT_EQ(GetModuleHandleW(file_name_of(VOKA_TEST_MODULE_FAILING).c_str()), nullptr);
    }
    // Each attempt attached and was detached again.
    ASSERT_EQ(g_events.size(), 4u);
    for (std::size_t index = 0; index < g_events.size(); ++index)
        EXPECT_EQ(g_events[index].reason,
                  static_cast<DWORD>(index % 2 == 0 ? DLL_PROCESS_ATTACH : DLL_PROCESS_DETACH));
}

TEST_F(LibraryModuleTest, GetModuleHandleComparesFileNamesCaseInsensitively)
{
    const HMODULE module = LoadLibraryW(wide(VOKA_TEST_MODULE_COUNTING).c_str());
    ASSERT_NE(module, nullptr);
    std::wstring upper = file_name_of(VOKA_TEST_MODULE_COUNTING);
    for (wchar_t& character : upper)
        character = static_cast<wchar_t>(towupper(character));
    EXPECT_EQ(GetModuleHandleW(upper.c_str()), module);
    EXPECT_EQ(GetModuleHandleW(wide(VOKA_TEST_MODULE_COUNTING).c_str()), module);
    EXPECT_EQ(g_events.size(), 1u);
    // No reference was added: one free unloads.
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(upper.c_str()), nullptr);
}

TEST_F(LibraryModuleTest, GetModuleHandleOfNullIsTheExecutable)
{
    const HMODULE executable = GetModuleHandleW(nullptr);
    ASSERT_NE(executable, nullptr);
    EXPECT_EQ(GetProcAddress(executable, "voka_test_module_event"),
              reinterpret_cast<FARPROC>(&voka_test_module_event));
}

TEST_F(LibraryModuleTest, GetProcAddressFindsExportsByName)
{
    const HMODULE module = LoadLibraryW(wide(VOKA_TEST_MODULE_COUNTING).c_str());
    ASSERT_NE(module, nullptr);
    const auto answer =
        reinterpret_cast<t_answer_function>(GetProcAddress(module, "voka_test_module_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "voka_test_module_missing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(DisableThreadLibraryCalls(module));
    EXPECT_TRUE(FreeLibrary(module));

    SetLastError(0);
    EXPECT_FALSE(DisableThreadLibraryCalls(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(LibraryModuleTest, ModuleWithoutEntryPointLoads)
{
    const HMODULE module = LoadLibraryW(wide(VOKA_TEST_MODULE_PLAIN).c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    const auto answer =
        reinterpret_cast<t_answer_function>(GetProcAddress(module, "voka_test_module_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 7);
    EXPECT_TRUE(g_events.empty());
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryModuleTest, LoadFailuresGiveWindowsCodes)
{
    const std::wstring not_a_module = wide(VOKA_TEST_MODULE_NOT_A_MODULE);
    const std::wstring missing = not_a_module + L".missing";
    const struct
    {
        LPCWSTR file_name;
        DWORD error;
    } cases[] = {
        {missing.c_str(), ERROR_MOD_NOT_FOUND},
        {L"voka_no_such_module.so", ERROR_MOD_NOT_FOUND},
        {L"", ERROR_MOD_NOT_FOUND},
        {not_a_module.c_str(), ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& test_case : cases)
    {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(test_case.file_name), nullptr);
        EXPECT_EQ(GetLastError(), test_case.error);
        SetLastError(0);
        EXPECT_EQ(LoadLibraryExW(test_case.file_name, nullptr, 0), nullptr);
        EXPECT_EQ(GetLastError(), test_case.error);
    }
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LibraryModuleTest, UnknownHandlesAreRefused)
{
    int not_a_module = 0;
    const auto bogus = reinterpret_cast<HMODULE>(&not_a_module);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(bogus, "voka_test_module_answer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(bogus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
