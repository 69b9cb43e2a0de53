// Kernel objects for POSIX hosts: handles, events, threads, waits, critical sections and
// interlocked operations, with the observable behaviour of their Windows counterparts.
//
// Kernel objects live behind HANDLE values and are reference counted: each handle holds one
// reference and a wait in progress holds its own, so closing a handle that another thread waits on
// is defined (that wait goes on; nobody can signal the object through the closed handle any more).
// A closed, unknown or wrong-kind handle fails with ERROR_INVALID_HANDLE; a wait on it returns
// WAIT_FAILED. Every function may be called from any thread.
//
// Memory ordering: SetEvent, ResetEvent, CloseHandle and the end of a thread happen before the
// return of any wait they release, so a thread that returns from a wait sees every write the
// releasing thread made before it signalled, as on Windows.
//
// Thread exit: ExitThread ends the calling thread by unwinding its stack (the destructors of its
// locals run). The unwinding travels as the exception abi::__forced_unwind: a catch-all handler
// that it passes through must rethrow it, e.g.
//
//     catch (const abi::__forced_unwind&) { throw; }   // from <cxxabi.h>
//     catch (...) { /* the thread's own failures */ }
//
// and it must not pass a noexcept function (that ends the process, as an exception would).
// GCC's undefined-behaviour sanitizer misreads that handler's binding (the unwinding carries no
// object) as a null reference: give the function that holds it
// __attribute__((no_sanitize("null"))). On Windows, ExitThread does not unwind at all.
#pragma once

#include "voka/posix/types.h"

#if defined(__x86_64__) || defined(__i386__)
#define VOKA_INTERLOCKED_FENCE() ((void)0)
#else
// Elsewhere an atomic read-modify-write does not order unrelated accesses on its own.
#define VOKA_INTERLOCKED_FENCE() __atomic_thread_fence(__ATOMIC_SEQ_CST)
#endif

// Calling-convention keywords of Windows code; the host has one convention.
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif

using errno_t = int;

struct SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using PSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define WAIT_OBJECT_0 (static_cast<DWORD>(0x00000000u))
#define WAIT_ABANDONED_0 (static_cast<DWORD>(0x00000080u))
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED (static_cast<DWORD>(0xFFFFFFFFu))
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE (static_cast<DWORD>(0x00000103u))

// Windows: drops one reference to the object behind `handle` and makes the handle invalid; the
// object goes when its last reference does. Fails with ERROR_INVALID_HANDLE for a handle that is
// closed or unknown. Here: event and thread handles.
BOOL WINAPI CloseHandle(HANDLE handle);

// ---- Events ----

// Windows: creates an event object. A manual-reset event stays signalled until ResetEvent and
// releases every waiter; an auto-reset event releases exactly one waiter per signal and then
// returns to non-signalled by itself (it stays signalled while nobody waits). Signals do not
// accumulate: setting a signalled event changes nothing. Here: unnamed events without security
// attributes only; a name or security attributes fail with ERROR_NOT_SUPPORTED. Returns NULL on
// failure with the last error set.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                           LPCWSTR name);

// Windows: signals the event: an auto-reset event releases one waiter (or stays signalled when
// none waits); a manual-reset event releases every waiter and stays signalled. Without a waiter
// this makes no system call.
BOOL WINAPI SetEvent(HANDLE event);

// Windows: makes the event non-signalled. Never blocks, makes no system call.
BOOL WINAPI ResetEvent(HANDLE event);

// ---- Waits ----

// Windows: WaitForMultipleObjects with one handle.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Windows: waits until one of `count` (1 to MAXIMUM_WAIT_OBJECTS) objects is signalled, or the
// time-out (milliseconds, 0 polls, INFINITE waits for ever) passes. Returns WAIT_OBJECT_0 + i for
// the object that released the caller: when several are signalled, the lowest index wins.
// Releasing the caller consumes that object's signal only (an auto-reset event), never another
// object's. Event and thread handles (signalled for good when their thread ends) can be waited on.
// A time-out returns WAIT_TIMEOUT, never early; a signal that arrives while the time-out expires
// is either returned or left in the object, never both or neither.
// Failures return WAIT_FAILED with the last error: ERROR_INVALID_PARAMETER for a bad count, a null
// array or a handle given twice; ERROR_INVALID_HANDLE for a closed or unknown handle or one that
// cannot be waited on. Here wait-all is supported for a single handle only; with more it fails with
// ERROR_NOT_SUPPORTED.
DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                    DWORD milliseconds);

// ---- Threads ----

// Windows (runtime library): starts a thread that runs `start(argument)` and returns a handle to
// it, waitable and signalled when the thread ends; `*thread_id`, when given, receives its id. The
// stack size is a commit hint: every thread reserves at least 1 MiB, as on Windows, whatever the
// caller asks for. Here: no security attributes and no creation flags (those fail with
// ERROR_NOT_SUPPORTED). On failure returns 0, sets errno (read it with _get_errno: EINVAL for bad
// arguments, EAGAIN when the system lacks resources) and the last error.
uintptr_t __cdecl _beginthreadex(void* security, unsigned stack_size,
                                 unsigned(__stdcall* start)(void*), void* argument, unsigned flags,
                                 unsigned* thread_id);

// Windows (runtime library): stores the calling thread's errno value in `*value`; EINVAL for a
// null pointer.
errno_t __cdecl _get_errno(int* value);

// Windows: the calling thread's id, unique among the live threads of the process and never 0.
DWORD WINAPI GetCurrentThreadId();

// Windows: suspends the calling thread for at least `milliseconds`; 0 yields the rest of its time
// slice; INFINITE sleeps for ever.
void WINAPI Sleep(DWORD milliseconds);

// Windows: ends the calling thread at once with `exit_code`; the thread's handle becomes
// signalled. Here the stack unwinds first (see the top of this header on catch-all handlers).
[[noreturn]] void WINAPI ExitThread(DWORD exit_code);

// Windows: the exit code of the thread behind `thread`, or STILL_ACTIVE while it runs. Fails with
// ERROR_INVALID_HANDLE for anything but a thread handle, ERROR_INVALID_PARAMETER for a null
// `exit_code`.
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exit_code);

// ---- Critical sections ----

// Windows: a recursive lock that lives in the caller's memory, for threads of one process. The
// fields are private to the layer (names as in the SDK); code treats the structure as opaque.
struct CRITICAL_SECTION
{
    PVOID DebugInfo;       // unused
    LONG LockCount;        // 0 free, 1 held, 2 held with sleeping contenders
    LONG RecursionCount;   // written by the owner only
    HANDLE OwningThread;   // id of the owning thread, 0 when free
    HANDLE LockSemaphore;  // unused
    ULONG_PTR SpinCount;   // attempts before a contender sleeps
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
using PCRITICAL_SECTION = CRITICAL_SECTION*;

// Windows: makes `section` ready for use, not owned.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
// Windows: blocks until the calling thread owns `section`; a thread that owns it already enters
// again, and must leave as many times as it entered.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
// Windows: enters `section` without blocking: TRUE when the caller owns it now, FALSE otherwise.
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
// Windows: leaves once; the last leave of the owner frees the section.
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
// Windows: releases what `section` holds; it must not be owned. It may be initialized again.
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---- Interlocked operations ----
// Windows: atomic read-modify-write operations on aligned variables, each a full memory barrier.
// Increment and Decrement return the new value; Exchange, ExchangeAdd and CompareExchange return
// the value found before.

inline LONG InterlockedIncrement(LONG volatile* target) noexcept
{
    const LONG result = __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG InterlockedDecrement(LONG volatile* target) noexcept
{
    const LONG result = __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG InterlockedExchange(LONG volatile* target, LONG value) noexcept
{
    const LONG result = __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) noexcept
{
    const LONG result = __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange,
                                       LONG comparand) noexcept
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return comparand;  // the value found, whether or not it was replaced
}

inline LONG64 InterlockedIncrement64(LONG64 volatile* target) noexcept
{
    const LONG64 result = __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG64 InterlockedDecrement64(LONG64 volatile* target) noexcept
{
    const LONG64 result = __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG64 InterlockedExchange64(LONG64 volatile* target, LONG64 value) noexcept
{
    const LONG64 result = __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG64 InterlockedExchangeAdd64(LONG64 volatile* target, LONG64 value) noexcept
{
    const LONG64 result = __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return result;
}

inline LONG64 InterlockedCompareExchange64(LONG64 volatile* target, LONG64 exchange,
                                           LONG64 comparand) noexcept
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    VOKA_INTERLOCKED_FENCE();
    return comparand;  // the value found, whether or not it was replaced
}
