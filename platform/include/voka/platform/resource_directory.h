// The resource-directory codec: reads and writes the PE resource directory (the content of a
// .rsrc section) as an in-memory tree of types, names and languages. Portable code: no OS calls.
//
// On disk the directory is a three-level tree of IMAGE_RESOURCE_DIRECTORY tables (type, name,
// language), each followed by its IMAGE_RESOURCE_DIRECTORY_ENTRY records; entries are named
// (an offset to a length-prefixed UTF-16 IMAGE_RESOURCE_DIR_STRING_U) or carry a 16-bit integer
// id; language entries point at IMAGE_RESOURCE_DATA_ENTRY records that give the RVA, size and
// code page of the resource's bytes. Every offset is relative to the first byte of the section,
// which is the root table; every value is little-endian.
//
// Names are wchar_t text. Where wchar_t is UTF-32 (Linux), a UTF-16 surrogate pair read from disk
// becomes one character, and a lone surrogate is kept as a character of the same value (0xD800 to
// 0xDFFF): names then compare as Windows compares them, unit for unit, and they are written back
// unchanged.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace voka::platform
{

// A malformed resource directory: names the on-disk structure that is wrong and its offset
// within the section (for resource data, its RVA), e.g.
// "IMAGE_RESOURCE_DIRECTORY at offset 0x18: 3 entries run past the end of the section".
class t_resource_directory_error : public std::runtime_error
{
public:
    t_resource_directory_error(std::string_view structure, std::uint64_t offset,
                               std::string_view problem);

    const std::string& structure() const noexcept { return m_structure; }
    std::uint64_t offset() const noexcept { return m_offset; }

private:
    std::string m_structure;
    std::uint64_t m_offset = 0;
};

// The identifier of a type or a name: a 16-bit integer id or a non-empty wide-string name.
// Equality is exact; lookups that ignore case use resource_names_equal_ignoring_case.
class t_resource_id
{
public:
    t_resource_id() noexcept = default;  // the integer id 0
    explicit t_resource_id(std::uint16_t integer) noexcept : m_integer(integer) {}
    explicit t_resource_id(std::wstring name) : m_name(std::move(name)), m_is_name(true) {}

    bool is_name() const noexcept { return m_is_name; }
    std::uint16_t integer() const noexcept { return m_integer; }  // 0 for a name
    const std::wstring& name() const noexcept { return m_name; }  // empty for an integer

    friend bool operator==(const t_resource_id&, const t_resource_id&) = default;

private:
    std::uint16_t m_integer = 0;
    std::wstring m_name;
    bool m_is_name = false;
};

// The order Windows tools give the entries of one directory table: names first, compared by their
// upper-cased UTF-16 code units (ties broken by the units as they are, so the order is total),
// then integer ids in ascending order.
std::strong_ordering compare_resource_ids(const t_resource_id& left, const t_resource_id& right);

// Whether two names are equal when both are upper-cased (see upcase_resource_name_char).
bool resource_names_equal_ignoring_case(std::wstring_view left, std::wstring_view right) noexcept;

// The upper case of one character as resource-name comparisons use it: the simple upper-case
// mapping of the Latin (ASCII, Latin-1, Latin Extended-A), Greek, Cyrillic and Armenian letters
// and of the fullwidth Latin letters. Other characters are their own upper case.
wchar_t upcase_resource_name_char(wchar_t character) noexcept;

// Where a resource's bytes are: the entry of the language level.
struct t_resource_data_entry
{
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    std::uint32_t code_page = 0;

    friend bool operator==(const t_resource_data_entry&, const t_resource_data_entry&) = default;
};

// A resource's bytes, as the builder takes them.
struct t_resource_blob
{
    std::uint32_t code_page = 0;
    std::vector<std::uint8_t> bytes;

    friend bool operator==(const t_resource_blob&, const t_resource_blob&) = default;
};

template <typename t_leaf>
struct t_resource_language_node
{
    std::uint16_t language = 0;
    t_leaf leaf{};

    friend bool operator==(const t_resource_language_node&,
                           const t_resource_language_node&) = default;
};

template <typename t_leaf>
struct t_resource_name_node
{
    t_resource_id id;
    std::vector<t_resource_language_node<t_leaf>> languages;

    friend bool operator==(const t_resource_name_node&, const t_resource_name_node&) = default;
};

template <typename t_leaf>
struct t_resource_type_node
{
    t_resource_id id;
    std::vector<t_resource_name_node<t_leaf>> names;

    friend bool operator==(const t_resource_type_node&, const t_resource_type_node&) = default;
};

// Types -> names -> languages -> leaf. Within one parent, ids are unique.
template <typename t_leaf>
struct t_resource_tree
{
    std::vector<t_resource_type_node<t_leaf>> types;

    friend bool operator==(const t_resource_tree&, const t_resource_tree&) = default;
};

// What the parser yields: leaves say where the data is.
using t_resource_directory = t_resource_tree<t_resource_data_entry>;
// What the builder takes: leaves hold the data.
using t_resource_content = t_resource_tree<t_resource_blob>;

// Parses the resource directory whose root table is the first byte of `section`. Entries keep
// their on-disk order. Throws t_resource_directory_error for anything malformed: a structure
// that does not fit in the section, a directory visited twice (a cycle or a shared subtree), a
// data entry where a directory belongs or the reverse, an entry in the named part of a table
// without a name or in the id part with one, an integer id above 0xFFFF, a name at the language
// level, an empty name, two entries with the same id in one table, tables holding more entries
// than fit in the section or names decoding to more characters than it has bytes (only
// overlapping tables and shared strings can; the limits keep the tree proportional to the
// input). Never reads outside `section`.
t_resource_directory parse_resource_directory(std::span<const std::uint8_t> section);

// A run of image bytes and the RVA of its first byte: the resource section itself, or any other
// part of an image that resource data may lie in.
struct t_rva_range
{
    std::uint32_t rva = 0;
    std::span<const std::uint8_t> bytes;
};

// The bytes of `entry` when all of them lie in `range`; nullopt otherwise.
std::optional<std::span<const std::uint8_t>>
find_resource_data(const t_rva_range& range, const t_resource_data_entry& entry) noexcept;

// The tree of `directory` with every leaf's bytes copied out of `range`. Throws
// t_resource_directory_error (structure "resource data", offset = the RVA) for data outside it.
t_resource_content read_resource_content(const t_resource_directory& directory,
                                         const t_rva_range& range);

// Sorts every level of `tree` into the order of compare_resource_ids (languages ascending): the
// order build_resource_directory writes and a parse of its output returns.
template <typename t_leaf>
void sort_resource_tree(t_resource_tree<t_leaf>& tree);

// Builds the complete content of a resource section from `content`, for a section that starts at
// `section_rva` (data entries hold section_rva + the data's offset). Layout, as Microsoft's
// cvtres and link lay out .rsrc: the directory tables breadth-first (root, then every type's name
// table, then every name's language table), each entry list named entries first, sorted as by
// compare_resource_ids; then the data entries in tree order; then the name strings (type names,
// then resource names, in table order); then the data, each resource starting at an 8-byte
// boundary, the gaps and the end padded with zeros to 8 bytes. Tables carry no time stamp,
// version or characteristics. Throws std::invalid_argument for two equal ids in one parent, an
// empty name, a name longer than 0xFFFF UTF-16 units or one that has no UTF-16 form (a character
// above 0x10FFFF, or a high surrogate followed by a low one, which would read back as one
// character); std::length_error when the tables and names would not fit 31-bit offsets, a table
// would hold more than 0xFFFF entries of one kind, a resource passes 4 GiB, or the section would
// end past RVA 0xFFFFFFFF.
std::vector<std::uint8_t> build_resource_directory(const t_resource_content& content,
                                                   std::uint32_t section_rva);

// ---- template definitions ----

template <typename t_leaf>
void sort_resource_tree(t_resource_tree<t_leaf>& tree)
{
    const auto id_less = [](const auto& left, const auto& right)
    { return compare_resource_ids(left.id, right.id) < 0; };
    for (t_resource_type_node<t_leaf>& type : tree.types)
    {
        for (t_resource_name_node<t_leaf>& name : type.names)
        {
            std::stable_sort(name.languages.begin(), name.languages.end(),
                             [](const auto& left, const auto& right)
                             { return left.language < right.language; });
        }
        std::stable_sort(type.names.begin(), type.names.end(), id_less);
    }
    std::stable_sort(tree.types.begin(), tree.types.end(), id_less);
}

}  // namespace voka::platform
