// The compiled resource section read back through the codec and the resource functions: the
// version block's fields and UTF-16 strings, the XML documents byte for byte, and message tables
// with their blocks, entries, line ends and padding.
#include "message_table.h"
#include "resource_compiler.h"
#include "resource_source.h"
#include "voka/platform/resource_directory.h"
#include "voka/platform/resource_module.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace voka::rc
{
namespace
{

using bytes_t = std::vector<std::uint8_t>;

std::uint32_t get16(const bytes_t& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

std::uint32_t get32(const bytes_t& bytes, std::size_t at)
{
    return get16(bytes, at) | (get16(bytes, at + 2) << 16);
}

bytes_t bytes_of(std::string_view text)
{
    return bytes_t(text.begin(), text.end());
}

// The registered module of a compiled source; reads its resources through FindResourceExW.
class t_compiled_module
{
public:
    explicit t_compiled_module(const std::string& source_text)
        : m_section(compile_resource_section(parse_resource_source(source_text, "test"))),
          m_module(platform::register_resource_module(m_section, 0))
    {
    }

    const bytes_t& section() const { return m_section; }
    HMODULE get() const { return m_module.get(); }

    bytes_t read(LPCWSTR type, LPCWSTR name, WORD language) const
    {
        const HRSRC resource = FindResourceExW(m_module.get(), type, name, language);
        if (resource == nullptr)
        {
            ADD_FAILURE() << "FindResourceExW failed: " << GetLastError();
            return {};
        }
        const HGLOBAL loaded = LoadResource(m_module.get(), resource);
        const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
        const DWORD size = SizeofResource(m_module.get(), resource);
        EXPECT_NE(data, nullptr);
        return data == nullptr ? bytes_t{} : bytes_t(data, data + size);
    }

private:
    bytes_t m_section;
    platform::t_resource_module_registration m_module;
};

// One block of a VS_VERSIONINFO tree, as a reader walks it.
struct t_version_block
{
    std::u16string key;
    std::uint32_t type = 0;
    bytes_t value;
    std::vector<t_version_block> children;
};

std::size_t aligned(std::size_t offset)
{
    return (offset + 3) / 4 * 4;
}

t_version_block read_block(const bytes_t& bytes, std::size_t start, std::size_t limit)
{
    EXPECT_EQ(start % 4, 0u);
    const std::size_t length = get16(bytes, start);
    const std::size_t value_length = get16(bytes, start + 2);
    t_version_block block;
    block.type = get16(bytes, start + 4);
    EXPECT_LE(start + length, limit);
    std::size_t at = start + 6;
    while (get16(bytes, at) != 0)
    {
        block.key.push_back(static_cast<char16_t>(get16(bytes, at)));
        at += 2;
    }
    at = aligned(at + 2);
    const std::size_t value_bytes = block.type == 1 ? value_length * 2 : value_length;
    EXPECT_LE(at + value_bytes, start + length);
    block.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + value_bytes));
    at = aligned(at + value_bytes);
    while (at < start + length)
    {
        block.children.push_back(read_block(bytes, at, start + length));
        at = aligned(at + get16(bytes, at));
    }
    return block;
}

std::u16string utf16_value(const bytes_t& value)
{
    std::u16string text;
    for (std::size_t at = 0; at + 1 < value.size(); at += 2)
        text.push_back(static_cast<char16_t>(get16(value, at)));
    return text;
}

const std::string k_version_source = R"(version
  file_version 3.0.4.416
  product_version 1.2.65535.7
  string OriginalFilename "voka.infrastructure.multitasking.oxa-v03_vc17_w32_i.dll"
  string CompanyName "Вока"
  string Comments "a 😀 b"
end
)";

TEST(ResourceCompilerTest, VersionBlockReadsBack)
{
    const t_compiled_module module(k_version_source);
    const bytes_t resource = module.read(RT_VERSION, MAKEINTRESOURCEW(1), 0x0409);
    ASSERT_GE(resource.size(), 6u);
    EXPECT_EQ(get16(resource, 0), resource.size());  // the root's length is the resource's
    const t_version_block root = read_block(resource, 0, resource.size());
    EXPECT_EQ(root.key, u"VS_VERSION_INFO");
    EXPECT_EQ(root.type, 0u);
    ASSERT_EQ(root.value.size(), 52u);
    EXPECT_EQ(get32(root.value, 0), 0xFEEF04BDu);
    EXPECT_EQ(get32(root.value, 4), 0x00010000u);
    EXPECT_EQ(get32(root.value, 8), 0x00030000u);   // 3.0
    EXPECT_EQ(get32(root.value, 12), 0x000401A0u);  // 4.416
    EXPECT_EQ(get32(root.value, 16), 0x00010002u);  // 1.2
    EXPECT_EQ(get32(root.value, 20), 0xFFFF0007u);  // 65535.7
    EXPECT_EQ(get32(root.value, 24), 0x3Fu);
    EXPECT_EQ(get32(root.value, 28), 0u);
    EXPECT_EQ(get32(root.value, 32), 0x00040004u);  // VOS_NT_WINDOWS32
    EXPECT_EQ(get32(root.value, 36), 2u);           // VFT_DLL

    ASSERT_EQ(root.children.size(), 2u);
    const t_version_block& string_info = root.children[0];
    EXPECT_EQ(string_info.key, u"StringFileInfo");
    ASSERT_EQ(string_info.children.size(), 1u);
    EXPECT_EQ(string_info.children[0].key, u"040904B0");
    std::vector<std::pair<std::u16string, std::u16string>> strings;
    for (const t_version_block& entry : string_info.children[0].children)
    {
        EXPECT_EQ(entry.type, 1u);
        ASSERT_FALSE(entry.value.empty());
        EXPECT_EQ(get16(entry.value, entry.value.size() - 2), 0u) << "terminated";
        const std::u16string value = utf16_value(entry.value);
        strings.emplace_back(entry.key, value.substr(0, value.size() - 1));
    }
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"OriginalFilename", u"voka.infrastructure.multitasking.oxa-v03_vc17_w32_i.dll"},
        {u"CompanyName", u"\u0412\u043E\u043A\u0430"},
        {u"Comments", u"a \xD83D\xDE00 b"},  // a surrogate pair
        {u"FileVersion", u"3.0.4.416"},
        {u"ProductVersion", u"1.2.65535.7"},
    };
    EXPECT_EQ(strings, expected);

    const t_version_block& var_info = root.children[1];
    EXPECT_EQ(var_info.key, u"VarFileInfo");
    ASSERT_EQ(var_info.children.size(), 1u);
    EXPECT_EQ(var_info.children[0].key, u"Translation");
    EXPECT_EQ(var_info.children[0].type, 0u);
    EXPECT_EQ(var_info.children[0].value, (bytes_t{0x09, 0x04, 0xB0, 0x04}));
}

TEST(ResourceCompilerTest, XmlDocumentsAreExact)
{
    struct t_case
    {
        std::string source;
        std::string binary_info;
    };
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    const t_case cases[] = {
        {"binary_info\n reference \"voka.infrastructure.core-v01_vc17_w32_i.dll\" 1.3.2.73\n"
         " reference \"voka.infrastructure.os.windows.ole32-v01_w32.dll\" 1.0.2.41\nend\n",
         declaration + "<BinaryInfo Version=\"1.0\">\r\n"
                       "  <References>\r\n"
                       "    <Reference Name=\"voka.infrastructure.core-v01_vc17_w32_i.dll\" "
                       "Version=\"1.3.2.73\" />\r\n"
                       "    <Reference Name=\"voka.infrastructure.os.windows.ole32-v01_w32.dll\" "
                       "Version=\"1.0.2.41\" />\r\n"
                       "  </References>\r\n"
                       "</BinaryInfo>\r\n"},
        {"binary_info\nend\n", declaration + "<BinaryInfo Version=\"1.0\">\r\n"
                                             "  <References />\r\n"
                                             "</BinaryInfo>\r\n"},
        {"binary_info\n reference \"a&<b>\\\".dll\" 0.0.0.0\nend\n",
         declaration +
             "<BinaryInfo Version=\"1.0\">\r\n"
             "  <References>\r\n"
             "    <Reference Name=\"a&amp;&lt;b&gt;&quot;.dll\" Version=\"0.0.0.0\" />\r\n"
             "  </References>\r\n"
             "</BinaryInfo>\r\n"},
    };
    for (const t_case& test : cases)
    {
        const t_compiled_module module(test.source + "manifest\n");
        EXPECT_EQ(module.read(L"VOKA.BINARY_INFO", MAKEINTRESOURCEW(1), 0x0409),
                  bytes_of(test.binary_info));
        EXPECT_EQ(module.read(RT_MANIFEST, MAKEINTRESOURCEW(2), 0x0409),
                  bytes_of(declaration + "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                                         "manifestVersion=\"1.0\">\r\n</assembly>\r\n"));
    }
}

TEST(ResourceCompilerTest, MessageTableLayoutIsExact)
{
    // Ids out of order; runs 1-2, 5 and 7-9; texts whose entries need one to four NULs.
    const std::vector<t_message_entry> entries = {{8, "ab"},  {1, "a"},    {9, ""},
                                                  {2, "abc"}, {5, "abcd"}, {7, "abcde"}};
    const bytes_t table = build_message_table(entries);
    const auto entry = [](std::string_view text, std::size_t nuls)
    {
        bytes_t bytes(4 + text.size(), 0);
        bytes[0] = static_cast<std::uint8_t>(4 + text.size() + 2 + nuls);
        std::copy(text.begin(), text.end(), bytes.begin() + 4);
        bytes.push_back('\r');
        bytes.push_back('\n');
        bytes.resize(bytes.size() + nuls, 0);
        return bytes;
    };
    bytes_t expected = {3, 0, 0, 0};
    const auto block = [&expected](std::uint32_t low, std::uint32_t high, std::uint32_t offset)
    {
        for (const std::uint32_t value : {low, high, offset})
            for (int shift = 0; shift < 32; shift += 8)
                expected.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    const bytes_t e1 = entry("a", 1), e2 = entry("abc", 3), e5 = entry("abcd", 2),
                  e7 = entry("abcde", 1), e8 = entry("ab", 4), e9 = entry("", 2);
    const std::uint32_t first = 4 + 3 * 12;
    block(1, 2, first);
    block(5, 5, first + 8 + 12);
    block(7, 9, first + 8 + 12 + 12);
    for (const bytes_t* part : {&e1, &e2, &e5, &e7, &e8, &e9})
        expected.insert(expected.end(), part->begin(), part->end());
    EXPECT_EQ(table, expected);
    for (const bytes_t* part : {&e1, &e2, &e5, &e7, &e8, &e9})
        EXPECT_EQ(part->size() % 4, 0u);
}

TEST(ResourceCompilerTest, HighestIdsFormTheirOwnBlock)
{
    const bytes_t table = build_message_table({{0xFFFFFFFF, "z"}, {0xFFFFFFFE, "y"}, {0, "x"}});
    ASSERT_GE(table.size(), 28u);
    EXPECT_EQ(get32(table, 0), 2u);
    EXPECT_EQ(get32(table, 4), 0u);
    EXPECT_EQ(get32(table, 8), 0u);
    EXPECT_EQ(get32(table, 16), 0xFFFFFFFEu);
    EXPECT_EQ(get32(table, 20), 0xFFFFFFFFu);
}

// The text of entry `id` of a message table as the loaders read it: the block walk, then the
// entry's bytes after its header.
std::optional<std::string> message_entry(const bytes_t& table, std::uint32_t id)
{
    const std::uint32_t blocks = get32(table, 0);
    for (std::uint32_t index = 0; index < blocks; ++index)
    {
        const std::uint32_t low = get32(table, 4 + 12 * index);
        const std::uint32_t high = get32(table, 8 + 12 * index);
        if (id < low || id > high)
            continue;
        std::size_t at = get32(table, 12 + 12 * index);
        for (std::uint32_t step = low; step < id; ++step)
            at += get16(table, at);
        EXPECT_EQ(get16(table, at + 2), 0u) << "8-bit entry";
        return std::string(table.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           table.begin() + static_cast<std::ptrdiff_t>(at + get16(table, at)));
    }
    return std::nullopt;
}

TEST(ResourceCompilerTest, MessageTablesReadBackPerLanguage)
{
    const t_compiled_module module(R"(message_table "Voka.Test.Messages" language 0x0009
  21 "[win32] Fail at creation of event object [%1]."
  1  "Bug check at [%1] [%2]: %3."
end
message_table "VOKA.TEST.MESSAGES" language 0x0019
  21 "[win32] Ошибка создания события [%1]."
end
)");
    const bytes_t english = module.read(RT_MESSAGETABLE, L"VOKA.TEST.MESSAGES", 0x0009);
    const bytes_t russian = module.read(RT_MESSAGETABLE, L"voka.test.messages", 0x0019);
    EXPECT_EQ(message_entry(english, 21),
              std::string("[win32] Fail at creation of event object [%1].\r\n\0\0\0\0", 52));
    EXPECT_EQ(message_entry(english, 1), std::string("Bug check at [%1] [%2]: %3.\r\n\0\0\0", 32));
    EXPECT_FALSE(message_entry(english, 2));
    const std::optional<std::string> text = message_entry(russian, 21);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size() % 4, 0u);
    const std::string line = text->substr(0, text->find('\0'));
    EXPECT_EQ(line, "[win32] Ошибка создания события [%1].\r\n");
    // UTF-8 back to wide text, as the error records convert entries (code page 65001).
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(),
                                           static_cast<int>(line.size()), nullptr, 0);
    ASSERT_GT(length, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                        wide.data(), length);
    EXPECT_EQ(wide, L"[win32] \u041E\u0448\u0438\u0431\u043A\u0430 \u0441\u043E\u0437\u0434"
                    L"\u0430\u043D\u0438\u044F \u0441\u043E\u0431\u044B\u0442\u0438\u044F "
                    L"[%1].\r\n");
}

TEST(ResourceCompilerTest, SectionIsLaidOutForRvaZero)
{
    const bytes_t section = compile_resource_section(parse_resource_source(
        k_version_source + "binary_info\nend\nmanifest\nmessage_table \"m\" language 9\n 1 \"a\"\n"
                           "end\n",
        "test"));
    const platform::t_resource_directory directory = platform::parse_resource_directory(section);
    std::map<std::wstring, std::size_t> found;
    for (const auto& type : directory.types)
        for (const auto& name : type.names)
            for (const auto& language : name.languages)
            {
                EXPECT_EQ(language.leaf.rva % 8, 0u);
                EXPECT_LE(std::uint64_t{language.leaf.rva} + language.leaf.size, section.size());
                EXPECT_EQ(language.leaf.code_page, 0u);
                const std::wstring key =
                    (type.id.is_name() ? type.id.name() : std::to_wstring(type.id.integer())) +
                    L"/" +
                    (name.id.is_name() ? name.id.name() : std::to_wstring(name.id.integer())) +
                    L"/" + std::to_wstring(language.language);
                found[key] = language.leaf.size;
            }
    EXPECT_EQ(found.size(), 4u);
    EXPECT_TRUE(found.contains(L"16/1/1033"));
    EXPECT_TRUE(found.contains(L"VOKA.BINARY_INFO/1/1033"));
    EXPECT_TRUE(found.contains(L"24/2/1033"));
    EXPECT_TRUE(found.contains(L"11/M/9"));  // names are stored upper-cased
}

}  // namespace
}  // namespace voka::rc
