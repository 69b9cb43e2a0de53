// LocalAlloc and LocalFree for fixed blocks: Windows serves them from the process
// heap; here from the C allocator, which gives the same alignment guarantees.
#include "error_map.h"
#include "voka/win32.h"

#include <cstdlib>

using voka::platform::fail_with;

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes)
{
    if ((flags & ~LMEM_ZEROINIT) != 0)
        return fail_with(ERROR_INVALID_PARAMETER, HLOCAL{nullptr});
    // Windows gives a distinct block for a size of 0 as well.
    const SIZE_T allocated = bytes != 0 ? bytes : 1;
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, allocated) : std::malloc(allocated);
    if (block == nullptr)
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HLOCAL{nullptr});
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}
