// Helpers for the registry conformance tests: a fresh registry database in a temporary folder for
// each test, an owner for key handles, short forms of the common calls, and a child process
// running the registry writer program, with bounded waits.
#pragma once

#include "voka/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace registry_test
{

// Far above any wait a correct registry needs, even under a sanitizer on a busy machine.
constexpr int k_bound_ms = 120000;

// Owns one key handle and closes it on every path. Move-only.
class t_unique_hkey
{
public:
    t_unique_hkey() noexcept = default;
    explicit t_unique_hkey(HKEY key) noexcept : m_key(key) {}
    t_unique_hkey(t_unique_hkey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    t_unique_hkey& operator=(t_unique_hkey&& other) noexcept
    {
        reset(std::exchange(other.m_key, nullptr));
        return *this;
    }
    ~t_unique_hkey() { reset(); }

    HKEY get() const noexcept { return m_key; }
    HKEY* put() noexcept
    {
        reset();
        return &m_key;
    }
    HKEY release() noexcept { return std::exchange(m_key, nullptr); }
    void reset(HKEY key = nullptr) noexcept
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
        m_key = key;
    }

private:
    HKEY m_key = nullptr;
};

static_assert(!std::is_copy_constructible_v<t_unique_hkey>);
static_assert(!std::is_copy_assignable_v<t_unique_hkey>);
static_assert(std::is_nothrow_move_constructible_v<t_unique_hkey>);
static_assert(std::is_nothrow_move_assignable_v<t_unique_hkey>);

// Sets an environment variable for the time of a scope and puts the old value back.
class t_scoped_environment
{
public:
    t_scoped_environment(const char* name, const std::optional<std::string>& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    t_scoped_environment(const t_scoped_environment&) = delete;
    t_scoped_environment& operator=(const t_scoped_environment&) = delete;
    ~t_scoped_environment()
    {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A fresh temporary folder, removed with everything in it.
class t_temp_folder
{
public:
    t_temp_folder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "voka-registry-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
    }
    t_temp_folder(const t_temp_folder&) = delete;
    t_temp_folder& operator=(const t_temp_folder&) = delete;
    ~t_temp_folder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

// The base of every registry test: VOKA_REGISTRY names a database in a fresh folder for the time
// of the test.
class RegistryTest : public ::testing::Test
{
protected:
    RegistryTest() : m_registry("VOKA_REGISTRY", (m_folder.path() / "registry.db").string()) {}

    std::filesystem::path database_path() const { return m_folder.path() / "registry.db"; }
    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    t_temp_folder m_folder;
    t_scoped_environment m_registry;
};

// RegCreateKeyExW with all rights; fails the test on an error.
inline t_unique_hkey create_key(HKEY parent, const std::wstring& path,
                                REGSAM access = KEY_ALL_ACCESS)
{
    t_unique_hkey key;
    const LSTATUS error =
        RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, access, nullptr, key.put(), nullptr);
    EXPECT_EQ(error, ERROR_SUCCESS) << "creating a key";
    return key;
}

// RegOpenKeyExW; the error, and the handle in `out`.
inline LSTATUS open_key(HKEY parent, const std::wstring& path, t_unique_hkey& out,
                        REGSAM access = KEY_ALL_ACCESS)
{
    return RegOpenKeyExW(parent, path.c_str(), 0, access, out.put());
}

inline LSTATUS set_bytes(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

inline LSTATUS set_dword(HKEY key, const wchar_t* name, DWORD value)
{
    return set_bytes(key, name, REG_DWORD, &value, sizeof(value));
}

// A REG_SZ value with its terminating 0, sized in the caller's wide characters.
inline LSTATUS set_string(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return set_bytes(key, name, REG_SZ, text.c_str(),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// A value's type and bytes as RegQueryValueExW gives them.
struct t_value
{
    LSTATUS error = ERROR_SUCCESS;
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
};

inline t_value query_value(HKEY key, const wchar_t* name)
{
    t_value value;
    DWORD size = 0;
    value.error = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.error != ERROR_SUCCESS)
        return value;
    value.bytes.resize(size);
    value.error = RegQueryValueExW(key, name, nullptr, &value.type,
                                   size != 0 ? value.bytes.data() : nullptr, &size);
    value.bytes.resize(size);
    return value;
}

inline std::vector<std::uint8_t> bytes_of(const void* data, std::size_t size)
{
    const auto* begin = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(begin, begin + size);
}

inline std::vector<std::uint8_t> string_bytes(const std::wstring& text)
{
    return bytes_of(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// The names of a key's sub keys, by index from 0 to ERROR_NO_MORE_ITEMS.
inline std::vector<std::wstring> sub_key_names(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[256];
        DWORD size = 256;
        const LSTATUS error =
            RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            break;
        EXPECT_EQ(error, ERROR_SUCCESS) << "listing sub key " << index;
        if (error != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

// The names of a key's values, by index from 0 to ERROR_NO_MORE_ITEMS.
inline std::vector<std::wstring> value_names(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index)
    {
        std::vector<wchar_t> name(16384);
        DWORD size = static_cast<DWORD>(name.size());
        const LSTATUS error =
            RegEnumValueW(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            break;
        EXPECT_EQ(error, ERROR_SUCCESS) << "listing value " << index;
        if (error != ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), size);
    }
    return names;
}

// The registry writer program of these tests, running as a child process with its standard
// output on a pipe. Killed and reaped at destruction if still running.
class t_writer_process
{
public:
    explicit t_writer_process(const std::vector<std::string>& arguments)
    {
        int pipe_ends[2];
        if (::pipe(pipe_ends) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<std::string> words{REGISTRY_WRITER_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> vector;
        for (std::string& word : words)
            vector.push_back(word.data());
        vector.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
        const int spawned =
            ::posix_spawn(&m_pid, vector[0], &actions, nullptr, vector.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe_ends[1]);
        m_output = pipe_ends[0];
        if (spawned != 0)
        {
            ::close(m_output);
            throw std::runtime_error("posix_spawn failed");
        }
    }
    t_writer_process(const t_writer_process&) = delete;
    t_writer_process& operator=(const t_writer_process&) = delete;
    ~t_writer_process()
    {
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::close(m_output);
    }

    // The next line of the child's output without its line end; nullopt at the end of the
    // output or after the bound.
    std::optional<std::string> read_line()
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(k_bound_ms);
        for (;;)
        {
            const std::size_t end = m_buffer.find('\n');
            if (end != std::string::npos)
            {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd entry{m_output, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[4096];
            const ssize_t count = ::read(m_output, chunk, sizeof(chunk));
            if (count <= 0)
                return std::nullopt;
            m_buffer.append(chunk, static_cast<std::size_t>(count));
        }
    }

    // Sends SIGKILL now, at whatever point the child is.
    void kill_now() { ::kill(m_pid, SIGKILL); }

    // Waits for the end of the child (at most the bound) and returns its exit code; -1 for a
    // child that did not exit normally, -2 for one still running after the bound (then killed).
    int wait()
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(k_bound_ms);
        int status = 0;
        for (;;)
        {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid)
                break;
            if (std::chrono::steady_clock::now() > deadline)
            {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
                return -2;
            }
            // Drains the output so that the child never blocks on a full pipe.
            pollfd entry{m_output, POLLIN, 0};
            if (::poll(&entry, 1, 10) > 0)
            {
                char chunk[4096];
                const ssize_t count = ::read(m_output, chunk, sizeof(chunk));
                if (count > 0)
                    m_buffer.append(chunk, static_cast<std::size_t>(count));
            }
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_buffer;
};

}  // namespace registry_test
