// CoInitialize, CoInitializeEx, CoUninitialize, OleInitialize and OleUninitialize: the
// per-thread apartment and its count. Each case runs on a fresh thread, which starts outside
// any apartment.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

namespace
{

using ole32_test::run_on_other_thread;

constexpr CLSID k_some_class{
    0x1D9B2E40, 0x7C55, 0x4A0B, {0x8F, 0x17, 0x2A, 0x6C, 0x90, 0x3E, 0x51, 0xB4}};

// Whether the calling thread is in an apartment, as a function that needs one tells it.
bool is_in_apartment()
{
    void* object = nullptr;
    const HRESULT result =
        CoCreateInstance(k_some_class, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object);
    EXPECT_EQ(object, nullptr);
    return result != CO_E_NOTINITIALIZED;
}

struct t_model_case
{
    const char* name;
    DWORD co_init;
    DWORD other_model;
};

const t_model_case k_model_cases[] = {
    {"multithreaded", COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED},
    {"apartment-threaded", COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED},
    {"apartment-threaded without OLE1 DDE", COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE,
     COINIT_MULTITHREADED},
    {"multithreaded, speed over memory", COINIT_MULTITHREADED | COINIT_SPEED_OVER_MEMORY,
     COINIT_APARTMENTTHREADED},
};

TEST(ApartmentTest, FirstInitializationIsSOkLaterOnesSFalse)
{
    for (const auto& model : k_model_cases)
    {
        SCOPED_TRACE(model.name);
        run_on_other_thread(
            [&]
            {
                EXPECT_FALSE(is_in_apartment());
                EXPECT_EQ(CoInitializeEx(nullptr, model.co_init), S_OK);
                EXPECT_TRUE(is_in_apartment());
                EXPECT_EQ(CoInitializeEx(nullptr, model.co_init), S_FALSE);
                EXPECT_EQ(CoInitializeEx(nullptr, model.co_init), S_FALSE);
                CoUninitialize();
                CoUninitialize();
                EXPECT_TRUE(is_in_apartment());
                CoUninitialize();
                EXPECT_FALSE(is_in_apartment());
                // Out of the apartment, the thread starts again from the beginning.
                EXPECT_EQ(CoInitializeEx(nullptr, model.co_init), S_OK);
                CoUninitialize();
            });
    }
}

TEST(ApartmentTest, OtherModelIsChangedModeAndCountsNothing)
{
    for (const auto& model : k_model_cases)
    {
        SCOPED_TRACE(model.name);
        run_on_other_thread(
            [&]
            {
                ASSERT_EQ(CoInitializeEx(nullptr, model.co_init), S_OK);
                EXPECT_EQ(CoInitializeEx(nullptr, model.other_model), RPC_E_CHANGED_MODE);
                EXPECT_EQ(CoInitializeEx(nullptr, model.other_model), RPC_E_CHANGED_MODE);
                // One CoUninitialize balances the one successful initialisation.
                CoUninitialize();
                EXPECT_FALSE(is_in_apartment());
                // Now the other model may be joined.
                EXPECT_EQ(CoInitializeEx(nullptr, model.other_model), S_OK);
                CoUninitialize();
            });
    }
}

TEST(ApartmentTest, CoInitializeIsApartmentThreaded)
{
    run_on_other_thread(
        []
        {
            EXPECT_EQ(CoInitialize(nullptr), S_OK);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
            EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
            CoUninitialize();
            CoUninitialize();
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
        });
}

TEST(ApartmentTest, UninitializeWithoutInitializationDoesNothing)
{
    run_on_other_thread(
        []
        {
            CoUninitialize();
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
            CoUninitialize();  // one too many: still nothing
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            CoUninitialize();
        });
}

TEST(ApartmentTest, BadArgumentsAreInvalidArgAndCountNothing)
{
    int reserved = 0;
    struct t_case
    {
        const char* name;
        void* reserved;
        DWORD co_init;
    };
    const t_case cases[] = {
        {"reserved pointer", &reserved, COINIT_MULTITHREADED},
        {"unknown flag 0x1", nullptr, 0x1},
        {"unknown flag 0x10", nullptr, COINIT_APARTMENTTHREADED | 0x10},
        {"high bit", nullptr, 0x80000000u},
    };
    for (const auto& bad : cases)
    {
        SCOPED_TRACE(bad.name);
        run_on_other_thread(
            [&]
            {
                EXPECT_EQ(CoInitializeEx(bad.reserved, bad.co_init), E_INVALIDARG);
                EXPECT_FALSE(is_in_apartment());
            });
    }
    run_on_other_thread(
        [&]
        {
            EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
            EXPECT_EQ(OleInitialize(&reserved), E_INVALIDARG);
            EXPECT_FALSE(is_in_apartment());
        });
}

TEST(ApartmentTest, EachThreadHasItsOwnApartmentAndCount)
{
    run_on_other_thread(
        []
        {
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            std::latch other_done(1);
            std::thread other(
                [&]
                {
                    // Another thread is outside any apartment and may choose its own model.
                    EXPECT_FALSE(is_in_apartment());
                    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
                    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
                    CoUninitialize();
                    CoUninitialize();
                    other_done.count_down();
                });
            other_done.wait();
            other.join();
            // This thread's apartment and count are untouched.
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
            CoUninitialize();
            EXPECT_TRUE(is_in_apartment());
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
        });
}

TEST(ApartmentTest, ManyThreadsJoinTheMultithreadedApartmentWithSOk)
{
    constexpr int k_threads = 8;
    std::latch all_in(k_threads);
    std::thread threads[k_threads];
    for (auto& thread : threads)
        thread = std::thread(
            [&]
            {
                EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
                all_in.arrive_and_wait();  // every thread is in the apartment at once
                CoUninitialize();
            });
    for (auto& thread : threads)
        thread.join();
}

TEST(ApartmentTest, OleInitializeCountsOnTopOfTheApartment)
{
    run_on_other_thread(
        []
        {
            EXPECT_EQ(OleInitialize(nullptr), S_OK);
            EXPECT_TRUE(is_in_apartment());
            EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
            OleUninitialize();
            EXPECT_TRUE(is_in_apartment());
            OleUninitialize();
            EXPECT_FALSE(is_in_apartment());
        });
}

TEST(ApartmentTest, OleInitializeJoinsAnExistingSingleThreadedApartment)
{
    run_on_other_thread(
        []
        {
            ASSERT_EQ(CoInitialize(nullptr), S_OK);
            EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
            OleUninitialize();
            EXPECT_TRUE(is_in_apartment());
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
        });
}

TEST(ApartmentTest, OleInitializeInTheMultithreadedApartmentIsChangedMode)
{
    run_on_other_thread(
        []
        {
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            EXPECT_EQ(OleInitialize(nullptr), RPC_E_CHANGED_MODE);
            // Nothing was counted: OleUninitialize must not take the thread out of its apartment.
            OleUninitialize();
            EXPECT_TRUE(is_in_apartment());
            CoUninitialize();
            EXPECT_FALSE(is_in_apartment());
        });
}

}  // namespace
