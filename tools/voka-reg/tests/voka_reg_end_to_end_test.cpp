// voka-reg end to end: the built program on a registry database of its own in a temporary folder
// per test, with its exact standard output, error line and exit code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace
{

// Exit code -1 as the shell reports it.
constexpr int k_failure = 255;

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

std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct t_run
{
    int code = -1000;
    std::string out;
    std::string err;
};

// A temporary folder with the registry database of one test; runs voka-reg on it.
class VokaRegTest : public ::testing::Test
{
protected:
    VokaRegTest()
    {
        std::random_device random;
        m_folder = std::filesystem::temp_directory_path() /
                   ("voka-reg-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_folder);
    }
    ~VokaRegTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::filesystem::path path(const std::string& name) const { return m_folder / name; }

    t_run run(const std::vector<std::string>& arguments) const
    {
        std::string command = "VOKA_REGISTRY=" + shell_quoted(path("registry.db").string()) + " " +
                              shell_quoted(VOKA_REG_PATH);
        for (const std::string& argument : arguments)
            command += " " + shell_quoted(argument);
        command += " >" + shell_quoted(path(".out").string()) + " 2>" +
                   shell_quoted(path(".err").string()) + "; echo $? >" +
                   shell_quoted(path(".code").string());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        t_run result;
        result.out = read_text(path(".out"));
        result.err = read_text(path(".err"));
        std::ifstream(path(".code")) >> result.code;
        return result;
    }

    // Runs and expects success with no error output; returns the standard output.
    std::string ok(const std::vector<std::string>& arguments) const
    {
        const t_run result = run(arguments);
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    }

    // Runs and expects the failure exit code and nothing on standard output; returns the error.
    std::string fails(const std::vector<std::string>& arguments) const
    {
        const t_run result = run(arguments);
        EXPECT_EQ(result.code, k_failure);
        EXPECT_EQ(result.out, "");
        return result.err;
    }

    void add_sample() const
    {
        ok({"add", "HKCU\\Software\\Demo", "-v", "Name", "-d", "hello \"world\""});
        ok({"add", "HKCU\\Software\\Demo", "-v", "Count", "-t", "REG_DWORD", "-d", "42"});
        ok({"add", "HKCU\\Software\\Demo", "-ve", "-d", "default"});
        ok({"add", "HKCU\\Software\\Demo", "-v", "Bin", "-t", "reg_binary", "-d", "00ff10"});
        ok({"add", "HKCU\\Software\\Demo", "-v", "List", "-t", "REG_MULTI_SZ", "-d", "a\\0b"});
        ok({"add", "HKCU\\Software\\Demo", "-v", "Big", "-t", "REG_QWORD", "-d",
            "0x1122334455667788"});
        ok({"add", "HKCU\\Software\\Demo\\Sub\\Deeper", "-v",
            "\xC3\x9C"
            "ber",
            "-d", "\xF0\x9F\x98\x80"});
        ok({"add", "HKEY_CURRENT_USER\\Software\\Demo\\Empty"});
    }

private:
    std::filesystem::path m_folder;
};

const char k_sample_query[] = "HKEY_CURRENT_USER\\Software\\Demo\n"
                              "    Name    REG_SZ    hello \"world\"\n"
                              "    Count    REG_DWORD    0x2a\n"
                              "    (Default)    REG_SZ    default\n"
                              "    Bin    REG_BINARY    00FF10\n"
                              "    List    REG_MULTI_SZ    a\\0b\n"
                              "    Big    REG_QWORD    0x1122334455667788\n"
                              "\n"
                              "HKEY_CURRENT_USER\\Software\\Demo\\Empty\n"
                              "HKEY_CURRENT_USER\\Software\\Demo\\Sub\n";

const char k_sample_tree[] = "HKEY_CURRENT_USER\\Software\\Demo\n"
                             "    Name    REG_SZ    hello \"world\"\n"
                             "    Count    REG_DWORD    0x2a\n"
                             "    (Default)    REG_SZ    default\n"
                             "    Bin    REG_BINARY    00FF10\n"
                             "    List    REG_MULTI_SZ    a\\0b\n"
                             "    Big    REG_QWORD    0x1122334455667788\n"
                             "\n"
                             "HKEY_CURRENT_USER\\Software\\Demo\\Empty\n"
                             "\n"
                             "HKEY_CURRENT_USER\\Software\\Demo\\Sub\n"
                             "\n"
                             "HKEY_CURRENT_USER\\Software\\Demo\\Sub\\Deeper\n"
                             "    \xC3\x9C"
                             "ber    REG_SZ    \xF0\x9F\x98\x80\n";

TEST_F(VokaRegTest, QueryShowsValuesInCreationOrderThenSubKeys)
{
    add_sample();
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo"}), k_sample_query);
    // Names ignore case; the path is shown as it was given, with the root's long name.
    std::string as_given = k_sample_query;
    for (std::size_t at = 0; (at = as_given.find("Software\\Demo", at)) != std::string::npos;)
        as_given.replace(at, 13, "software\\demo");
    EXPECT_EQ(ok({"query", "hkcu\\software\\demo\\"}), as_given);
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo", "-s"}), k_sample_tree);
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo", "-v", "Count"}),
              "HKEY_CURRENT_USER\\Software\\Demo\n    Count    REG_DWORD    0x2a\n");
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo", "-ve"}),
              "HKEY_CURRENT_USER\\Software\\Demo\n    (Default)    REG_SZ    default\n");
    EXPECT_EQ(fails({"query", "HKCU\\Software\\Demo", "-v", "missing"}),
              "ERROR: cannot read value missing of HKEY_CURRENT_USER\\Software\\Demo: the key or "
              "value does not exist (error 2)\n");
    EXPECT_EQ(fails({"query", "HKCU\\Software\\Nothing"}),
              "ERROR: cannot open HKEY_CURRENT_USER\\Software\\Nothing: the key or value does not "
              "exist (error 2)\n");
}

TEST_F(VokaRegTest, DeleteRemovesValuesOrAWholeTree)
{
    add_sample();
    ok({"delete", "HKCU\\Software\\Demo", "-v", "count", "-f"});
    ok({"delete", "HKCU\\Software\\Demo", "-ve"});
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo\\Sub", "-s"}),
              "HKEY_CURRENT_USER\\Software\\Demo\\Sub\n\n"
              "HKEY_CURRENT_USER\\Software\\Demo\\Sub\\Deeper\n"
              "    \xC3\x9C"
              "ber    REG_SZ    \xF0\x9F\x98\x80\n");
    ok({"delete", "HKCU\\Software\\Demo", "-va"});
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo"}), "HKEY_CURRENT_USER\\Software\\Demo\n\n"
                                                     "HKEY_CURRENT_USER\\Software\\Demo\\Empty\n"
                                                     "HKEY_CURRENT_USER\\Software\\Demo\\Sub\n");
    EXPECT_EQ(fails({"delete", "HKCU\\Software\\Demo", "-v", "Count"}),
              "ERROR: cannot delete value Count of HKEY_CURRENT_USER\\Software\\Demo: the key or "
              "value does not exist (error 2)\n");
    ok({"delete", "HKCU\\Software\\Demo"});
    EXPECT_EQ(ok({"query", "HKCU\\Software"}), "HKEY_CURRENT_USER\\Software\n");
    EXPECT_EQ(fails({"delete", "HKLM"}), "ERROR: cannot delete the root key HKEY_LOCAL_MACHINE\n");
    // The keys every registry has cannot be deleted; the first one met is named.
    EXPECT_EQ(fails({"delete", "HKLM\\Software"}),
              "ERROR: cannot delete HKEY_LOCAL_MACHINE\\Software\\Classes: access denied (error "
              "5)\n");
}

TEST_F(VokaRegTest, ExportThenImportGivesTheSameTree)
{
    add_sample();
    ok({"export", "HKCU\\Software\\Demo", path("demo.reg").string()});
    const std::string bytes = read_text(path("demo.reg"));
    // UTF-16LE with a byte-order mark, as the registry editor writes.
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE"
                                              "W\0",
                                              4));
    EXPECT_EQ(fails({"export", "HKCU\\Software\\Demo", path("demo.reg").string()}),
              "ERROR: " + path("demo.reg").string() + " exists (use -y to overwrite it)\n");
    ok({"export", "HKCU\\Software\\Demo", path("demo.reg").string(), "-y"});
    ok({"delete", "HKCU\\Software\\Demo"});
    ok({"import", path("demo.reg").string()});
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo", "-s"}), k_sample_tree);

    ok({"export", "HKCU\\Software\\Demo\\Sub", path("sub.reg").string(), "-utf8"});
    EXPECT_EQ(read_text(path("sub.reg")), "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\r\n\r\n"
                                          "[HKEY_CURRENT_USER\\Software\\Demo\\Sub\\Deeper]\r\n"
                                          "\"\xC3\x9C"
                                          "ber\"=\"\xF0\x9F\x98\x80\"\r\n\r\n");
}

TEST_F(VokaRegTest, ImportAppliesARegistryEditorFile)
{
    add_sample();
    // As the registry editor writes it: UTF-16LE, CR LF, a hex list wrapped over two lines.
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
        u"\"Name\"=-\r\n"
        u"\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,62,00,69,00,6e,00,00,\\\r\n"
        u"  00\r\n"
        u"\"Count\"=dword:00000007\r\n\r\n"
        u"[-HKEY_CURRENT_USER\\Software\\Demo\\Sub]\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Classes\\.voka]\r\n"
        u"@=\"Voka.File\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text)
    {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    write_text(path("in.reg"), bytes);
    ok({"import", path("in.reg").string()});
    EXPECT_EQ(ok({"query", "HKCU\\Software\\Demo", "-s"}),
              "HKEY_CURRENT_USER\\Software\\Demo\n"
              "    Count    REG_DWORD    0x7\n"
              "    (Default)    REG_SZ    default\n"
              "    Bin    REG_BINARY    00FF10\n"
              "    List    REG_MULTI_SZ    a\\0b\n"
              "    Big    REG_QWORD    0x1122334455667788\n"
              "    Path    REG_EXPAND_SZ    %HOME%/bin\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\Demo\\Empty\n");
    // HKEY_CLASSES_ROOT shows HKEY_LOCAL_MACHINE\Software\Classes.
    EXPECT_EQ(ok({"query", "HKCR\\.VOKA"}),
              "HKEY_CLASSES_ROOT\\.VOKA\n    (Default)    REG_SZ    Voka.File\n");
    // Deleting what is not there is no error, as with the registry editor.
    ok({"import", path("in.reg").string()});
}

TEST_F(VokaRegTest, ABrokenImportFileNamesTheLineAndChangesNothing)
{
    write_text(path("bad.reg"), "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\First]\n"
                                "\"v\"=dword:1\n"
                                "[HKEY_NOWHERE\\Software]\n");
    EXPECT_EQ(fails({"import", path("bad.reg").string()}),
              "ERROR: " + path("bad.reg").string() +
                  " line 5: unknown root key in \"HKEY_NOWHERE\\Software\" (use HKLM, HKCU, HKCR, "
                  "HKU, HKCC or their long names)\n");
    write_text(path("worse.reg"), "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\First]\n"
                                  "\"v\"=dword:xyz\n");
    EXPECT_EQ(fails({"import", path("worse.reg").string()}),
              "ERROR: " + path("worse.reg").string() +
                  " line 4: dword: takes 1 to 8 hexadecimal digits\n");
    EXPECT_EQ(fails({"query", "HKCU\\Software\\First"}),
              "ERROR: cannot open HKEY_CURRENT_USER\\Software\\First: the key or value does not "
              "exist (error 2)\n");
    EXPECT_EQ(fails({"import", path("missing.reg").string()}),
              "ERROR: cannot read " + path("missing.reg").string() + "\n");
}

TEST_F(VokaRegTest, AnImportWithNamesTheRegistryCannotTakeIsRefusedBeforeAnyChange)
{
    const std::string first = "Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_CURRENT_USER\\Software\\First]\n"
                              "\"v\"=dword:1\n\n";
    // U+1F600 is two UTF-16 units: 128 of them are 256.
    std::string wide_name;
    for (int i = 0; i < 128; ++i)
        wide_name += "\xF0\x9F\x98\x80";
    const std::string long_name(256, 'k');
    const struct
    {
        std::string block;
        std::string error;
    } cases[] = {
        {"[HKEY_CURRENT_USER\\Software\\" + long_name + "\\Below]\n",
         "line 6: a key name longer than 255 characters in \"HKEY_CURRENT_USER\\Software\\" +
             long_name + "\\Below\""},
        {"[HKEY_CURRENT_USER\\Software\\" + wide_name + "]\n",
         "line 6: a key name longer than 255 characters in \"HKEY_CURRENT_USER\\Software\\" +
             wide_name + "\""},
        {"[-HKEY_CURRENT_USER\\Software\\" + long_name + "]\n",
         "line 6: a key name longer than 255 characters in \"HKEY_CURRENT_USER\\Software\\" +
             long_name + "\""},
        {"[HKEY_CURRENT_USER\\\\Software]\n",
         "line 6: an empty key name in \"HKEY_CURRENT_USER\\\\Software\""},
        {"[-HKEY_CURRENT_USER\\Software\\\\Old]\n",
         "line 6: an empty key name in \"HKEY_CURRENT_USER\\Software\\\\Old\""},
        {"[HKEY_CURRENT_USER\\Software\\Second]\n\"ok\"=dword:2\n\"" + std::string(16384, 'v') +
             "\"=dword:3\n",
         "line 8: a value name longer than 16383 characters"},
    };
    for (const auto& test : cases)
    {
        write_text(path("names.reg"), first + test.block);
        EXPECT_EQ(fails({"import", path("names.reg").string()}),
                  "ERROR: " + path("names.reg").string() + " " + test.error + "\n");
        EXPECT_EQ(fails({"query", "HKCU\\Software\\First"}),
                  "ERROR: cannot open HKEY_CURRENT_USER\\Software\\First: the key or value does "
                  "not exist (error 2)\n");
    }
    // The longest names are taken; deleting a value by a name no value can have is no error.
    const std::string longest_key = std::string(253, 'k') + "\xF0\x9F\x98\x80";
    const std::string longest_value(16383, 'v');
    write_text(path("names.reg"), first + "[HKEY_CURRENT_USER\\Software\\" + longest_key +
                                      "]\n\"" + longest_value + "\"=dword:4\n\"" +
                                      std::string(16384, 'v') + "\"=-\n");
    ok({"import", path("names.reg").string()});
    EXPECT_EQ(ok({"query", "HKCU\\Software\\" + longest_key, "-v", longest_value}),
              "HKEY_CURRENT_USER\\Software\\" + longest_key + "\n    " + longest_value +
                  "    REG_DWORD    0x4\n");
}

TEST_F(VokaRegTest, ExportRefusesNamesWithLineFeedsAndWritesNoFile)
{
    ok({"add", "HKCU\\Software\\Lines", "-v", "two\nlines", "-d", "text"});
    EXPECT_EQ(fails({"export", "HKCU\\Software\\Lines", path("lines.reg").string()}),
              "ERROR: cannot export value two\\nlines of HKEY_CURRENT_USER\\Software\\Lines: its "
              "name has a line break, which a .reg file cannot hold\n");
    EXPECT_FALSE(std::filesystem::exists(path("lines.reg")));
    ok({"delete", "HKCU\\Software\\Lines", "-va"});
    ok({"add", "HKCU\\Software\\Lines\\Sub\r\nKey"});
    EXPECT_EQ(fails({"export", "HKCU\\Software\\Lines", path("lines.reg").string()}),
              "ERROR: cannot export HKEY_CURRENT_USER\\Software\\Lines\\Sub\\r\\nKey: its name has "
              "a line break, which a .reg file cannot hold\n");
    EXPECT_FALSE(std::filesystem::exists(path("lines.reg")));
}

TEST_F(VokaRegTest, CommandLineErrorsAreNamed)
{
    const struct
    {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{}, "no command (try: voka-reg help)"},
        {{"list"}, "unknown command \"list\" (try: voka-reg help)"},
        {{"query"}, "usage: voka-reg query <key> [options]"},
        {{"query", "HKCU", "HKLM"}, "usage: voka-reg query <key> [options]"},
        {{"export", "HKCU"}, "usage: voka-reg export <key> <file> [options]"},
        {{"query", "HKCU", "-x"}, "unknown option -x"},
        {{"query", "HKCU", "-d", "1"}, "query does not take -d"},
        {{"import", "a.reg", "-y"}, "import does not take -y"},
        {{"query", "HKCU", "-v"}, "-v needs a value"},
        {{"delete", "HKCU\\X", "-v", "a", "-va"}, "-v, -ve and -va exclude each other"},
        {{"add", "HKCU\\X", "-d", "1"}, "-t and -d need -v or -ve"},
        {{"add", "HKCU\\X", "-v", "a", "-t", "REG_TEXT"}, "unknown type REG_TEXT"},
        {{"add", "HKCU\\X", "-v", "a", "-t", "REG_DWORD", "-d", "4294967296"},
         "\"4294967296\" is not a 32-bit number for REG_DWORD"},
        {{"add", "HKCU\\X", "-v", "a", "-t", "REG_BINARY", "-d", "abc"},
         "\"abc\" is not pairs of hexadecimal digits for REG_BINARY"},
        {{"add", "SOFTWARE\\X"},
         "unknown root key in \"SOFTWARE\\X\" (use HKLM, HKCU, HKCR, HKU, HKCC or their long "
         "names)"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(fails(test.arguments), "ERROR: " + test.error + "\n");
    // Nothing was created by the failed adds.
    EXPECT_EQ(ok({"query", "HKCU"}), "HKEY_CURRENT_USER\n\nHKEY_CURRENT_USER\\Software\n");
}

TEST_F(VokaRegTest, HelpNamesEveryCommand)
{
    const std::string help = ok({"help"});
    EXPECT_EQ(help.rfind("voka-reg: look at and change the registry.\n", 0), 0u);
    for (const char* command : {"query", "add", "delete", "export", "import"})
        EXPECT_NE(help.find(std::string("  voka-reg ") + command + " "), std::string::npos);
    EXPECT_EQ(ok({"--help"}), help);
}

}  // namespace
