// End-to-end tests of tarnwick on the committed mingw-built sample modules (fixtures/, rebuilt by
// fixtures/make_fixtures.sh): a real linker's layout with .rsrc followed by .reloc, a checksum,
// and in one of them a COFF symbol table.
#include "tarnwick_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace tw::testing
{
namespace
{

using t_bytes = std::vector<std::uint8_t>;

t_bytes with_nul(const std::string& text)
{
    t_bytes bytes = bytes_of(text);
    bytes.push_back(0);
    return bytes;
}

// The resources sample.rc gives both modules, with their bytes as windres stores them.
std::vector<t_sample_resource> fixture_resources()
{
    return {
        {{"#10", "-name", "GREETING", "1033"}, with_nul("Hello from the sample module.")},
        {{"#10", "-name", "greeting", "0x419"}, with_nul("Privet from the sample module.")},
        {{"#10", "-id", "7", "1033"}, {0, 1, 2, 3, 4, 5, 6, 7, 't', 'a', 'i', 'l'}},
        {{"TEXTFILE", "-name", "CONFIG", "1033"}, bytes_of("key=value\r\nother=1\r\n")},
    };
}

// Every section but .rsrc, by name, with its raw bytes.
std::vector<t_pe_section> other_sections(const t_bytes& image)
{
    std::vector<t_pe_section> sections =
        read_pe_sections(image).value_or(std::vector<t_pe_section>{});
    std::erase_if(sections, [](const t_pe_section& s) { return s.name == ".rsrc"; });
    return sections;
}

// Every section keeps its bytes; every section but .reloc its address too. .reloc, which
// nothing addresses directly, may move behind a grown resource section; the base-relocation
// directory then follows it.
void expect_same_contents(const std::vector<t_pe_section>& before, const t_bytes& updated)
{
    const std::vector<t_pe_section> after = other_sections(updated);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i)
    {
        EXPECT_EQ(after[i].name, before[i].name);
        EXPECT_EQ(after[i].raw_bytes, before[i].raw_bytes) << before[i].name;
        if (before[i].name != ".reloc")
        {
            EXPECT_EQ(after[i].virtual_address, before[i].virtual_address) << before[i].name;
            continue;
        }
        const std::optional<t_pe_data_directory> relocations = read_data_directory(updated, 5);
        ASSERT_TRUE(relocations.has_value());
        EXPECT_EQ(relocations->rva, after[i].virtual_address);
    }
}

void expect_resources(const t_temp_folder& folder, const std::string& module,
                      const std::vector<t_sample_resource>& resources)
{
    const std::string out = folder / "check.bin";
    for (const t_sample_resource& resource : resources)
    {
        std::filesystem::remove(out);
        const t_run run = run_tarnwick(command_line("-read", module, out, resource.ref), folder);
        EXPECT_EQ(run.code, 0) << resource.ref.name << ": " << run.out;
        EXPECT_EQ(read_file_bytes(out), resource.bytes) << resource.ref.name;
    }
}

class TarnwickSampleModuleTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        m_module = m_folder / GetParam();
        std::filesystem::copy_file(std::string(TARNWICK_FIXTURES) + "/" + GetParam(), m_module);
        m_original = read_file_bytes(m_module);
        ASSERT_FALSE(m_original.empty());
    }

    t_temp_folder m_folder;
    std::string m_module;
    t_bytes m_original;
};

TEST_P(TarnwickSampleModuleTest, ReadsEveryResource)
{
    expect_resources(m_folder, m_module, fixture_resources());
    const std::string out = m_folder / "version.bin";
    const t_run run =
        run_tarnwick(command_line("-read", m_module, out, {"#16", "-id", "1", "1033"}), m_folder);
    EXPECT_EQ(run.code, 0);
    const t_bytes version = read_file_bytes(out);
    ASSERT_GE(version.size(), 40u);
    EXPECT_EQ(version[0] | (version[1] << 8),
              static_cast<int>(version.size()));  // VS_VERSIONINFO length
    EXPECT_EQ(read_file_bytes(m_module), m_original);
}

TEST_P(TarnwickSampleModuleTest, WriteChangesOnlyTheResource)
{
    const t_bytes before = m_original;
    const std::string source = m_folder / "source.bin";
    // Enough to grow the resource section past its page, which moves .reloc.
    const t_bytes data = bytes_of(std::string(6000, 'g') + "reeting");
    write_file_bytes(source, data);

    const t_run run = run_tarnwick(
        command_line("-write", m_module, source, {"#10", "-name", "GREETING", "1033"}), m_folder);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");

    std::vector<t_sample_resource> expected = fixture_resources();
    expected[0].bytes = data;
    expect_resources(m_folder, m_module, expected);
    const t_bytes after = read_file_bytes(m_module);
    expect_same_contents(other_sections(before), after);
    const std::optional<std::vector<t_pe_section>> sections = read_pe_sections(after);
    ASSERT_TRUE(sections.has_value());
    EXPECT_GT(sections->back().virtual_address, other_sections(before).back().virtual_address)
        << "the resource section did not grow past its page";
}

TEST_P(TarnwickSampleModuleTest, AddThenDeleteComesBackToTheSameResources)
{
    const std::string source = m_folder / "source.bin";
    write_file_text(source, "added");
    const t_resource_ref added{"NEWTYPE", "-name", "ADDED", "1033"};

    t_run run = run_tarnwick(command_line("-add", m_module, source, added), m_folder);
    EXPECT_EQ(run.code, 0) << run.out;
    std::vector<t_sample_resource> expected = fixture_resources();
    expected.push_back({added, bytes_of("added")});
    expect_resources(m_folder, m_module, expected);

    run = run_tarnwick(command_line("-del", m_module, "", added), m_folder);
    EXPECT_EQ(run.code, 0) << run.out;
    expect_resources(m_folder, m_module, fixture_resources());
    run = run_tarnwick(command_line("-read", m_module, m_folder / "gone.bin", added), m_folder);
    EXPECT_EQ(run.out, "ERROR: Resource not found\n");
    expect_same_contents(other_sections(m_original), read_file_bytes(m_module));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TarnwickSampleModuleTest,
                         ::testing::Values("sample64.dll", "sample64_symbols.dll"),
                         [](const auto& info)
                         {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

}  // namespace
}  // namespace tw::testing
