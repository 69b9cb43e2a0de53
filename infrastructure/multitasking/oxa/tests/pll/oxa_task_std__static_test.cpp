// The static task and the bound callable: name copy with truncation, execute through the bound
// member function, on_cancel only when a cancel callable is set.
#include "voka/infrastructure/multitasking/oxa/oxa_task_std__static.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace voka::infrastructure::multitasking::oxa;

struct t_owner
{
    std::uint32_t run(oxa_task_signals* signals)
    {
        seen_signals = signals;
        ++runs;
        return 0x12;
    }
    void cancel() { ++cancels; }

    oxa_task_signals* seen_signals = nullptr;
    int runs = 0;
    int cancels = 0;
};

TEST(oxa_task_std__static, execute_calls_the_bound_member_with_the_signals)
{
    t_owner owner;
    oxa_task_std__static task(L"Resource Task",
                              oxa_task_std__static::execute_callable::bind(&owner, &t_owner::run));
    auto* const signals = reinterpret_cast<oxa_task_signals*>(&owner);  // only compared
    EXPECT_EQ(task.execute(signals), 0x12u);
    EXPECT_EQ(owner.runs, 1);
    EXPECT_EQ(owner.seen_signals, signals);
    EXPECT_EQ(std::wstring(task.get_name()), L"Resource Task");
}

TEST(oxa_task_std__static, keeps_the_first_63_characters_of_a_long_name)
{
    t_owner owner;
    const std::wstring name(70, L'x');
    oxa_task_std__static task(name.c_str(),
                              oxa_task_std__static::execute_callable::bind(&owner, &t_owner::run));
    EXPECT_EQ(std::wstring(task.get_name()), std::wstring(63, L'x'));
}

TEST(oxa_task_std__static, on_cancel_without_a_cancel_callable_does_nothing)
{
    t_owner owner;
    oxa_task_std__static task(L"t",
                              oxa_task_std__static::execute_callable::bind(&owner, &t_owner::run));
    task.on_cancel();
    EXPECT_EQ(owner.cancels, 0);
    EXPECT_EQ(owner.runs, 0);
}

TEST(oxa_task_std__static, on_cancel_calls_a_set_cancel_callable)
{
    t_owner owner;
    oxa_task_std__static task(
        L"t", oxa_task_std__static::execute_callable::bind(&owner, &t_owner::run),
        oxa_task_std__static::cancel_callable::bind(&owner, &t_owner::cancel));
    task.on_cancel();
    task.on_cancel();
    EXPECT_EQ(owner.cancels, 2);
}

TEST(oxa_task_std__static, counting_changes_nothing)
{
    t_owner owner;
    oxa_task_std__static task(L"t",
                              oxa_task_std__static::execute_callable::bind(&owner, &t_owner::run));
    task.add_ref();
    task.release();
    task.release();  // never frees: the owner's lifetime governs the task
    EXPECT_EQ(task.execute(nullptr), 0x12u);
}

TEST(oxa_bound_callable, an_empty_callable_is_not_set)
{
    EXPECT_FALSE(oxa_bound_callable<void()>().is_set());
    t_owner owner;
    EXPECT_TRUE(oxa_bound_callable<void()>::bind(&owner, &t_owner::cancel).is_set());
}

}  // namespace
