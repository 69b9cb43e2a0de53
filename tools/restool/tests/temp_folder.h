// A fresh temporary folder per test, removed with everything in it at the end, and whole-file
// helpers for tarnwick's end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tw::testing
{

class t_temp_folder
{
public:
    t_temp_folder()
    {
        std::random_device random;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("tarnwick-") + (test != nullptr ? test->name() : "test") +
                           "-" + std::to_string(random());
        for (char& c : name)
        {
            if (c == '/')
                c = '_';  // parameterised test names hold slashes
        }
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(m_path);
    }
    t_temp_folder(const t_temp_folder&) = delete;
    t_temp_folder& operator=(const t_temp_folder&) = delete;
    ~t_temp_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path& path() const noexcept { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline std::vector<std::uint8_t> read_file_bytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

inline std::string read_file_text(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void write_file_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline void write_file_text(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

}  // namespace tw::testing
