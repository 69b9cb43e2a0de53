// The engine's event object: an unnamed kernel event plus a counted constant name that serves
// only in error messages.
#pragma once

#include "runtime/const_string.h"
#include "voka/infrastructure/core/smart_interface.h"
#include "voka/win32.h"

namespace voka::infrastructure::multitasking::oxa
{

class oxa_event
{
public:
    // Creates the event; raises message 21 with the name and GetLastError when it cannot.
    oxa_event(bool manual_reset, bool initial_state, oxa_const_string* name);
    ~oxa_event();

    oxa_event(const oxa_event&) = delete;
    oxa_event& operator=(const oxa_event&) = delete;

    HANDLE handle() const noexcept { return m_handle; }
    const wchar_t* name() const noexcept { return m_name->get_text(); }

    // SetEvent / ResetEvent without looking at the result.
    void set() noexcept { ::SetEvent(m_handle); }
    void reset() noexcept { ::ResetEvent(m_handle); }

    // SetEvent, raising message 22 on failure; ResetEvent, raising message 23 on failure.
    void set_checked();
    void reset_checked();

private:
    HANDLE m_handle = nullptr;
    voka::infrastructure::core::structure::t_smart_object_ptr<oxa_const_string> m_name;
};

}  // namespace voka::infrastructure::multitasking::oxa
