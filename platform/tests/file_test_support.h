// Helpers for tests that work on files: a temporary folder removed afterwards, whole-file reads and
// writes, and wide paths for the Win32 functions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace voka::platform::test
{

// A fresh folder under the system's temporary folder; removed with everything in it.
class t_temp_folder
{
public:
    t_temp_folder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "voka-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
    }
    ~t_temp_folder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    t_temp_folder(const t_temp_folder&) = delete;
    t_temp_folder& operator=(const t_temp_folder&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline std::vector<std::uint8_t> read_all(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream),
                                     std::istreambuf_iterator<char>());
}

inline void write_all(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    if (!stream)
        throw std::runtime_error("cannot write " + path.string());
}

// The path as the wide string Win32 functions take (test paths are ASCII).
inline std::wstring wide(const std::filesystem::path& path)
{
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

}  // namespace voka::platform::test
