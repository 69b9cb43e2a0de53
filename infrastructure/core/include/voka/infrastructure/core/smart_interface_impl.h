// The implementation of a counted interface: a reference counter, the final-release
// hook and destruction through the object's allocator.
#pragma once

#include "voka/infrastructure/core/raw_allocator.h"
#include "voka/infrastructure/core/smart_interface.h"
#include "voka/infrastructure/core/thread_exit.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace voka::lib::structure
{

// A signed 64-bit counter (the default for counted objects).
struct t_counter_64
{
    using value_type = std::int64_t;
};

// A signed 32-bit counter, changed by interlocked increment and decrement.
struct t_multi_thread_traits
{
    using value_type = std::int32_t;
};

// Implements add_ref and release of t_base (t_smart_interface or an interface
// derived from it). A new object has count 0: its first owner takes the first
// reference. The last release calls on_final_release (whose exceptions are
// swallowed) and then destroys the object and frees it with t_allocator.
//
// Counting: the increment may be relaxed, since a new reference is made from an
// existing one; the decrement is acquire-release so that everything done through
// other references happens before the destruction.
template <typename t_base, typename t_allocator = t_raw_allocator<t_void_allocator_adapter>,
          typename t_counter = t_counter_64>
class t_basic_smart_interface_impl__dynamic : public t_base
{
public:
    void add_ref() override { m_count.fetch_add(1, std::memory_order_relaxed); }

    void release() override
    {
        if (m_count.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        run_final_release_hook();
        delete this;
    }

    virtual ~t_basic_smart_interface_impl__dynamic() = default;

    // Called once, by the last release, before destruction.
    virtual void on_final_release() {}

    // Every counted object lives in memory of its allocator.
    static void* operator new(std::size_t size) { return t_allocator::allocate(size); }
    static void operator delete(void* block) noexcept { t_allocator::deallocate(block); }

protected:
    t_basic_smart_interface_impl__dynamic() = default;
    t_basic_smart_interface_impl__dynamic(const t_basic_smart_interface_impl__dynamic&) : t_base()
    {
    }

private:
    // Runs on_final_release, swallowing what it throws: a failing hook must not keep the object
    // alive. The unwinding of a thread that ends inside the hook passes on, leaving the object.
    VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES void run_final_release_hook()
    {
        try
        {
            on_final_release();
        }
        VOKA_LET_THREAD_EXIT_PASS
        catch (...) {}
    }

    std::atomic<typename t_counter::value_type> m_count{0};
};

}  // namespace voka::lib::structure

namespace voka::infrastructure::core::structure
{

// Creates a counted object and hands the first reference to the returned pointer.
template <typename t_object, typename... t_args>
t_smart_object_ptr<t_object> make_smart(t_args&&... args)
{
    return t_smart_object_ptr<t_object>(new t_object(std::forward<t_args>(args)...));
}

}  // namespace voka::infrastructure::core::structure
