// The resource-source parser: what a valid source declares, and every kind of bad line rejected
// with its file name and line number.
#include "resource_source.h"

#include <gtest/gtest.h>

#include <string>

namespace voka::rc
{
namespace
{

TEST(ResourceSourceTest, ReadsEveryStatement)
{
    const std::string text = "\xEF\xBB\xBF# comment\r\n"
                             "version\r\n"
                             "  file_version 3.0.4.416  # trailing comment\r\n"
                             "  string OriginalFilename \"a \\\"b\\\" \\\\ c.dll\"\r\n"
                             "end\r\n"
                             "binary_info\n"
                             "  reference \"x.dll\" 1.3.2.73\n"
                             "  reference \"y.dll\" 65535.0.2.41\n"
                             "end\n"
                             "manifest\n"
                             "message_table \"Tab\" language 0x19\n"
                             "  0x15 \"Текст\"\n"
                             "  4294967295 \"\"\n"
                             "end";
    const t_resource_source source = parse_resource_source(text, "a.resources");
    ASSERT_TRUE(source.version);
    EXPECT_EQ(source.version->file_version.text(), "3.0.4.416");
    EXPECT_EQ(source.version->product_version.text(), "3.0.4.416");  // defaults to the file's
    ASSERT_EQ(source.version->strings.size(), 3u);  // FileVersion and ProductVersion added
    EXPECT_EQ(source.version->strings[0].key, "OriginalFilename");
    EXPECT_EQ(source.version->strings[0].value, "a \"b\" \\ c.dll");
    EXPECT_EQ(source.version->strings[1].key, "FileVersion");
    EXPECT_EQ(source.version->strings[1].value, "3.0.4.416");
    EXPECT_EQ(source.version->strings[2].key, "ProductVersion");
    ASSERT_TRUE(source.binary_info);
    ASSERT_EQ(source.binary_info->size(), 2u);
    EXPECT_EQ((*source.binary_info)[1].name, "y.dll");
    EXPECT_EQ((*source.binary_info)[1].version.text(), "65535.0.2.41");
    EXPECT_TRUE(source.manifest);
    ASSERT_EQ(source.message_tables.size(), 1u);
    EXPECT_EQ(source.message_tables[0].name, "Tab");
    EXPECT_EQ(source.message_tables[0].language, 0x19);
    ASSERT_EQ(source.message_tables[0].entries.size(), 2u);
    EXPECT_EQ(source.message_tables[0].entries[0].id, 0x15u);
    EXPECT_EQ(source.message_tables[0].entries[0].text, "Текст");
    EXPECT_EQ(source.message_tables[0].entries[1].id, 0xFFFFFFFFu);
}

TEST(ResourceSourceTest, ExplicitVersionStringsAreKeptAsGiven)
{
    const t_resource_source source =
        parse_resource_source("version\n file_version 1.2.3.4\n product_version 5.6.7.8\n"
                              " string ProductVersion \"five\"\nend\n",
                              "a");
    ASSERT_EQ(source.version->strings.size(), 2u);
    EXPECT_EQ(source.version->strings[0].key, "ProductVersion");
    EXPECT_EQ(source.version->strings[0].value, "five");
    EXPECT_EQ(source.version->strings[1].key, "FileVersion");
    EXPECT_EQ(source.version->product_version.text(), "5.6.7.8");
}

TEST(ResourceSourceTest, EmptySourceDeclaresNothing)
{
    const t_resource_source source = parse_resource_source("", "a");
    EXPECT_FALSE(source.version);
    EXPECT_FALSE(source.binary_info);
    EXPECT_FALSE(source.manifest);
    EXPECT_TRUE(source.message_tables.empty());
}

TEST(ResourceSourceTest, BadLinesAreRejectedWithTheirLine)
{
    const std::string table = "message_table \"T\" language 9\n";
    struct t_case
    {
        std::string text;
        std::size_t line;
        std::string problem;
    };
    const t_case cases[] = {
        {"manifest\nresources\n", 2, "unknown statement \"resources\""},
        {"manifest\nmanifest\n", 2, "a second manifest"},
        {"\n\nend\n", 3, "\"end\" outside a block"},
        {"version\n file_version 1.2.3\nend\n", 2, "not a four-part version"},
        {"version\n file_version 1.2.3.65536\nend\n", 2, "not a four-part version"},
        {"version\n file_version 1.2.3.4.5\nend\n", 2, "not a four-part version"},
        {"version\n file_version 1..3.4\nend\n", 2, "not a four-part version"},
        {"version\n string Key \"v\"\nend\n", 1, "no file_version"},
        {"version\n file_version 1.2.3.4\n", 1, "has no \"end\""},
        {"version\n file_version 1.2.3.4\n file_version 1.2.3.4\nend\n", 3, "second"},
        {"version\n file_version 1.2.3.4\n string A-B \"v\"\nend\n", 3, "letters, digits"},
        {"version\n file_version 1.2.3.4\n string A v\nend\n", 3, "double quotes"},
        {"version\n file_version 1.2.3.4\n string A \"v\"\n string A \"w\"\nend\n", 4,
         "second string A"},
        {"version\n file_version 1.2.3.4\n flags 3\nend\n", 3, "unknown version statement"},
        {"binary_info\n reference \"a.dll\"\nend\n", 2, "expected: reference"},
        {"binary_info\n reference \"\" 1.2.3.4\nend\n", 2, "file name is empty"},
        {"binary_info\n reference \"a\" 1.2.3.4\n reference \"a\" 1.2.3.4\nend\n", 3,
         "second reference"},
        {"binary_info\n reference \"a 1.2.3.4\nend\n", 2, "no closing quote"},
        {"binary_info\n reference \"a\\q\" 1.2.3.4\nend\n", 2, "unknown escape"},
        {"binary_info\n reference \"a\"1.2.3.4\nend\n", 2, "followed by a space"},
        {"message_table T language 9\nend\n", 1, "in double quotes"},
        {"message_table \"T\" lang 9\n 1 \"a\"\nend\n", 1, "expected: message_table"},
        {"message_table \"T\" language 0x10000\n 1 \"a\"\nend\n", 1, "not a valid language id"},
        {"message_table \"\" language 9\n 1 \"a\"\nend\n", 1, "table name is empty"},
        {"message_table \"#12\" language 9\n 1 \"a\"\nend\n", 1, "starts with \"#\""},
        {table + " 1 \"a" + std::string(1, '\0') + "b\"\nend\n", 2, "a control character"},
        {table + " 1 \"a\x01\"\nend\n", 2, "a control character"},
        {table + "end\n", 1, "no messages"},
        {table + " 1 \"a\"\n 2\nend\n", 3, "expected: <message id>"},
        {table + " 4294967296 \"a\"\nend\n", 2, "not a valid message id"},
        {table + " 1x \"a\"\nend\n", 2, "not a valid message id"},
        {table + " 1 \"a\"\n 1 \"b\"\nend\n", 3, "second message 1"},
        {table + " 1 \"" + std::string(65526, 'x') + "\"\nend\n", 2, "longer than 65525"},
        {table + " 1 \"a\"\nend\nmessage_table \"t\" language 9\n 1 \"a\"\nend\n", 4,
         "second message table"},
        {table + " 1 \"\xC3\x28\"\nend\n", 2, "not valid UTF-8"},
        {table + " 1 \"\xED\xA0\x80\"\nend\n", 2, "not valid UTF-8"},  // a surrogate
        {table + " 1 \"\xC0\xAF\"\nend\n", 2, "not valid UTF-8"},      // overlong
    };
    for (const t_case& test : cases)
    {
        SCOPED_TRACE(test.text.substr(0, 80));
        try
        {
            parse_resource_source(test.text, "dir/m.resources");
            ADD_FAILURE() << "accepted";
        }
        catch (const t_source_error& error)
        {
            EXPECT_EQ(error.line(), test.line);
            const std::string message = error.what();
            EXPECT_TRUE(message.starts_with("dir/m.resources:" + std::to_string(test.line) + ": "))
                << message;
            EXPECT_NE(message.find(test.problem), std::string::npos) << message;
        }
    }
}

TEST(ResourceSourceTest, LongestTextIsAccepted)
{
    const t_resource_source source = parse_resource_source(
        "message_table \"T\" language 9\n 1 \"" + std::string(65525, 'x') + "\"\nend\n", "a");
    EXPECT_EQ(source.message_tables[0].entries[0].text.size(), 65525u);
}

}  // namespace
}  // namespace voka::rc
