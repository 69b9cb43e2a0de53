// GetCommandLineW: the command line a program sees for a given argument vector (quoting of empty
// arguments, white space and a leading '/', UTF-8 to wide), and that it is one stable string.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

// What the child program reports as its command line when started with `arguments` (after its
// own path, which is argv[0]).
std::wstring command_line_of_child(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all = {VOKA_COMMAND_LINE_CHILD};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> vector;
    for (std::string& argument : all)
        vector.push_back(argument.data());
    vector.push_back(nullptr);

    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, vector[0], &actions, nullptr, vector.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (spawned != 0)
    {
        ::close(pipe_ends[0]);
        throw std::runtime_error("posix_spawn failed");
    }
    std::string output;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(pipe_ends[0], buffer, sizeof(buffer))) > 0)
        output.append(buffer, static_cast<std::size_t>(count));
    ::close(pipe_ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    std::wstring line;
    std::size_t start = 0;
    while (start < output.size())
    {
        const std::size_t end = output.find('\n', start);
        line.push_back(static_cast<wchar_t>(std::stoul(output.substr(start, end - start))));
        start = end + 1;
    }
    return line;
}

std::wstring widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

TEST(CommandLineTest, ArgumentsAreQuotedWhenEmptyWithWhiteSpaceOrALeadingSlash)
{
    // The child's own path is absolute, so it is always quoted.
    const std::wstring program = L"\"" + widen(VOKA_COMMAND_LINE_CHILD) + L"\"";
    const struct
    {
        std::vector<std::string> arguments;
        std::wstring expected;  // after the program and a blank
    } cases[] = {
        {{"-help"}, L"-help"},
        {{"-read", "-module", "m.dll"}, L"-read -module m.dll"},
        {{""}, L"\"\""},
        {{"a b"}, L"\"a b\""},
        {{"tab\there"}, L"\"tab\there\""},
        {{"line\nbreak"}, L"\"line\nbreak\""},
        {{"/abs/path"}, L"\"/abs/path\""},
        {{"-file", "/tmp/my file.bin"}, L"-file \"/tmp/my file.bin\""},
        {{"relative/path", "--5", "#10"}, L"relative/path --5 #10"},
        {{"quote\"inside"}, L"quote\"inside"},
        {{"\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"}, std::wstring{0xFC, 0x20AC, 0x1F600}},
        {{"bad\xFF"}, std::wstring{L'b', L'a', L'd', 0xFFFD}},
    };
    EXPECT_EQ(command_line_of_child({}), program);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.arguments.front());
        EXPECT_EQ(command_line_of_child(c.arguments), program + L" " + c.expected);
    }
}

TEST(CommandLineTest, ReturnsOneStableStringToEveryThread)
{
    const LPWSTR first = GetCommandLineW();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first[0], L'\0');
    std::vector<LPWSTR> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < seen.size(); ++index)
        threads.emplace_back([&seen, index] { seen[index] = GetCommandLineW(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const LPWSTR pointer : seen)
        EXPECT_EQ(pointer, first);
}

}  // namespace
