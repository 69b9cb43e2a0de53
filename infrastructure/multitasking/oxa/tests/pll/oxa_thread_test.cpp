// oxa_thread: the outcome of its body (normal end, exception, ExitThread), the still-active
// check, the thread binding of the COM operations, COM initialised once and uninitialised at the
// thread's end (seen through the OLE32 stand-in), and destruction that waits for the body.
#include "pll/oxa_thread.h"
#include "pll_test_support.h"
#include "voka/infrastructure/os/windows/ole32/gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace
{

using namespace oxa_pll_test;
using oxa::oxa_thread;

inline constexpr wchar_t k_test_thread_name[] = L"Test Thread";

// A thread body given as a function of the thread object.
class t_body
{
public:
    explicit t_body(std::function<void(oxa_thread*)> work) : m_work(std::move(work)) {}

    void run(oxa_thread** context) { m_work(*context); }

    t_smart_object_ptr<oxa_thread> start()
    {
        return oxa_thread::create(oxa_thread::body_type::bind(this, &t_body::run),
                                  &oxa::oxa_static_string<k_test_thread_name>);
    }

private:
    std::function<void(oxa_thread*)> m_work;
};

struct t_own_error
{
    int value;
};

TEST(oxa_thread, a_body_that_returns_ends_the_thread_normally)
{
    std::atomic<DWORD> seen_id{0};
    t_body body([&](oxa_thread* thread) { seen_id = ::GetCurrentThreadId(), (void)thread; });
    const auto thread = body.start();
    EXPECT_TRUE(thread->helper__wait_thread(INFINITE));
    EXPECT_EQ(thread->thread_id(), seen_id.load());
    EXPECT_NO_THROW(thread->rethrow_thread_error());
}

TEST(oxa_thread, rethrows_the_very_exception_object_of_its_body)
{
    std::atomic<const void*> thrown{nullptr};
    t_body body(
        [&](oxa_thread*)
        {
            try
            {
                throw t_own_error{42};
            }
            catch (t_own_error& error)
            {
                thrown = &error;
                throw;
            }
        });
    const auto thread = body.start();
    ASSERT_TRUE(thread->helper__wait_thread(INFINITE));
    try
    {
        thread->rethrow_thread_error();
        ADD_FAILURE() << "nothing rethrown";
    }
    catch (const t_own_error& error)
    {
        EXPECT_EQ(error.value, 42);
        EXPECT_EQ(static_cast<const void*>(&error), thrown.load());
    }
}

TEST(oxa_thread, a_thread_ended_by_exit_thread_reports_abnormal_termination)
{
    t_body body([](oxa_thread*) { ::ExitThread(3); });
    const auto thread = body.start();
    ASSERT_TRUE(thread->helper__wait_thread(INFINITE));
    const t_raised raised = catch_raised([&] { thread->rethrow_thread_error(); });
    EXPECT_EQ(raised.message_id, 26);
    EXPECT_EQ(raised.kind, 2);
    EXPECT_EQ(static_cast<HRESULT>(raised.code), E_UNEXPECTED);
    EXPECT_EQ(raised.text, L"The work of thread [Test Thread] was abnormally terminated.");
}

TEST(oxa_thread, rethrow_on_a_running_thread_raises_still_active)
{
    t_gate release;
    t_body body([&](oxa_thread*) { release.wait(); });
    const auto thread = body.start();
    const t_raised raised = catch_raised([&] { thread->rethrow_thread_error(); });
    EXPECT_EQ(raised.message_id, 1);
    EXPECT_EQ(static_cast<HRESULT>(raised.code), E_FAIL);
    EXPECT_EQ(raised.text, L"Bug check at [oxa_thread::rethrow_thread_error] [#001]: Thread [Test "
                           L"Thread] is still active.");
    EXPECT_FALSE(thread->helper__wait_thread(0));
    release.open();
    EXPECT_TRUE(thread->helper__wait_thread(INFINITE));
}

TEST(oxa_thread, the_stop_request_sets_the_flag_and_the_event)
{
    t_body body(
        [](oxa_thread* thread)
        {
            const HANDLE stop = thread->stop_event();
            ::WaitForSingleObject(stop, INFINITE);
        });
    const auto thread = body.start();
    EXPECT_FALSE(thread->stop_requested());
    thread->request_stop();
    EXPECT_TRUE(thread->stop_requested());
    EXPECT_TRUE(thread->helper__wait_thread(INFINITE));
}

TEST(oxa_thread, destruction_waits_for_a_body_that_ignores_the_stop_request)
{
    t_gate release;
    std::atomic<bool> body_done{false};
    t_body body(
        [&](oxa_thread*)
        {
            release.wait();
            body_done = true;
        });
    auto thread = body.start();
    std::thread opener(
        [&]
        {
            ::Sleep(50);
            release.open();
        });
    thread.reset();  // blocks until the body has returned
    EXPECT_TRUE(body_done.load());
    opener.join();
}

// Whether the calling thread is in no apartment, probed without changing its count: an
// initialisation that succeeds with S_OK was the first one and is undone at once.
bool apartment_is_empty()
{
    const HRESULT result = ::VOKA_OS__CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        ::VOKA_OS__CoUninitialize();
    return result == S_OK;
}

// The apartment count of the thread is exactly 1 (and stays so).
bool apartment_count_is_one()
{
    ::VOKA_OS__CoUninitialize();
    const HRESULT result = ::VOKA_OS__CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return result == S_OK;
}

std::atomic<int> g_apartment_empty_at_exit{-1};

// Probes the apartment when its thread's storage is torn down, after the thread routine ended.
struct t_exit_probe
{
    ~t_exit_probe() { g_apartment_empty_at_exit = apartment_is_empty() ? 1 : 0; }
};

TEST(oxa_thread, initialises_com_once_and_uninitialises_it_when_the_thread_ends)
{
    g_apartment_empty_at_exit = -1;
    std::atomic<int> count_one{-1};
    t_body body(
        [&](oxa_thread* thread)
        {
            static thread_local t_exit_probe probe;
            (void)probe;
            thread->initialize_COM();
            thread->initialize_COM();
            count_one = apartment_count_is_one() ? 1 : 0;
            thread->reset_user_data();
        });
    const auto thread = body.start();
    ASSERT_TRUE(thread->helper__wait_thread(INFINITE));
    EXPECT_NO_THROW(thread->rethrow_thread_error());
    EXPECT_EQ(count_one.load(), 1);
    // The handle is signalled as the thread routine returns; its storage goes just after.
    ASSERT_TRUE(eventually([] { return g_apartment_empty_at_exit.load() != -1; }));
    EXPECT_EQ(g_apartment_empty_at_exit.load(), 1);
}

TEST(oxa_thread, com_operations_from_another_thread_raise_message_2)
{
    t_gate release;
    t_body body([&](oxa_thread*) { release.wait(); });
    const auto thread = body.start();
    const DWORD caller = ::GetCurrentThreadId();
    const std::wstring ids = L"[id: " + std::to_wstring(caller) + L"]";
    const std::wstring allowed =
        L"Allowed thread id: " + std::to_wstring(thread->thread_id()) + L".";

    const t_raised init = catch_raised([&] { thread->initialize_COM(); });
    EXPECT_EQ(init.message_id, 2);
    EXPECT_EQ(static_cast<HRESULT>(init.code), E_FAIL);
    EXPECT_EQ(init.text, L"Invalid execution thread " + ids +
                             L" of method [oxa_thread::initialize_COM] call. " + allowed);

    const t_raised reset = catch_raised([&] { thread->reset_user_data(); });
    EXPECT_EQ(reset.message_id, 2);
    EXPECT_EQ(reset.text, L"Invalid execution thread " + ids +
                              L" of method [oxa_thread::reset_user_data] call. " + allowed);
    EXPECT_TRUE(apartment_is_empty());  // nothing was initialised on this thread
    release.open();
}

TEST(oxa_thread, every_thread_object_is_one_private_block)
{
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    {
        t_body body([](oxa_thread*) {});
        const auto thread = body.start();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);
    }
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before);
}

}  // namespace
