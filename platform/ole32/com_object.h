// Shared pieces of the stand-in's COM objects: the reference count and the deletion by the last
// Release, an owning interface pointer, and the translation of exceptions into HRESULTs.
#pragma once

#include "voka/win32.h"

#include <atomic>
#include <utility>

namespace voka::platform::ole32
{

// The reference count and lifetime of one of the stand-in's COM objects. The count starts at 1,
// the creator's reference; the Release that brings it to 0 deletes the object. Increments are
// relaxed (a new reference is always copied from a live one); decrements are acquire-release,
// so that everything done through any reference happens before the destruction.
class t_com_object_base
{
public:
    t_com_object_base(const t_com_object_base&) = delete;
    t_com_object_base& operator=(const t_com_object_base&) = delete;

protected:
    t_com_object_base() noexcept = default;
    virtual ~t_com_object_base() = default;

    ULONG helper__add_ref() noexcept
    {
        return m_references.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    ULONG helper__release() noexcept
    {
        const ULONG count = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;  // COM objects die in their last Release
        return count;
    }

private:
    std::atomic<ULONG> m_references{1};
};

// Owns one reference to a COM interface; releases it on every path. Moving hands the reference
// on; copying is not offered (copy_of counts a new reference explicitly).
template <typename t_interface>
class t_com_ptr
{
public:
    t_com_ptr() noexcept = default;
    // Takes over a reference the caller already holds.
    explicit t_com_ptr(t_interface* owned) noexcept : m_pointer(owned) {}
    t_com_ptr(t_com_ptr&& other) noexcept : m_pointer(other.detach()) {}
    t_com_ptr& operator=(t_com_ptr&& other) noexcept
    {
        reset(other.detach());  // safe for self-move: detach empties first
        return *this;
    }
    ~t_com_ptr() { reset(); }

    // Counts a new reference to `pointer` (which may be null) and owns it.
    static t_com_ptr copy_of(t_interface* pointer) noexcept
    {
        if (pointer != nullptr)
            pointer->AddRef();
        return t_com_ptr(pointer);
    }

    t_interface* get() const noexcept { return m_pointer; }
    t_interface* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    t_interface* detach() noexcept { return std::exchange(m_pointer, nullptr); }

    // The old pointer is taken out before it is released, so that a Release that reaches this
    // owner again finds it in a consistent state.
    void reset(t_interface* owned = nullptr) noexcept
    {
        if (t_interface* old = std::exchange(m_pointer, owned))
            old->Release();
    }

    // Releases what is held and returns the address that an out-parameter fills.
    t_interface** put() noexcept
    {
        reset();
        return &m_pointer;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    t_interface* m_pointer = nullptr;
};

// The HRESULT for the exception being handled; call it only inside a catch block.
// std::bad_alloc gives E_OUTOFMEMORY, other standard exceptions E_FAIL, anything else
// E_UNEXPECTED.
HRESULT hresult_from_current_exception() noexcept;

}  // namespace voka::platform::ole32
