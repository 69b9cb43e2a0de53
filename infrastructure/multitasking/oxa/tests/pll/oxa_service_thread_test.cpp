// t_service_thread: start on demand, a restart request while the body runs, a new thread after
// the body returned, the rethrow of a failed run, and destruction that waits for the body.
#include "pll/oxa_service_thread.h"
#include "pll_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace
{

using namespace oxa_pll_test;
using oxa::t_service_thread;

inline constexpr wchar_t k_service_name[] = L"Test Service Thread";

struct t_service_error
{
};

// A service body whose passes the test steps through: each pass waits for `proceed`.
class t_stepped_body
{
public:
    void body(t_service_thread::t_context* context)
    {
        thread_ids[passes.load() % 8] = ::GetCurrentThreadId();
        passes.fetch_add(1);
        entered.open();
        ::WaitForSingleObject(proceed.handle(), 30000);
        (void)context;
        if (fail_next.exchange(false))
            throw t_service_error{};
    }

    t_service_thread::body_type binding()
    {
        return t_service_thread::body_type::bind(this, &t_stepped_body::body);
    }

    std::atomic<int> passes{0};
    std::atomic<DWORD> thread_ids[8] = {};
    std::atomic<bool> fail_next{false};
    t_gate entered;
    t_gate proceed;
};

TEST(t_service_thread, a_request_while_the_body_runs_runs_it_once_more_on_the_same_thread)
{
    t_stepped_body body;
    t_service_thread service(body.binding(), &oxa::oxa_static_string<k_service_name>);
    EXPECT_TRUE(service.ensure_started());
    ASSERT_TRUE(body.entered.wait());
    EXPECT_FALSE(service.ensure_started());  // restart requested
    body.proceed.open();
    ASSERT_TRUE(eventually([&] { return service.live_thread_id() == 0; }));
    EXPECT_EQ(body.passes.load(), 2);
    EXPECT_EQ(body.thread_ids[0].load(), body.thread_ids[1].load());
}

TEST(t_service_thread, after_the_body_returned_a_new_thread_starts)
{
    t_stepped_body body;
    body.proceed.open();
    t_service_thread service(body.binding(), &oxa::oxa_static_string<k_service_name>);
    EXPECT_TRUE(service.ensure_started());
    ASSERT_TRUE(eventually([&] { return service.live_thread_id() == 0; }));
    EXPECT_EQ(body.passes.load(), 1);
    EXPECT_TRUE(service.ensure_started());
    ASSERT_TRUE(eventually([&] { return body.passes.load() == 2; }));
}

TEST(t_service_thread, a_failed_run_is_rethrown_once_and_the_next_call_starts_again)
{
    t_stepped_body body;
    body.fail_next = true;
    body.proceed.open();
    t_service_thread service(body.binding(), &oxa::oxa_static_string<k_service_name>);
    EXPECT_TRUE(service.ensure_started());
    ASSERT_TRUE(eventually([&] { return service.live_thread_id() == 0; }));
    EXPECT_THROW(service.ensure_started(), t_service_error);
    EXPECT_EQ(body.passes.load(), 1);  // the rethrow started nothing
    EXPECT_TRUE(service.ensure_started());
    ASSERT_TRUE(eventually([&] { return body.passes.load() == 2; }));
}

TEST(t_service_thread, a_stop_ends_the_loop_without_calling_the_body_again)
{
    t_stepped_body body;
    auto service =
        std::make_unique<t_service_thread>(body.binding(), &oxa::oxa_static_string<k_service_name>);
    EXPECT_TRUE(service->ensure_started());
    ASSERT_TRUE(body.entered.wait());
    EXPECT_FALSE(service->ensure_started());  // a pending restart ...
    std::thread opener(
        [&]
        {
            ::Sleep(50);
            body.proceed.open();
        });
    service.reset();  // ... is not run after the stop; the destruction waits for the body
    EXPECT_EQ(body.passes.load(), 1);
    opener.join();
}

}  // namespace
