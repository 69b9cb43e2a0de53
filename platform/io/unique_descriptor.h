// Move-only owners for the POSIX descriptors the text services open: file
// descriptors and iconv conversion descriptors. One template, tuned by a traits type
// that names the descriptor type, its invalid value and how it is closed.
#pragma once

#include <cerrno>
#include <iconv.h>
#include <unistd.h>
#include <utility>

namespace voka::platform::io
{

// Owns one descriptor of the kind described by t_traits; closes it on every path.
// Closing keeps errno, so cleanup on an error path does not hide the failure.
template <typename t_traits>
class t_unique_descriptor
{
public:
    using descriptor_type = typename t_traits::descriptor_type;

    t_unique_descriptor() noexcept = default;
    explicit t_unique_descriptor(descriptor_type value) noexcept : m_value(value) {}
    t_unique_descriptor(t_unique_descriptor&& other) noexcept : m_value(other.detach()) {}
    t_unique_descriptor& operator=(t_unique_descriptor&& other) noexcept
    {
        reset(other.detach());  // safe for self-move: detach empties first
        return *this;
    }
    ~t_unique_descriptor() { reset(); }

    descriptor_type get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != t_traits::invalid(); }

    descriptor_type detach() noexcept { return std::exchange(m_value, t_traits::invalid()); }

    void reset(descriptor_type value = t_traits::invalid()) noexcept
    {
        if (m_value != t_traits::invalid())
        {
            const int saved_errno = errno;
            t_traits::close(m_value);
            errno = saved_errno;
        }
        m_value = value;
    }

private:
    descriptor_type m_value = t_traits::invalid();
};

struct t_file_descriptor_traits
{
    using descriptor_type = int;
    static constexpr int invalid() noexcept { return -1; }
    static void close(int descriptor) noexcept { ::close(descriptor); }
};

struct t_iconv_descriptor_traits
{
    using descriptor_type = iconv_t;
    // iconv's own failure value.
    static iconv_t invalid() noexcept
    {
        return reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    }
    static void close(iconv_t descriptor) noexcept { ::iconv_close(descriptor); }
};

using t_unique_file_descriptor = t_unique_descriptor<t_file_descriptor_traits>;
using t_unique_iconv = t_unique_descriptor<t_iconv_descriptor_traits>;

}  // namespace voka::platform::io
