// Critical sections: a recursive lock kept in the caller's CRITICAL_SECTION.
//
// LockCount is a futex word: 0 free, 1 held, 2 held with sleeping contenders (a contender that
// slept takes the lock as 2, since others may sleep still). OwningThread holds the owner's
// thread id, read by any thread only to ask "do I own it?", which only the owner can answer yes.
// RecursionCount is touched by the owner only; the lock's acquire and release order it between
// owners.
#include "voka/win32.h"

#include "futex.h"

#include <atomic>
#include <unistd.h>

namespace
{

constexpr ULONG_PTR k_spin_count = 100;  // attempts before sleeping, on a multi-core host

static_assert(sizeof(LONG) == sizeof(std::uint32_t));

HANDLE owner_value(DWORD thread_id) noexcept
{
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(thread_id));
}

std::atomic_ref<LONG> lock_word(CRITICAL_SECTION& section) noexcept
{
    return std::atomic_ref<LONG>(section.LockCount);
}

std::atomic_ref<HANDLE> owner(CRITICAL_SECTION& section) noexcept
{
    return std::atomic_ref<HANDLE>(section.OwningThread);
}

void acquire(CRITICAL_SECTION& section) noexcept
{
    std::atomic_ref<LONG> word = lock_word(section);
    LONG state = 0;
    if (word.compare_exchange_strong(state, 1, std::memory_order_acquire,
                                     std::memory_order_relaxed))
        return;
    for (ULONG_PTR spin = 0; spin < section.SpinCount; ++spin)
    {
        voka::platform::cpu_relax();
        state = word.load(std::memory_order_relaxed);
        if (state == 0 && word.compare_exchange_weak(state, 1, std::memory_order_acquire,
                                                     std::memory_order_relaxed))
            return;
    }
    if (state != 2)
        state = word.exchange(2, std::memory_order_acquire);
    while (state != 0)
    {
        voka::platform::futex_wait(&section.LockCount, 2, nullptr);
        state = word.exchange(2, std::memory_order_acquire);
    }
}

void become_owner(CRITICAL_SECTION& section, DWORD thread_id) noexcept
{
    owner(section).store(owner_value(thread_id), std::memory_order_relaxed);
    section.RecursionCount = 1;
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    static const ULONG_PTR spin_count = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? k_spin_count : 0;
    section->DebugInfo = nullptr;
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = nullptr;
    section->SpinCount = spin_count;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section)
{
    const DWORD me = GetCurrentThreadId();
    if (owner(*section).load(std::memory_order_relaxed) == owner_value(me))
    {
        ++section->RecursionCount;
        return;
    }
    acquire(*section);
    become_owner(*section, me);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    const DWORD me = GetCurrentThreadId();
    if (owner(*section).load(std::memory_order_relaxed) == owner_value(me))
    {
        ++section->RecursionCount;
        return TRUE;
    }
    LONG state = 0;
    if (!lock_word(*section).compare_exchange_strong(state, 1, std::memory_order_acquire,
                                                     std::memory_order_relaxed))
        return FALSE;
    become_owner(*section, me);
    return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    if (--section->RecursionCount != 0)
        return;
    owner(*section).store(nullptr, std::memory_order_relaxed);
    if (lock_word(*section).exchange(0, std::memory_order_release) == 2)
        voka::platform::futex_wake(&section->LockCount, 1);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    // Nothing is held outside the structure; clear it so that a use after delete stands out.
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
}
