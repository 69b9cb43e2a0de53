// The kernel object behind a thread handle: signalled for good when its thread ends.
#pragma once

#include "waitable.h"

namespace voka::platform
{

// Threading: the thread itself calls finish once, at its end; any thread may read the exit code
// or wait.
class t_thread_object final : public t_waitable
{
public:
    t_thread_object() noexcept : t_waitable(t_object_type::thread, true, false) {}

    // Records how the thread ended and signals its waiters.
    void finish(DWORD exit_code) noexcept
    {
        m_exit_code.store(exit_code, std::memory_order_release);
        signal();
    }

    // The exit code, or STILL_ACTIVE while the thread runs.
    DWORD exit_code() const noexcept { return m_exit_code.load(std::memory_order_acquire); }

private:
    std::atomic<DWORD> m_exit_code{STILL_ACTIVE};  // written once, by finish
};

}  // namespace voka::platform
