// A read-only shared mapping of a whole file, owned: unmapped on destruction. Module loaders and
// the resource updater read modules through it, touching only the pages they read.
//
// A mapping reads the file as it is now: a program that truncates the file while it is mapped
// makes reads past the new end fault (SIGBUS). Windows forbids truncating a mapped file; POSIX
// has no such lock, so the layer maps only files it opened itself and documents this at each API.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

namespace voka::platform::io
{

// Move-only; any thread may read the bytes.
class t_read_only_mapping
{
public:
    t_read_only_mapping() noexcept = default;
    t_read_only_mapping(t_read_only_mapping&& other) noexcept
        : m_address(std::exchange(other.m_address, nullptr)), m_size(std::exchange(other.m_size, 0))
    {
    }
    t_read_only_mapping& operator=(t_read_only_mapping&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            m_address = std::exchange(other.m_address, nullptr);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    ~t_read_only_mapping() { reset(); }

    // Maps the first `size` bytes (at least 1) of `descriptor`, which is open for reading.
    // Returns false with errno set on failure (EFBIG when `size` does not fit the address space).
    bool try_map(int descriptor, std::uint64_t size) noexcept;
    void reset() noexcept;

    std::span<const std::uint8_t> bytes() const noexcept
    {
        return {static_cast<const std::uint8_t*>(m_address), m_size};
    }
    const void* address() const noexcept { return m_address; }

private:
    void* m_address = nullptr;
    std::size_t m_size = 0;
};

}  // namespace voka::platform::io
