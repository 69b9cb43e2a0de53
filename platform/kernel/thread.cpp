// Threads: _beginthreadex, ExitThread, GetExitCodeThread, GetCurrentThreadId and _get_errno.
//
// A thread started here runs detached (nobody joins it: as on Windows, its handle is the way to
// wait for it). Its entry routine owns a reference to the thread object and signals it when the
// body is done, whether it returned or ended with ExitThread (a forced unwinding that runs the
// same destructor). Thread ids come from a process-wide counter, so _beginthreadex can report
// the id before the thread runs, and threads the layer did not start get one on first use.
#include "../modules/attached_modules.h"
#include "error_map.h"
#include "kernel_fault.h"
#include "thread_object.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>

using namespace voka::platform;

namespace
{

constexpr std::size_t k_min_stack_bytes = 1u << 20;  // what Windows reserves by default
constexpr std::size_t k_stack_granularity = 64u << 10;

std::atomic<std::uint32_t> g_next_thread_id{1};
thread_local DWORD t_current_thread_id = 0;

// Windows thread ids are multiples of four and never 0.
DWORD allocate_thread_id() noexcept
{
    DWORD id = 0;
    while (id == 0)
        id = g_next_thread_id.fetch_add(1, std::memory_order_relaxed) * 4;
    return id;
}

struct t_thread_start
{
    std::shared_ptr<t_thread_object> object;
    unsigned (*routine)(void*) = nullptr;
    void* argument = nullptr;
    DWORD id = 0;
};

// Signals the thread's handle when the thread's body is done, by return or by ExitThread.
class t_thread_end
{
public:
    explicit t_thread_end(std::shared_ptr<t_thread_object> object) noexcept
        : m_object(std::move(object))
    {
    }
    ~t_thread_end();
    t_thread_end(const t_thread_end&) = delete;
    t_thread_end& operator=(const t_thread_end&) = delete;

    DWORD m_exit_code = 0;

private:
    std::shared_ptr<t_thread_object> m_object;
};

thread_local t_thread_end* t_current_thread_end = nullptr;  // set while a body started here runs

t_thread_end::~t_thread_end()
{
    t_current_thread_end = nullptr;
    m_object->finish(m_exit_code);
}

// The entry of every thread started by _beginthreadex. Not noexcept: ExitThread unwinds through
// it. An exception that escapes the body ends the process, as an unhandled one does on Windows.
// DLL_THREAD_ATTACH to the attached modules when a thread starts, DLL_THREAD_DETACH when it ends
// (returned or ExitThread), before its handle is signalled.
class t_thread_library_calls
{
public:
    t_thread_library_calls() noexcept { notify_thread_attach(); }
    ~t_thread_library_calls() { notify_thread_detach(); }
    t_thread_library_calls(const t_thread_library_calls&) = delete;
    t_thread_library_calls& operator=(const t_thread_library_calls&) = delete;
};

void* thread_main(void* raw_start)
{
    std::shared_ptr<t_thread_object> object;
    unsigned (*routine)(void*) = nullptr;
    void* argument = nullptr;
    {
        const std::unique_ptr<t_thread_start> start(static_cast<t_thread_start*>(raw_start));
        t_current_thread_id = start->id;
        object = std::move(start->object);
        routine = start->routine;
        argument = start->argument;
    }
    t_thread_end end(std::move(object));
    t_current_thread_end = &end;
    const t_thread_library_calls library_calls;
    end.m_exit_code = routine(argument);
    return nullptr;
}

// Owns pthread attributes.
class t_thread_attributes
{
public:
    t_thread_attributes() noexcept : m_result(pthread_attr_init(&m_attributes)) {}
    ~t_thread_attributes()
    {
        if (m_result == 0)
            pthread_attr_destroy(&m_attributes);
    }
    t_thread_attributes(const t_thread_attributes&) = delete;
    t_thread_attributes& operator=(const t_thread_attributes&) = delete;

    // Sets a stack with `usable_bytes` free for the thread's own frames; 0 or the errno value of
    // the first failure.
    int configure(std::size_t usable_bytes) noexcept
    {
        if (m_result == 0)
            m_result = pthread_attr_setstacksize(&m_attributes, usable_bytes + overhead_bytes());
        if (m_result == 0)
            m_result = pthread_attr_setdetachstate(&m_attributes, PTHREAD_CREATE_DETACHED);
        return m_result;
    }
    const pthread_attr_t* get() const noexcept { return &m_attributes; }

private:
    // glibc carves the thread's static TLS (large under sanitizers) and its guard out of the
    // stack size; this is what it needs besides the frames. The function is glibc-private, hence
    // looked up at run time, as other runtimes do.
    std::size_t overhead_bytes() const noexcept
    {
        using t_get_minstack = std::size_t (*)(const pthread_attr_t*);
        static const auto get_minstack =
            reinterpret_cast<t_get_minstack>(dlsym(RTLD_DEFAULT, "__pthread_get_minstack"));
        const std::size_t overhead =
            get_minstack != nullptr ? get_minstack(&m_attributes) : PTHREAD_STACK_MIN;
        return (overhead + k_stack_granularity - 1) / k_stack_granularity * k_stack_granularity;
    }

    pthread_attr_t m_attributes{};
    int m_result;
};

uintptr_t fail_thread_start(int error_number, DWORD error_code) noexcept
{
    errno = error_number;
    return fail_with(error_code, uintptr_t{0});
}

}  // namespace

uintptr_t __cdecl _beginthreadex(void* security, unsigned stack_size,
                                 unsigned(__stdcall* start)(void*), void* argument, unsigned flags,
                                 unsigned* thread_id)
{
    if (t_kernel_fault fault; take_kernel_fault(t_kernel_call::begin_thread, &fault))
        return fail_thread_start(fault.error_number, fault.error);
    if (start == nullptr)
        return fail_thread_start(EINVAL, ERROR_INVALID_PARAMETER);
    // Security descriptors and suspended creation are outside the subset.
    if (security != nullptr || flags != 0)
        return fail_thread_start(EINVAL, ERROR_NOT_SUPPORTED);

    // Windows reserves at least the default stack for every thread; the size asked for only
    // says how much to commit at first.
    std::size_t stack_bytes = std::max<std::size_t>(stack_size, k_min_stack_bytes);
    stack_bytes =
        (stack_bytes + k_stack_granularity - 1) / k_stack_granularity * k_stack_granularity;

    std::unique_ptr<t_thread_start> start_record;
    try
    {
        start_record = std::make_unique<t_thread_start>();
        start_record->object = std::make_shared<t_thread_object>();
    }
    catch (const std::bad_alloc&)
    {
        return fail_thread_start(ENOMEM, ERROR_NOT_ENOUGH_MEMORY);
    }
    start_record->routine = start;
    start_record->argument = argument;
    start_record->id = allocate_thread_id();

    const HANDLE handle = insert_handle(start_record->object);
    if (handle == nullptr)
        return fail_thread_start(EAGAIN, ERROR_NOT_ENOUGH_MEMORY);

    const DWORD id = start_record->id;  // the record is the new thread's once it runs
    t_thread_attributes attributes;
    int result = attributes.configure(stack_bytes);
    pthread_t thread{};
    if (result == 0)
        result = pthread_create(&thread, attributes.get(), &thread_main, start_record.get());
    if (result != 0)
    {
        CloseHandle(handle);  // the thread never ran; its handle goes
        return fail_thread_start(result, result == EAGAIN
                                             ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)
                                             : win32_error_from_errno(result));
    }
    static_cast<void>(start_record.release());  // the new thread owns it now
    if (thread_id != nullptr)
        *thread_id = id;
    return reinterpret_cast<uintptr_t>(handle);
}

errno_t __cdecl _get_errno(int* value)
{
    if (value == nullptr)
        return EINVAL;
    *value = errno;
    return 0;
}

DWORD WINAPI GetCurrentThreadId()
{
    if (t_current_thread_id == 0)
        t_current_thread_id = allocate_thread_id();
    return t_current_thread_id;
}

void WINAPI ExitThread(DWORD exit_code)
{
    if (t_current_thread_end != nullptr)
        t_current_thread_end->m_exit_code = exit_code;
    // Unwinds the stack (abi::__forced_unwind) and ends the thread; the destructors of its
    // locals run, t_thread_end's among them, which signals the handle.
    pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exit_code)
{
    const t_handle_pin pin = pin_handle(thread);
    if (!pin || pin.object()->type() != t_object_type::thread)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (exit_code == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, FALSE);
    *exit_code = static_cast<const t_thread_object*>(pin.object())->exit_code();
    return TRUE;
}
