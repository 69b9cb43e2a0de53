// The kernel event of a sequential controller: an unnamed manual-reset event, initially not
// signalled, with a constant descriptive name that appears only in error messages.
#pragma once

#include "runtime/const_string.h"
#include "voka/infrastructure/core/smart_interface.h"
#include "voka/win32.h"

namespace voka::infrastructure::multitasking::oxa
{

class oxa_seq_event
{
public:
    // Creates the event; raises message 21 with the name and GetLastError when it cannot.
    explicit oxa_seq_event(oxa_const_string* name);
    ~oxa_seq_event();

    oxa_seq_event(const oxa_seq_event&) = delete;
    oxa_seq_event& operator=(const oxa_seq_event&) = delete;

    HANDLE handle() const noexcept { return m_handle; }

    // Signals the event; the result is not examined (nobody can act on a failure here).
    void set() noexcept;

    // Makes the event non-signalled; raises message 23 with the name and GetLastError on failure.
    void reset();

private:
    HANDLE m_handle = nullptr;
    voka::infrastructure::core::structure::t_smart_object_ptr<oxa_const_string> m_name;
};

}  // namespace voka::infrastructure::multitasking::oxa
