// The base of every object that lives behind a HANDLE, and the handle table that maps handle
// values to objects. Other areas of the layer (files, say) derive their objects from
// t_kernel_object and register them here, so one CloseHandle serves every kind.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace voka::platform
{

enum class t_object_type : std::uint8_t
{
    event,
    thread,
    file,
};

// An object reachable through handles. Threading: the type is fixed at construction; derived
// classes state their own contract.
class t_kernel_object
{
public:
    explicit t_kernel_object(t_object_type type) noexcept : m_type(type) {}
    virtual ~t_kernel_object() = default;
    t_kernel_object(const t_kernel_object&) = delete;
    t_kernel_object& operator=(const t_kernel_object&) = delete;

    t_object_type type() const noexcept { return m_type; }

private:
    const t_object_type m_type;
};

class t_handle_slot;

// Keeps the object behind one handle alive and its handle value from being reused, from a
// successful pin_handle until destruction. A pinned handle may be closed meanwhile: the object
// stays usable through the pin, and goes with the last pin once its handle is closed.
// Move-only; owned by one thread at a time.
class t_handle_pin
{
public:
    t_handle_pin() noexcept = default;
    t_handle_pin(t_handle_slot* slot, t_kernel_object* object) noexcept
        : m_slot(slot), m_object(object)
    {
    }
    t_handle_pin(t_handle_pin&& other) noexcept
        : m_slot(std::exchange(other.m_slot, nullptr)),
          m_object(std::exchange(other.m_object, nullptr))
    {
    }
    t_handle_pin& operator=(t_handle_pin&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            m_slot = std::exchange(other.m_slot, nullptr);
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }
    ~t_handle_pin() { reset(); }

    explicit operator bool() const noexcept { return m_object != nullptr; }
    t_kernel_object* object() const noexcept { return m_object; }
    void reset() noexcept;

private:
    t_handle_slot* m_slot = nullptr;
    t_kernel_object* m_object = nullptr;
};

// Pins the object behind `handle`; an empty pin for a handle that is null, closed or unknown.
// Does not touch the last error. Lock-free: two atomic operations, pin and unpin.
t_handle_pin pin_handle(HANDLE handle) noexcept;

// Makes a new handle that holds one reference to `object`. Returns NULL with
// ERROR_NOT_ENOUGH_MEMORY when the table cannot grow.
HANDLE insert_handle(std::shared_ptr<t_kernel_object> object) noexcept;

}  // namespace voka::platform
