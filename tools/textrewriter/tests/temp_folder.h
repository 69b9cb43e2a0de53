// A fresh temporary folder per test, removed with everything in it at the end, and
// whole-file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace structure::testing
{

class t_temp_folder
{
public:
    t_temp_folder()
    {
        std::random_device random;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("glossel-") +
                                 (test != nullptr ? test->name() : "test") + "-" +
                                 std::to_string(random());
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

    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline std::string read_bytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

}  // namespace structure::testing
