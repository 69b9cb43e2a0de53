// Critical sections of the parallel engine: an owner that initialises and deletes one, and a
// scope guard that holds it.
#pragma once

#include "voka/win32.h"

#include <utility>

namespace voka::infrastructure::multitasking::oxa
{

class oxa_critical_section
{
public:
    oxa_critical_section() noexcept { ::InitializeCriticalSection(&m_section); }
    ~oxa_critical_section() { ::DeleteCriticalSection(&m_section); }

    oxa_critical_section(const oxa_critical_section&) = delete;
    oxa_critical_section& operator=(const oxa_critical_section&) = delete;

    void enter() noexcept { ::EnterCriticalSection(&m_section); }
    void leave() noexcept { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds `section` from construction to destruction; unlock() leaves early.
class oxa_lock_guard
{
public:
    explicit oxa_lock_guard(oxa_critical_section& section) noexcept : m_section(&section)
    {
        m_section->enter();
    }
    ~oxa_lock_guard() { unlock(); }

    oxa_lock_guard(const oxa_lock_guard&) = delete;
    oxa_lock_guard& operator=(const oxa_lock_guard&) = delete;

    void unlock() noexcept
    {
        if (m_section != nullptr)
            std::exchange(m_section, nullptr)->leave();
    }

private:
    oxa_critical_section* m_section;
};

}  // namespace voka::infrastructure::multitasking::oxa
