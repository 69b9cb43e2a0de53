// OutputDebugStringW/A: the listener named by VOKA_DEBUG_OUTPUT (a file, stderr or
// nobody), whole texts from concurrent writers, and the in-process capture.
#include "voka/platform/debug_output_capture.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

using voka::platform::t_debug_output_capture;

constexpr const char* k_listener_variable = "VOKA_DEBUG_OUTPUT";

void set_environment_variable(const char* name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
#endif
}

// Sets an environment variable (nullopt: removes it) and restores it on destruction.
class t_scoped_environment_variable
{
public:
    t_scoped_environment_variable(const char* name, const std::optional<std::string>& value)
        : m_name(name)
    {
        if (const char* previous = std::getenv(name))
            m_previous = previous;
        set_environment_variable(m_name, value);
    }
    ~t_scoped_environment_variable() { set_environment_variable(m_name, m_previous); }

    void set(const std::optional<std::string>& value) { set_environment_variable(m_name, value); }

    t_scoped_environment_variable(const t_scoped_environment_variable&) = delete;
    t_scoped_environment_variable& operator=(const t_scoped_environment_variable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_previous;
};

// A path in the temporary folder, unique to the test; removed on destruction.
class t_temporary_file
{
public:
    t_temporary_file()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("voka_debug_output_" +
                  std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                  std::to_string(random()) + ".txt");
    }
    ~t_temporary_file()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }

    std::string path() const { return m_path.string(); }
    bool exists() const { return std::filesystem::exists(m_path); }

    std::string content() const
    {
        std::ifstream file(m_path, std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        return content.str();
    }

    void write(const std::string& content) const
    {
        std::ofstream(m_path, std::ios::binary) << content;
    }

private:
    std::filesystem::path m_path;
};

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size())
    {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
        {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------- listeners

struct t_listener_case
{
    const char* name;
    void (*write)();
    const char* expected;  // appended to the file's earlier content
};

constexpr t_listener_case k_listener_cases[] = {
    {"narrow", [] { OutputDebugStringA("one line\n"); }, "one line\n"},
    {"narrow, taken as UTF-8", [] { OutputDebugStringA("\xD0\x96 \xFF\n"); }, "\xD0\x96 \xFF\n"},
    {"wide, written as UTF-8", [] { OutputDebugStringW(L"OXA_MT: Привет, €\n"); },
     "OXA_MT: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xE2\x82\xAC\n"},
    {"wide supplementary", [] { OutputDebugStringW(L"\U0001F600"); }, "\xF0\x9F\x98\x80"},
    {"wide invalid value",
     []
     {
         const wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'\0'};
         OutputDebugStringW(text);
     },
     "a\xEF\xBF\xBD"
     "b"},
    {"several calls, no separator added",
     []
     {
         OutputDebugStringA("a");
         OutputDebugStringW(L"b");
         OutputDebugStringA("c\n");
     },
     "abc\n"},
    {"empty and null texts write nothing",
     []
     {
         OutputDebugStringA("");
         OutputDebugStringW(L"");
         OutputDebugStringA(nullptr);
         OutputDebugStringW(nullptr);
     },
     ""},
};

TEST(DebugOutputTest, AppendsToTheFileNamedByTheVariable)
{
    for (const t_listener_case& test_case : k_listener_cases)
    {
        SCOPED_TRACE(test_case.name);
        t_temporary_file file;
        file.write("earlier\n");
        t_scoped_environment_variable listener(k_listener_variable, file.path());
        test_case.write();
        EXPECT_EQ(file.content(), std::string("earlier\n") + test_case.expected);
    }
}

TEST(DebugOutputTest, CreatesTheFile)
{
    t_temporary_file file;
    t_scoped_environment_variable listener(k_listener_variable, file.path());
    OutputDebugStringW(L"created\n");
    EXPECT_EQ(file.content(), "created\n");
}

TEST(DebugOutputTest, NobodyListensWhenTheVariableIsUnsetOrEmpty)
{
    t_temporary_file file;
    t_scoped_environment_variable listener(k_listener_variable, std::nullopt);
    for (const t_listener_case& test_case : k_listener_cases)
        test_case.write();
    listener.set(std::string());
    for (const t_listener_case& test_case : k_listener_cases)
        test_case.write();
    EXPECT_FALSE(file.exists());
}

TEST(DebugOutputTest, TheVariableIsReadOnEveryCall)
{
    t_temporary_file first;
    t_temporary_file second;
    t_scoped_environment_variable listener(k_listener_variable, first.path());
    OutputDebugStringA("1\n");
    listener.set(std::nullopt);
    OutputDebugStringA("lost\n");
    listener.set(second.path());
    OutputDebugStringA("2\n");
    listener.set(std::string());
    OutputDebugStringA("lost\n");
    listener.set(first.path());
    OutputDebugStringA("3\n");
    EXPECT_EQ(first.content(), "1\n3\n");
    EXPECT_EQ(second.content(), "2\n");
}

TEST(DebugOutputTest, WritesToStandardError)
{
    t_scoped_environment_variable listener(k_listener_variable, std::string("stderr"));
    testing::internal::CaptureStderr();
    OutputDebugStringA("to stderr\n");
    OutputDebugStringW(L"wide to stderr\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\nwide to stderr\n");
}

TEST(DebugOutputTest, KeepsTheLastError)
{
    t_temporary_file file;
    t_scoped_environment_variable listener(
        k_listener_variable,
        (std::filesystem::path(file.path()) / "no_such_folder" / "file.txt").string());
    SetLastError(ERROR_BUSY);
    OutputDebugStringA("cannot be written\n");
    OutputDebugStringW(L"cannot be written\n");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
}

// Whole texts from many threads at once, each longer than a pipe's atomic write.
std::string concurrent_text(int thread_index, int text_index)
{
    std::string text =
        "thread " + std::to_string(thread_index) + " text " + std::to_string(text_index) + ": ";
    text.append(6000, static_cast<char>('a' + thread_index));
    return text + "\n";
}

constexpr int k_writer_count = 4;
constexpr int k_texts_per_writer = 250;

void write_concurrently()
{
    std::latch start(k_writer_count);
    std::vector<std::thread> writers;
    writers.reserve(k_writer_count);
    for (int thread_index = 0; thread_index < k_writer_count; ++thread_index)
    {
        writers.emplace_back(
            [&start, thread_index]
            {
                start.arrive_and_wait();
                for (int text_index = 0; text_index < k_texts_per_writer; ++text_index)
                {
                    const std::string text = concurrent_text(thread_index, text_index);
                    if (text_index % 2 == 0)
                        OutputDebugStringA(text.c_str());
                    else
                        OutputDebugStringW(std::wstring(text.begin(), text.end()).c_str());
                }
            });
    }
    for (std::thread& writer : writers)
        writer.join();
}

// Every expected text exactly once, and nothing else.
void expect_all_texts_whole(std::vector<std::string> texts)
{
    std::vector<std::string> expected;
    for (int thread_index = 0; thread_index < k_writer_count; ++thread_index)
        for (int text_index = 0; text_index < k_texts_per_writer; ++text_index)
            expected.push_back(concurrent_text(thread_index, text_index));
    std::sort(expected.begin(), expected.end());
    std::sort(texts.begin(), texts.end());
    ASSERT_EQ(texts.size(), expected.size());
    for (std::size_t index = 0; index < texts.size(); ++index)
        ASSERT_TRUE(texts[index] == expected[index])
            << "a text was split or mixed, near \"" << texts[index].substr(0, 24) << "\"";
}

TEST(DebugOutputTest, ConcurrentWritersProduceWholeLines)
{
    t_temporary_file file;
    t_scoped_environment_variable listener(k_listener_variable, file.path());
    write_concurrently();
    expect_all_texts_whole(split_lines(file.content()));
}

// ---------------------------------------------------------------- capture

TEST(DebugOutputCaptureTest, ReceivesOneTextPerCallInsteadOfTheListener)
{
    t_temporary_file file;
    t_scoped_environment_variable listener(k_listener_variable, file.path());
    {
        t_debug_output_capture capture;
        OutputDebugStringW(L"OXA_MT: Привет\n");
        OutputDebugStringA("[voka] Memory leaks: 3 block(s).\n");
        OutputDebugStringA("");
        OutputDebugStringA(nullptr);
        OutputDebugStringW(nullptr);
        const std::vector<std::string> expected = {
            "OXA_MT: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n",
            "[voka] Memory leaks: 3 block(s).\n", ""};
        EXPECT_EQ(capture.texts(), expected);
        EXPECT_EQ(capture.count(), 3u);
        EXPECT_EQ(capture.joined_text(), expected[0] + expected[1]);
        EXPECT_FALSE(file.exists());

        capture.clear();
        EXPECT_EQ(capture.count(), 0u);
        OutputDebugStringA("after clear\n");
        EXPECT_EQ(capture.texts(), std::vector<std::string>{"after clear\n"});
    }
    OutputDebugStringA("to the file again\n");
    EXPECT_EQ(file.content(), "to the file again\n");
}

TEST(DebugOutputCaptureTest, EveryLiveCaptureReceivesEveryText)
{
    t_scoped_environment_variable listener(k_listener_variable, std::nullopt);
    t_debug_output_capture outer;
    OutputDebugStringA("1");
    {
        t_debug_output_capture inner;
        OutputDebugStringA("2");
        EXPECT_EQ(inner.texts(), std::vector<std::string>{"2"});
    }
    OutputDebugStringA("3");
    EXPECT_EQ(outer.texts(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(DebugOutputCaptureTest, ReceivesTextsOfOtherThreads)
{
    t_debug_output_capture capture;
    std::thread writer(
        []
        {
            OutputDebugStringW(L"from another thread\n");
            OutputDebugStringA("second\n");
        });
    EXPECT_TRUE(capture.wait_for_count(2, std::chrono::seconds(30)));
    writer.join();
    EXPECT_EQ(capture.joined_text(), "from another thread\nsecond\n");
    EXPECT_FALSE(capture.wait_for_count(3, std::chrono::milliseconds(0)));
}

TEST(DebugOutputCaptureTest, ConcurrentWritersProduceWholeTexts)
{
    t_debug_output_capture capture;
    write_concurrently();
    expect_all_texts_whole(capture.texts());
}

}  // namespace
