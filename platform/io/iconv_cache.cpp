// The calling thread's iconv converters for the Windows code pages. Opening a
// converter loads tables, so each thread keeps the few it used last; a thread-local
// cache needs no lock, and its descriptors close when the thread ends. A conversion
// made after that (from another thread-local or static object's destructor) gets a
// converter of its own, so the destroyed cache is never touched.
#include "iconv_cache.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdio>

namespace voka::platform::io
{
namespace
{

// The iconv name of wide text: UTF-32 in the byte order of wchar_t.
constexpr const char* k_wide_encoding =
    std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

struct t_code_page_alias
{
    UINT code_page;
    const char* name;
};

// Windows code pages whose iconv name is not "CP<n>".
constexpr t_code_page_alias k_code_page_aliases[] = {
    {20127, "ASCII"},       {20866, "KOI8-R"},      {21866, "KOI8-U"},     {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
};

// Writes the iconv name of `code_page` into `name`.
void iconv_name_of(UINT code_page, std::array<char, 24>& name) noexcept
{
    for (const t_code_page_alias& alias : k_code_page_aliases)
    {
        if (alias.code_page == code_page)
        {
            std::snprintf(name.data(), name.size(), "%s", alias.name);
            return;
        }
    }
    std::snprintf(name.data(), name.size(), "CP%u", code_page);
}

t_unique_iconv open_converter(UINT code_page, t_iconv_direction direction) noexcept
{
    std::array<char, 24> name{};
    iconv_name_of(code_page, name);
    return t_unique_iconv(direction == t_iconv_direction::to_wide
                              ? ::iconv_open(k_wide_encoding, name.data())
                              : ::iconv_open(name.data(), k_wide_encoding));
}

// A handful of converters, replaced round robin when full.
// Threading: one instance per thread, never shared.
class t_iconv_cache
{
public:
    t_iconv_cache() noexcept = default;
    ~t_iconv_cache();
    t_iconv_cache(const t_iconv_cache&) = delete;
    t_iconv_cache& operator=(const t_iconv_cache&) = delete;

    // The cached converter, opened when missing; invalid() when iconv does not know
    // the code page.
    iconv_t find(UINT code_page, t_iconv_direction direction) noexcept
    {
        for (tag_entry& entry : m_entries)
            if (entry.m_converter && entry.m_code_page == code_page &&
                entry.m_direction == direction)
                return entry.m_converter.get();

        t_unique_iconv converter = open_converter(code_page, direction);
        if (!converter)
            return t_iconv_descriptor_traits::invalid();

        tag_entry& entry = m_entries[m_next_replaced];
        m_next_replaced = (m_next_replaced + 1) % m_entries.size();
        entry.m_code_page = code_page;
        entry.m_direction = direction;
        entry.m_converter = std::move(converter);
        return entry.m_converter.get();
    }

private:
    struct tag_entry
    {
        UINT m_code_page = 0;
        t_iconv_direction m_direction = t_iconv_direction::to_wide;
        t_unique_iconv m_converter;  // empty when the slot is free
    };

    std::array<tag_entry, 8> m_entries;
    std::size_t m_next_replaced = 0;
};

thread_local t_iconv_cache t_thread_cache;
thread_local constinit bool t_thread_cache_destroyed = false;

t_iconv_cache::~t_iconv_cache()
{
    t_thread_cache_destroyed = true;
}

}  // namespace

t_iconv_lease lease_iconv_converter(UINT code_page, t_iconv_direction direction) noexcept
{
    t_iconv_lease lease;
    if (!t_thread_cache_destroyed)
    {
        lease.m_converter = t_thread_cache.find(code_page, direction);
    }
    else
    {
        lease.m_owned = open_converter(code_page, direction);
        lease.m_converter = lease.m_owned.get();
    }
    return lease;
}

}  // namespace voka::platform::io
