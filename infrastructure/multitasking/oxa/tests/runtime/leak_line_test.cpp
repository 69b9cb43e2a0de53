// The leak line of the real task library at process end: a client linked to the library at build
// time runs in a child process whose debug output goes to a file, and what the library's stop
// wrote there is compared with the blocks the client kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace
{

namespace fs = std::filesystem;

std::string read_file(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

struct t_client_run
{
    int status = -1;
    std::string stdout_text;
    std::string debug_output;
};

// Runs the client with `mode`, its debug output going to a file of a folder of its own.
t_client_run run_client(const std::string& mode)
{
    std::random_device random;
    const fs::path folder =
        fs::temp_directory_path() /
        ("voka_oxa_leak_" + mode + "_" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(folder);
    const fs::path debug_file = folder / "debug_output.txt";
    const fs::path out_file = folder / "client_output.txt";
    // The client keeps objects on purpose: a leak checker of a sanitizer build must not turn
    // that into a failed exit.
    const std::string command = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" "
                                "VOKA_DEBUG_OUTPUT='" +
                                debug_file.string() + "' '" + std::string(VOKA_TEST_LEAK_CLIENT) +
                                "' " + mode + " > '" + out_file.string() + "'";
    t_client_run run;
    run.status = std::system(command.c_str());
    run.stdout_text = read_file(out_file);
    run.debug_output = read_file(debug_file);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return run;
}

std::string leak_line(unsigned blocks)
{
    return "[voka.infrastructure.multitasking.oxa] Memory leaks: " + std::to_string(blocks) +
           " block(s).\n";
}

struct t_leak_case
{
    const char* mode;
    std::string debug_output;  // everything the library wrote to the debug output
};

class OxaLeakLineTest : public ::testing::TestWithParam<t_leak_case>
{
};

TEST_P(OxaLeakLineTest, TheStopAtProcessEndReportsExactlyTheKeptBlocks)
{
    const t_leak_case& c = GetParam();
    const t_client_run run = run_client(c.mode);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stdout_text, "done\n");
    EXPECT_EQ(run.debug_output, c.debug_output);
}

INSTANTIATE_TEST_SUITE_P(
    Clients, OxaLeakLineTest,
    ::testing::Values(
        // Loaded at start and unloaded at end with no use in between: silent.
        t_leak_case{"nothing", ""},
        // Shared, private and sequential managers used and all released: nothing is left.
        t_leak_case{"released", ""},
        // The manager and its private data object.
        t_leak_case{"pll_create_kept", leak_line(2)},
        // The manager and the shared data: the stop drops the registry's reference to the shared
        // data, but the kept manager still holds one.
        t_leak_case{"pll_get_kept", leak_line(2)},
        // The sequential manager is one block: its task holder, the static resource task, the
        // locks, queue and pool are parts of it, and nothing else is made before the first task.
        t_leak_case{"seq_kept", leak_line(1)},
        // The manager and the queued task's controller. The run it was given to is the client's
        // own (its connector's parallel manager never starts runs), so it is not counted.
        t_leak_case{"seq_controller_kept", leak_line(2)},
        // The manager and the released controller that waits in its pool.
        t_leak_case{"seq_pooled", leak_line(2)}),
    [](const ::testing::TestParamInfo<t_leak_case>& info) { return std::string(info.param.mode); });

}  // namespace
