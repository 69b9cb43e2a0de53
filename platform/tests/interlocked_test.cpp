// Interlocked operations: the value each returns, 64-bit widths, and atomicity across threads.
#include "kernel_test_support.h"

#include <vector>

using namespace kernel_test;

namespace
{

TEST(InterlockedTest, ThirtyTwoBitOperationsReturnWhatWindowsReturns)
{
    volatile LONG value = 10;
    EXPECT_EQ(InterlockedIncrement(&value), 11);
    EXPECT_EQ(InterlockedDecrement(&value), 10);
    EXPECT_EQ(InterlockedExchange(&value, -5), 10);
    EXPECT_EQ(value, -5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 7), -5);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 3), 2);  // no match: unchanged
    EXPECT_EQ(value, 2);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 2), 2);  // match: replaced
    EXPECT_EQ(value, 9);
    value = 0x7FFFFFFF;
    EXPECT_EQ(InterlockedIncrement(&value), static_cast<LONG>(0x80000000u));  // wraps
}

TEST(InterlockedTest, SixtyFourBitOperationsUseTheWholeWidth)
{
    const LONG64 big = 0x1'0000'0000LL;
    volatile LONG64 value = big - 1;
    EXPECT_EQ(InterlockedIncrement64(&value), big);
    EXPECT_EQ(InterlockedDecrement64(&value), big - 1);
    EXPECT_EQ(InterlockedExchange64(&value, 3 * big), big - 1);
    EXPECT_EQ(InterlockedExchangeAdd64(&value, big), 3 * big);
    EXPECT_EQ(value, 4 * big);
    const struct
    {
        LONG64 comparand;
        LONG64 expected_after;
    } cases[] = {{4 * big + 1, 4 * big}, {4, 4 * big}, {4 * big, -1}};
    for (const auto& c : cases)
    {
        const LONG64 before = value;
        EXPECT_EQ(InterlockedCompareExchange64(&value, -1, c.comparand), before);
        EXPECT_EQ(value, c.expected_after);
    }
}

TEST(InterlockedTest, ConcurrentUpdatesAreNeverLost)
{
    constexpr int k_threads = 4;
    constexpr int k_rounds = 50000;
    volatile LONG counter = 0;
    volatile LONG64 wide = 0;
    volatile LONG64 by_compare_exchange = 0;
    {
        std::vector<std::unique_ptr<t_thread>> threads;
        for (int i = 0; i < k_threads; ++i)
            threads.push_back(std::make_unique<t_thread>(
                [&, i]
                {
                    for (int round = 0; round < k_rounds; ++round)
                    {
                        if (i % 2 == 0)
                            InterlockedIncrement(&counter);
                        else
                            InterlockedExchangeAdd(&counter, 1);
                        InterlockedExchangeAdd64(&wide, 1LL << 33);
                        LONG64 seen = 0;  // a guess: the exchange reports the real value
                        for (;;)
                        {
                            const LONG64 found =
                                InterlockedCompareExchange64(&by_compare_exchange, seen + 1, seen);
                            if (found == seen)
                                break;
                            seen = found;
                        }
                    }
                    return 0u;
                }));
    }
    EXPECT_EQ(counter, k_threads * k_rounds);
    EXPECT_EQ(wide, static_cast<LONG64>(k_threads) * k_rounds * (1LL << 33));
    EXPECT_EQ(by_compare_exchange, static_cast<LONG64>(k_threads) * k_rounds);
}

}  // namespace
