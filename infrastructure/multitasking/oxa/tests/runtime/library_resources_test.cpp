// The resources of the built library files, read back from the files with the resource tool's
// read command: the task library's version, binary info, manifest and both message tables in
// both languages, and the version, binary info and manifest of the gate and the core library.
#include "prog_args.h"
#include "resource_operations.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using t_bytes = std::vector<std::uint8_t>;

constexpr const char* k_messages = "VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_MESSAGES";
constexpr const char* k_sources = "VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_SOURCES";
constexpr std::uint16_t k_english = 0x0009;
constexpr std::uint16_t k_russian = 0x0019;
constexpr std::uint16_t k_us_english = 0x0409;

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());  // paths and names here are ASCII
}

// A folder for the read resources, removed with everything in it.
class t_out_folder
{
public:
    t_out_folder()
    {
        std::random_device random;
        m_path = fs::temp_directory_path() /
                 ("voka_oxa_resources_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(m_path);
    }
    ~t_out_folder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    t_out_folder(const t_out_folder&) = delete;
    t_out_folder& operator=(const t_out_folder&) = delete;

    fs::path file() { return m_path / ("resource_" + std::to_string(++m_count) + ".bin"); }

private:
    fs::path m_path;
    int m_count = 0;
};

// Reads one resource of `module` (type "#n" for a numbered type) with tarnwick's read command;
// nothing when the tool reports that it is not there, a test failure for any other error.
std::optional<t_bytes> read_resource(const char* module, const std::string& type,
                                     const std::string& name_switch, const std::string& name,
                                     std::uint16_t language)
{
    t_out_folder folder;
    const fs::path out = folder.file();
    const std::wstring command_line = L"tarnwick -read -module \"" + wide(module) + L"\" -file \"" +
                                      wide(out.string()) + L"\" -type " + wide(type) + L" " +
                                      wide(name_switch) + L" " + wide(name) + L" -lang " +
                                      std::to_wstring(language);
    try
    {
        tw::read_resource(*tw::TW_ProgArgs::Create(command_line.c_str()));
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "Resource not found");
        return std::nullopt;
    }
    std::ifstream stream(out, std::ios::binary);
    return t_bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::string text_of(const t_bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// ---- Version resource: the VS_VERSIONINFO tree ----

std::uint16_t word_at(const t_bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

std::uint32_t dword_at(const t_bytes& bytes, std::size_t offset)
{
    return word_at(bytes, offset) | (static_cast<std::uint32_t>(word_at(bytes, offset + 2)) << 16);
}

std::size_t aligned4(std::size_t offset)
{
    return (offset + 3) & ~std::size_t{3};
}

struct t_version_node
{
    std::string key;
    std::uint16_t type = 0;  // 0 binary value, 1 text value
    t_bytes value;
    std::vector<t_version_node> children;
};

// The node at `offset` (wLength, wValueLength, wType, szKey, padding, value, padding, children).
t_version_node parse_node(const t_bytes& bytes, std::size_t offset)
{
    const std::size_t length = word_at(bytes, offset);
    const std::size_t value_length = word_at(bytes, offset + 2);
    t_version_node node;
    node.type = word_at(bytes, offset + 4);
    std::size_t position = offset + 6;
    for (std::uint16_t c = word_at(bytes, position); c != 0; c = word_at(bytes, position))
    {
        node.key += static_cast<char>(c);  // keys are ASCII
        position += 2;
    }
    position = aligned4(position + 2);
    const std::size_t value_bytes = node.type == 1 ? value_length * 2 : value_length;
    node.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(position),
                      bytes.begin() + static_cast<std::ptrdiff_t>(position + value_bytes));
    position = aligned4(position + value_bytes);
    const std::size_t end = offset + length;
    EXPECT_LE(end, bytes.size()) << node.key;
    while (position + 6 <= end && end <= bytes.size())
    {
        const std::size_t child_length = word_at(bytes, position);
        if (child_length == 0)
            break;
        node.children.push_back(parse_node(bytes, position));
        position = aligned4(position + child_length);
    }
    return node;
}

const t_version_node* child_of(const t_version_node& node, const std::string& key)
{
    for (const t_version_node& child : node.children)
        if (child.key == key)
            return &child;
    return nullptr;
}

// A text value without its terminating NUL, as ASCII.
std::string text_value(const t_version_node& node)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < node.value.size(); i += 2)
    {
        const std::uint16_t c = word_at(node.value, i);
        if (c == 0)
            break;
        text += static_cast<char>(c);
    }
    return text;
}

std::string four_part(std::uint32_t most, std::uint32_t least)
{
    return std::to_string(most >> 16) + "." + std::to_string(most & 0xFFFF) + "." +
           std::to_string(least >> 16) + "." + std::to_string(least & 0xFFFF);
}

struct t_version_facts
{
    std::string file_version;
    std::string product_version;
    std::string original_filename;
};

t_version_facts version_facts_of(const char* module)
{
    const std::optional<t_bytes> bytes = read_resource(module, "#16", "-id", "1", k_us_english);
    if (!bytes)
    {
        ADD_FAILURE() << "no version resource in " << module;
        return {};
    }
    const t_version_node root = parse_node(*bytes, 0);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    t_version_facts facts;
    if (root.value.size() < 52 || dword_at(root.value, 0) != 0xFEEF04BDu)
    {
        ADD_FAILURE() << "no VS_FIXEDFILEINFO in " << module;
        return facts;
    }
    facts.file_version = four_part(dword_at(root.value, 8), dword_at(root.value, 12));
    facts.product_version = four_part(dword_at(root.value, 16), dword_at(root.value, 20));
    if (const t_version_node* const strings = child_of(root, "StringFileInfo"))
    {
        EXPECT_EQ(strings->children.size(), 1u) << "one string table";
        for (const t_version_node& table : strings->children)
            if (const t_version_node* const name = child_of(table, "OriginalFilename"))
                facts.original_filename = text_value(*name);
    }
    return facts;
}

// ---- Message tables ----

struct t_entry
{
    std::uint16_t flags = 0;
    t_bytes bytes;  // everything after the entry's header, padding included
};

// The entries of a message-table resource by id (NumberOfBlocks, then blocks of low id, high
// id, offset to entries; entries of length, flags, text).
std::map<std::uint32_t, t_entry> parse_message_table(const t_bytes& bytes)
{
    std::map<std::uint32_t, t_entry> entries;
    const std::uint32_t blocks = dword_at(bytes, 0);
    for (std::uint32_t block = 0; block < blocks; ++block)
    {
        const std::size_t record = 4 + block * 12;
        const std::uint32_t low = dword_at(bytes, record);
        const std::uint32_t high = dword_at(bytes, record + 4);
        std::size_t offset = dword_at(bytes, record + 8);
        for (std::uint32_t id = low; id <= high; ++id)
        {
            const std::size_t length = word_at(bytes, offset);
            t_entry entry;
            entry.flags = word_at(bytes, offset + 2);
            entry.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4),
                               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
            EXPECT_EQ(length % 4, 0u) << "entry " << id << " padded to a multiple of four";
            entries[id] = std::move(entry);
            offset += length;
        }
    }
    return entries;
}

// Checks that `entry` is an 8-bit entry holding `text` (UTF-8), CR LF and NUL padding only.
void expect_entry(const t_entry& entry, const std::string& text)
{
    EXPECT_EQ(entry.flags, 0u) << "8-bit entry";
    const std::string stored = text_of(entry.bytes);
    const std::string expected = text + "\r\n";
    ASSERT_GE(stored.size(), expected.size()) << text;
    EXPECT_EQ(stored.substr(0, expected.size()), expected);
    const std::string padding = stored.substr(expected.size());
    EXPECT_LE(padding.size(), 4u);
    EXPECT_EQ(padding, std::string(padding.size(), '\0'));
}

const std::map<std::uint32_t, std::string> k_english_texts = {
    {1, "Bug check at [%1] [%2]: %3."},
    {2, "Invalid execution thread [id: %2] of method [%1] call. Allowed thread id: %3."},
    {21, "[win32] Fail at creation of event object [%1]."},
    {22, "[win32] Can't set an event object [%1] to the signaled state."},
    {23, "[win32] Can't set an event object [%1] to the nonsignaled state."},
    {24, "[crt] Fail at creation of thread object [%1]. CRT error code: %2. WIN32 error code: %3."},
    {25, "Failed to COM initialize."},
    {26, "The work of thread [%1] was abnormally terminated."},
};

const std::map<std::uint32_t, std::string> k_russian_texts = {
    {1, "BUG-CHECK в [%1] [%2]: %3."},
    {2, "Метод [%1] вызван в недопустимом исполняемом потоке [id: %2]. Идентификатор допустимого "
        "потока: %3."},
    {21, "[win32] Ошибка создания события [%1]."},
    {22, "[win32] Ошибка активации события [%1]."},
    {23, "[win32] Ошибка сброса события [%1]."},
    {24, "[crt] Ошибка создания потока [%1]. Код ошибки CRT: %2. Код ошибки WIN32: %3."},
    {25, "Ошибка инициализации COM."},
    {26, "Ненормальное завершение работы потока [%1]."},
};

void expect_table(const char* module, const char* name, std::uint16_t language,
                  const std::map<std::uint32_t, std::string>& texts)
{
    const std::optional<t_bytes> bytes = read_resource(module, "#11", "-name", name, language);
    ASSERT_TRUE(bytes.has_value());
    const std::map<std::uint32_t, t_entry> entries = parse_message_table(*bytes);
    std::vector<std::uint32_t> ids;
    for (const auto& [id, entry] : entries)
        ids.push_back(id);
    std::vector<std::uint32_t> expected_ids;
    for (const auto& [id, text] : texts)
        expected_ids.push_back(id);
    EXPECT_EQ(ids, expected_ids) << "exactly the library's ids";
    for (const auto& [id, text] : texts)
    {
        SCOPED_TRACE("id " + std::to_string(id));
        const auto found = entries.find(id);
        if (found != entries.end())
            expect_entry(found->second, text);
    }
}

// ---- The documents ----

constexpr const char* k_declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string binary_info_without_references()
{
    return std::string(k_declaration) + "<BinaryInfo Version=\"1.0\">\r\n"
                                        "  <References />\r\n"
                                        "</BinaryInfo>\r\n";
}

std::string manifest()
{
    return std::string(k_declaration) +
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
           "</assembly>\r\n";
}

// ---- The cases ----

struct t_module_case
{
    const char* label;
    const char* path;
    const char* version;
    const char* original_filename;
    std::string binary_info;
};

class OxaLibraryResourcesTest : public ::testing::TestWithParam<t_module_case>
{
};

TEST_P(OxaLibraryResourcesTest, VersionResource)
{
    const t_module_case& c = GetParam();
    const t_version_facts facts = version_facts_of(c.path);
    EXPECT_EQ(facts.file_version, c.version);
    EXPECT_EQ(facts.product_version, c.version);
    EXPECT_EQ(facts.original_filename, c.original_filename);
}

TEST_P(OxaLibraryResourcesTest, BinaryInfoDocumentByteForByte)
{
    const t_module_case& c = GetParam();
    const std::optional<t_bytes> bytes =
        read_resource(c.path, "VOKA.BINARY_INFO", "-id", "1", k_us_english);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(text_of(*bytes), c.binary_info);
}

TEST_P(OxaLibraryResourcesTest, ManifestWithAnEmptyAssembly)
{
    const t_module_case& c = GetParam();
    const std::optional<t_bytes> bytes = read_resource(c.path, "#24", "-id", "2", k_us_english);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(text_of(*bytes), manifest());
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, OxaLibraryResourcesTest,
    ::testing::Values(
        t_module_case{"task_library", VOKA_TEST_OXA_LIBRARY, "3.0.4.416",
                      "voka.infrastructure.multitasking.oxa-v03_vc17_w32_i.dll",
                      std::string(k_declaration) +
                          "<BinaryInfo Version=\"1.0\">\r\n"
                          "  <References>\r\n"
                          "    <Reference Name=\"voka.infrastructure.core-v01_vc17_w32_i.dll\" "
                          "Version=\"1.3.2.73\" />\r\n"
                          "    <Reference Name=\"voka.infrastructure.os.windows.ole32-v01_w32.dll\""
                          " Version=\"1.0.2.41\" />\r\n"
                          "  </References>\r\n"
                          "</BinaryInfo>\r\n"},
        t_module_case{"gate", VOKA_TEST_GATE_LIBRARY, "1.0.2.41",
                      "voka.infrastructure.os.windows.ole32-v01_w32.dll",
                      binary_info_without_references()},
        t_module_case{"core", VOKA_TEST_CORE_LIBRARY, "1.3.2.73",
                      "voka.infrastructure.core-v01_vc17_w32_i.dll",
                      binary_info_without_references()}),
    [](const ::testing::TestParamInfo<t_module_case>& info)
    { return std::string(info.param.label); });

TEST(OxaLibraryMessageTablesTest, EnglishMessagesHoldEveryIdAsUtf8WithCrLf)
{
    expect_table(VOKA_TEST_OXA_LIBRARY, k_messages, k_english, k_english_texts);
}

TEST(OxaLibraryMessageTablesTest, RussianMessagesHoldEveryIdAsUtf8WithCrLf)
{
    expect_table(VOKA_TEST_OXA_LIBRARY, k_messages, k_russian, k_russian_texts);
}

TEST(OxaLibraryMessageTablesTest, SourcesHoldOneEnglishEntry)
{
    expect_table(VOKA_TEST_OXA_LIBRARY, k_sources, k_english,
                 {{0, "voka.infrastructure.multitasking.oxa"}});
    EXPECT_FALSE(read_resource(VOKA_TEST_OXA_LIBRARY, "#11", "-name", k_sources, k_russian))
        << "English only";
}

// Only the two languages are stored (LANG_NEUTRAL is left out: the lookup falls back for it).
TEST(OxaLibraryMessageTablesTest, NoOtherLanguageOfTheMessages)
{
    for (const std::uint16_t language :
         {k_us_english, std::uint16_t{0x0419}, std::uint16_t{0x0007}})
        EXPECT_FALSE(read_resource(VOKA_TEST_OXA_LIBRARY, "#11", "-name", k_messages, language))
            << language;
}

}  // namespace
