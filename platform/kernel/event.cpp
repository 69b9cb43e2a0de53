// Event objects: CreateEventW, SetEvent and ResetEvent.
#include "error_map.h"
#include "kernel_fault.h"
#include "waitable.h"

#include <new>

using namespace voka::platform;

namespace
{

// The event behind `handle`, pinned; an empty pin for anything else.
t_handle_pin pin_event(HANDLE handle) noexcept
{
    t_handle_pin pin = pin_handle(handle);
    if (pin && pin.object()->type() != t_object_type::event)
        pin.reset();
    return pin;
}

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                           LPCWSTR name)
{
    if (t_kernel_fault fault; take_kernel_fault(t_kernel_call::create_event, &fault))
        return fail_with(fault.error, HANDLE{nullptr});
    // Named events and security descriptors are outside the subset.
    if (attributes != nullptr || name != nullptr)
        return fail_with(ERROR_NOT_SUPPORTED, HANDLE{nullptr});
    std::shared_ptr<t_waitable> event;
    try
    {
        event = std::make_shared<t_waitable>(t_object_type::event, manual_reset != FALSE,
                                             initial_state != FALSE);
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HANDLE{nullptr});
    }
    return insert_handle(std::move(event));
}

BOOL WINAPI SetEvent(HANDLE event)
{
    if (t_kernel_fault fault; take_kernel_fault(t_kernel_call::set_event, &fault))
        return fail_with(fault.error, FALSE);
    const t_handle_pin pin = pin_event(event);
    if (!pin)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    static_cast<t_waitable*>(pin.object())->signal();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE event)
{
    if (t_kernel_fault fault; take_kernel_fault(t_kernel_call::reset_event, &fault))
        return fail_with(fault.error, FALSE);
    const t_handle_pin pin = pin_event(event);
    if (!pin)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    static_cast<t_waitable*>(pin.object())->reset();
    return TRUE;
}
