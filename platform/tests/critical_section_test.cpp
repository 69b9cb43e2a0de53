// Critical sections: recursion, TryEnter from owner and from others, mutual exclusion under
// contention, and use as a plain member.
#include "kernel_test_support.h"

#include <vector>

using namespace kernel_test;

namespace
{

// A class that keeps a critical section as a plain member, as Windows code does.
class t_guarded_counter
{
public:
    t_guarded_counter() { InitializeCriticalSection(&m_lock); }
    ~t_guarded_counter() { DeleteCriticalSection(&m_lock); }
    t_guarded_counter(const t_guarded_counter&) = delete;
    t_guarded_counter& operator=(const t_guarded_counter&) = delete;

    void add()
    {
        EnterCriticalSection(&m_lock);
        EnterCriticalSection(&m_lock);  // recursion inside the protected region
        ++m_value;
        LeaveCriticalSection(&m_lock);
        LeaveCriticalSection(&m_lock);
    }
    long value()
    {
        EnterCriticalSection(&m_lock);
        const long result = m_value;
        LeaveCriticalSection(&m_lock);
        return result;
    }
    CRITICAL_SECTION* lock() { return &m_lock; }

private:
    CRITICAL_SECTION m_lock;
    long m_value = 0;  // guarded by m_lock
};

// TryEnterCriticalSection from another thread, as seen by that thread.
bool other_thread_can_enter(CRITICAL_SECTION* section)
{
    bool entered = false;
    t_thread other(
        [&]
        {
            entered = TryEnterCriticalSection(section) != FALSE;
            if (entered)
                LeaveCriticalSection(section);
            return 0u;
        });
    EXPECT_TRUE(other.join());
    return entered;
}

TEST(CriticalSectionTest, OwnerEntersRecursivelyAndOthersOnlyAfterTheLastLeave)
{
    t_guarded_counter counter;
    CRITICAL_SECTION* section = counter.lock();
    EXPECT_TRUE(other_thread_can_enter(section));
    EnterCriticalSection(section);
    EXPECT_TRUE(TryEnterCriticalSection(section));
    EnterCriticalSection(section);
    EXPECT_FALSE(other_thread_can_enter(section));
    LeaveCriticalSection(section);
    LeaveCriticalSection(section);
    EXPECT_FALSE(other_thread_can_enter(section));
    LeaveCriticalSection(section);
    EXPECT_TRUE(other_thread_can_enter(section));
}

TEST(CriticalSectionTest, ContendersSleepUntilTheOwnerLeaves)
{
    t_guarded_counter counter;
    CRITICAL_SECTION* section = counter.lock();
    const t_handle held = make_event(true, false);
    const t_handle release = make_event(true, false);
    t_counter entered;
    t_thread owner(
        [&]
        {
            EnterCriticalSection(section);
            SetEvent(held.get());
            WaitForSingleObject(release.get(), k_bound_ms);
            LeaveCriticalSection(section);
            return 0u;
        });
    ASSERT_EQ(WaitForSingleObject(held.get(), k_bound_ms), WAIT_OBJECT_0);
    std::vector<std::unique_ptr<t_thread>> contenders;
    for (int i = 0; i < 3; ++i)
        contenders.push_back(std::make_unique<t_thread>(
            [&]
            {
                counter.add();
                entered.add();
                return 0u;
            }));
    EXPECT_FALSE(TryEnterCriticalSection(section));
    EXPECT_EQ(entered.value(), 0);
    ASSERT_TRUE(SetEvent(release.get()));
    ASSERT_TRUE(entered.wait_for_at_least(3));
    contenders.clear();
    EXPECT_EQ(counter.value(), 3);
}

TEST(CriticalSectionTest, ExcludesConcurrentWriters)
{
    constexpr int k_threads = 6;
    constexpr int k_rounds = 20000;
    t_guarded_counter counter;
    {
        std::vector<std::unique_ptr<t_thread>> threads;
        for (int i = 0; i < k_threads; ++i)
            threads.push_back(std::make_unique<t_thread>(
                [&]
                {
                    for (int round = 0; round < k_rounds; ++round)
                        counter.add();
                    return 0u;
                }));
    }
    EXPECT_EQ(counter.value(), static_cast<long>(k_threads) * k_rounds);
}

TEST(CriticalSectionTest, CanBeInitializedAgainAfterDelete)
{
    CRITICAL_SECTION section;
    for (int round = 0; round < 2; ++round)
    {
        InitializeCriticalSection(&section);
        EnterCriticalSection(&section);
        EXPECT_FALSE(other_thread_can_enter(&section));
        LeaveCriticalSection(&section);
        EXPECT_TRUE(other_thread_can_enter(&section));
        DeleteCriticalSection(&section);
    }
}

}  // namespace
