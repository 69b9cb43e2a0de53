// Global memory blocks (GlobalAlloc and its family): the memory under HGLOBAL streams.
//
// On Windows these are kernel32's. Here they live in the OLE32 stand-in (libole32.so, CMake
// target voka_ole32), the library whose streams are built on them: movable blocks are known by
// handles from one process-wide table, and a shared library holds that table once per process,
// whereas the platform's static library is copied into every module that links it. Code that
// calls these functions links voka_ole32.
//
// A fixed block (GMEM_FIXED) is its own handle: the HGLOBAL is the block's address. A movable
// block (GMEM_MOVEABLE) is known by a handle that is not an address; GlobalLock gives its
// address and counts a lock. Unlike on Windows, a movable block's handle is never reused in the
// life of the process, so a stale handle fails reliably with ERROR_INVALID_HANDLE.
//
// Threading: every function may be called from any thread; each takes one process-wide lock
// for the time it reads or changes the table.
#pragma once

#include "voka/posix/types.h"

// Functions exported by the OLE32 stand-in: C names, visible outside the shared library.
#define VOKA_OLE32_API extern "C" __attribute__((visibility("default")))

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_NOCOMPACT 0x0010u
#define GMEM_NODISCARD 0x0020u
#define GMEM_ZEROINIT 0x0040u
#define GMEM_MODIFY 0x0080u
#define GMEM_DISCARDABLE 0x0100u
#define GMEM_NOT_BANKED 0x1000u
#define GMEM_LOWER GMEM_NOT_BANKED
#define GMEM_SHARE 0x2000u
#define GMEM_DDESHARE 0x2000u
#define GMEM_NOTIFY 0x4000u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#ifndef ERROR_DISCARDED
#define ERROR_DISCARDED 157L
#endif
#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif

// Windows: allocates `bytes` bytes, zeroed with GMEM_ZEROINIT, and returns the block's handle:
// its address for GMEM_FIXED, a handle to lock for GMEM_MOVEABLE. A movable block of 0 bytes is
// "discarded": its handle is valid, GlobalSize gives 0 and GlobalLock fails with ERROR_DISCARDED
// until GlobalReAlloc gives it a size. A fixed block of 0 bytes is a distinct valid address.
// The flags that Windows accepts and ignores (GMEM_NOCOMPACT, GMEM_NODISCARD, GMEM_DISCARDABLE,
// GMEM_SHARE, GMEM_NOT_BANKED, GMEM_NOTIFY) are accepted and ignored; any other flag fails with
// ERROR_INVALID_PARAMETER. Fails with NULL and ERROR_NOT_ENOUGH_MEMORY when memory runs out.
VOKA_OLE32_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);

// Windows: the address of the block's first byte. A movable block's lock count goes up by one
// (the address stays valid while it is locked, unless GlobalReAlloc is told to move it); a fixed
// block is returned as it is. Fails with NULL and ERROR_DISCARDED for a discarded block,
// ERROR_INVALID_HANDLE for a handle that is not a live block.
VOKA_OLE32_API LPVOID WINAPI GlobalLock(HGLOBAL memory);

// Windows: counts one lock of a movable block off. Returns non-zero while the block stays
// locked; 0 with the last error NO_ERROR when it becomes unlocked; 0 with ERROR_NOT_LOCKED when
// it was not locked, or ERROR_INVALID_HANDLE for a handle that is not a live block. A fixed
// block is never locked: its result is TRUE and the last error is left alone.
VOKA_OLE32_API BOOL WINAPI GlobalUnlock(HGLOBAL memory);

// Windows: the size of the block in bytes as it was last allocated or reallocated; 0 for a
// discarded block. Fails with 0 and ERROR_INVALID_HANDLE for a handle that is not a live block
// (a caller that must tell a failure from an empty block clears the last error first).
VOKA_OLE32_API SIZE_T WINAPI GlobalSize(HGLOBAL memory);

// Windows: changes the size of a block and returns its handle, or NULL with the last error;
// the block is unchanged on failure. A movable block keeps its handle; its bytes may move unless
// it is locked and GMEM_MOVEABLE is not given, in which case it changes only in place. A fixed
// block changes in place unless GMEM_MOVEABLE is given, in which case its bytes may move and
// the new address is returned (it stays a fixed block). Here "in place" means within the bytes
// allocated for the block: shrinking always succeeds, growing beyond them fails with
// ERROR_NOT_ENOUGH_MEMORY. Giving an unlocked movable block 0 bytes discards it. Added bytes are
// zero (Windows leaves them undefined without GMEM_ZEROINIT). Flags other than GMEM_MOVEABLE and
// GMEM_ZEROINIT (GMEM_MODIFY among them) fail with ERROR_INVALID_PARAMETER; a handle that is
// not a live block with ERROR_INVALID_HANDLE.
VOKA_OLE32_API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags);

// Windows: frees the block, locked or not, and returns NULL (also for NULL). Fails by returning
// `memory` itself with ERROR_INVALID_HANDLE for a handle that is not a live block.
VOKA_OLE32_API HGLOBAL WINAPI GlobalFree(HGLOBAL memory);
