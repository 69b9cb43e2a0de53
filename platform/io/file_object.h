// The kernel object behind a file handle: an open descriptor and the access it was opened with.
#pragma once

#include "kernel_object.h"
#include "unique_descriptor.h"

namespace voka::platform::io
{

// Threading: immutable after construction; the descriptor's own file position is shared by every
// thread using the handle, as a synchronous Windows handle's position is.
class t_file_object final : public t_kernel_object
{
public:
    t_file_object(t_unique_file_descriptor descriptor, bool can_read, bool can_write,
                  bool is_regular) noexcept
        : t_kernel_object(t_object_type::file), m_descriptor(std::move(descriptor)),
          m_can_read(can_read), m_can_write(can_write), m_is_regular(is_regular)
    {
    }

    int descriptor() const noexcept { return m_descriptor.get(); }
    bool can_read() const noexcept { return m_can_read; }
    bool can_write() const noexcept { return m_can_write; }
    bool is_regular() const noexcept { return m_is_regular; }  // not a pipe or device

private:
    t_unique_file_descriptor m_descriptor;  // its share locks go when it closes
    bool m_can_read = false;
    bool m_can_write = false;
    bool m_is_regular = true;
};

}  // namespace voka::platform::io
