// COM on worker threads, seen through the OLE32 stand-in: initialised once per worker however
// often a task asks, the error object cleared after every task, uninitialised when the worker's
// thread ends, and refused to threads other than the worker.
#include "pll_test_support.h"
#include "voka/infrastructure/os/windows/ole32/gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

using namespace oxa_pll_test;

// True when the calling thread is in no apartment; leaves its count as it was.
bool apartment_is_empty()
{
    const HRESULT result = ::VOKA_OS__CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        ::VOKA_OS__CoUninitialize();
    return result == S_OK;
}

// True when the calling thread's apartment count is exactly 1; leaves it at 1.
bool apartment_count_is_one()
{
    ::VOKA_OS__CoUninitialize();
    return ::VOKA_OS__CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK;
}

std::atomic<int> g_workers_ended_in_apartment{0};
std::atomic<int> g_workers_probed{0};

// Probes the worker's apartment when its thread's storage goes, after the thread routine ended.
struct t_exit_probe
{
    ~t_exit_probe()
    {
        g_workers_probed.fetch_add(1);
        if (!apartment_is_empty())
            g_workers_ended_in_apartment.fetch_add(1);
    }
};

TEST(pll_com, initialised_once_per_worker_and_uninitialised_at_its_end)
{
    g_workers_probed = 0;
    g_workers_ended_in_apartment = 0;
    auto manager = make_manager(k_long_settings);
    std::atomic<int> count_was_one{0};
    std::atomic<int> first_task_found_empty{0};
    const auto task = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            static thread_local t_exit_probe probe;
            (void)probe;
            signals->initialize_COM();
            signals->initialize_COM();
            if (apartment_count_is_one())
                count_was_one.fetch_add(1);
            return 0u;
        });
    const auto plain = make_task(
        [&](oxa::oxa_task_signals*)
        {
            if (apartment_is_empty())
                first_task_found_empty.fetch_add(1);
            return 0u;
        });
    {
        const auto before = manager->add_task(plain.get(), 0);  // a new worker has no COM yet
        ASSERT_TRUE(before->wait(INFINITE));
    }
    for (int round = 0; round < 3; ++round)  // the same worker each time: still one apartment
    {
        const auto controller = manager->add_task(task.get(), 0);
        ASSERT_TRUE(controller->wait(INFINITE));
        EXPECT_NO_THROW(controller->rethrow_task_error());
    }
    EXPECT_EQ(first_task_found_empty.load(), 1);
    EXPECT_EQ(count_was_one.load(), 3);
    EXPECT_EQ(g_workers_probed.load(), 0);
    manager.reset();  // joins the worker; its thread storage goes just after
    ASSERT_TRUE(eventually([] { return g_workers_probed.load() == 1; }));
    EXPECT_EQ(g_workers_ended_in_apartment.load(), 0);
}

TEST(pll_com, the_error_object_is_cleared_after_every_task)
{
    auto manager = make_manager(k_long_settings);
    std::atomic<HRESULT> set_result{E_FAIL};
    std::atomic<HRESULT> get_result{E_FAIL};
    std::atomic<bool> found_object{true};
    const auto leaves_error = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            signals->initialize_COM();
            ICreateErrorInfo* create = nullptr;
            if (SUCCEEDED(::VOKA_OS__CreateErrorInfo(&create)))
            {
                IErrorInfo* info = nullptr;
                create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
                set_result = ::VOKA_OS__SetErrorInfo(0, info);
                info->Release();
                create->Release();
            }
            return 0u;
        });
    const auto reads_error = make_task(
        [&](oxa::oxa_task_signals*)
        {
            IErrorInfo* info = nullptr;
            get_result = ::VOKA_OS__GetErrorInfo(0, &info);
            found_object = info != nullptr;
            if (info != nullptr)
                info->Release();
            return 0u;
        });
    const auto first = manager->add_task(leaves_error.get(), 0);
    ASSERT_TRUE(first->wait(INFINITE));
    const auto second = manager->add_task(reads_error.get(), 0);
    ASSERT_TRUE(second->wait(INFINITE));
    ASSERT_EQ(reads_error->last_thread.load(), leaves_error->last_thread.load());
    EXPECT_EQ(set_result.load(), S_OK);
    EXPECT_EQ(get_result.load(), S_FALSE);
    EXPECT_FALSE(found_object.load());
}

TEST(pll_com, initialize_com_from_a_thread_the_task_started_raises_message_2)
{
    auto manager = make_manager(k_long_settings);
    t_raised raised;
    DWORD foreign_id = 0;
    const auto task = make_task(
        [&](oxa::oxa_task_signals* signals)
        {
            std::thread foreign(
                [&]
                {
                    foreign_id = ::GetCurrentThreadId();
                    raised = catch_raised([&] { signals->initialize_COM(); });
                });
            foreign.join();
            return 0u;
        });
    const auto controller = manager->add_task(task.get(), 0);
    ASSERT_TRUE(controller->wait(INFINITE));
    EXPECT_EQ(raised.message_id, 2);
    EXPECT_EQ(raised.kind, 2);
    EXPECT_EQ(static_cast<HRESULT>(raised.code), E_FAIL);
    EXPECT_EQ(raised.text,
              L"Invalid execution thread [id: " + std::to_wstring(foreign_id) +
                  L"] of method [oxa_thread::initialize_COM] call. Allowed thread id: " +
                  std::to_wstring(task->last_thread.load()) + L".");
}

}  // namespace
