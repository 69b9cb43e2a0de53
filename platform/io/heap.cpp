// HeapCreate and HeapDestroy: private heaps, of which the layer keeps only the handles. Nothing
// allocates from them (HeapAlloc is outside the subset), so a heap is a small record whose address
// is its handle.
#include "error_map.h"
#include "voka/platform/heap_test_hook.h"
#include "voka/win32.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace voka::platform
{
namespace
{

struct t_private_heap
{
    SIZE_T initial_size = 0;
    SIZE_T maximum_size = 0;
};

// The live private heaps by handle. Threading: m_lock guards m_heaps.
class t_heap_registry
{
public:
    static t_heap_registry& instance() noexcept
    {
        // Never destroyed: modules may destroy their heaps from static destructors.
        union t_never_destroyed
        {
            t_heap_registry registry;
            t_never_destroyed() : registry() {}
            ~t_never_destroyed() {}
        };
        static t_never_destroyed holder;
        return holder.registry;
    }

    HANDLE add(const t_private_heap& heap)
    {
        auto owner = std::make_unique<t_private_heap>(heap);
        const HANDLE handle = owner.get();
        const std::lock_guard lock(m_lock);
        m_heaps.emplace(handle, std::move(owner));
        return handle;
    }

    bool remove(HANDLE handle) noexcept
    {
        std::unique_ptr<t_private_heap> owner;  // freed after the lock is released
        const std::lock_guard lock(m_lock);
        const auto found = m_heaps.find(handle);
        if (found == m_heaps.end())
            return false;
        owner = std::move(found->second);
        m_heaps.erase(found);
        return true;
    }

private:
    std::mutex m_lock;
    std::unordered_map<HANDLE, std::unique_ptr<t_private_heap>> m_heaps;  // guarded by m_lock
};

std::atomic<bool> g_fail_next_creation{false};

}  // namespace

void fail_next_heap_creation() noexcept
{
    g_fail_next_creation.store(true);
}

}  // namespace voka::platform

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size)
{
    using namespace voka::platform;
    if (options != 0)
        return fail_with(ERROR_NOT_SUPPORTED, HANDLE{});
    if (maximum_size != 0 && initial_size > maximum_size)
        return fail_with(ERROR_INVALID_PARAMETER, HANDLE{});
    if (g_fail_next_creation.exchange(false))
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
    try
    {
        return t_heap_registry::instance().add({initial_size, maximum_size});
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
    }
}

BOOL WINAPI HeapDestroy(HANDLE heap)
{
    using namespace voka::platform;
    if (heap == nullptr || !t_heap_registry::instance().remove(heap))
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}
