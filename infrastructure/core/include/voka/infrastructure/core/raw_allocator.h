// Raw memory for counted objects: t_raw_allocator forwards to an adapter that
// names the heap. t_void_allocator_adapter is the ordinary process heap.
#pragma once

#include <cstddef>
#include <new>

namespace voka::lib::structure
{

// The allocation failure of this system's allocators; its text is "bad allocation".
class t_bad_alloc : public std::bad_alloc
{
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

// The process heap.
struct t_void_allocator_adapter
{
    static void* allocate(std::size_t size)
    {
        void* const block = ::operator new(size, std::nothrow);
        if (block == nullptr)
            throw t_bad_alloc();
        return block;
    }

    static void deallocate(void* block) noexcept { ::operator delete(block); }
};

template <typename t_adapter>
struct t_raw_allocator
{
    static void* allocate(std::size_t size) { return t_adapter::allocate(size); }
    static void deallocate(void* block) noexcept { t_adapter::deallocate(block); }
};

}  // namespace voka::lib::structure
