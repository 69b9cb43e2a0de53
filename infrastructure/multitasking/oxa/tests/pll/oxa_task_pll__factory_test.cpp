// The exported factories: distinct manager objects on one shared data object, private managers
// with their own workers, and the shared data dropped with the last manager of any kind.
#include "pll_test_support.h"
#include "runtime/oxa_module.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"

#include <gtest/gtest.h>

namespace
{

using namespace oxa_pll_test;
using oxa::oxa_task_pll__factory;

// The thread that runs an empty task submitted to `manager`.
DWORD thread_of_next_task(const oxa_task_pll__factory::manager_ptr& manager)
{
    const auto task = make_returning(0);
    const auto controller = manager->add_task(task.get(), 0);
    EXPECT_TRUE(controller->wait(INFINITE));
    return task->last_thread.load();
}

const void* shared_data()
{
    return oxa::oxa_registry()->shared_data.get();
}

class pll_factory : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(oxa::oxa_registry(), nullptr);
        ASSERT_EQ(shared_data(), nullptr) << "a manager of another test is still alive";
    }
    void TearDown() override
    {
        EXPECT_EQ(shared_data(), nullptr);
        EXPECT_EQ(oxa::oxa_registry()->live_managers.load(), 0);
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);
    }

    std::int32_t m_blocks_at_start = oxa::oxa_raw_memory::live_blocks();
};

TEST_F(pll_factory, shared_managers_are_distinct_objects_on_one_worker_pool)
{
    const auto first = oxa_task_pll__factory::get_manager();
    const auto second = oxa_task_pll__factory::get_manager();
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(oxa::oxa_registry()->live_managers.load(), 2);
    const DWORD worker = thread_of_next_task(first);
    EXPECT_EQ(thread_of_next_task(second), worker);
}

TEST_F(pll_factory, a_private_manager_never_shares_workers)
{
    const auto shared = oxa_task_pll__factory::get_manager();
    const auto own = oxa_task_pll__factory::create_manager();
    const DWORD shared_worker = thread_of_next_task(shared);
    const DWORD own_worker = thread_of_next_task(own);
    EXPECT_NE(own_worker, shared_worker);
    EXPECT_EQ(thread_of_next_task(shared), shared_worker);
    EXPECT_EQ(thread_of_next_task(own), own_worker);
}

TEST_F(pll_factory, a_live_private_manager_keeps_the_shared_data)
{
    auto own = oxa_task_pll__factory::create_manager();
    auto shared = oxa_task_pll__factory::get_manager();
    const void* const data = shared_data();
    const DWORD worker = thread_of_next_task(shared);
    shared.reset();
    EXPECT_EQ(shared_data(), data);
    shared = oxa_task_pll__factory::get_manager();
    EXPECT_EQ(shared_data(), data);
    EXPECT_EQ(thread_of_next_task(shared), worker);  // the same idle worker
    shared.reset();
    own.reset();  // the last manager of any kind drops the shared data
    EXPECT_EQ(shared_data(), nullptr);
}

TEST_F(pll_factory, the_last_manager_drops_the_shared_data_and_the_next_call_makes_a_new_one)
{
    auto shared = oxa_task_pll__factory::get_manager();
    thread_of_next_task(shared);
    const std::int32_t with_data = oxa::oxa_raw_memory::live_blocks();
    EXPECT_GT(with_data, m_blocks_at_start);
    shared.reset();
    EXPECT_EQ(shared_data(), nullptr);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start);  // threads joined, all freed

    shared = oxa_task_pll__factory::get_manager();
    EXPECT_NE(shared_data(), nullptr);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start + 2);  // manager and data only
    shared.reset();
}

TEST_F(pll_factory, private_managers_leave_nothing_behind)
{
    auto own = oxa_task_pll__factory::create_manager();
    EXPECT_EQ(shared_data(), nullptr);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), m_blocks_at_start + 2);
    thread_of_next_task(own);
    own.reset();
}

}  // namespace
