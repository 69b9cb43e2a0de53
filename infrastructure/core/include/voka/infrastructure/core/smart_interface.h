// The counted interface every shared object of the system implements, and the
// owning pointer that holds one reference to such an object.
#pragma once

#include <utility>

namespace voka::infrastructure::core::structure
{

// Two operations, in this order: take one reference; drop one reference (the last
// one destroys the object).
class t_smart_interface
{
public:
    virtual void add_ref() = 0;
    virtual void release() = 0;

protected:
    ~t_smart_interface() = default;
};

// How a smart pointer takes and drops its reference.
template <typename t_object>
struct t_sptr_traits
{
    static void add_ref(t_object* object) { object->add_ref(); }
    static void release(t_object* object) { object->release(); }
};

// Holds one reference to a counted object, or nothing. Taking a raw pointer takes a
// reference; destruction, reset and reassignment drop the old one.
template <typename t_object, typename t_traits = t_sptr_traits<t_object>>
class t_smart_object_ptr
{
public:
    t_smart_object_ptr() noexcept = default;

    t_smart_object_ptr(t_object* object) : m_ptr(object)  // NOLINT: implicit like a raw pointer
    {
        if (m_ptr != nullptr)
            t_traits::add_ref(m_ptr);
    }

    t_smart_object_ptr(const t_smart_object_ptr& other) : t_smart_object_ptr(other.m_ptr) {}

    t_smart_object_ptr(t_smart_object_ptr&& other) noexcept
        : m_ptr(std::exchange(other.m_ptr, nullptr))
    {
    }

    // From a pointer to a derived object.
    template <typename t_other, typename t_other_traits>
    t_smart_object_ptr(const t_smart_object_ptr<t_other, t_other_traits>& other)  // NOLINT
        : t_smart_object_ptr(other.get())
    {
    }

    ~t_smart_object_ptr() { reset(); }

    t_smart_object_ptr& operator=(const t_smart_object_ptr& other)
    {
        reset(other.m_ptr);
        return *this;
    }

    t_smart_object_ptr& operator=(t_smart_object_ptr&& other) noexcept
    {
        if (this != &other)
        {
            t_object* const old = std::exchange(m_ptr, std::exchange(other.m_ptr, nullptr));
            if (old != nullptr)
                t_traits::release(old);
        }
        return *this;
    }

    t_smart_object_ptr& operator=(t_object* object)
    {
        reset(object);
        return *this;
    }

    // Takes a reference to `object` first, so resetting to the held object is safe.
    void reset(t_object* object = nullptr)
    {
        if (object != nullptr)
            t_traits::add_ref(object);
        t_object* const old = std::exchange(m_ptr, object);
        if (old != nullptr)
            t_traits::release(old);
    }

    t_object* get() const noexcept { return m_ptr; }
    t_object* operator->() const noexcept { return m_ptr; }
    t_object& operator*() const noexcept { return *m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    bool operator==(const t_smart_object_ptr& other) const noexcept { return m_ptr == other.m_ptr; }

private:
    t_object* m_ptr = nullptr;
};

}  // namespace voka::infrastructure::core::structure
