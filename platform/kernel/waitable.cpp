// The slow paths of waitable objects: the lock under contention, signalling with waiters, and a
// waiter's sleep on its wait block.
//
// Hand-off. A waiter checks its objects and enqueues one link per object under their locks, then
// sleeps on its own wait block. A signaller takes links off the front of the object's list and
// tries to release each waiter with one compare-exchange on the waiter's block. An auto-reset
// object stops at the first waiter that accepts (its signal is consumed by that waiter alone) and
// only when none accepts becomes signalled; a manual-reset object releases them all. A waiter
// already released by another object, or gone by time-out, refuses: its link is dropped and the
// signal goes on to the next one. The signaller wakes a released waiter with one futex call,
// and only when the waiter said it sleeps.
#include "waitable.h"

namespace voka::platform
{

namespace
{
constexpr int k_lock_spins = 64;  // lock holders only run a few list operations
}

std::uint32_t t_wait_block::wait(const timespec* deadline) noexcept
{
    std::uint32_t state = m_state.load(std::memory_order_acquire);
    while ((state & k_result_mask) == k_pending)
    {
        if ((state & k_sleeping) == 0)
        {
            if (!m_state.compare_exchange_weak(state, state | k_sleeping,
                                               std::memory_order_acquire))
                continue;
            state |= k_sleeping;
        }
        if (futex_wait(m_state, state, deadline) == ETIMEDOUT)
        {
            // Give up, unless a signaller was faster: then its signal is ours to return.
            state = m_state.load(std::memory_order_acquire);
            while ((state & k_result_mask) == k_pending)
            {
                if (m_state.compare_exchange_weak(state, state | k_cancelled,
                                                  std::memory_order_acquire))
                    return k_cancelled;
            }
            break;
        }
        state = m_state.load(std::memory_order_acquire);
    }
    return state & k_result_mask;
}

void t_waitable::lock_slow() noexcept
{
    for (int spin = 0; spin < k_lock_spins; ++spin)
    {
        std::uint32_t word = m_word.load(std::memory_order_relaxed);
        if ((word & k_locked) == 0 &&
            m_word.compare_exchange_weak(word, word | k_locked, std::memory_order_acquire,
                                         std::memory_order_relaxed))
            return;
        cpu_relax();
    }
    // A thread that slept takes the lock marked contended, since others may sleep still.
    for (;;)
    {
        std::uint32_t word = m_word.load(std::memory_order_relaxed);
        if ((word & k_locked) == 0)
        {
            if (m_word.compare_exchange_weak(word, word | k_locked | k_contended,
                                             std::memory_order_acquire, std::memory_order_relaxed))
                return;
            continue;
        }
        if ((word & k_contended) == 0)
        {
            if (!m_word.compare_exchange_weak(word, word | k_contended, std::memory_order_relaxed))
                continue;
            word |= k_contended;
        }
        futex_wait(m_word, word, nullptr);
    }
}

void t_waitable::enqueue_locked(t_wait_link& link) noexcept
{
    link.m_prev = m_last;
    link.m_next = nullptr;
    if (m_last != nullptr)
        m_last->m_next = &link;
    else
        m_first = &link;
    m_last = &link;
    link.m_linked = true;
    m_word.fetch_or(k_has_waiters, std::memory_order_relaxed);
}

void t_waitable::unlink_locked(t_wait_link& link) noexcept
{
    if (link.m_prev != nullptr)
        link.m_prev->m_next = link.m_next;
    else
        m_first = link.m_next;
    if (link.m_next != nullptr)
        link.m_next->m_prev = link.m_prev;
    else
        m_last = link.m_prev;
    link.m_prev = nullptr;
    link.m_next = nullptr;
    link.m_linked = false;
}

void t_waitable::remove_locked(t_wait_link& link) noexcept
{
    if (!link.m_linked)
        return;
    unlink_locked(link);
    if (m_first == nullptr)
        m_word.fetch_and(~k_has_waiters, std::memory_order_relaxed);
}

void t_waitable::signal_slow() noexcept
{
    t_wake_list wakes;
    lock();
    if (m_manual_reset)
        m_word.fetch_or(k_signalled, std::memory_order_release);
    bool released_one = false;
    while (m_first != nullptr && (m_manual_reset || !released_one))
    {
        // Read the link before releasing: a released waiter may return at once.
        t_wait_link& link = *m_first;
        t_wait_block& block = *link.m_block;
        const std::uint32_t index = link.m_index;
        unlink_locked(link);
        bool wake_needed = false;
        if (block.try_release(index, wake_needed))
        {
            released_one = true;
            if (wake_needed)
                wakes.add(block.state());
        }
    }
    if (!m_manual_reset && !released_one)
        m_word.fetch_or(k_signalled, std::memory_order_release);
    if (m_first == nullptr)
        m_word.fetch_and(~k_has_waiters, std::memory_order_relaxed);
    unlock();
    wakes.wake_all();
}

}  // namespace voka::platform
