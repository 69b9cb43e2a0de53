// The calling thread's iconv converters for the Windows code pages, opened on first
// use and kept for later calls.
#pragma once

#include "unique_descriptor.h"
#include "voka/win32.h"

#include <iconv.h>

namespace voka::platform::io
{

// Which way a converter works.
enum class t_iconv_direction
{
    to_wide,    // code page bytes to UTF-32 in host byte order
    from_wide,  // UTF-32 in host byte order to code page bytes
};

// The converter one call uses: borrowed from the calling thread's cache, or opened
// for this call alone once that cache is gone (a call made while the thread or the
// process ends). Valid until the lease is destroyed or the thread leases another one;
// its shift state is unspecified, so users reset it first.
class t_iconv_lease
{
public:
    t_iconv_lease() noexcept = default;
    t_iconv_lease(t_iconv_lease&&) noexcept = default;
    t_iconv_lease& operator=(t_iconv_lease&&) noexcept = default;

    iconv_t get() const noexcept { return m_converter; }

    // False when iconv does not know the code page.
    explicit operator bool() const noexcept
    {
        return m_converter != t_iconv_descriptor_traits::invalid();
    }

private:
    friend t_iconv_lease lease_iconv_converter(UINT code_page,
                                               t_iconv_direction direction) noexcept;

    iconv_t m_converter = t_iconv_descriptor_traits::invalid();
    t_unique_iconv m_owned;  // set only when the cache is gone
};

// A converter for `code_page` and `direction`; an empty lease when iconv does not
// know the code page.
t_iconv_lease lease_iconv_converter(UINT code_page, t_iconv_direction direction) noexcept;

}  // namespace voka::platform::io
