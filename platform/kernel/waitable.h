// The core that events and threads share: a signalled state, a small lock and the list of the
// threads that wait on the object; and the wait block through which one waiting thread is
// released by exactly one object.
#pragma once

#include "futex.h"
#include "kernel_object.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace voka::platform
{

// The one word a waiting thread sleeps on. It starts pending; exactly one party moves it on:
// an object's signaller writes the index that released the waiter, or the waiter itself writes
// "cancelled" when its time-out passes. Whoever loses that race sees the winner's outcome, so a
// signal is delivered exactly once. Lives on the waiting thread's stack.
class t_wait_block
{
public:
    static constexpr std::uint32_t k_pending = 0;
    static constexpr std::uint32_t k_cancelled = 0xFF;  // results 1..64 are an index plus one
    static constexpr std::uint32_t k_result_mask = 0xFF;
    static constexpr std::uint32_t k_sleeping = 0x100;  // the waiter is (about to be) asleep

    // Releases the waiter through object `index`. Called by a signaller with that object's lock
    // held. False when the waiter was released or gave up already. After a true result the waiter
    // may return at once: the caller must not touch the block or its links again, except to wake
    // `state()` when `wake_needed` says so.
    bool try_release(std::uint32_t index, bool& wake_needed) noexcept
    {
        std::uint32_t state = m_state.load(std::memory_order_relaxed);
        do
        {
            if ((state & k_result_mask) != k_pending)
                return false;
        } while (!m_state.compare_exchange_weak(
            state, state | (index + 1), std::memory_order_release, std::memory_order_relaxed));
        wake_needed = (state & k_sleeping) != 0;
        return true;
    }

    // Sleeps until a signaller releases the waiter or the CLOCK_MONOTONIC `deadline` passes
    // (nullptr: never). Returns the index plus one of the releasing object, or k_cancelled.
    std::uint32_t wait(const timespec* deadline) noexcept;

    std::atomic<std::uint32_t>& state() noexcept { return m_state; }

private:
    std::atomic<std::uint32_t> m_state{k_pending};
};

// The entry of one waiting thread in one object's list. Every field is guarded by that object's
// lock; the waiter fills the link before it enqueues it.
struct t_wait_link
{
    t_wait_link* m_prev = nullptr;
    t_wait_link* m_next = nullptr;
    t_wait_block* m_block = nullptr;
    std::uint32_t m_index = 0;  // the object's position in the waiter's handle array
    bool m_linked = false;
};

// The waiters a signaller must wake once it has let go of the object's lock (a woken thread
// should not find the lock still held). Overflow is woken at once.
class t_wake_list
{
public:
    void add(std::atomic<std::uint32_t>& word) noexcept
    {
        if (m_count == m_words.size())
            futex_wake(word, 1);
        else
            m_words[m_count++] = &word;
    }
    void wake_all() noexcept
    {
        for (std::size_t i = 0; i < m_count; ++i)
            futex_wake(*m_words[i], 1);
        m_count = 0;
    }

private:
    std::array<std::atomic<std::uint32_t>*, 8> m_words{};
    std::size_t m_count = 0;
};

// A kernel object that can be waited on: an event, or a thread (a manual-reset object signalled
// once, when the thread ends).
//
// Invariant: the object is never signalled while a waiter that it could release is enqueued; a
// signal either releases an enqueued waiter or sets the signalled state. Waiters check and
// enqueue under the lock, so no signal slips between their check and their sleep.
// Threading: every method may be called from any thread; methods named *_locked need the lock.
class t_waitable : public t_kernel_object
{
public:
    enum class t_poll
    {
        acquired,
        not_signalled,
        busy,  // the lock is held: ask again under the lock
    };

    t_waitable(t_object_type type, bool manual_reset, bool initially_signalled) noexcept
        : t_kernel_object(type), m_word(initially_signalled ? k_signalled : 0),
          m_manual_reset(manual_reset)
    {
    }

    // Lock-free attempt to satisfy a wait: consumes the signal of an auto-reset object.
    t_poll try_acquire() noexcept
    {
        std::uint32_t word = m_word.load(std::memory_order_acquire);
        if (m_manual_reset)
            return (word & k_signalled) != 0 ? t_poll::acquired : t_poll::not_signalled;
        for (;;)
        {
            if ((word & k_signalled) == 0)
                return t_poll::not_signalled;
            if ((word & k_locked) != 0)
                return t_poll::busy;
            if (m_word.compare_exchange_weak(word, word & ~k_signalled, std::memory_order_acquire,
                                             std::memory_order_acquire))
                return t_poll::acquired;
        }
    }

    // SetEvent: releases one waiter (auto reset) or every waiter (manual reset); without a
    // waiter it only sets the signalled state, with one atomic operation and no system call.
    void signal() noexcept
    {
        std::uint32_t word = m_word.load(std::memory_order_relaxed);
        while ((word & (k_locked | k_has_waiters)) == 0)
        {
            // Also when already signalled: the exchange keeps the release ordering of SetEvent.
            if (m_word.compare_exchange_weak(word, word | k_signalled, std::memory_order_release,
                                             std::memory_order_relaxed))
                return;
        }
        signal_slow();
    }

    // ResetEvent. Safe without the lock: a holder of the lock reads and changes the signalled
    // bit with atomic operations, and a reset that lands among them is ordered after them.
    void reset() noexcept { m_word.fetch_and(~k_signalled, std::memory_order_acq_rel); }

    void lock() noexcept
    {
        std::uint32_t word = m_word.load(std::memory_order_relaxed);
        if ((word & k_locked) == 0 &&
            m_word.compare_exchange_weak(word, word | k_locked, std::memory_order_acquire,
                                         std::memory_order_relaxed))
            return;
        lock_slow();
    }

    void unlock() noexcept
    {
        const std::uint32_t old =
            m_word.fetch_and(~(k_locked | k_contended), std::memory_order_release);
        if ((old & k_contended) != 0)
            futex_wake(m_word, 1);
    }

    // Satisfies a wait if the object is signalled, consuming an auto-reset signal.
    bool acquire_locked() noexcept
    {
        if ((m_word.load(std::memory_order_relaxed) & k_signalled) == 0)
            return false;
        if (!m_manual_reset)
            m_word.fetch_and(~k_signalled, std::memory_order_relaxed);
        return true;
    }

    // Appends a waiter; first come, first released.
    void enqueue_locked(t_wait_link& link) noexcept;

    // Takes a waiter out of the list if it is still in it.
    void remove_locked(t_wait_link& link) noexcept;

private:
    static constexpr std::uint32_t k_locked = 1;
    static constexpr std::uint32_t k_contended = 2;  // a thread sleeps on the lock
    static constexpr std::uint32_t k_signalled = 4;
    static constexpr std::uint32_t k_has_waiters = 8;  // the list is not empty

    void lock_slow() noexcept;
    void signal_slow() noexcept;
    void unlink_locked(t_wait_link& link) noexcept;

    // Lock, signalled state and "has waiters" in one word, so that SetEvent without waiters
    // needs a single compare-exchange. The lock's futex is this word as well.
    std::atomic<std::uint32_t> m_word;
    t_wait_link* m_first = nullptr;  // guarded by the lock
    t_wait_link* m_last = nullptr;   // guarded by the lock
    const bool m_manual_reset;
};

// The waitable object behind a pin, or nullptr when the object cannot be waited on.
inline t_waitable* as_waitable(const t_handle_pin& pin) noexcept
{
    if (!pin)
        return nullptr;
    switch (pin.object()->type())
    {
    case t_object_type::event:
    case t_object_type::thread:
        return static_cast<t_waitable*>(pin.object());
    case t_object_type::file:  // files are not waitable here
        break;
    }
    return nullptr;
}

}  // namespace voka::platform
