// The kernel event of a sequential controller (see oxa_seq_event.h).
#include "seq/oxa_seq_event.h"

#include "runtime/oxa_errors.h"

namespace voka::infrastructure::multitasking::oxa
{

oxa_seq_event::oxa_seq_event(oxa_const_string* name) : m_name(name)
{
    m_handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_handle == nullptr)
        oxa_raise_error(oxa_msg_event_create, oxa_error_kind_win32, GetLastError(),
                        {m_name->get_text()});
}

oxa_seq_event::~oxa_seq_event()
{
    CloseHandle(m_handle);
}

void oxa_seq_event::set() noexcept
{
    SetEvent(m_handle);
}

void oxa_seq_event::reset()
{
    if (!ResetEvent(m_handle))
        oxa_raise_error(oxa_msg_event_reset, oxa_error_kind_win32, GetLastError(),
                        {m_name->get_text()});
}

}  // namespace voka::infrastructure::multitasking::oxa
