// oxa_thread: the engine's only way to run an OS thread. It owns the thread (started with
// _beginthreadex), the body it runs, a stop flag with a manual-reset stop event, the exception
// that ended the body, and whether COM was initialised on the thread through initialize_COM.
//
// Stop protocol: set the flag, signal the event, wait for the thread handle without limit. The
// body watches the flag and the event and returns when either is set. Destruction always stops
// and joins.
#pragma once

#include "pll/oxa_event.h"
#include "runtime/const_string.h"
#include "runtime/oxa_raw_memory.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_bound_callable.h"
#include "voka/win32.h"

#include <atomic>
#include <cstdint>
#include <exception>

namespace voka::infrastructure::multitasking::oxa
{

using voka::infrastructure::core::structure::t_smart_object_ptr;

class oxa_thread final
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
          voka::infrastructure::core::structure::t_smart_interface, oxa_allocator>
{
public:
    // The body receives the address of a word that holds the thread object.
    using body_type = oxa_bound_callable<void(oxa_thread**)>;

    // Makes the object and starts its thread (stack 8192 bytes). Raises message 21 when the stop
    // event cannot be made, message 24 when the thread cannot be started.
    static t_smart_object_ptr<oxa_thread> create(const body_type& body, oxa_const_string* name);

    ~oxa_thread() override;

    bool stop_requested() const noexcept
    {
        return m_stop_flag.load(std::memory_order_acquire) != 0;
    }
    HANDLE stop_event() const noexcept { return m_stop_event.handle(); }
    HANDLE handle() const noexcept { return m_handle; }
    DWORD thread_id() const noexcept { return m_thread_id.load(std::memory_order_acquire); }
    const wchar_t* name() const noexcept;

    // Stop flag := 1, stop event signalled (its result not checked).
    void request_stop() noexcept;
    // request_stop, then wait for the thread without limit. Used on release paths, where a
    // failed wait has nobody to go to: its result is not examined.
    void stop_and_join() noexcept;

    // True when the thread has ended, false on a time-out; raises on any other wait result.
    bool helper__wait_thread(DWORD milliseconds);

    // After the end: rethrows the body's exception, returns when the body returned, raises
    // message 26 otherwise; raises while the thread still runs.
    void rethrow_thread_error();

    // Thread-bound: only the thread itself may call these (message 2 otherwise).
    void initialize_COM();
    void reset_user_data();

private:
    oxa_thread(const body_type& body, oxa_const_string* name);

    static unsigned __stdcall entry(void* argument);
    void set_thread_id(DWORD id) noexcept;
    void check_thread(const wchar_t* method) const;
    void finish_com() noexcept;

    body_type m_body;
    HANDLE m_handle = nullptr;
    std::atomic<DWORD> m_thread_id{0};
    std::atomic<std::uint32_t> m_stop_flag{0};
    oxa_event m_stop_event;
    bool m_com_initialized = false;
    std::exception_ptr m_exception;
    std::atomic<std::uint32_t> m_completed{0};
    t_smart_object_ptr<oxa_const_string> m_name;
};

}  // namespace voka::infrastructure::multitasking::oxa
