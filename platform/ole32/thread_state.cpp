// The per-thread COM state (on Windows it lives in the thread's OLE TLS block).
//
// The state itself is a trivially destructible thread-local, valid for the whole life of the
// thread. The error object is released at thread end by a second thread-local object, made when
// the thread first stores an error object, whose destructor the C++ runtime runs when the thread
// ends.
#include "thread_state.h"

namespace voka::platform::ole32
{

namespace
{

thread_local t_thread_state t_state;
thread_local IErrorInfo* t_error_info = nullptr;  // counted; released at thread end

// Releases the thread's error object at thread end. Releasing it may run the client's code,
// which may store another one: release until none is left.
class t_error_info_cleanup
{
public:
    t_error_info_cleanup() noexcept = default;
    t_error_info_cleanup(const t_error_info_cleanup&) = delete;
    t_error_info_cleanup& operator=(const t_error_info_cleanup&) = delete;
    ~t_error_info_cleanup()
    {
        while (IErrorInfo* const left = exchange_thread_error_info(nullptr))
            left->Release();
    }
};

}  // namespace

t_thread_state& current_thread_state() noexcept
{
    return t_state;
}

bool is_thread_in_apartment() noexcept
{
    return t_state.apartment != t_apartment::none;
}

IErrorInfo* exchange_thread_error_info(IErrorInfo* error_info) noexcept
{
    if (error_info != nullptr)
    {
        // Made when control first passes here on this thread; destroyed when the thread ends.
        thread_local t_error_info_cleanup cleanup;
    }
    IErrorInfo* const previous = t_error_info;
    t_error_info = error_info;
    return previous;
}

}  // namespace voka::platform::ole32
