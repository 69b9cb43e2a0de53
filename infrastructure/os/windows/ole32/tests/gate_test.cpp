// Tests of the COM gate library: its exports, the forwarders' addresses, the API identifier, the
// pass-through of OLE32's results, and the module entry's private heap and its failure message.
#include "voka/infrastructure/os/windows/ole32/gate.h"
#include "voka/platform/debug_output_capture.h"
#include "voka/platform/heap_test_hook.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace
{

std::wstring wide(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

// The gate's exports, in the order of their ordinals.
constexpr std::array<const char*, 24> k_exports = {
    "VOKA_OS__CLSIDFromProgID",
    "VOKA_OS__CLSIDFromString",
    "VOKA_OS__CoCreateFreeThreadedMarshaler",
    "VOKA_OS__CoCreateInstance",
    "VOKA_OS__CoGetClassObject",
    "VOKA_OS__CoGetVokaService",
    "VOKA_OS__CoInitialize",
    "VOKA_OS__CoInitializeEx",
    "VOKA_OS__CoMarshalInterface",
    "VOKA_OS__CoReleaseMarshalData",
    "VOKA_OS__CoTaskMemAlloc",
    "VOKA_OS__CoTaskMemFree",
    "VOKA_OS__CoUninitialize",
    "VOKA_OS__CoUnmarshalInterface",
    "VOKA_OS__CreateErrorInfo",
    "VOKA_OS__CreateStreamOnHGlobal",
    "VOKA_OS__GetClassFile",
    "VOKA_OS__GetComApiID",
    "VOKA_OS__GetErrorInfo",
    "VOKA_OS__OleInitialize",
    "VOKA_OS__OleUninitialize",
    "VOKA_OS__ProgIDFromCLSID",
    "VOKA_OS__SetErrorInfo",
    "VOKA_OS__StringFromGUID2",
};

// Loads the gate for one test and frees it afterwards.
class GateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_gate = LoadLibraryW(wide(VOKA_TEST_GATE_PATH).c_str());
        ASSERT_NE(m_gate, nullptr) << GetLastError();
    }
    void TearDown() override
    {
        if (m_gate != nullptr)
        {
            EXPECT_TRUE(FreeLibrary(m_gate));
        }
    }

    template <typename t_function>
    t_function* entry(const char* name) const
    {
        return reinterpret_cast<t_function*>(GetProcAddress(m_gate, name));
    }

    HMODULE m_gate = nullptr;
};

TEST_F(GateTest, ExportsEveryNameOfTheTableInOrder)
{
    for (std::size_t index = 0; index < k_exports.size(); ++index)
    {
        EXPECT_NE(GetProcAddress(m_gate, k_exports[index]), nullptr) << k_exports[index];
        if (index > 0)
        {
            EXPECT_LT(std::strcmp(k_exports[index - 1], k_exports[index]), 0);
        }
    }
    // OLE32's own names are not the gate's.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(m_gate, "VOKA_OS__CoTaskMemRealloc"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

TEST_F(GateTest, LoadingTheGateLoadsOle32)
{
    EXPECT_EQ(GetModuleHandleW(wide(VOKA_TEST_GATE_FILE_NAME).c_str()), m_gate);
    EXPECT_NE(GetModuleHandleW(wide(VOKA_TEST_OLE32_FILE_NAME).c_str()), nullptr);
}

TEST_F(GateTest, ForwardersResolveToOle32sFunctions)
{
    const HMODULE ole32 = GetModuleHandleW(wide(VOKA_TEST_OLE32_FILE_NAME).c_str());
    ASSERT_NE(ole32, nullptr);
    const struct
    {
        const char* gate_name;
        const char* ole32_name;
        FARPROC linked;
    } cases[] = {
        {"VOKA_OS__CreateErrorInfo", "CreateErrorInfo",
         reinterpret_cast<FARPROC>(&CreateErrorInfo)},
        {"VOKA_OS__GetErrorInfo", "GetErrorInfo", reinterpret_cast<FARPROC>(&GetErrorInfo)},
        {"VOKA_OS__SetErrorInfo", "SetErrorInfo", reinterpret_cast<FARPROC>(&SetErrorInfo)},
    };
    for (const auto& test_case : cases)
    {
        const FARPROC forwarded = GetProcAddress(m_gate, test_case.gate_name);
        ASSERT_NE(forwarded, nullptr) << test_case.gate_name;
        EXPECT_EQ(forwarded, GetProcAddress(ole32, test_case.ole32_name)) << test_case.gate_name;
        EXPECT_EQ(forwarded, test_case.linked) << test_case.gate_name;
    }
}

TEST_F(GateTest, GetComApiIdWritesTheIdentifiersBytes)
{
    const auto get_id = entry<decltype(VOKA_OS__GetComApiID)>("VOKA_OS__GetComApiID");
    ASSERT_NE(get_id, nullptr);
    const std::array<unsigned char, 16> expected = {0x24, 0x2B, 0x60, 0xA7, 0xD8, 0x06, 0x11, 0x41,
                                                    0xB5, 0xA1, 0xDA, 0xC3, 0x03, 0xA5, 0xCD, 0xB1};
    for (int call = 0; call < 2; ++call)
    {
        GUID id{};
        EXPECT_EQ(get_id(&id), TRUE);
        std::array<unsigned char, 16> bytes{};
        std::memcpy(bytes.data(), &id, sizeof id);
        EXPECT_EQ(bytes, expected);
    }
}

TEST_F(GateTest, GetComApiIdRefusesANullPointer)
{
    const auto get_id = entry<decltype(VOKA_OS__GetComApiID)>("VOKA_OS__GetComApiID");
    ASSERT_NE(get_id, nullptr);
    EXPECT_EQ(get_id(nullptr), FALSE);
}

TEST_F(GateTest, JumpEntriesReturnOle32sResultsUnchanged)
{
    const auto from_prog_id = entry<decltype(VOKA_OS__CLSIDFromProgID)>("VOKA_OS__CLSIDFromProgID");
    const auto from_string = entry<decltype(VOKA_OS__CLSIDFromString)>("VOKA_OS__CLSIDFromString");
    const auto to_string = entry<decltype(VOKA_OS__StringFromGUID2)>("VOKA_OS__StringFromGUID2");
    const auto class_file = entry<decltype(VOKA_OS__GetClassFile)>("VOKA_OS__GetClassFile");
    ASSERT_TRUE(from_prog_id && from_string && to_string && class_file);

    CLSID gate_id{}, direct_id{};
    EXPECT_EQ(from_prog_id(L"Voka.NotRegistered", &gate_id),
              CLSIDFromProgID(L"Voka.NotRegistered", &direct_id));
    EXPECT_EQ(from_string(L"{not a guid}", &gate_id), CLSIDFromString(L"{not a guid}", &direct_id));
    EXPECT_EQ(class_file(L"/no/such/file", &gate_id), GetClassFile(L"/no/such/file", &direct_id));

    const wchar_t* const text = L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}";
    ASSERT_EQ(from_string(text, &gate_id), S_OK);
    wchar_t buffer[40] = {};
    EXPECT_EQ(to_string(gate_id, buffer, 40), 39);
    EXPECT_STREQ(buffer, text);
    EXPECT_EQ(to_string(gate_id, buffer, 38), 0);
}

TEST_F(GateTest, ApartmentCallsReachOle32sPerThreadState)
{
    const auto initialize_ex = entry<decltype(VOKA_OS__CoInitializeEx)>("VOKA_OS__CoInitializeEx");
    const auto uninitialize = entry<decltype(VOKA_OS__CoUninitialize)>("VOKA_OS__CoUninitialize");
    ASSERT_TRUE(initialize_ex && uninitialize);
    ASSERT_EQ(initialize_ex(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(initialize_ex(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    uninitialize();
}

TEST_F(GateTest, TaskMemoryBlocksCrossBetweenGateAndOle32)
{
    const auto alloc = entry<decltype(VOKA_OS__CoTaskMemAlloc)>("VOKA_OS__CoTaskMemAlloc");
    const auto free = entry<decltype(VOKA_OS__CoTaskMemFree)>("VOKA_OS__CoTaskMemFree");
    ASSERT_TRUE(alloc && free);
    void* const from_gate = alloc(64);
    void* const from_ole32 = CoTaskMemAlloc(64);
    ASSERT_NE(from_gate, nullptr);
    ASSERT_NE(from_ole32, nullptr);
    std::memset(from_gate, 0xA5, 64);
    CoTaskMemFree(from_gate);
    free(from_ole32);
    free(nullptr);
}

// The gate fails to load when its private heap cannot be created, with one debug line.
TEST(GateLoadTest, HeapFailureStopsTheLoadWithItsMessage)
{
    voka::platform::t_debug_output_capture capture;
    voka::platform::fail_next_heap_creation();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(wide(VOKA_TEST_GATE_PATH).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(capture.texts(),
              std::vector<std::string>{
                  "ERROR: Failed to create a memory heap \"__Tg_DataHeapWin32__\"\n"});
    EXPECT_EQ(GetModuleHandleW(wide(VOKA_TEST_GATE_FILE_NAME).c_str()), nullptr);

    // The next load creates its heap, and loading and unloading say nothing.
    const HMODULE gate = LoadLibraryW(wide(VOKA_TEST_GATE_PATH).c_str());
    ASSERT_NE(gate, nullptr) << GetLastError();
    EXPECT_TRUE(FreeLibrary(gate));
    EXPECT_EQ(capture.count(), 1u);
}

}  // namespace
