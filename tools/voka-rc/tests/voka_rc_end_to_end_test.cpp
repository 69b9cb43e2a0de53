// voka-rc end to end: the built program on the task library's resource source (its outputs and
// every message text in both languages) and on bad input and arguments (exit codes, file:line).
#include "resource_compiler.h"
#include "resource_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace voka::rc
{
namespace
{

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void write_text(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

struct t_run
{
    int code = -1;
    std::string err;
};

class VokaRcTest : public ::testing::Test
{
protected:
    VokaRcTest()
    {
        std::random_device random;
        m_folder = std::filesystem::temp_directory_path() /
                   ("voka-rc-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_folder);
    }
    ~VokaRcTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::filesystem::path path(const std::string& name) const { return m_folder / name; }

    // Runs voka-rc with `arguments` (already shell-quoted where needed).
    t_run run(const std::string& arguments) const
    {
        const std::string command = std::string("'") + VOKA_RC_PATH + "' " + arguments + " 2>'" +
                                    path("err").string() + "'; echo $? >'" + path("code").string() +
                                    "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return {std::stoi(read_text(path("code"))), read_text(path("err"))};
    }

private:
    std::filesystem::path m_folder;
};

std::string message_text(const std::vector<std::uint8_t>& table, std::uint32_t id)
{
    const auto get = [&table](std::size_t at, std::size_t width)
    {
        std::uint32_t value = 0;
        for (std::size_t index = width; index-- > 0;)
            value = (value << 8) | table.at(at + index);
        return value;
    };
    for (std::uint32_t block = 0; block < get(0, 4); ++block)
    {
        const std::uint32_t low = get(4 + 12 * block, 4);
        if (id < low || id > get(8 + 12 * block, 4))
            continue;
        std::size_t at = get(12 + 12 * block, 4);
        for (std::uint32_t step = low; step < id; ++step)
            at += get(at, 2);
        const std::string text(table.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               table.begin() + static_cast<std::ptrdiff_t>(at + get(at, 2)));
        return text.substr(0, text.find('\0'));
    }
    return "<missing>";
}

TEST_F(VokaRcTest, TaskLibraryResourcesCarryEveryMessageText)
{
    const t_run result = run(std::string("'") + VOKA_OXA_RESOURCES + "' --raw '" +
                             path("oxa.bin").string() + "' -o '" + path("oxa.cpp").string() + "'");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string raw = read_text(path("oxa.bin"));
    const std::vector<std::uint8_t> section(raw.begin(), raw.end());
    const t_resource_source source =
        parse_resource_source(read_text(VOKA_OXA_RESOURCES), VOKA_OXA_RESOURCES);
    EXPECT_EQ(section, compile_resource_section(source));

    const std::string cpp = read_text(path("oxa.cpp"));
    const std::string size = std::to_string(section.size());
    EXPECT_NE(cpp.find("extern \"C\" __attribute__((visibility(\"hidden\"), used, "
                       "section(\".voka_rsrc\"), aligned(8))) const unsigned char "
                       "voka_module_resource_section[" +
                       size + "] = {\n    0x00, 0x00,"),
              std::string::npos);
    EXPECT_NE(cpp.find("extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned long "
                       "voka_module_resource_section_size = " +
                       size + ";\n"),
              std::string::npos);

    const platform::t_resource_content content = compile_resources(source);
    const auto table = [&content](std::wstring_view name, std::uint16_t language)
    {
        for (const auto& type : content.types)
            for (const auto& entry : type.names)
                if (type.id == platform::t_resource_id(11) && entry.id.name() == name)
                    for (const auto& node : entry.languages)
                        if (node.language == language)
                            return node.leaf.bytes;
        ADD_FAILURE() << "no table in language " << language;
        return std::vector<std::uint8_t>{};
    };
    const auto english = table(L"VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_MESSAGES", 0x0009);
    const auto russian = table(L"VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_MESSAGES", 0x0019);
    struct t_message
    {
        std::uint32_t id;
        const char* english;
        const char* russian;
    };
    const t_message messages[] = {
        {1, "Bug check at [%1] [%2]: %3.", "BUG-CHECK в [%1] [%2]: %3."},
        {2, "Invalid execution thread [id: %2] of method [%1] call. Allowed thread id: %3.",
         "Метод [%1] вызван в недопустимом исполняемом потоке [id: %2]. Идентификатор "
         "допустимого потока: %3."},
        {21, "[win32] Fail at creation of event object [%1].",
         "[win32] Ошибка создания события [%1]."},
        {22, "[win32] Can't set an event object [%1] to the signaled state.",
         "[win32] Ошибка активации события [%1]."},
        {23, "[win32] Can't set an event object [%1] to the nonsignaled state.",
         "[win32] Ошибка сброса события [%1]."},
        {24,
         "[crt] Fail at creation of thread object [%1]. CRT error code: %2. WIN32 error code: "
         "%3.",
         "[crt] Ошибка создания потока [%1]. Код ошибки CRT: %2. Код ошибки WIN32: %3."},
        {25, "Failed to COM initialize.", "Ошибка инициализации COM."},
        {26, "The work of thread [%1] was abnormally terminated.",
         "Ненормальное завершение работы потока [%1]."},
    };
    for (const t_message& message : messages)
    {
        SCOPED_TRACE(message.id);
        EXPECT_EQ(message_text(english, message.id), std::string(message.english) + "\r\n");
        EXPECT_EQ(message_text(russian, message.id), std::string(message.russian) + "\r\n");
    }
    EXPECT_EQ(message_text(english, 3), "<missing>");
    EXPECT_EQ(message_text(english, 20), "<missing>");
    EXPECT_EQ(message_text(english, 27), "<missing>");
    EXPECT_EQ(message_text(table(L"VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_SOURCES", 9), 0),
              "voka.infrastructure.multitasking.oxa\r\n");
}

TEST_F(VokaRcTest, BadSourceFailsWithItsLineAndWritesNothing)
{
    write_text(path("bad.resources"), "manifest\n\nversion\n file_version 1.2.3\nend\n");
    const t_run result =
        run("'" + path("bad.resources").string() + "' -o '" + path("out.cpp").string() + "'");
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.err.rfind(path("bad.resources").string() + ":4: ", 0), 0u) << result.err;
    EXPECT_FALSE(std::filesystem::exists(path("out.cpp")));
}

TEST_F(VokaRcTest, BadArgumentsPrintTheUsage)
{
    write_text(path("good.resources"), "manifest\n");
    const std::string source = "'" + path("good.resources").string() + "'";
    for (const std::string& arguments :
         {std::string(""), source, source + " -o", source + " --bad x", source + " " + source,
          source + " -o a -o b"})
    {
        SCOPED_TRACE(arguments);
        const t_run result = run(arguments);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.err.rfind("usage: voka-rc", 0), 0u) << result.err;
    }
    const t_run missing =
        run("'" + path("missing").string() + "' --raw '" + path("x.bin").string() + "'");
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

}  // namespace
}  // namespace voka::rc
