// How a catch-all handler lets a thread that ends abruptly (ExitThread) end.
//
// On Linux with libstdc++ the platform's ExitThread unwinds the stack, and the unwinding travels
// as the exception abi::__forced_unwind: a catch-all handler on that stack must rethrow it, or the
// process aborts. On Windows ExitThread ends the thread without unwinding, so there is nothing to
// let pass and both macros expand to nothing. Use them together:
//
//     VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES void run_guarded()
//     {
//         try { body(); }
//         VOKA_LET_THREAD_EXIT_PASS
//         catch (...) { keep_failure(); }
//     }
//
// The handler's function is never inlined and is built without UBSan's null check: GCC's UBSan
// misreads the binding of the forced-unwind handler's reference as a null reference, and must
// not see that handler inlined into other functions either.
#pragma once

#if defined(__GLIBCXX__) && defined(__linux__)
#include <cxxabi.h>

// Defined where ExitThread unwinds the stack as abi::__forced_unwind.
#define VOKA_THREAD_EXIT_UNWINDS 1

// A catch clause, placed before a catch-all, that lets the thread-exit unwinding pass.
#define VOKA_LET_THREAD_EXIT_PASS                                                                  \
    catch (const abi::__forced_unwind&)                                                            \
    {                                                                                              \
        throw;                                                                                     \
    }

// The attributes of a function that holds a VOKA_LET_THREAD_EXIT_PASS clause.
#define VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES __attribute__((noinline, no_sanitize("null")))

#else

#define VOKA_LET_THREAD_EXIT_PASS
#define VOKA_THREAD_EXIT_HANDLER_ATTRIBUTES

#endif
