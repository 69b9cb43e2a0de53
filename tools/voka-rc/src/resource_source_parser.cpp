// The parser of resource sources: one statement per line, blocks from a keyword line to "end".
// Each line is split into words and quoted strings; every problem is reported with its line.
#include "resource_source.h"
#include "utf_text.h"
#include "voka/platform/resource_directory.h"

#include <algorithm>
#include <charconv>

namespace voka::rc
{
namespace
{

struct t_token
{
    std::string text;
    bool quoted = false;
};

// Where the parser is: at the top level or inside one kind of block.
enum class t_block
{
    none,
    version,
    binary_info,
    message_table,
};

class t_parser
{
public:
    explicit t_parser(std::string file_name) : m_file(std::move(file_name)) {}

    t_resource_source parse(std::string_view text)
    {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        while (!text.empty() || m_line == 0)
        {
            ++m_line;
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            if (!decode_utf8(line))
                fail("the line is not valid UTF-8");
            statement(tokenize(line));
        }
        if (m_block != t_block::none)
            throw t_source_error(m_file, m_block_line, "the block has no \"end\"");
        return std::move(m_source);
    }

private:
    [[noreturn]] void fail(const std::string& problem) const
    {
        throw t_source_error(m_file, m_line, problem);
    }

    std::vector<t_token> tokenize(std::string_view line) const
    {
        std::vector<t_token> tokens;
        std::size_t index = 0;
        while (index < line.size())
        {
            const char character = line[index];
            if (character == ' ' || character == '\t')
            {
                ++index;
                continue;
            }
            if (character == '#')
                break;
            t_token token;
            if (character != '"')
            {
                const std::size_t end = line.find_first_of(" \t\"#", index);
                token.text = std::string(line.substr(index, end - index));
                index = end == std::string_view::npos ? line.size() : end;
                tokens.push_back(std::move(token));
                continue;
            }
            token.quoted = true;
            for (++index;; ++index)
            {
                if (index >= line.size())
                    fail("the quoted string has no closing quote");
                if (line[index] == '"')
                    break;
                if (line[index] != '\\')
                {
                    // Control characters only by their escapes: a NUL would cut the text short
                    // for every reader that stops at one.
                    if (static_cast<unsigned char>(line[index]) < 0x20 && line[index] != '\t')
                        fail("a control character in a quoted string (write \\t, \\r or \\n)");
                    token.text.push_back(line[index]);
                    continue;
                }
                if (++index >= line.size())
                    fail("the quoted string has no closing quote");
                switch (line[index])
                {
                case '\\':
                    token.text.push_back('\\');
                    break;
                case '"':
                    token.text.push_back('"');
                    break;
                case 't':
                    token.text.push_back('\t');
                    break;
                case 'r':
                    token.text.push_back('\r');
                    break;
                case 'n':
                    token.text.push_back('\n');
                    break;
                default:
                    fail(std::string("unknown escape \\") + line[index]);
                }
            }
            ++index;
            if (index < line.size() && line[index] != ' ' && line[index] != '\t' &&
                line[index] != '#')
                fail("a quoted string must be followed by a space");
            tokens.push_back(std::move(token));
        }
        return tokens;
    }

    void expect_count(const std::vector<t_token>& tokens, std::size_t count,
                      std::string_view usage) const
    {
        if (tokens.size() != count)
            fail("expected: " + std::string(usage));
    }

    const std::string& word(const t_token& token, std::string_view what) const
    {
        if (token.quoted || token.text.empty())
            fail("expected " + std::string(what) + ", found a quoted string");
        return token.text;
    }

    const std::string& quoted(const t_token& token, std::string_view what) const
    {
        if (!token.quoted)
            fail("expected " + std::string(what) + " in double quotes, found \"" + token.text +
                 "\"");
        return token.text;
    }

    // A decimal or 0x-hexadecimal number up to `maximum`.
    std::uint64_t number(const t_token& token, std::uint64_t maximum, std::string_view what) const
    {
        std::string_view text = word(token, what);
        int base = 10;
        if (text.starts_with("0x") || text.starts_with("0X"))
        {
            text.remove_prefix(2);
            base = 16;
        }
        std::uint64_t value = 0;
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), value, base);
        if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
            value > maximum)
            fail("\"" + token.text + "\" is not a valid " + std::string(what) + " (0 to " +
                 std::to_string(maximum) + ")");
        return value;
    }

    t_four_part_version version(const t_token& token) const
    {
        const std::string& text = word(token, "a version a.b.c.d");
        t_four_part_version result;
        std::size_t start = 0;
        for (std::size_t part = 0; part < 4; ++part)
        {
            const std::size_t end = part == 3 ? text.size() : text.find('.', start);
            const std::string_view digits =
                std::string_view(text).substr(start, end == std::string::npos ? 0 : end - start);
            std::uint32_t value = 0;
            const auto [stop, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (end == std::string::npos || digits.empty() || error != std::errc{} ||
                stop != digits.data() + digits.size() || value > 0xFFFF)
                fail("\"" + text + "\" is not a four-part version a.b.c.d (parts 0 to 65535)");
            result.parts[part] = static_cast<std::uint16_t>(value);
            start = end + 1;
        }
        return result;
    }

    void statement(const std::vector<t_token>& tokens)
    {
        if (tokens.empty())
            return;
        const std::string& keyword = word(tokens[0], "a keyword");
        if (m_block != t_block::none && keyword == "end")
        {
            expect_count(tokens, 1, "end");
            close_block();
            return;
        }
        switch (m_block)
        {
        case t_block::none:
            top_level(keyword, tokens);
            break;
        case t_block::version:
            version_line(keyword, tokens);
            break;
        case t_block::binary_info:
            binary_info_line(keyword, tokens);
            break;
        case t_block::message_table:
            message_line(tokens);
            break;
        }
    }

    void open_block(t_block block)
    {
        m_block = block;
        m_block_line = m_line;
    }

    void top_level(const std::string& keyword, const std::vector<t_token>& tokens)
    {
        if (keyword == "version")
        {
            expect_count(tokens, 1, "version");
            if (m_source.version)
                fail("a second version block");
            m_source.version.emplace();
            m_file_version_seen = m_product_version_seen = false;
            open_block(t_block::version);
        }
        else if (keyword == "binary_info")
        {
            expect_count(tokens, 1, "binary_info");
            if (m_source.binary_info)
                fail("a second binary_info block");
            m_source.binary_info.emplace();
            open_block(t_block::binary_info);
        }
        else if (keyword == "manifest")
        {
            expect_count(tokens, 1, "manifest");
            if (m_source.manifest)
                fail("a second manifest");
            m_source.manifest = true;
        }
        else if (keyword == "message_table")
        {
            expect_count(tokens, 4, "message_table \"<name>\" language <language id>");
            t_message_table table;
            table.name = quoted(tokens[1], "the table name");
            if (table.name.empty())
                fail("the table name is empty");
            // FindResourceExW reads "#<digits>" as a number: such a name could never be found.
            if (table.name.starts_with('#'))
                fail("the table name starts with \"#\"");
            if (word(tokens[2], "\"language\"") != "language")
                fail("expected: message_table \"<name>\" language <language id>");
            table.language = static_cast<std::uint16_t>(number(tokens[3], 0xFFFF, "language id"));
            const std::wstring name = to_wide(*decode_utf8(table.name));
            for (const t_message_table& other : m_source.message_tables)
                if (other.language == table.language &&
                    platform::resource_names_equal_ignoring_case(to_wide(*decode_utf8(other.name)),
                                                                 name))
                    fail("a second message table \"" + table.name + "\" in this language");
            m_source.message_tables.push_back(std::move(table));
            open_block(t_block::message_table);
        }
        else if (keyword == "end")
            fail("\"end\" outside a block");
        else
            fail("unknown statement \"" + keyword +
                 "\" (expected version, binary_info, manifest or message_table)");
    }

    void version_line(const std::string& keyword, const std::vector<t_token>& tokens)
    {
        t_version_info& info = *m_source.version;
        if (keyword == "file_version" || keyword == "product_version")
        {
            expect_count(tokens, 2, keyword + " a.b.c.d");
            bool& seen = keyword == "file_version" ? m_file_version_seen : m_product_version_seen;
            if (seen)
                fail("a second " + keyword);
            seen = true;
            (keyword == "file_version" ? info.file_version : info.product_version) =
                version(tokens[1]);
        }
        else if (keyword == "string")
        {
            expect_count(tokens, 3, "string <Key> \"<value>\"");
            const std::string& key = word(tokens[1], "a key");
            if (!std::all_of(key.begin(), key.end(),
                             [](char c) {
                                 return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                        (c >= '0' && c <= '9') || c == '_';
                             }))
                fail("the key \"" + key + "\" may hold only letters, digits and '_'");
            for (const t_version_string& other : info.strings)
                if (other.key == key)
                    fail("a second string " + key);
            info.strings.push_back({key, quoted(tokens[2], "the value")});
        }
        else
            fail("unknown version statement \"" + keyword +
                 "\" (expected file_version, product_version, string or end)");
    }

    void binary_info_line(const std::string& keyword, const std::vector<t_token>& tokens)
    {
        if (keyword != "reference")
            fail("unknown binary_info statement \"" + keyword + "\" (expected reference or end)");
        expect_count(tokens, 3, "reference \"<file name>\" a.b.c.d");
        t_binary_reference reference{quoted(tokens[1], "the file name"), version(tokens[2])};
        if (reference.name.empty())
            fail("the file name is empty");
        for (const t_binary_reference& other : *m_source.binary_info)
            if (other.name == reference.name)
                fail("a second reference to \"" + reference.name + "\"");
        m_source.binary_info->push_back(std::move(reference));
    }

    void message_line(const std::vector<t_token>& tokens)
    {
        expect_count(tokens, 2, "<message id> \"<text>\" or end");
        t_message_entry entry;
        entry.id = static_cast<std::uint32_t>(number(tokens[0], 0xFFFFFFFF, "message id"));
        entry.text = quoted(tokens[1], "the text");
        if (entry.text.size() > k_max_message_text_bytes)
            fail("the text is longer than " + std::to_string(k_max_message_text_bytes) + " bytes");
        t_message_table& table = m_source.message_tables.back();
        for (const t_message_entry& other : table.entries)
            if (other.id == entry.id)
                fail("a second message " + std::to_string(entry.id) + " in this table");
        table.entries.push_back(std::move(entry));
    }

    void close_block()
    {
        if (m_block == t_block::version)
        {
            t_version_info& info = *m_source.version;
            if (!m_file_version_seen)
                throw t_source_error(m_file, m_block_line, "the version block has no file_version");
            if (!m_product_version_seen)
                info.product_version = info.file_version;
            const auto add_if_missing = [&info](const char* key, const t_four_part_version& value)
            {
                if (std::none_of(info.strings.begin(), info.strings.end(),
                                 [key](const t_version_string& text) { return text.key == key; }))
                    info.strings.push_back({key, value.text()});
            };
            add_if_missing("FileVersion", info.file_version);
            add_if_missing("ProductVersion", info.product_version);
        }
        if (m_block == t_block::message_table && m_source.message_tables.back().entries.empty())
            throw t_source_error(m_file, m_block_line, "the message table has no messages");
        m_block = t_block::none;
    }

    std::string m_file;
    std::size_t m_line = 0;
    t_block m_block = t_block::none;
    std::size_t m_block_line = 0;
    bool m_file_version_seen = false;
    bool m_product_version_seen = false;
    t_resource_source m_source;
};

}  // namespace

std::string t_four_part_version::text() const
{
    return std::to_string(parts[0]) + '.' + std::to_string(parts[1]) + '.' +
           std::to_string(parts[2]) + '.' + std::to_string(parts[3]);
}

t_source_error::t_source_error(const std::string& file, std::size_t line,
                               const std::string& problem)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + problem), m_line(line)
{
}

t_resource_source parse_resource_source(std::string_view text, const std::string& file_name)
{
    return t_parser(file_name).parse(text);
}

}  // namespace voka::rc
