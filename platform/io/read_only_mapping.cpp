// Read-only file mappings.
#include "read_only_mapping.h"

#include <cerrno>
#include <limits>
#include <sys/mman.h>

namespace voka::platform::io
{

bool t_read_only_mapping::try_map(int descriptor, std::uint64_t size) noexcept
{
    reset();
    if (size == 0 || size > std::numeric_limits<std::size_t>::max())
    {
        errno = size == 0 ? EINVAL : EFBIG;
        return false;
    }
    void* address =
        ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED)
        return false;
    m_address = address;
    m_size = static_cast<std::size_t>(size);
    return true;
}

void t_read_only_mapping::reset() noexcept
{
    if (m_address != nullptr)
    {
        const int saved_errno = errno;
        ::munmap(m_address, m_size);
        errno = saved_errno;
    }
    m_address = nullptr;
    m_size = 0;
}

}  // namespace voka::platform::io
