// Modules registered from memory: their handles, rejection of malformed directories, the RAII
// registration, and registering, finding and unregistering from several threads at once.
#include "resource_test_support.h"
#include "voka/platform/resource_module.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <type_traits>

namespace voka::platform
{
namespace
{

using namespace test;

constexpr std::uint32_t k_rva = 0x1000;

static_assert(!std::is_copy_constructible_v<t_resource_module_registration>);
static_assert(!std::is_copy_assignable_v<t_resource_module_registration>);
static_assert(std::is_nothrow_move_constructible_v<t_resource_module_registration>);
static_assert(std::is_nothrow_move_assignable_v<t_resource_module_registration>);

std::vector<std::uint8_t> section_with(std::string_view text)
{
    return build_resource_directory(single(id(10), id(1), 0, blob(text)), k_rva);
}

bool is_registered(HMODULE module)
{
    return FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(1), 0) != nullptr ||
           GetLastError() != static_cast<DWORD>(ERROR_INVALID_HANDLE);
}

TEST(ResourceModuleTest, EachRegistrationGetsItsOwnHandle)
{
    const t_resource_module_registration first(register_resource_module(section_with("a"), k_rva));
    const t_resource_module_registration second(register_resource_module(section_with("a"), k_rva));
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_FALSE(IS_INTRESOURCE(first.get()));
}

TEST(ResourceModuleTest, MalformedDirectoriesAreNotRegistered)
{
    std::vector<std::uint8_t> section = section_with("a");
    put32(section, 0x14, 0x80000000);  // the type entry leads back to the root
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(register_resource_module(section, k_rva), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(register_resource_module(std::vector<std::uint8_t>(15, 0), k_rva), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST(ResourceModuleTest, UnregisteringTwiceOrAnUnknownHandleFails)
{
    const HMODULE module = register_resource_module(section_with("a"), k_rva);
    ASSERT_NE(module, nullptr);
    SetLastError(1234);
    EXPECT_EQ(unregister_resource_module(module), TRUE);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(unregister_resource_module(module), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(unregister_resource_module(nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ResourceModuleTest, RegistrationEndsWithItsOwnerAndKeepsTheLastError)
{
    HMODULE module = nullptr;
    {
        t_resource_module_registration owner(register_resource_module(section_with("a"), k_rva));
        module = owner.get();
        ASSERT_TRUE(is_registered(module));
        SetLastError(4321);
    }
    EXPECT_EQ(GetLastError(), 4321u);
    EXPECT_FALSE(is_registered(module));
}

TEST(ResourceModuleTest, MovingARegistrationTransfersIt)
{
    t_resource_module_registration first(register_resource_module(section_with("a"), k_rva));
    const HMODULE module = first.get();
    t_resource_module_registration second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), module);

    t_resource_module_registration& alias = second;
    second = std::move(alias);  // self-move keeps the registration
    EXPECT_EQ(second.get(), module);
    EXPECT_TRUE(is_registered(module));

    t_resource_module_registration third(register_resource_module(section_with("b"), k_rva));
    const HMODULE replaced = third.get();
    third = std::move(second);  // ends the registration third held
    EXPECT_EQ(third.get(), module);
    EXPECT_FALSE(is_registered(replaced));

    const HMODULE released = third.release();
    EXPECT_FALSE(third);
    EXPECT_TRUE(is_registered(released));
    EXPECT_EQ(unregister_resource_module(released), TRUE);
}

TEST(ResourceModuleTest, ThreadsRegisterFindAndUnregisterAtOnce)
{
    // One module every thread reads while all of them register and drop modules of their own.
    const t_resource_module_registration shared(
        register_resource_module(section_with("shared"), k_rva));
    ASSERT_TRUE(shared);
    constexpr int k_threads = 4;
    constexpr int k_rounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < k_threads; ++thread)
        threads.emplace_back(
            [&, thread]
            {
                for (int round = 0; round < k_rounds; ++round)
                {
                    const std::string text = std::to_string(thread) + ":" + std::to_string(round);
                    const t_resource_module_registration own(
                        register_resource_module(section_with(text), k_rva));
                    for (const auto& [module, expected] :
                         {std::pair{own.get(), text},
                          std::pair{shared.get(), std::string("shared")}})
                    {
                        const HRSRC resource =
                            FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(1), 0);
                        const HGLOBAL data = resource ? LoadResource(module, resource) : nullptr;
                        if (data == nullptr ||
                            std::string(static_cast<const char*>(LockResource(data)),
                                        SizeofResource(module, resource)) != expected)
                            ++failures;
                    }
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace voka::platform
