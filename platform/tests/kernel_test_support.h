// Helpers for the kernel conformance tests: an owner for handles, a thread runner built on
// _beginthreadex, and a counter that threads use to order themselves without sleeping. Every
// wait here has a generous bound, so a bug fails a test instead of hanging it.
#pragma once

#include "voka/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace kernel_test
{

// Far above any wait that a correct layer needs, even under a sanitizer on a busy machine.
constexpr DWORD k_bound_ms = 30000;

// Owns one kernel handle; closes it on every path. Move-only.
class t_handle
{
public:
    t_handle() noexcept = default;
    explicit t_handle(HANDLE value) noexcept : m_value(value) {}
    t_handle(t_handle&& other) noexcept : m_value(std::exchange(other.m_value, nullptr)) {}
    t_handle& operator=(t_handle&& other) noexcept
    {
        reset(std::exchange(other.m_value, nullptr));
        return *this;
    }
    ~t_handle() { reset(); }

    HANDLE get() const noexcept { return m_value; }
    HANDLE release() noexcept { return std::exchange(m_value, nullptr); }
    void reset(HANDLE value = nullptr) noexcept
    {
        if (m_value != nullptr)
        {
            EXPECT_TRUE(CloseHandle(m_value));
        }
        m_value = value;
    }

private:
    HANDLE m_value = nullptr;
};

inline t_handle make_event(bool manual_reset, bool initial_state)
{
    HANDLE event =
        CreateEventW(nullptr, manual_reset ? TRUE : FALSE, initial_state ? TRUE : FALSE, nullptr);
    EXPECT_NE(event, nullptr) << "CreateEventW failed with " << GetLastError();
    return t_handle(event);
}

// True when the object is signalled now; consumes an auto-reset event's signal.
inline bool poll(HANDLE handle)
{
    const DWORD result = WaitForSingleObject(handle, 0);
    EXPECT_TRUE(result == WAIT_OBJECT_0 || result == static_cast<DWORD>(WAIT_TIMEOUT)) << result;
    return result == WAIT_OBJECT_0;
}

// Runs a callable on a thread started with _beginthreadex. Destruction waits for the thread for
// twice the bound, so a thread blocked by a failed test ends its own bounded wait first; one
// still running then is hung: the test aborts rather than let it use destroyed locals.
class t_thread
{
public:
    explicit t_thread(std::function<unsigned()> body, unsigned stack_size = 0)
    {
        auto owned = std::make_unique<std::function<unsigned()>>(std::move(body));
        unsigned id = 0;
        const uintptr_t handle = _beginthreadex(nullptr, stack_size, &entry, owned.get(), 0, &id);
        if (handle == 0)
        {
            ADD_FAILURE() << "_beginthreadex failed with " << GetLastError();
            return;
        }
        static_cast<void>(owned.release());  // the thread owns its body now
        m_handle.reset(reinterpret_cast<HANDLE>(handle));
        m_id = id;
    }
    t_thread(const t_thread&) = delete;
    t_thread& operator=(const t_thread&) = delete;
    ~t_thread()
    {
        if (m_handle.get() != nullptr &&
            WaitForSingleObject(m_handle.get(), 2 * k_bound_ms) != WAIT_OBJECT_0)
        {
            std::fprintf(stderr, "a test thread did not end within the bound\n");
            std::abort();
        }
    }

    HANDLE handle() const noexcept { return m_handle.get(); }
    DWORD id() const noexcept { return m_id; }

    // Waits (bounded) for the thread's end; true when it ended.
    bool join() { return WaitForSingleObject(m_handle.get(), k_bound_ms) == WAIT_OBJECT_0; }

private:
    static unsigned __stdcall entry(void* raw)
    {
        const std::unique_ptr<std::function<unsigned()>> body(
            static_cast<std::function<unsigned()>*>(raw));
        return (*body)();
    }

    t_handle m_handle;
    DWORD m_id = 0;
};

// A counter that threads raise and wait on, with a bound on every wait: phases without sleeps.
class t_counter
{
public:
    void add(int amount = 1)
    {
        {
            std::lock_guard lock(m_mutex);
            m_value += amount;
        }
        m_changed.notify_all();
    }
    int value() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    // True once the value reaches `target`; false when the bound passes first.
    bool wait_for_at_least(int target) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(k_bound_ms),
                                  [&] { return m_value >= target; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_value = 0;  // guarded by m_mutex
};

}  // namespace kernel_test
