// The real task library as a client loads it: silent load and unload, the identifier it reports,
// and the three faulty gates, each in a process of its own next to a stand-in gate library.
#include "voka/platform/debug_output_capture.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace
{

namespace fs = std::filesystem;

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());  // the build paths are ASCII
}

using t_get_com_api_id = BOOL (*)(GUID*);

t_get_com_api_id get_com_api_id_of(HMODULE module)
{
    return reinterpret_cast<t_get_com_api_id>(::GetProcAddress(module, "VOKA_OS__GetComApiID"));
}

TEST(OxaLibraryLoadTest, LoadAndUnloadWithoutUseWriteNothingToTheDebugOutput)
{
    const voka::platform::t_debug_output_capture capture;
    const HMODULE library = ::LoadLibraryW(wide(VOKA_TEST_OXA_LIBRARY).c_str());
    ASSERT_NE(library, nullptr) << ::GetLastError();
    EXPECT_TRUE(::FreeLibrary(library));
    EXPECT_EQ(capture.joined_text(), "");
}

TEST(OxaLibraryLoadTest, ReportsTheIdentifierOfTheGateItLoaded)
{
    const HMODULE library = ::LoadLibraryW(wide(VOKA_TEST_OXA_LIBRARY).c_str());
    ASSERT_NE(library, nullptr) << ::GetLastError();
    const HMODULE gate = ::GetModuleHandleW(wide(VOKA_TEST_GATE_FILE_NAME).c_str());
    ASSERT_NE(gate, nullptr) << "loading the library loads the gate";
    const t_get_com_api_id library_id = get_com_api_id_of(library);
    const t_get_com_api_id gate_id = get_com_api_id_of(gate);
    ASSERT_NE(library_id, nullptr);
    ASSERT_NE(gate_id, nullptr);
    EXPECT_NE(library_id, gate_id) << "the library exports an identifier function of its own";

    EXPECT_FALSE(library_id(nullptr));
    GUID expected{};
    ASSERT_TRUE(gate_id(&expected));
    GUID reported{};
    EXPECT_TRUE(library_id(&reported));
    EXPECT_EQ(std::memcmp(&reported, &expected, sizeof(GUID)), 0);
    EXPECT_NE(std::memcmp(&reported, &GUID_NULL, sizeof(GUID)), 0);
    EXPECT_TRUE(::FreeLibrary(library));
}

// A folder of its own holding a copy of the library and the gate (or its stand-in) as one case
// needs them; removed with everything in it.
class t_case_folder
{
public:
    explicit t_case_folder(const std::string& name)
    {
        std::random_device random;
        m_path = fs::temp_directory_path() /
                 ("voka_oxa_" + name + "_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(m_path);
        fs::copy_file(VOKA_TEST_OXA_LIBRARY, library());
    }
    ~t_case_folder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    t_case_folder(const t_case_folder&) = delete;
    t_case_folder& operator=(const t_case_folder&) = delete;

    fs::path library() const { return m_path / fs::path(VOKA_TEST_OXA_LIBRARY).filename(); }
    fs::path file(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

std::string read_file(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

struct t_probe_result
{
    std::string stdout_text;
    std::string debug_output;
};

// Runs the probe in a child process whose debug output goes to a file of the folder.
t_probe_result run_probe(const t_case_folder& folder, const fs::path& preload)
{
    const fs::path debug_file = folder.file("debug_output.txt");
    const fs::path out_file = folder.file("probe_output.txt");
    std::string command = "VOKA_DEBUG_OUTPUT='" + debug_file.string() + "' '" +
                          std::string(VOKA_TEST_LOAD_PROBE) + "' '" + folder.library().string() +
                          "'";
    if (!preload.empty())
        command += " '" + preload.string() + "'";
    command += " > '" + out_file.string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    return {read_file(out_file), read_file(debug_file)};
}

const std::string k_gate_name = VOKA_TEST_GATE_FILE_NAME;

struct t_gate_case
{
    const char* name;
    const char* stand_in;      // the stand-in library
    bool placed_as_gate;       // copied under the gate's file name, or preloaded as it is
    const char* probe_output;  // what the client sees
    std::string debug_output;  // what the library traced
};

class OxaLibraryGateTest : public ::testing::TestWithParam<t_gate_case>
{
};

TEST_P(OxaLibraryGateTest, LoadsOnlyWithAGateThatAnswersItsIdentifier)
{
    const t_gate_case& c = GetParam();
    const t_case_folder folder(c.name);
    fs::path preload;
    if (c.placed_as_gate)
    {
        fs::copy_file(c.stand_in, folder.file(k_gate_name));
    }
    else
    {
        preload = folder.file(fs::path(c.stand_in).filename().string());
        fs::copy_file(c.stand_in, preload);
    }
    const t_probe_result result = run_probe(folder, preload);
    EXPECT_EQ(result.stdout_text, c.probe_output);
    EXPECT_EQ(result.debug_output, c.debug_output);
}

INSTANTIATE_TEST_SUITE_P(
    StandInGates, OxaLibraryGateTest,
    ::testing::Values(
        // The gate's soname is satisfied by a module of another file name: no gate module.
        t_gate_case{"missing", VOKA_TEST_GATE_OTHER_API, false, "failed 1114\n",
                    "OXA_MT: [" + k_gate_name + "] was not found!\n"},
        t_gate_case{"no_export", VOKA_TEST_GATE_NO_EXPORT, true, "failed 1114\n",
                    "OXA_MT: [" + k_gate_name +
                        "] doesn't export VOKA_OS__GetComApiID function!\n"},
        t_gate_case{"answers_false", VOKA_TEST_GATE_ANSWERS_FALSE, true, "failed 1114\n",
                    "OXA_MT: [" + k_gate_name + "].[VOKA_OS__GetComApiID] returns FALSE!\n"},
        // Whatever identifier the one listed gate answers is the one the library binds to.
        t_gate_case{"other_api", VOKA_TEST_GATE_OTHER_API, true,
                    "loaded {0123ABCD-4567-89EF-0011-2233445566FF}\n", ""},
        t_gate_case{"real_gate", VOKA_TEST_GATE_LIBRARY, true,
                    "loaded {A7602B24-06D8-4111-B5A1-DAC303A5CDB1}\n", ""}),
    [](const ::testing::TestParamInfo<t_gate_case>& info) { return std::string(info.param.name); });

}  // namespace
