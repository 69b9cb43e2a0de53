// The platform side of the kernel test hook (voka/platform/kernel_test_hook.h): what a hooked
// call asks before it does its work.
#pragma once

#include "voka/platform/kernel_test_hook.h"

namespace voka::platform
{

// The values a hooked call fails with.
struct t_kernel_fault
{
    DWORD error = 0;       // the last error
    int error_number = 0;  // errno, for _beginthreadex
};

// Counts this call of `call` against the armed plans (the calling thread's own while it counts
// calls, else the process-wide one); true when it is to fail, with the values in `*fault`. Costs
// one atomic load while nothing is armed anywhere.
bool take_kernel_fault(t_kernel_call call, t_kernel_fault* fault) noexcept;

}  // namespace voka::platform
