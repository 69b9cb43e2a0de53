// Global memory blocks: GlobalAlloc, GlobalLock, GlobalUnlock, GlobalSize, GlobalReAlloc and
// GlobalFree.
//
// Every live block is an entry of one process-wide table, keyed by its handle: a fixed block's
// handle is the address of its bytes; a movable block's handle is a number that is never an
// address (heap blocks are 16-byte aligned, these handles are 8 modulo 16) and is never reused,
// so stale handles are recognised. The bytes come from the C allocator; a block's capacity is
// what it has allocated, its size what the caller asked for last.
#include "error_map.h"
#include "global_memory_check.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

using voka::platform::fail_with;

namespace
{

struct t_free_deleter
{
    void operator()(unsigned char* bytes) const noexcept { std::free(bytes); }
};
using t_bytes = std::unique_ptr<unsigned char, t_free_deleter>;

struct t_block
{
    bool movable = false;
    t_bytes bytes;         // null for a discarded movable block
    SIZE_T size = 0;       // as last asked for
    SIZE_T capacity = 0;   // allocated
    ULONG lock_count = 0;  // movable blocks only
};

// The table of live blocks. Threading: every member is guarded by m_lock, taken by each Global*
// function for its whole work; no other lock is taken under it.
class t_block_table
{
public:
    std::mutex m_lock;
    std::unordered_map<HGLOBAL, t_block> m_blocks;  // guarded by m_lock
    std::uint64_t m_last_handle_number = 0;         // guarded by m_lock

    // Called with m_lock held.
    t_block* find(HGLOBAL memory) noexcept
    {
        const auto found = m_blocks.find(memory);
        return found != m_blocks.end() ? &found->second : nullptr;
    }

    // A handle for a new movable block; called with m_lock held.
    HGLOBAL next_movable_handle() noexcept
    {
        HGLOBAL handle = nullptr;
        do
            handle = reinterpret_cast<HGLOBAL>(
                static_cast<std::uintptr_t>((++m_last_handle_number << 4) | 8));
        while (m_blocks.count(handle) != 0);
        return handle;
    }
};

t_block_table& block_table() noexcept
{
    static t_block_table table;
    return table;
}

// Flags that Windows accepts and ignores.
constexpr UINT k_ignored_flags =
    GMEM_NOCOMPACT | GMEM_NODISCARD | GMEM_DISCARDABLE | GMEM_SHARE | GMEM_NOT_BANKED | GMEM_NOTIFY;

// Gives `block` `bytes` bytes of its own, moving them; false when memory runs out (the block is
// then unchanged). The added bytes are zero.
bool try_reallocate(t_block& block, SIZE_T bytes) noexcept
{
    const SIZE_T allocated = bytes != 0 ? bytes : 1;
    void* const moved = std::realloc(block.bytes.get(), allocated);
    if (moved == nullptr)
        return false;
    static_cast<void>(block.bytes.release());  // realloc has taken it over
    block.bytes.reset(static_cast<unsigned char*>(moved));
    if (bytes > block.size)
        std::memset(block.bytes.get() + block.size, 0, bytes - block.size);
    block.size = bytes;
    block.capacity = allocated;
    return true;
}

// Changes `block`'s size within its capacity; the added bytes are zero.
void resize_in_place(t_block& block, SIZE_T bytes) noexcept
{
    if (bytes > block.size)
        std::memset(block.bytes.get() + block.size, 0, bytes - block.size);
    block.size = bytes;
}

}  // namespace

namespace voka::platform::ole32
{

t_global_memory_kind global_memory_kind(HGLOBAL memory) noexcept
{
    auto& table = block_table();
    std::lock_guard lock(table.m_lock);
    const t_block* const block = table.find(memory);
    if (block == nullptr)
        return t_global_memory_kind::none;
    return block->movable ? t_global_memory_kind::movable : t_global_memory_kind::fixed;
}

}  // namespace voka::platform::ole32

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if ((flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT | k_ignored_flags)) != 0)
        return fail_with(ERROR_INVALID_PARAMETER, HGLOBAL{nullptr});
    try
    {
        t_block block;
        block.movable = (flags & GMEM_MOVEABLE) != 0;
        // A movable block of 0 bytes is discarded from the start: it has no bytes at all.
        if (!block.movable || bytes != 0)
        {
            const SIZE_T allocated = bytes != 0 ? bytes : 1;
            void* const memory =
                (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, allocated) : std::malloc(allocated);
            if (memory == nullptr)
                return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
            block.bytes.reset(static_cast<unsigned char*>(memory));
            block.size = bytes;
            block.capacity = allocated;
        }
        auto& table = block_table();
        std::lock_guard lock(table.m_lock);
        const HGLOBAL handle =
            block.movable ? table.next_movable_handle() : static_cast<HGLOBAL>(block.bytes.get());
        table.m_blocks.emplace(handle, std::move(block));
        return handle;
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
}

LPVOID GlobalLock(HGLOBAL memory)
{
    auto& table = block_table();
    std::lock_guard lock(table.m_lock);
    t_block* const block = table.find(memory);
    if (block == nullptr)
        return fail_with(ERROR_INVALID_HANDLE, LPVOID{nullptr});
    if (!block->movable)
        return block->bytes.get();
    if (!block->bytes)
        return fail_with(ERROR_DISCARDED, LPVOID{nullptr});
    ++block->lock_count;
    return block->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL memory)
{
    auto& table = block_table();
    std::lock_guard lock(table.m_lock);
    t_block* const block = table.find(memory);
    if (block == nullptr)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (!block->movable)
        return TRUE;
    if (block->lock_count == 0)
        return fail_with(ERROR_NOT_LOCKED, FALSE);
    if (--block->lock_count == 0)
        return fail_with(NO_ERROR, FALSE);
    return TRUE;
}

SIZE_T GlobalSize(HGLOBAL memory)
{
    auto& table = block_table();
    std::lock_guard lock(table.m_lock);
    const t_block* const block = table.find(memory);
    if (block == nullptr)
        return fail_with(ERROR_INVALID_HANDLE, SIZE_T{0});
    return block->size;
}

HGLOBAL GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags)
{
    if ((flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT)) != 0)
        return fail_with(ERROR_INVALID_PARAMETER, HGLOBAL{nullptr});
    const bool may_move_requested = (flags & GMEM_MOVEABLE) != 0;
    auto& table = block_table();
    std::lock_guard lock(table.m_lock);
    t_block* const block = table.find(memory);
    if (block == nullptr)
        return fail_with(ERROR_INVALID_HANDLE, HGLOBAL{nullptr});

    if (block->movable)
    {
        if (bytes == 0 && block->lock_count == 0)
        {
            block->bytes.reset();  // discarded: the handle stays valid
            block->size = 0;
            block->capacity = 0;
            return memory;
        }
        if (bytes <= block->capacity && block->bytes)
        {
            resize_in_place(*block, bytes);
            return memory;
        }
        if (block->lock_count != 0 && !may_move_requested)
            return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
        if (!try_reallocate(*block, bytes))
            return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
        return memory;
    }

    if (bytes <= block->capacity)
    {
        resize_in_place(*block, bytes);
        return memory;
    }
    if (!may_move_requested)
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    try
    {
        // A fixed block's handle is its address: move the entry to the new key. The node is
        // extracted first, so the only step that can fail (the realloc) leaves it unchanged.
        auto node = table.m_blocks.extract(memory);
        if (!try_reallocate(node.mapped(), bytes))
        {
            table.m_blocks.insert(std::move(node));
            return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
        }
        const HGLOBAL moved = node.mapped().bytes.get();
        node.key() = moved;
        table.m_blocks.insert(std::move(node));
        return moved;
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    if (memory == nullptr)
        return nullptr;
    t_bytes freed;  // freed after the lock is left
    {
        auto& table = block_table();
        std::lock_guard lock(table.m_lock);
        const auto found = table.m_blocks.find(memory);
        if (found == table.m_blocks.end())
            return fail_with(ERROR_INVALID_HANDLE, memory);
        freed = std::move(found->second.bytes);
        table.m_blocks.erase(found);
    }
    return nullptr;
}
