// Creation, checked signalling and destruction of the engine's event objects.
#include "pll/oxa_event.h"

#include "runtime/oxa_errors.h"

namespace voka::infrastructure::multitasking::oxa
{

oxa_event::oxa_event(bool manual_reset, bool initial_state, oxa_const_string* name) : m_name(name)
{
    m_handle =
        ::CreateEventW(nullptr, manual_reset ? TRUE : FALSE, initial_state ? TRUE : FALSE, nullptr);
    if (m_handle == nullptr)
        oxa_raise_error(oxa_msg_event_create, oxa_error_kind_win32, ::GetLastError(),
                        {this->name()});
}

oxa_event::~oxa_event()
{
    if (m_handle != nullptr)
        ::CloseHandle(m_handle);
}

void oxa_event::set_checked()
{
    if (!::SetEvent(m_handle))
        oxa_raise_error(oxa_msg_event_set, oxa_error_kind_win32, ::GetLastError(), {name()});
}

void oxa_event::reset_checked()
{
    if (!::ResetEvent(m_handle))
        oxa_raise_error(oxa_msg_event_reset, oxa_error_kind_win32, ::GetLastError(), {name()});
}

}  // namespace voka::infrastructure::multitasking::oxa
