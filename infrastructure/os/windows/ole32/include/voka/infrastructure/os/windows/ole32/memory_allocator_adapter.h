// The general allocator of the gate's COM objects.
#pragma once

#include <cstddef>
#include <new>

namespace voka::infrastructure::os::impl::Ole32
{

// Objects come from the general heap through the standard allocation operator, which throws
// std::bad_alloc when memory runs out, and go back through the matching release. The gate's
// private heap exists, but nothing is allocated from it. Used as
// voka::lib::structure::t_raw_allocator<MemoryAllocator_Adapter>.
struct MemoryAllocator_Adapter
{
    static void* allocate(std::size_t size) { return ::operator new(size); }
    static void deallocate(void* block) noexcept { ::operator delete(block); }
};

}  // namespace voka::infrastructure::os::impl::Ole32
