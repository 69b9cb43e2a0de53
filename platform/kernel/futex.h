// Thin wrappers over the Linux futex calls and the monotonic deadlines that timed waits use.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace voka::platform
{

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

// Sleeps while the 32-bit word at `address` holds `expected`, until woken or until the absolute
// CLOCK_MONOTONIC `deadline` (nullptr: no deadline). Returns 0 when woken (possibly spuriously),
// else EAGAIN (the word did not hold `expected`), EINTR or ETIMEDOUT.
inline int futex_wait(void* address, std::uint32_t expected, const timespec* deadline) noexcept
{
    // FUTEX_WAIT_BITSET takes an absolute time on CLOCK_MONOTONIC, so a wait interrupted and
    // resumed never stretches its time-out.
    const long result = ::syscall(SYS_futex, address, FUTEX_WAIT_BITSET_PRIVATE, expected, deadline,
                                  nullptr, FUTEX_BITSET_MATCH_ANY);
    return result == 0 ? 0 : errno;
}

inline int futex_wait(std::atomic<std::uint32_t>& word, std::uint32_t expected,
                      const timespec* deadline) noexcept
{
    return futex_wait(static_cast<void*>(&word), expected, deadline);
}

// Wakes up to `count` threads sleeping on the word at `address`. The word may already be gone (a
// waiter that saw its state change without sleeping may have returned): the call then only costs
// a spurious wake-up to whatever sleeps there now, which every futex user tolerates.
inline void futex_wake(void* address, int count) noexcept
{
    ::syscall(SYS_futex, address, FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

inline void futex_wake(std::atomic<std::uint32_t>& word, int count) noexcept
{
    futex_wake(static_cast<void*>(&word), count);
}

// The CLOCK_MONOTONIC instant `milliseconds` from now.
inline timespec deadline_after(std::uint32_t milliseconds) noexcept
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t nanoseconds = static_cast<std::int64_t>(now.tv_nsec) +
                                     static_cast<std::int64_t>(milliseconds % 1000) * 1000000;
    now.tv_sec +=
        static_cast<time_t>(milliseconds / 1000) + static_cast<time_t>(nanoseconds / 1000000000);
    now.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return now;
}

// A pause for spin loops: tells the core that this thread is waiting.
inline void cpu_relax() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace voka::platform
