// The calling thread's COM state: its apartment and the count of its initialisations, its OLE
// count, and its error object.
#pragma once

#include "voka/win32.h"

namespace voka::platform::ole32
{

enum class t_apartment
{
    none,
    single_threaded,
    multithreaded,
};

// One per thread. Trivially destructible, so that it stays usable until the thread's storage
// goes, also from destructors of other thread-local objects that run at thread end. Only its
// own thread touches it, so it needs no lock.
struct t_thread_state
{
    t_apartment apartment = t_apartment::none;
    ULONG apartment_count = 0;  // CoInitialize* calls not yet balanced by CoUninitialize
    ULONG ole_count = 0;        // OleInitialize calls not yet balanced by OleUninitialize
};

// The calling thread's state.
t_thread_state& current_thread_state() noexcept;

// Whether the calling thread is in an apartment (functions that need one fail with
// CO_E_NOTINITIALIZED otherwise).
bool is_thread_in_apartment() noexcept;

// Makes `error_info` (already counted for the thread, or null) the calling thread's error object
// and returns the one it replaces, whose reference passes to the caller. An error object left
// when the thread ends is released then.
IErrorInfo* exchange_thread_error_info(IErrorInfo* error_info) noexcept;

}  // namespace voka::platform::ole32
