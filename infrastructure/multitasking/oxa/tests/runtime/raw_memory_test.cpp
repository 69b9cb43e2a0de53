// The private memory's live-block counter, the trace line and the leak line.
#include "runtime/oxa_module.h"
#include "runtime/oxa_raw_memory.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/platform/debug_output_capture.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::make_smart;
using voka::infrastructure::core::structure::t_smart_interface;

TEST(OxaRawMemoryTest, CountsEveryLiveBlockOnce)
{
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    void* const first = oxa::oxa_raw_memory::allocate(16);
    void* const second = oxa::oxa_raw_memory::allocate(0);
    EXPECT_NE(first, second);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 2);
    oxa::oxa_raw_memory::deallocate(first);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);
    oxa::oxa_raw_memory::deallocate(nullptr);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);
    oxa::oxa_raw_memory::deallocate(second);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before);
}

TEST(OxaRawMemoryTest, AFailedAllocationThrowsAndCountsNothing)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers end the process on an impossible allocation";
#else
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    EXPECT_THROW(oxa::oxa_raw_memory::allocate(static_cast<std::size_t>(-1) / 2), std::bad_alloc);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before);
#endif
}

class t_counted
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<t_smart_interface,
                                                                         oxa::oxa_allocator>
{
};

TEST(OxaRawMemoryTest, CountedObjectsOfTheLibraryTakeOneBlockUntilTheirLastRelease)
{
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    {
        auto object = make_smart<t_counted>();
        auto second_reference = object;
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);
        object.reset();
        EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);
    }
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before);
}

TEST(OxaTraceTest, WritesThePrefixedLine)
{
    const voka::platform::t_debug_output_capture capture;
    oxa::oxa_trace(L"abc");
    oxa::oxa_trace(L"");
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"OXA_MT: abc\n", "OXA_MT: \n"}));
}

// The module stopped, so that no block of its own is alive; started again afterwards.
class OxaLeakReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_module = oxa::oxa_module_handle();
        oxa::oxa_module_stop();
        ASSERT_EQ(oxa::oxa_raw_memory::live_blocks(), 0);
    }
    void TearDown() override { EXPECT_TRUE(oxa::oxa_module_start(m_module)); }

private:
    HINSTANCE m_module = nullptr;
};

TEST_F(OxaLeakReportTest, WritesNothingWhenNoBlockIsAlive)
{
    const voka::platform::t_debug_output_capture capture;
    oxa::oxa_report_leaks();
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(OxaLeakReportTest, WritesTheCountOfLiveBlocks)
{
    std::vector<void*> blocks;
    for (int i = 0; i < 3; ++i)
        blocks.push_back(oxa::oxa_raw_memory::allocate(8));
    const voka::platform::t_debug_output_capture capture;
    oxa::oxa_report_leaks();
    oxa::oxa_module_stop();  // the stop reports what is still alive
    blocks.push_back(oxa::oxa_raw_memory::allocate(8));
    oxa::oxa_report_leaks();
    for (void* block : blocks)
        oxa::oxa_raw_memory::deallocate(block);
    oxa::oxa_report_leaks();
    const std::string three = "[voka.infrastructure.multitasking.oxa] Memory leaks: 3 block(s).\n";
    EXPECT_EQ(
        capture.texts(),
        (std::vector<std::string>{
            three, three, "[voka.infrastructure.multitasking.oxa] Memory leaks: 4 block(s).\n"}));
}

}  // namespace
