// A test hook for private heaps: makes a heap creation fail on purpose, so that a module's
// failure path when its heap cannot be created can be tested. Not part of the Windows API.
#pragma once

namespace voka::platform
{

// Makes the next HeapCreate call of the process fail with ERROR_NOT_ENOUGH_MEMORY, as when the
// system has no memory left; the calls after it behave normally again. Thread-safe.
void fail_next_heap_creation() noexcept;

}  // namespace voka::platform
