// The .reg format of voka-reg: the parser on well-formed files of both versions and encodings,
// its exact errors for malformed lines, and the writer's layout and round trip.
#include "reg_file.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace voka_reg
{
namespace
{

std::vector<std::uint8_t> utf8_bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> utf16_bytes(const std::wstring& text)
{
    return encode_reg_text(text, false);
}

t_bytes dword_bytes(DWORD value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return t_bytes(bytes, bytes + sizeof(value));
}

t_bytes wide_bytes(std::initializer_list<wchar_t> characters)
{
    t_bytes bytes;
    for (const wchar_t c : characters)
    {
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&c);
        bytes.insert(bytes.end(), raw, raw + sizeof(c));
    }
    return bytes;
}

// The message of the t_tool_error that parsing `text` (UTF-8) throws; empty when none.
std::string parse_error(const std::string& text)
{
    try
    {
        parse_reg_file(utf8_bytes(text), "in.reg");
    }
    catch (const t_tool_error& error)
    {
        return error.what();
    }
    return {};
}

const char k_header[] = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST(RegFileTest, ParsesEveryKindOfLineInBothEncodings)
{
    const std::wstring text = L"Windows Registry Editor Version 5.00\r\n"
                              L"\r\n"
                              L"; a comment\r\n"
                              L"[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
                              L"@=\"default\"\r\n"
                              L"\"Quoted \\\"name\\\"\" = \"a \\\\ b\"\r\n"
                              L"\"Count\"=dword:0000002a\r\n"
                              L"\"Short\"=dword:7\r\n"
                              L"\"Bin\"=hex:00,FF, 1\r\n"
                              L"\"Empty\"=hex:\r\n"
                              L"\"Exp\"=hex(2):25,00,41,00,3d,d8,00,de,00,00\r\n"
                              L"\"Multi\"=hex(7):61,00,00,00,\\\r\n"
                              L"  62,00,00,00,00,00\r\n"
                              L"\"Odd\"=hex(12345678):01\r\n"
                              L"\"Gone\"=-\r\n"
                              L"\r\n"
                              L"[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    for (const bool utf8 : {false, true})
    {
        const t_reg_file file = parse_reg_file(encode_reg_text(text, utf8), "in.reg");
        ASSERT_EQ(file.keys.size(), 2u);
        const t_reg_key& key = file.keys[0];
        EXPECT_EQ(key.path, L"HKEY_CURRENT_USER\\Software\\Demo");
        EXPECT_FALSE(key.remove);
        EXPECT_EQ(key.line, 4u);
        ASSERT_EQ(key.values.size(), 10u);
        const struct
        {
            std::wstring name;
            DWORD type;
            t_bytes data;
            bool remove;
        } expected[] = {
            {L"", REG_SZ, wide_string_data(L"default"), false},
            {L"Quoted \"name\"", REG_SZ, wide_string_data(L"a \\ b"), false},
            {L"Count", REG_DWORD, dword_bytes(42), false},
            {L"Short", REG_DWORD, dword_bytes(7), false},
            {L"Bin", REG_BINARY, {0x00, 0xFF, 0x01}, false},
            {L"Empty", REG_BINARY, {}, false},
            // A surrogate pair in the UTF-16 bytes is one wide character.
            {L"Exp", REG_EXPAND_SZ, wide_bytes({L'%', L'A', L'\U0001F600', L'\0'}), false},
            {L"Multi", REG_MULTI_SZ, wide_bytes({L'a', L'\0', L'b', L'\0', L'\0'}), false},
            {L"Odd", 0x12345678, {0x01}, false},
            {L"Gone", REG_NONE, {}, true},
        };
        for (std::size_t i = 0; i < key.values.size(); ++i)
        {
            EXPECT_EQ(key.values[i].name, expected[i].name) << i;
            EXPECT_EQ(key.values[i].type, expected[i].type) << i;
            EXPECT_EQ(key.values[i].data, expected[i].data) << i;
            EXPECT_EQ(key.values[i].remove, expected[i].remove) << i;
        }
        EXPECT_EQ(key.values[7].line, 12u);
        EXPECT_EQ(file.keys[1].path, L"HKEY_CURRENT_USER\\Software\\Old");
        EXPECT_TRUE(file.keys[1].remove);
        EXPECT_EQ(file.keys[1].line, 17u);
    }
}

TEST(RegFileTest, Version4FilesHoldStringsAs8BitText)
{
    const t_reg_file file =
        parse_reg_file(utf8_bytes("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Old]\n"
                                  "\"Exp\"=hex(2):25,41,25,00\n\"Text\"=\"plain\"\n"),
                       "old.reg");
    ASSERT_EQ(file.keys.size(), 1u);
    ASSERT_EQ(file.keys[0].values.size(), 2u);
    EXPECT_EQ(file.keys[0].values[0].data, wide_bytes({L'%', L'A', L'%', L'\0'}));
    EXPECT_EQ(file.keys[0].values[1].data, wide_string_data(L"plain"));
}

TEST(RegFileTest, ABomOrLeadingBlankLinesAreAccepted)
{
    const std::string body = "[HKEY_USERS\\X]\n\"v\"=dword:1\n";
    for (const std::string& prefix :
         {std::string("\xEF\xBB\xBF") + k_header, "\n\n" + std::string(k_header)})
    {
        const t_reg_file file = parse_reg_file(utf8_bytes(prefix + body), "in.reg");
        ASSERT_EQ(file.keys.size(), 1u);
        EXPECT_EQ(file.keys[0].values.size(), 1u);
    }
}

TEST(RegFileTest, MalformedFilesGiveTheLineAndWhatIsWrong)
{
    const std::string key = "[HKEY_CURRENT_USER\\K]\n";
    const struct
    {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "in.reg: not a .reg file (the first line is not \"Windows Registry Editor Version "
             "5.00\" or \"REGEDIT4\")"},
        {"Windows Registry Editor Version 4.00\n", "in.reg: not a .reg file (the first line is "
                                                   "not \"Windows Registry Editor Version 5.00\" "
                                                   "or \"REGEDIT4\")"},
        {std::string(k_header) + "\"v\"=dword:1\n", "in.reg line 3: a value before the first key"},
        {std::string(k_header) + "[HKEY_CURRENT_USER\\K\n",
         "in.reg line 3: a key line without \"]\""},
        {std::string(k_header) + "[HKEY_CURRENT_USER\\K] x\n", "in.reg line 3: text after \"]\""},
        {std::string(k_header) + "[]\n", "in.reg line 3: an empty key path"},
        {std::string(k_header) + "[-]\n", "in.reg line 3: an empty key path"},
        {std::string(k_header) + "[-HKEY_CURRENT_USER\\K]\n\"v\"=-\n",
         "in.reg line 4: a value below a key that is deleted"},
        {std::string(k_header) + key + "\"v\" dword:1\n",
         "in.reg line 4: \"=\" expected after the value name"},
        {std::string(k_header) + key + "\"v=dword:1\n",
         "in.reg line 4: a string without its closing quote"},
        {std::string(k_header) + key + "\"v\"=\"a\\n\"\n",
         "in.reg line 4: an unknown escape in \"\"a\\n\"\" (only \\\\ and \\\")"},
        {std::string(k_header) + key + "\"v\"=\"a\" b\n",
         "in.reg line 4: text after the closing quote"},
        {std::string(k_header) + key + "\"v\"=dword:123456789\n",
         "in.reg line 4: dword: takes 1 to 8 hexadecimal digits"},
        {std::string(k_header) + key + "\"v\"=dword:\n",
         "in.reg line 4: dword: takes 1 to 8 hexadecimal digits"},
        {std::string(k_header) + key + "\"v\"=dword:12g\n",
         "in.reg line 4: dword: takes 1 to 8 hexadecimal digits"},
        {std::string(k_header) + key + "\"v\"=hex:1,,2\n",
         "in.reg line 4: \"\" is not a hexadecimal byte"},
        {std::string(k_header) + key + "\"v\"=hex:123\n",
         "in.reg line 4: \"123\" is not a hexadecimal byte"},
        {std::string(k_header) + key + "\"v\"=hex(2):41\n",
         "in.reg line 4: UTF-16 text of an odd number of bytes"},
        {std::string(k_header) + key + "\"v\"=hex(x):41\n",
         "in.reg line 4: hex(<type>): the type is hexadecimal"},
        {std::string(k_header) + key + "\"v\"=hex():41\n", "in.reg line 4: hex(<type>): expected"},
        {std::string(k_header) + key + "\"v\"=hex(123456789):41\n",
         "in.reg line 4: hex(<type>): expected"},
        {std::string(k_header) + key + "\"v\"=hex:01,\\",
         "in.reg line 4: the value goes on past the end of the file"},
        {std::string(k_header) + key + "\"v\"=qword:1\n",
         "in.reg line 4: unknown data \"qword:1\""},
        {std::string(k_header) + key + "stray\n", "in.reg line 4: unexpected text \"stray\""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(parse_error(test.text), test.error) << test.text;
    // Names the registry cannot hold: a zero character, a lone surrogate from UTF-16 input.
    const struct
    {
        std::wstring text;
        std::string error;
    } unholdable[] = {
        {L"[HKEY_CURRENT_USER\\K]\r\n\"a" + std::wstring(1, L'\0') + L"b\"=dword:1\r\n",
         "in.reg line 4: a value name with a character the registry cannot hold"},
        {L"[HKEY_CURRENT_USER\\" + std::wstring(1, static_cast<wchar_t>(0xD800)) + L"]\r\n",
         "in.reg line 3: a key path with a character the registry cannot hold"},
    };
    for (const auto& test : unholdable)
    {
        std::vector<std::uint8_t> bytes =
            utf16_bytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + test.text);
        try
        {
            parse_reg_file(bytes, "in.reg");
            ADD_FAILURE() << test.error;
        }
        catch (const t_tool_error& error)
        {
            EXPECT_EQ(error.what(), test.error);
        }
    }
    // UTF-16 files of an odd length.
    std::vector<std::uint8_t> odd = utf16_bytes(L"Windows Registry Editor Version 5.00\r\n");
    odd.push_back(0x41);
    try
    {
        parse_reg_file(odd, "odd.reg");
        ADD_FAILURE() << "no error";
    }
    catch (const t_tool_error& error)
    {
        EXPECT_STREQ(error.what(), "odd.reg: UTF-16 text of an odd number of bytes");
    }
}

TEST(RegFileTest, TheWriterUsesTheRegistryEditorsLayout)
{
    t_reg_file file;
    t_reg_key key;
    key.path = L"HKEY_CURRENT_USER\\Software\\W";
    key.values.push_back({L"", false, REG_SZ, wide_string_data(L"say \"hi\" \\o/"), 0});
    key.values.push_back({L"n", false, REG_DWORD, dword_bytes(0xABCDEF), 0});
    key.values.push_back({L"two lines", false, REG_SZ, wide_string_data(L"a\nb"), 0});
    key.values.push_back({L"long", false, REG_BINARY, t_bytes(30, 0x5A), 0});
    key.values.push_back({L"gone", true, REG_NONE, {}, 0});
    file.keys.push_back(key);
    file.keys.push_back({L"HKEY_CURRENT_USER\\Software\\Old", true, {}, 0});
    const std::wstring text = format_reg_file(file);
    EXPECT_EQ(text,
              L"Windows Registry Editor Version 5.00\r\n\r\n"
              L"[HKEY_CURRENT_USER\\Software\\W]\r\n"
              L"@=\"say \\\"hi\\\" \\\\o/\"\r\n"
              L"\"n\"=dword:00abcdef\r\n"
              L"\"two lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
              L"\"long\"=hex:5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,"
              L"\\\r\n"
              L"  5a,5a,5a,5a,5a,5a,5a,5a\r\n"
              L"\"gone\"=-\r\n"
              L"\r\n"
              L"[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
              L"\r\n");
    // Every line, the wrapped ones included, fits in 80 columns.
    std::size_t start = 0;
    while (start < text.size())
    {
        const std::size_t end = text.find(L"\r\n", start);
        EXPECT_LE(end - start, 80u);
        start = end + 2;
    }
    const std::vector<std::uint8_t> bytes = encode_reg_text(L"[x]", false);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xFF, 0xFE, '[', 0, 'x', 0, ']', 0}));
}

TEST(RegFileTest, WhatTheWriterWritesTheParserReadsBack)
{
    t_reg_file file;
    t_reg_key key;
    key.path = L"HKEY_LOCAL_MACHINE\\Software\\\u00DCber";
    const std::vector<t_reg_value> values = {
        {L"plain", false, REG_SZ, wide_string_data(L"\u00E9t\u00E9 \U0001F600"), 0},
        {L"no terminator", false, REG_SZ, wide_bytes({L'a', L'b'}), 0},
        {L"inner zero", false, REG_SZ, wide_bytes({L'a', L'\0', L'b', L'\0'}), 0},
        {L"empty", false, REG_SZ, {}, 0},
        {L"expand", false, REG_EXPAND_SZ, wide_string_data(L"%PATH%"), 0},
        {L"multi", false, REG_MULTI_SZ, wide_bytes({L'x', L'\0', L'y', L'\0', L'\0'}), 0},
        {L"qword", false, REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, 0},
        {L"big", false, REG_BINARY, t_bytes(1000, 0xC3), 0},
        {L"short dword", false, REG_DWORD, {1, 2}, 0},
        {L"none", false, REG_NONE, {}, 0},
        {L"quote \" and \\", false, 0x7FFFFFFF, {9}, 0},
        // A lone surrogate is kept as it is by UTF-16 and by the import.
        {L"lone surrogate", false, REG_SZ,
         wide_bytes({static_cast<wchar_t>(0xD800), L'a', static_cast<wchar_t>(0xDFFF), L'\0'}), 0},
    };
    key.values = values;
    file.keys.push_back(key);
    for (const bool utf8 : {false, true})
    {
        const t_reg_file read =
            parse_reg_file(encode_reg_text(format_reg_file(file), utf8), "round.reg");
        ASSERT_EQ(read.keys.size(), 1u);
        EXPECT_EQ(read.keys[0].path, key.path);
        ASSERT_EQ(read.keys[0].values.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
        {
            EXPECT_EQ(read.keys[0].values[i].name, values[i].name);
            EXPECT_EQ(read.keys[0].values[i].type, values[i].type) << i;
            EXPECT_EQ(read.keys[0].values[i].data, values[i].data) << i;
        }
    }
}

// The message of the t_tool_error that writing `file` throws; empty when none.
std::string format_error(const t_reg_file& file)
{
    try
    {
        format_reg_file(file);
    }
    catch (const t_tool_error& error)
    {
        return error.what();
    }
    return {};
}

TEST(RegFileTest, TheWriterRefusesStringDataThatWouldNotComeBackUnchanged)
{
    const t_bytes whole = wide_bytes({L'a', L'b', L'\0'});
    const struct
    {
        DWORD type;
        t_bytes data;
        std::string type_name;
    } cases[] = {
        // A partial last character.
        {REG_SZ, t_bytes(whole.begin(), whole.end() - 2), "REG_SZ"},
        // A value above U+10FFFF.
        {REG_SZ, wide_bytes({static_cast<wchar_t>(0x110000), L'\0'}), "REG_SZ"},
        {REG_EXPAND_SZ, wide_bytes({L'%', static_cast<wchar_t>(-1), L'\0'}), "REG_EXPAND_SZ"},
        // Two surrogates that UTF-16 would read back as one character.
        {REG_MULTI_SZ,
         wide_bytes({static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'\0', L'\0'}),
         "REG_MULTI_SZ"},
        {REG_LINK, t_bytes{0x41}, "REG_LINK"},
    };
    for (const auto& test : cases)
    {
        for (const std::wstring& name : {std::wstring(L"bad"), std::wstring()})
        {
            t_reg_file file;
            t_reg_key key;
            key.path = L"HKEY_CURRENT_USER\\Software\\S";
            key.values.push_back({L"fine", false, REG_SZ, whole, 0});
            key.values.push_back({name, false, test.type, test.data, 0});
            file.keys.push_back(key);
            EXPECT_EQ(format_error(file),
                      "cannot export value " + std::string(name.empty() ? "(Default)" : "bad") +
                          " of HKEY_CURRENT_USER\\Software\\S: its " + test.type_name +
                          " data is not a whole number of valid characters, which a .reg file "
                          "cannot hold unchanged");
        }
    }
    // The same bytes as another type are written as they are.
    t_reg_file file;
    file.keys.push_back({L"HKEY_CURRENT_USER\\Software\\S", false, {}, 0});
    file.keys[0].values.push_back({L"bytes", false, REG_BINARY, cases[0].data, 0});
    const t_reg_file read = parse_reg_file(encode_reg_text(format_reg_file(file), false), "s.reg");
    ASSERT_EQ(read.keys.size(), 1u);
    ASSERT_EQ(read.keys[0].values.size(), 1u);
    EXPECT_EQ(read.keys[0].values[0].data, cases[0].data);
}

TEST(RegFileTest, TheWriterRefusesNamesWithLineFeeds)
{
    t_reg_file value_file;
    value_file.keys.push_back({L"HKEY_CURRENT_USER\\Software\\N", false, {}, 0});
    value_file.keys[0].values.push_back({L"first\nsecond", false, REG_DWORD, dword_bytes(1), 0});
    EXPECT_EQ(format_error(value_file),
              "cannot export value first\\nsecond of HKEY_CURRENT_USER\\Software\\N: its name has "
              "a line break, which a .reg file cannot hold");
    value_file.keys[0].values[0] = {L"gone\r\n", true, REG_NONE, {}, 0};
    EXPECT_EQ(format_error(value_file),
              "cannot export value gone\\r\\n of HKEY_CURRENT_USER\\Software\\N: its name has a "
              "line break, which a .reg file cannot hold");

    t_reg_file key_file;
    key_file.keys.push_back({L"HKEY_CURRENT_USER\\Software\\N", false, {}, 0});
    key_file.keys.push_back({L"HKEY_CURRENT_USER\\Software\\N\\two\nlines", false, {}, 0});
    EXPECT_EQ(format_error(key_file),
              "cannot export HKEY_CURRENT_USER\\Software\\N\\two\\nlines: its name has a line "
              "break, which a .reg file cannot hold");
    // A carriage return alone ends no line: it is written, and read back, as it is.
    t_reg_file carriage_return;
    carriage_return.keys.push_back({L"HKEY_CURRENT_USER\\Software\\N\\cr\r", false, {}, 0});
    carriage_return.keys[0].values.push_back({L"a\rb\r", false, REG_DWORD, dword_bytes(1), 0});
    for (const bool utf8 : {false, true})
    {
        const t_reg_file read = parse_reg_file(
            encode_reg_text(format_reg_file(carriage_return), utf8), "cr.reg");
        ASSERT_EQ(read.keys.size(), 1u);
        EXPECT_EQ(read.keys[0].path, carriage_return.keys[0].path);
        ASSERT_EQ(read.keys[0].values.size(), 1u);
        EXPECT_EQ(read.keys[0].values[0].name, L"a\rb\r");
    }
}

}  // namespace
}  // namespace voka_reg
