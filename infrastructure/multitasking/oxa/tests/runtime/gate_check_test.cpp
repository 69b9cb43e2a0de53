// The gate check over lists of modules: every failure's traced line, and the identifier bound.
#include "runtime/gate_check.h"
#include "voka/platform/debug_output_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;

const wchar_t* const k_gate = L"" VOKA_TEST_GATE_FILE_NAME;
const wchar_t* const k_other_api_gate = L"liboxa_test_gate_other_api.so";
const GUID k_marker{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

// The stand-in gate that answers {0123ABCD-4567-89EF-0011-2233445566FF}, loaded for the test.
class OxaGateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_other = ::LoadLibraryW(L"" VOKA_TEST_OTHER_API_GATE);
        ASSERT_NE(m_other, nullptr) << ::GetLastError();
    }
    void TearDown() override { ::FreeLibrary(m_other); }

    static bool check(std::vector<const wchar_t*> names, GUID& bound)
    {
        return oxa::oxa_check_gates(names, bound);
    }

private:
    HMODULE m_other = nullptr;
};

TEST_F(OxaGateCheckTest, TheLibraryChecksTheOneGateByItsFileName)
{
    const auto names = oxa::oxa_gate_module_names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_STREQ(names[0], k_gate);
}

TEST_F(OxaGateCheckTest, BindsTheFirstGatesIdentifierWhenAllAgree)
{
    GUID bound = k_marker;
    const voka::platform::t_debug_output_capture capture;
    EXPECT_TRUE(check({k_other_api_gate, k_other_api_gate}, bound));
    const GUID expected{
        0x0123ABCD, 0x4567, 0x89EF, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF}};
    EXPECT_EQ(std::memcmp(&bound, &expected, sizeof(GUID)), 0);
    EXPECT_EQ(capture.count(), 0u);
}

struct t_failure_case
{
    const char* name;
    std::vector<const wchar_t*> modules;
    std::string line;
};

class OxaGateCheckFailureTest : public OxaGateCheckTest,
                                public ::testing::WithParamInterface<t_failure_case>
{
};

TEST_P(OxaGateCheckFailureTest, TracesTheFailureAndBindsNothing)
{
    const t_failure_case& c = GetParam();
    GUID bound = k_marker;
    const voka::platform::t_debug_output_capture capture;
    EXPECT_FALSE(check(c.modules, bound));
    EXPECT_EQ(capture.texts(), std::vector<std::string>{c.line});
    EXPECT_EQ(std::memcmp(&bound, &k_marker, sizeof(GUID)), 0);
}

const std::string k_gate_text = VOKA_TEST_GATE_FILE_NAME;

INSTANTIATE_TEST_SUITE_P(
    Failures, OxaGateCheckFailureTest,
    ::testing::Values(t_failure_case{"NotLoaded",
                                     {L"voka.absent.gate.dll", k_gate},
                                     "OXA_MT: [voka.absent.gate.dll] was not found!\n"},
                      // The platform library is loaded and exports no identifier function.
                      t_failure_case{
                          "NoExport",
                          {L"libvoka_platform.so"},
                          "OXA_MT: [libvoka_platform.so] doesn't export VOKA_OS__GetComApiID "
                          "function!\n"},
                      t_failure_case{"DifferentApi",
                                     {k_gate, k_other_api_gate},
                                     "OXA_MT: [liboxa_test_gate_other_api.so] provides unexpected "
                                     "API:{0123ABCD-4567-89EF-0011-2233445566FF}. Expected "
                                     "API:{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}\n"},
                      t_failure_case{"LaterGateMissing",
                                     {k_gate, L"voka.second.gate.dll"},
                                     "OXA_MT: [voka.second.gate.dll] was not found!\n"}),
    [](const ::testing::TestParamInfo<t_failure_case>& info)
    { return std::string(info.param.name); });

}  // namespace
