// The module start and stop of the program that holds the library: the registry, the bound
// identifier and the library's VOKA_OS__GetComApiID.
#include "runtime/gate_check.h"
#include "runtime/oxa_module.h"
#include "runtime/oxa_raw_memory.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/platform/debug_output_capture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;

GUID gate_api_id()
{
    const HMODULE gate = ::GetModuleHandleW(L"" VOKA_TEST_GATE_FILE_NAME);
    EXPECT_NE(gate, nullptr);
    const auto get_id =
        reinterpret_cast<BOOL (*)(GUID*)>(::GetProcAddress(gate, "VOKA_OS__GetComApiID"));
    EXPECT_NE(get_id, nullptr);
    GUID id = GUID_NULL;
    if (get_id != nullptr)
    {
        EXPECT_TRUE(get_id(&id));
    }
    return id;
}

bool same(const GUID& left, const GUID& right)
{
    return std::memcmp(&left, &right, sizeof(GUID)) == 0;
}

TEST(OxaModuleTest, TheStartHasRunAtLoadAndBoundTheGate)
{
    ASSERT_NE(oxa::oxa_module_handle(), nullptr);
    oxa::oxa_manager_registry* const registry = oxa::oxa_registry();
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->live_managers.load(), 0);
    EXPECT_FALSE(registry->shared_data);
    EXPECT_TRUE(same(registry->api_id, gate_api_id()));
    EXPECT_FALSE(same(registry->api_id, GUID_NULL));
}

TEST(OxaModuleTest, GetComApiIdAnswersTheBoundIdentifier)
{
    EXPECT_FALSE(VOKA_OS__GetComApiID(nullptr));
    GUID id = GUID_NULL;
    EXPECT_TRUE(VOKA_OS__GetComApiID(&id));
    EXPECT_TRUE(same(id, gate_api_id()));
}

class t_counted : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
                      voka::infrastructure::core::structure::t_smart_interface, oxa::oxa_allocator>
{
};

TEST(OxaModuleTest, StopFreesTheRegistryAndReleasesTheSharedData)
{
    const HINSTANCE module = oxa::oxa_module_handle();
    const std::int32_t before = oxa::oxa_raw_memory::live_blocks();
    ASSERT_NE(oxa::oxa_registry(), nullptr);
    oxa::oxa_registry()->shared_data =
        voka::infrastructure::core::structure::make_smart<t_counted>().get();
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before + 1);

    const voka::platform::t_debug_output_capture capture;
    oxa::oxa_module_stop();
    EXPECT_EQ(oxa::oxa_registry(), nullptr);
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before - 1) << "registry and shared data freed";
    GUID id{};
    EXPECT_TRUE(VOKA_OS__GetComApiID(&id));
    EXPECT_TRUE(same(id, GUID_NULL));
    oxa::oxa_module_stop();  // a second stop finds nothing to free
    EXPECT_EQ(capture.count(), 0u);

    ASSERT_TRUE(oxa::oxa_module_start(module));
    EXPECT_EQ(oxa::oxa_raw_memory::live_blocks(), before);
    EXPECT_TRUE(VOKA_OS__GetComApiID(&id));
    EXPECT_TRUE(same(id, gate_api_id()));
    EXPECT_EQ(capture.count(), 0u);
}

TEST(OxaModuleTest, AStartThatCannotDisableThreadCallsFailsAndStops)
{
    const HINSTANCE module = oxa::oxa_module_handle();
    oxa::oxa_module_stop();
    const voka::platform::t_debug_output_capture capture;
    int not_a_module = 0;
    EXPECT_FALSE(oxa::oxa_module_start(reinterpret_cast<HINSTANCE>(&not_a_module)));
    EXPECT_EQ(oxa::oxa_registry(), nullptr);
    EXPECT_EQ(capture.count(), 0u);
    ASSERT_TRUE(oxa::oxa_module_start(module));
}

}  // namespace
