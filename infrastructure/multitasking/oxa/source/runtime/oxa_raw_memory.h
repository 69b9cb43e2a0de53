// The task library's private memory: every long-lived object of the library takes its block here,
// and the library counts the blocks alive so that it can report leaks when it is unloaded.
#pragma once

#include "voka/infrastructure/core/raw_allocator.h"

#include <cstddef>
#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

struct oxa_raw_memory
{
    // A block from the global operator new (std::bad_alloc when there is none); counts one more
    // live block only when the allocation succeeded.
    static void* allocate(std::size_t size);

    // Returns a block from allocate and counts one block less; a null pointer changes nothing.
    static void deallocate(void* block) noexcept;

    // The number of blocks alive now.
    static std::int32_t live_blocks() noexcept;
};

// The allocator adapter the counted objects of the library are built on.
using oxa_allocator = voka::lib::structure::t_raw_allocator<oxa_raw_memory>;

// Writes "OXA_MT: " + text + line feed to the debug output.
void oxa_trace(const wchar_t* text) noexcept;

// Writes the leak line to the debug output when blocks are still alive; nothing when none are.
void oxa_report_leaks() noexcept;

}  // namespace voka::infrastructure::multitasking::oxa
