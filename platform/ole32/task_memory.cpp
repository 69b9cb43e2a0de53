// The COM task allocator: CoTaskMemAlloc, CoTaskMemRealloc and CoTaskMemFree, served by the C
// allocator, whose blocks are aligned for any type as Windows' task allocator's are.
#include "voka/win32.h"

#include <cstdlib>

LPVOID CoTaskMemAlloc(SIZE_T bytes)
{
    // Windows gives a distinct block for a size of 0 as well.
    return std::malloc(bytes != 0 ? bytes : 1);
}

LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes)
{
    if (block == nullptr)
        return CoTaskMemAlloc(bytes);
    if (bytes == 0)
    {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, bytes);  // NULL on failure, with the block left as it was
}

void CoTaskMemFree(LPVOID block)
{
    std::free(block);
}
