// How the task library raises its errors: records with parameters on the library's error traits,
// thrown as exceptions, and the text of a Win32 error code.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace voka::infrastructure::multitasking::oxa
{

// Message ids of the library's message table.
enum : std::uint32_t
{
    oxa_msg_bug_check = 1,        // "Bug check at [%1] [%2]: %3."
    oxa_msg_invalid_thread = 2,   // method, calling thread id, allowed thread id
    oxa_msg_event_create = 21,    // event name
    oxa_msg_event_set = 22,       // event name
    oxa_msg_event_reset = 23,     // event name
    oxa_msg_thread_create = 24,   // thread name, CRT error, Win32 error
    oxa_msg_com_initialize = 25,  // no parameters
    oxa_msg_thread_aborted = 26,  // thread name
};

// How a record's error code reads.
enum : std::uint32_t
{
    oxa_error_kind_win32 = 1,
    oxa_error_kind_hresult = 2,
};

// Throws the library's exception holding one record: `message_id` with `params` as %1, %2, ...
[[noreturn]] void oxa_raise_error(std::uint32_t message_id, std::uint32_t error_kind,
                                  std::uint32_t error_code,
                                  std::initializer_list<std::wstring> params);

// Throws message 1 (HRESULT E_FAIL) for a failed internal check: `source` is the qualified
// function name, `check_point` "#001" and so on, `detail_template` a text with %1... filled from
// `detail_params` before the record is made.
[[noreturn]] void oxa_raise_bug_check(const wchar_t* source, const wchar_t* check_point,
                                      const wchar_t* detail_template,
                                      std::initializer_list<std::wstring> detail_params = {});

// The system's text of a Win32 error code, trimmed, then (after a line feed when the text is not
// empty) "WIN32 Error: 0x%X".
std::wstring oxa_win32_error_text(DWORD code);

}  // namespace voka::infrastructure::multitasking::oxa
