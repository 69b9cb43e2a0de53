// Entry points of modules that carry the module-entry glue: attach and detach in dependency order
// around LoadLibraryW and FreeLibrary, a failed attach anywhere in a load undoing the load (also
// for a library the system keeps mapped), thread attach and detach calls, a library linked at
// build time attached before main and detached at process end, or refusing the process start,
// and the detach at process end coming before the module's statics are destroyed.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{

struct t_event
{
    std::string module;
    DWORD reason;
    bool is_static;
    bool operator==(const t_event&) const = default;
};

std::vector<t_event> g_events;

}  // namespace

// Called by the test modules' entry points.
extern "C" __attribute__((visibility("default"))) void
voka_test_glued_event(const char* module_name, DWORD reason, LPVOID reserved)
{
    g_events.push_back({module_name, reason, reserved != nullptr});
}

namespace
{

std::wstring wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class ModuleEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::unsetenv("VOKA_TEST_MODULE_FAIL_ATTACH");
        g_events.clear();
    }
    void TearDown() override { ::unsetenv("VOKA_TEST_MODULE_FAIL_ATTACH"); }

    static HMODULE load_dependent() { return ::LoadLibraryW(wide(VOKA_TEST_GLUED_DEPENDENT).c_str()); }
    static HMODULE base_handle() { return ::GetModuleHandleW(wide(VOKA_TEST_GLUED_BASE_NAME).c_str()); }
};

TEST_F(ModuleEntryTest, DependenciesAttachFirstAndDetachLast)
{
    const HMODULE dependent = load_dependent();
    ASSERT_NE(dependent, nullptr) << ::GetLastError();
    EXPECT_NE(base_handle(), nullptr);
    EXPECT_EQ(g_events, (std::vector<t_event>{{"base", DLL_PROCESS_ATTACH, false},
                                              {"dependent", DLL_PROCESS_ATTACH, false}}));
    g_events.clear();
    ASSERT_TRUE(::FreeLibrary(dependent));
    EXPECT_EQ(g_events, (std::vector<t_event>{{"dependent", DLL_PROCESS_DETACH, false},
                                              {"base", DLL_PROCESS_DETACH, false}}));
    EXPECT_EQ(base_handle(), nullptr);
}

TEST_F(ModuleEntryTest, LoadCountsDecideWhenTheEntryPointsRun)
{
    const HMODULE first = load_dependent();
    const HMODULE second = load_dependent();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(g_events.size(), 2u);  // one attach per module
    ASSERT_TRUE(::FreeLibrary(first));
    EXPECT_EQ(g_events.size(), 2u);
    ASSERT_TRUE(::FreeLibrary(second));
    EXPECT_EQ(g_events.size(), 4u);
}

TEST_F(ModuleEntryTest, AFailedAttachOfTheLoadedModuleUndoesTheLoad)
{
    ::setenv("VOKA_TEST_MODULE_FAIL_ATTACH", "dependent", 1);
    ::SetLastError(0);
    EXPECT_EQ(load_dependent(), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(g_events, (std::vector<t_event>{{"base", DLL_PROCESS_ATTACH, false},
                                              {"dependent", DLL_PROCESS_ATTACH, false},
                                              {"dependent", DLL_PROCESS_DETACH, false},
                                              {"base", DLL_PROCESS_DETACH, false}}));
    EXPECT_EQ(base_handle(), nullptr);
}

TEST_F(ModuleEntryTest, AFailedAttachOfADependencyStopsTheLoadBeforeTheModule)
{
    ::setenv("VOKA_TEST_MODULE_FAIL_ATTACH", "base", 1);
    EXPECT_EQ(load_dependent(), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(g_events, (std::vector<t_event>{{"base", DLL_PROCESS_ATTACH, false},
                                              {"base", DLL_PROCESS_DETACH, false}}));
    // The next load starts afresh.
    ::unsetenv("VOKA_TEST_MODULE_FAIL_ATTACH");
    const HMODULE dependent = load_dependent();
    ASSERT_NE(dependent, nullptr);
    EXPECT_TRUE(::FreeLibrary(dependent));
}

TEST_F(ModuleEntryTest, ALibraryKeptMappedAfterAFailedAttachIsAttachedByItsNextLoad)
{
    const std::wstring sticky = wide(VOKA_TEST_GLUED_STICKY);
    ::setenv("VOKA_TEST_MODULE_FAIL_ATTACH", "sticky", 1);
    EXPECT_EQ(::LoadLibraryW(sticky.c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(g_events, (std::vector<t_event>{{"sticky", DLL_PROCESS_ATTACH, false},
                                              {"sticky", DLL_PROCESS_DETACH, false}}));

    // Refused again while its entry point still refuses, then attached once it agrees.
    g_events.clear();
    EXPECT_EQ(::LoadLibraryW(sticky.c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(g_events, (std::vector<t_event>{{"sticky", DLL_PROCESS_ATTACH, false},
                                              {"sticky", DLL_PROCESS_DETACH, false}}));
    ::unsetenv("VOKA_TEST_MODULE_FAIL_ATTACH");
    g_events.clear();
    const HMODULE module = ::LoadLibraryW(sticky.c_str());
    ASSERT_NE(module, nullptr) << ::GetLastError();
    EXPECT_EQ(g_events, (std::vector<t_event>{{"sticky", DLL_PROCESS_ATTACH, false}}));
    // Its threads calls follow its attach.
    ASSERT_TRUE(::DisableThreadLibraryCalls(module));
    ASSERT_TRUE(::FreeLibrary(module));
}

unsigned __stdcall empty_thread(void*)
{
    return 0;
}

void run_one_thread()
{
    const HANDLE thread =
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &empty_thread, nullptr, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(::WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ::CloseHandle(thread);
}

TEST_F(ModuleEntryTest, ThreadsAttachAndDetachUnlessTheModuleSwitchedThatOff)
{
    const HMODULE dependent = load_dependent();
    ASSERT_NE(dependent, nullptr);
    g_events.clear();
    run_one_thread();
    EXPECT_EQ(g_events, (std::vector<t_event>{{"base", DLL_THREAD_ATTACH, false},
                                              {"dependent", DLL_THREAD_ATTACH, false},
                                              {"base", DLL_THREAD_DETACH, false},
                                              {"dependent", DLL_THREAD_DETACH, false}}));
    ASSERT_TRUE(::DisableThreadLibraryCalls(base_handle()));
    g_events.clear();
    run_one_thread();
    EXPECT_EQ(g_events, (std::vector<t_event>{{"dependent", DLL_THREAD_ATTACH, false},
                                              {"dependent", DLL_THREAD_DETACH, false}}));
    ASSERT_TRUE(::FreeLibrary(dependent));
}

// Runs the child program linked against the base library; its output and exit status.
struct t_child_result
{
    std::string output;
    int exit_code = -1;
};

t_child_result run_start_child(const char* environment, const std::string& argument = {})
{
    const std::string command = std::string(environment) + " " + VOKA_TEST_MODULE_START_CHILD +
                                (argument.empty() ? "" : " '" + argument + "'") + " 2>&1";
    FILE* const pipe = ::popen(command.c_str(), "r");
    t_child_result result;
    if (pipe == nullptr)
        return result;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    const int status = ::pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST_F(ModuleEntryTest, ALibraryLinkedAtBuildTimeAttachesBeforeMainAndDetachesAtTheEnd)
{
    const t_child_result result = run_start_child("");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.output, "base 1 static\nmain base\nbase 0 static\n");
}

TEST_F(ModuleEntryTest, ALibraryLeftLoadedAtTheEndDetachesFirstAndBeforeItsStaticsAreDestroyed)
{
    for (const char* library : {VOKA_TEST_GLUED_DEPENDENT, VOKA_TEST_GLUED_STICKY})
    {
        const t_child_result result = run_start_child("", library);
        EXPECT_EQ(result.exit_code, 0);
        // As on Windows, the libraries leave in the reverse order of their arrival: the one main
        // loaded, then the one linked at build time.
        const std::string name = std::string(library).find("sticky") != std::string::npos
                                     ? "sticky"
                                     : "dependent";
        EXPECT_EQ(result.output, "base 1 static\nmain base\n" + name + " 1 dynamic\n" + name +
                                     " 0 static\nbase 0 static\n");
    }
}

TEST_F(ModuleEntryTest, AFailedAttachAtProcessStartEndsTheProcessWithOneLine)
{
    const t_child_result result = run_start_child("VOKA_TEST_MODULE_FAIL_ATTACH=base");
    EXPECT_NE(result.exit_code, 0);
    EXPECT_EQ(result.output.find("main base"), std::string::npos);
    // The attach and its detach, then the one line that names the library.
    const std::string expected_start = "base 1 static\nbase 0 dynamic\n";
    ASSERT_EQ(result.output.compare(0, expected_start.size(), expected_start), 0) << result.output;
    const std::string line = result.output.substr(expected_start.size());
    EXPECT_NE(line.find("libvoka_test_glued_base.so"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
}

}  // namespace
