// WaitForSingleObject and WaitForMultipleObjects (wait-any) on events and threads.
//
// A wait first tries to be satisfied without sleeping: one object lock-free, several under all
// their locks at once, so that the lowest signalled index wins as in one atomic look at every
// object. Otherwise, still under those locks, it enqueues one link per object pointing to its
// wait block, lets go of the locks and sleeps on the block until one object releases it (see
// waitable.cpp) or its time-out passes. Afterwards it takes its links out of the other objects'
// lists; the object that released it took its link out already.
//
// Lock order: several object locks are taken together only here, in increasing address order.
// Signallers and the clean-up after a wait hold one object lock at a time.
#include "error_map.h"
#include "waitable.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

using namespace voka::platform;

namespace
{

const timespec* deadline_for(DWORD milliseconds, timespec& storage) noexcept
{
    if (milliseconds == INFINITE)
        return nullptr;
    storage = deadline_after(milliseconds);
    return &storage;
}

DWORD wait_for_one(HANDLE handle, DWORD milliseconds) noexcept
{
    const t_handle_pin pin = pin_handle(handle);  // the wait's own reference to the object
    t_waitable* object = as_waitable(pin);
    if (object == nullptr)
        return fail_with(ERROR_INVALID_HANDLE, WAIT_FAILED);

    const t_waitable::t_poll poll = object->try_acquire();
    if (poll == t_waitable::t_poll::acquired)
        return WAIT_OBJECT_0;
    if (poll == t_waitable::t_poll::not_signalled && milliseconds == 0)
        return static_cast<DWORD>(WAIT_TIMEOUT);

    t_wait_block block;
    t_wait_link link;
    link.m_block = &block;
    object->lock();
    if (object->acquire_locked())
    {
        object->unlock();
        return WAIT_OBJECT_0;
    }
    if (milliseconds == 0)
    {
        object->unlock();
        return static_cast<DWORD>(WAIT_TIMEOUT);
    }
    object->enqueue_locked(link);
    object->unlock();

    timespec deadline{};
    if (block.wait(deadline_for(milliseconds, deadline)) != t_wait_block::k_cancelled)
        return WAIT_OBJECT_0;
    object->lock();
    object->remove_locked(link);
    object->unlock();
    return static_cast<DWORD>(WAIT_TIMEOUT);
}

// Up to MAXIMUM_WAIT_OBJECTS elements built in place on demand: a wait on two handles should
// not pay for clearing sixty-four.
template <typename t_element> class t_wait_array
{
public:
    t_wait_array() noexcept = default;
    t_wait_array(const t_wait_array&) = delete;
    t_wait_array& operator=(const t_wait_array&) = delete;
    ~t_wait_array()
    {
        while (m_count > 0)
            std::destroy_at(&(*this)[--m_count]);
    }

    template <typename... t_args> t_element& emplace_back(t_args&&... args)
    {
        t_element* element = std::construct_at(reinterpret_cast<t_element*>(m_storage) + m_count,
                                               std::forward<t_args>(args)...);
        ++m_count;
        return *element;
    }
    t_element& operator[](DWORD index) noexcept
    {
        return std::launder(reinterpret_cast<t_element*>(m_storage))[index];
    }

private:
    alignas(t_element) std::byte m_storage[MAXIMUM_WAIT_OBJECTS * sizeof(t_element)];
    DWORD m_count = 0;
};

// Holds the locks of a set of objects, taken in address order, until destruction.
class t_locked_objects
{
public:
    t_locked_objects(t_waitable* const* objects, DWORD count) noexcept : m_count(count)
    {
        std::copy(objects, objects + count, m_sorted.begin());
        std::sort(m_sorted.begin(), m_sorted.begin() + count);
        for (DWORD i = 0; i < m_count; ++i)
            m_sorted[i]->lock();
    }
    ~t_locked_objects() { unlock(); }
    t_locked_objects(const t_locked_objects&) = delete;
    t_locked_objects& operator=(const t_locked_objects&) = delete;

    void unlock() noexcept
    {
        for (DWORD i = 0; i < m_count; ++i)
            m_sorted[i]->unlock();
        m_count = 0;
    }

private:
    std::array<t_waitable*, MAXIMUM_WAIT_OBJECTS> m_sorted;
    DWORD m_count;
};

DWORD wait_for_any(DWORD count, const HANDLE* handles, DWORD milliseconds) noexcept
{
    t_wait_array<t_handle_pin> pins;  // the wait's own references
    std::array<t_waitable*, MAXIMUM_WAIT_OBJECTS> objects;
    for (DWORD i = 0; i < count; ++i)
    {
        objects[i] = as_waitable(pins.emplace_back(pin_handle(handles[i])));
        if (objects[i] == nullptr)
            return fail_with(ERROR_INVALID_HANDLE, WAIT_FAILED);
    }

    t_wait_block block;
    t_wait_array<t_wait_link> links;
    {
        t_locked_objects locks(objects.data(), count);
        // Windows: the lowest signalled index wins.
        for (DWORD i = 0; i < count; ++i)
            if (objects[i]->acquire_locked())
                return WAIT_OBJECT_0 + i;
        if (milliseconds == 0)
            return static_cast<DWORD>(WAIT_TIMEOUT);
        for (DWORD i = 0; i < count; ++i)
        {
            t_wait_link& link = links.emplace_back();
            link.m_block = &block;
            link.m_index = i;
            objects[i]->enqueue_locked(link);
        }
    }

    timespec deadline{};
    const std::uint32_t result = block.wait(deadline_for(milliseconds, deadline));
    const DWORD released_by = result == t_wait_block::k_cancelled ? count : result - 1;
    for (DWORD i = 0; i < count; ++i)
    {
        if (i == released_by)
            continue;  // its signaller took the link out
        objects[i]->lock();
        objects[i]->remove_locked(links[i]);
        objects[i]->unlock();
    }
    return released_by < count ? WAIT_OBJECT_0 + released_by : static_cast<DWORD>(WAIT_TIMEOUT);
}

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return wait_for_one(handle, milliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                    DWORD milliseconds)
{
    if (handles == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS)
        return fail_with(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    // Windows refuses a handle given twice; here that also keeps a wait from locking an object
    // twice.
    for (DWORD i = 1; i < count; ++i)
        for (DWORD j = 0; j < i; ++j)
            if (handles[i] == handles[j])
                return fail_with(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    if (count == 1)
        return wait_for_one(handles[0], milliseconds);  // wait-all of one is wait-any
    if (wait_all != FALSE)
        return fail_with(ERROR_NOT_SUPPORTED, WAIT_FAILED);
    return wait_for_any(count, handles, milliseconds);
}
