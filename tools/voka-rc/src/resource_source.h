// What a module's resource source declares (see tools/voka-rc/README.md for the format), and its
// parser. Texts are kept as the source's UTF-8; the builders convert them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace voka::rc
{

// A four-part version a.b.c.d, each part 0 to 65535.
struct t_four_part_version
{
    std::array<std::uint16_t, 4> parts{};

    std::string text() const;  // "a.b.c.d"
    friend bool operator==(const t_four_part_version&, const t_four_part_version&) = default;
};

struct t_version_string
{
    std::string key;
    std::string value;
};

// The version resource: VS_VERSIONINFO with one string table (0409, code page 1200).
struct t_version_info
{
    t_four_part_version file_version;
    t_four_part_version product_version;
    std::vector<t_version_string> strings;  // source order
};

// One library the module references, for the VOKA.BINARY_INFO document.
struct t_binary_reference
{
    std::string name;
    t_four_part_version version;
};

struct t_message_entry
{
    std::uint32_t id = 0;
    std::string text;  // without the line end the compiler appends
};

// One language of one named message table.
struct t_message_table
{
    std::string name;
    std::uint16_t language = 0;
    std::vector<t_message_entry> entries;  // source order, ids unique
};

struct t_resource_source
{
    std::optional<t_version_info> version;
    std::optional<std::vector<t_binary_reference>> binary_info;
    bool manifest = false;
    std::vector<t_message_table> message_tables;
};

// Bad input: what() reads "<file>:<line>: <problem>".
class t_source_error : public std::runtime_error
{
public:
    t_source_error(const std::string& file, std::size_t line, const std::string& problem);

    std::size_t line() const noexcept { return m_line; }

private:
    std::size_t m_line = 0;
};

// The longest message text in bytes: an entry (4-byte header, text, CR LF, at least one NUL,
// padded to four) must fit its 16-bit length.
inline constexpr std::size_t k_max_message_text_bytes = 0xFFFC - 4 - 2 - 1;

// Parses the UTF-8 source `text`, naming `file_name` in errors. Throws t_source_error.
t_resource_source parse_resource_source(std::string_view text, const std::string& file_name);

}  // namespace voka::rc
