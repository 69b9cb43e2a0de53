// Private heaps for POSIX hosts: HeapCreate and HeapDestroy, the lifetime of a heap that a module
// creates when it loads. Allocating from a private heap is outside the subset.
#pragma once

#include "voka/posix/types.h"

// Windows: creates a private heap with `options` (HEAP_NO_SERIALIZE and friends), reserving
// `maximum_size` bytes (0: the heap grows as needed) and committing `initial_size` of them; returns
// its handle, or NULL with the last error: ERROR_INVALID_PARAMETER (87) when a maximum is given
// and the initial size exceeds it, ERROR_NOT_ENOUGH_MEMORY (8) when the memory is not there.
// Here: `options` must be 0 (else ERROR_NOT_SUPPORTED). Nothing can be allocated from the heap, so
// the layer keeps only its handle and sizes; no memory is reserved.
HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size);

// Windows: destroys a private heap from HeapCreate and frees all of its memory. Fails with
// ERROR_INVALID_HANDLE (6) for a handle that names no private heap (Windows may fault instead,
// and refuses the process heap). Preserves the last error on success.
BOOL WINAPI HeapDestroy(HANDLE heap);
