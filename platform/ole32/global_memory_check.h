// What the stand-in's own code asks the global memory table beyond the Win32 functions.
#pragma once

#include "voka/win32.h"

namespace voka::platform::ole32
{

enum class t_global_memory_kind
{
    none,  // not the handle of a live block
    fixed,
    movable,
};

// What kind of live global memory block `memory` is the handle of.
t_global_memory_kind global_memory_kind(HGLOBAL memory) noexcept;

}  // namespace voka::platform::ole32
