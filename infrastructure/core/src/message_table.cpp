// One entry of a message-table resource. Layout (little-endian): a 32-bit block
// count; per block the lowest id, the highest id and the offset of its first entry;
// entries of a 16-bit total length (header included), 16-bit flags (1: UTF-16
// text, otherwise 8-bit text in the source's code page) and the text. Every read is
// checked against the resource's size: a malformed table is "no such entry".
#include "voka/infrastructure/core/message_table.h"

#include "voka/infrastructure/core/text_converters.h"

#include <cstddef>
#include <optional>

namespace voka::infrastructure::core::structure
{
namespace
{

constexpr WORD k_message_table_type = 11;
constexpr WORD k_unicode_entry_flag = 1;

class t_resource_reader
{
public:
    t_resource_reader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    std::optional<std::uint32_t> u32(std::size_t offset) const
    {
        if (!fits(offset, 4))
            return std::nullopt;
        const unsigned char* p = m_data + offset;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    std::optional<std::uint16_t> u16(std::size_t offset) const
    {
        if (!fits(offset, 2))
            return std::nullopt;
        const unsigned char* p = m_data + offset;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

    bool fits(std::size_t offset, std::size_t length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }

    const unsigned char* at(std::size_t offset) const { return m_data + offset; }

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

// UTF-16LE units to wide text: a copy where wchar_t is UTF-16, surrogate pairs
// combined where it is UTF-32 (a lone surrogate is kept as its unit value).
std::wstring wide_from_utf16le(const unsigned char* bytes, std::size_t unit_count)
{
    std::wstring text;
    text.reserve(unit_count);
    for (std::size_t i = 0; i < unit_count; ++i)
    {
        const std::uint32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if constexpr (sizeof(wchar_t) >= 4)
        {
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < unit_count)
            {
                const std::uint32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
                if (low >= 0xDC00 && low < 0xE000)
                {
                    text +=
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

// Padding NULs, then one line end (CR LF, or else LF).
void trim_entry_text(std::wstring& text)
{
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (text.size() >= 2 && text[text.size() - 2] == L'\r' && text.back() == L'\n')
        text.resize(text.size() - 2);
    else if (!text.empty() && text.back() == L'\n')
        text.pop_back();
}

}  // namespace

std::int32_t lookup_message_table_entry(const t_message_table_source& source, std::uint32_t id,
                                        std::wstring& text, std::int32_t use_neutral_lang,
                                        std::int32_t lang_id)
{
    const HMODULE module = source.module != nullptr ? *source.module : nullptr;
    const WORD language = use_neutral_lang != 0 ? 0 : static_cast<WORD>(lang_id);

    HRSRC resource = ::FindResourceExW(module, MAKEINTRESOURCEW(k_message_table_type),
                                       source.resource_name, language);
    if (resource == nullptr && language != 0)
        resource = ::FindResourceExW(module, MAKEINTRESOURCEW(k_message_table_type),
                                     source.resource_name, 0);
    if (resource == nullptr)
        return message_table_no_resource;
    const HGLOBAL loaded = ::LoadResource(module, resource);
    const void* const data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr)
        return message_table_no_resource;
    const t_resource_reader reader(static_cast<const unsigned char*>(data),
                                   ::SizeofResource(module, resource));

    const std::optional<std::uint32_t> block_count = reader.u32(0);
    if (!block_count)
        return message_table_no_entry;
    std::optional<std::uint32_t> first_entry;
    std::uint32_t lowest_id = 0;
    for (std::uint32_t block = 0; block < *block_count && !first_entry; ++block)
    {
        const std::size_t at = 4 + static_cast<std::size_t>(block) * 12;
        const auto low = reader.u32(at);
        const auto high = reader.u32(at + 4);
        const auto offset = reader.u32(at + 8);
        if (!low || !high || !offset)
            return message_table_no_entry;
        if (*low <= id && id <= *high)
        {
            first_entry = offset;
            lowest_id = *low;
        }
    }
    if (!first_entry)
        return message_table_no_entry;

    std::size_t entry = *first_entry;
    std::uint16_t length = 0;
    for (std::uint32_t step = 0;; ++step)
    {
        const auto entry_length = reader.u16(entry);
        if (!entry_length || *entry_length < 4 || !reader.fits(entry, *entry_length))
            return message_table_no_entry;
        length = *entry_length;
        if (step == id - lowest_id)
            break;
        entry += length;
    }
    const auto flags = reader.u16(entry + 2);
    if (!flags)
        return message_table_no_entry;

    text.clear();
    const std::size_t text_bytes = static_cast<std::size_t>(length) - 4;
    bool failed = false;
    if ((*flags & k_unicode_entry_flag) != 0)
    {
        text = wide_from_utf16le(reader.at(entry + 4), text_bytes / 2);
    }
    else
    {
        t_ansi_to_unicode::convert(text, reinterpret_cast<const char*>(reader.at(entry + 4)),
                                   static_cast<int>(text_bytes), source.code_page, &failed);
    }
    trim_entry_text(text);
    return failed ? message_table_bad_text : message_table_found;
}

}  // namespace voka::infrastructure::core::structure
