// The handle table: maps HANDLE values to kernel objects, lock-free for lookups, and CloseHandle.
//
// Design. A handle value carries a slot index and the slot's generation at the time the handle
// was made: (generation << 34) | ((index + 1) << 2), so it is never 0, never a multiple of
// anything but 4 and never INVALID_HANDLE_VALUE. Each slot has one 64-bit state word:
//   bits 34..61 generation, bits 32..33 kind (free, open, closed), bits 0..31 pin count.
// A lookup adds one pin with fetch_add and checks that generation and kind match the handle; a
// mismatch (stale or closed handle) takes its pin back. While a matching pin is held the slot
// cannot be freed, so the object pointer read under it stays valid: a pin is a reference.
// CloseHandle turns the kind from open to closed (only one closer wins). Whoever brings the pin
// count of a closed slot to zero frees it: a compare-exchange moves it to free with the next
// generation, so exactly one party does, and handles made before can never match it again.
// Stale lookups may add and remove pins on any slot at any time; every transition therefore keeps
// the pin count as it is, and the freeing rule does not care whose pin was last.
//
// Lock order: m_mutex only (table growth and the free list); no other lock is taken under it.
#include "kernel_object.h"

#include "error_map.h"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace voka::platform
{

namespace
{

constexpr std::uint32_t k_segment_bits = 10;
constexpr std::uint32_t k_segment_size = 1u << k_segment_bits;
constexpr std::uint32_t k_max_segments = 1024;  // 1 Mi handles

constexpr std::uint64_t k_pin_mask = 0xFFFFFFFFull;
constexpr std::uint64_t k_kind_mask = 3ull << 32;
constexpr std::uint64_t k_kind_free = 0ull << 32;
constexpr std::uint64_t k_kind_open = 1ull << 32;
constexpr std::uint64_t k_kind_closed = 2ull << 32;
constexpr unsigned k_generation_shift = 34;
constexpr std::uint64_t k_generation_mask = (1ull << 28) - 1;

std::uint64_t generation_of(std::uint64_t bits) noexcept
{
    return (bits >> k_generation_shift) & k_generation_mask;
}

}  // namespace

// One entry of the table; padded to a cache line so that two busy handles do not share one.
class alignas(64) t_handle_slot
{
public:
    std::atomic<std::uint64_t> m_state{0};
    // Written by the table while the slot is free (under m_mutex, published by the transition
    // to open); read by holders of a matching pin; moved out by the party that frees the slot.
    std::shared_ptr<t_kernel_object> m_object;
    std::uint32_t m_index = 0;  // set once when the segment is made
};

namespace
{

class t_handle_table
{
public:
    constexpr t_handle_table() noexcept = default;

    t_handle_pin pin(HANDLE handle) noexcept
    {
        t_handle_slot* slot = locate(handle);
        if (slot == nullptr)
            return {};
        const std::uint64_t key = key_of(handle);
        const std::uint64_t old = slot->m_state.fetch_add(1, std::memory_order_acquire);
        if ((old & ~k_pin_mask) != key)
        {
            unpin(*slot);
            return {};
        }
        return t_handle_pin(slot, slot->m_object.get());
    }

    void unpin(t_handle_slot& slot) noexcept
    {
        // acq_rel: our use of the object happens before whoever frees the slot destroys it.
        const std::uint64_t now = slot.m_state.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if ((now & k_pin_mask) == 0 && (now & k_kind_mask) == k_kind_closed)
            free_slot(slot, now);
    }

    bool close(HANDLE handle) noexcept
    {
        t_handle_pin pin = this->pin(handle);
        if (!pin)
            return false;
        t_handle_slot& slot = *locate(handle);
        const std::uint64_t key = key_of(handle);
        std::uint64_t state = slot.m_state.load(std::memory_order_relaxed);
        while ((state & ~k_pin_mask) == key)
        {
            const std::uint64_t closed = (state & ~k_kind_mask) | k_kind_closed;
            if (slot.m_state.compare_exchange_weak(state, closed, std::memory_order_acq_rel))
                return true;  // our pin goes with `pin`; the last pin frees the slot
        }
        return false;  // another thread closed it first
    }

    HANDLE insert(std::shared_ptr<t_kernel_object> object) noexcept
    {
        std::unique_lock lock(m_mutex);
        std::uint32_t index = 0;
        if (!m_free.empty())
        {
            index = m_free.back();
            m_free.pop_back();
        }
        else
        {
            if (m_next_index == m_segment_count * k_segment_size && !try_grow())
                return nullptr;
            index = m_next_index++;
        }
        t_handle_slot& slot = m_owners[index >> k_segment_bits][index & (k_segment_size - 1)];
        slot.m_object = std::move(object);
        std::uint64_t state = slot.m_state.load(std::memory_order_relaxed);
        while (!slot.m_state.compare_exchange_weak(state, (state & ~k_kind_mask) | k_kind_open,
                                                   std::memory_order_release))
        {
        }
        const std::uint64_t value = (generation_of(state) << k_generation_shift) |
                                    (static_cast<std::uint64_t>(index + 1) << 2);
        return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
    }

private:
    static std::uint64_t key_of(HANDLE handle) noexcept
    {
        const auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
        return (generation_of(value) << k_generation_shift) | k_kind_open;
    }

    // The slot a handle value names, or nullptr for a value no handle ever had.
    t_handle_slot* locate(HANDLE handle) const noexcept
    {
        const auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
        if ((value & 3) != 0 || (value >> 62) != 0)
            return nullptr;
        const auto number = static_cast<std::uint32_t>(value >> 2);
        if (number == 0)
            return nullptr;
        const std::uint32_t index = number - 1;
        if ((index >> k_segment_bits) >= k_max_segments)
            return nullptr;
        t_handle_slot* segment =
            m_segments[index >> k_segment_bits].load(std::memory_order_acquire);
        if (segment == nullptr)
            return nullptr;
        return &segment[index & (k_segment_size - 1)];
    }

    // Moves a closed slot without pins to free. `observed` is the state that showed it; when
    // the state has moved on since, someone else's unpin will see it again.
    void free_slot(t_handle_slot& slot, std::uint64_t observed) noexcept
    {
        const std::uint64_t next_generation = (generation_of(observed) + 1) & k_generation_mask;
        const std::uint64_t freed = (next_generation << k_generation_shift) | k_kind_free;
        if (!slot.m_state.compare_exchange_strong(observed, freed, std::memory_order_acq_rel))
            return;
        std::shared_ptr<t_kernel_object> last_reference = std::move(slot.m_object);
        {
            std::lock_guard lock(m_mutex);
            m_free.push_back(slot.m_index);  // capacity reserved when the slot was made
        }
        // The object may go here, outside the table's lock.
    }

    // Adds one segment of slots. Called with m_mutex held.
    bool try_grow() noexcept
    {
        if (m_segment_count == k_max_segments)
            return fail_with(ERROR_NOT_ENOUGH_MEMORY, false);
        try
        {
            m_free.reserve(static_cast<std::size_t>(m_segment_count + 1) * k_segment_size);
            auto segment = std::make_unique<t_handle_slot[]>(k_segment_size);
            for (std::uint32_t i = 0; i < k_segment_size; ++i)
                segment[i].m_index = m_segment_count * k_segment_size + i;
            m_segments[m_segment_count].store(segment.get(), std::memory_order_release);
            m_owners[m_segment_count] = std::move(segment);
            ++m_segment_count;
            return true;
        }
        catch (const std::bad_alloc&)
        {
            return fail_with(ERROR_NOT_ENOUGH_MEMORY, false);
        }
    }

    std::array<std::atomic<t_handle_slot*>, k_max_segments> m_segments{};  // written once each
    std::mutex m_mutex;
    std::array<std::unique_ptr<t_handle_slot[]>, k_max_segments> m_owners{};  // guarded by m_mutex
    std::vector<std::uint32_t> m_free;                                        // guarded by m_mutex
    std::uint32_t m_segment_count = 0;                                        // guarded by m_mutex
    std::uint32_t m_next_index = 0;                                           // guarded by m_mutex
};

// The table lives for the whole process and is never destroyed: threads that outlive main may
// still close or wait on handles while static objects are destroyed.
union t_never_destroyed_table
{
    constexpr t_never_destroyed_table() noexcept : table() {}
    ~t_never_destroyed_table() {}
    t_handle_table table;
};

constinit t_never_destroyed_table g_storage;

t_handle_table& table() noexcept
{
    return g_storage.table;
}

}  // namespace

void t_handle_pin::reset() noexcept
{
    if (m_slot != nullptr)
        table().unpin(*m_slot);
    m_slot = nullptr;
    m_object = nullptr;
}

t_handle_pin pin_handle(HANDLE handle) noexcept
{
    return table().pin(handle);
}

HANDLE insert_handle(std::shared_ptr<t_kernel_object> object) noexcept
{
    return table().insert(std::move(object));
}

}  // namespace voka::platform

// Windows: drops the handle's reference; the object goes with its last reference.
BOOL WINAPI CloseHandle(HANDLE handle)
{
    using namespace voka::platform;
    if (!table().close(handle))
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}
