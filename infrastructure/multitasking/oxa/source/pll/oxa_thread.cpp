// The engine's OS thread: start, entry routine, stop protocol, outcome and COM on demand.
#include "pll/oxa_thread.h"

#include "pll/oxa_pll_names.h"
#include "runtime/oxa_errors.h"
#include "voka/infrastructure/core/thread_exit.h"
#include "voka/infrastructure/os/windows/ole32/gate.h"

#include <string>

namespace voka::infrastructure::multitasking::oxa
{

oxa_thread::oxa_thread(const body_type& body, oxa_const_string* name)
    : m_body(body), m_stop_event(true, false, &oxa_static_string<k_name_thread_stop_event>),
      m_name(name)
{
}

oxa_thread::~oxa_thread()
{
    if (m_handle != nullptr)
    {
        stop_and_join();
        ::CloseHandle(m_handle);
    }
}

t_smart_object_ptr<oxa_thread> oxa_thread::create(const body_type& body, oxa_const_string* name)
{
    t_smart_object_ptr<oxa_thread> thread(new oxa_thread(body, name));
    unsigned id = 0;
    const uintptr_t handle =
        ::_beginthreadex(nullptr, 8192, &oxa_thread::entry, thread.get(), 0, &id);
    if (handle == 0)
    {
        int crt_error = 0;
        ::_get_errno(&crt_error);
        const DWORD win32_error = ::GetLastError();
        const std::wstring thread_name = thread->name();
        thread.reset();  // no handle: the destruction does not wait
        oxa_raise_error(oxa_msg_thread_create, oxa_error_kind_hresult,
                        static_cast<std::uint32_t>(E_FAIL),
                        {thread_name, std::to_wstring(crt_error), std::to_wstring(win32_error)});
    }
    thread->m_handle = reinterpret_cast<HANDLE>(handle);
    thread->set_thread_id(id);
    return thread;
}

const wchar_t* oxa_thread::name() const noexcept
{
    return m_name ? m_name->get_text() : L"";
}

void oxa_thread::set_thread_id(DWORD id) noexcept
{
    DWORD expected = 0;
    m_thread_id.compare_exchange_strong(expected, id, std::memory_order_acq_rel);
}

// Catches what the body throws and keeps it; the thread-exit unwinding of ExitThread passes.
VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES unsigned __stdcall oxa_thread::entry(void* argument)
{
    auto* const self = static_cast<oxa_thread*>(argument);
    self->set_thread_id(::GetCurrentThreadId());
    oxa_thread* word = self;
    try
    {
        self->m_body(&word);
        self->m_completed.store(1, std::memory_order_release);
    }
    VOKA_LET_THREAD_EXIT_PASS
    catch (...)
    {
        self->m_exception = std::current_exception();
    }
    self->finish_com();
    return 0;
}

void oxa_thread::finish_com() noexcept
{
    if (m_com_initialized)
        ::VOKA_OS__SetErrorInfo(0, nullptr);
    if (m_com_initialized)
    {
        ::VOKA_OS__CoUninitialize();
        m_com_initialized = false;
    }
}

void oxa_thread::request_stop() noexcept
{
    m_stop_flag.exchange(1, std::memory_order_acq_rel);
    ::SetEvent(m_stop_event.handle());
}

void oxa_thread::stop_and_join() noexcept
{
    request_stop();
    if (m_handle != nullptr)
        ::WaitForSingleObject(m_handle, INFINITE);
}

bool oxa_thread::helper__wait_thread(DWORD milliseconds)
{
    const DWORD result = ::WaitForSingleObject(m_handle, milliseconds);
    if (result == WAIT_OBJECT_0)
        return true;
    if (result == static_cast<DWORD>(WAIT_TIMEOUT))
        return false;
    const DWORD error = ::GetLastError();
    oxa_raise_bug_check(L"oxa_thread::helper__wait_thread", L"#001",
                        L"unexpected dwWaitResult: %1. LastError: [%2]",
                        {std::to_wstring(result), oxa_win32_error_text(error)});
}

void oxa_thread::rethrow_thread_error()
{
    if (!helper__wait_thread(0))
        oxa_raise_bug_check(L"oxa_thread::rethrow_thread_error", L"#001",
                            L"Thread [%1] is still active", {name()});
    if (m_exception)
        std::rethrow_exception(m_exception);
    if (m_completed.load(std::memory_order_acquire) != 0)
        return;
    oxa_raise_error(oxa_msg_thread_aborted, oxa_error_kind_hresult,
                    static_cast<std::uint32_t>(E_UNEXPECTED), {name()});
}

void oxa_thread::check_thread(const wchar_t* method) const
{
    const DWORD caller = ::GetCurrentThreadId();
    const DWORD allowed = thread_id();
    if (caller != allowed)
        oxa_raise_error(oxa_msg_invalid_thread, oxa_error_kind_hresult,
                        static_cast<std::uint32_t>(E_FAIL),
                        {method, std::to_wstring(caller), std::to_wstring(allowed)});
}

void oxa_thread::initialize_COM()
{
    check_thread(L"oxa_thread::initialize_COM");
    if (m_com_initialized)
        return;
    const HRESULT result = ::VOKA_OS__CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (result < 0)
        oxa_raise_error(oxa_msg_com_initialize, oxa_error_kind_hresult,
                        static_cast<std::uint32_t>(result), {});
    m_com_initialized = true;
}

void oxa_thread::reset_user_data()
{
    check_thread(L"oxa_thread::reset_user_data");
    if (m_com_initialized)
        ::VOKA_OS__SetErrorInfo(0, nullptr);
}

}  // namespace voka::infrastructure::multitasking::oxa
