// The constant names of the parallel engine's events and threads: counted but never freed, they
// appear only in error messages.
#pragma once

#include "runtime/const_string.h"

namespace voka::infrastructure::multitasking::oxa
{

inline constexpr wchar_t k_name_thread_stop_event[] = L"oxa_thread::m_stop_event";
inline constexpr wchar_t k_name_run_start_event[] =
    L"oxa_task_pll__data::m_run_thread__start_event";
inline constexpr wchar_t k_name_worker_start_event[] = L"oxa_task_pll__thread::m_start_event";
inline constexpr wchar_t k_name_done_event[] = L"oxa_task_pll__controller_impl::m_done_event";
inline constexpr wchar_t k_name_cancel_event[] = L"oxa_task_pll__controller_impl::m_cancel_event";
inline constexpr wchar_t k_name_run_thread[] = L"Quorlink Task Manager Run Thread";
inline constexpr wchar_t k_name_resource_thread[] = L"Quorlink Task Manager Resource Thread";
inline constexpr wchar_t k_name_worker_thread[] = L"Quorlink Task Thread";

}  // namespace voka::infrastructure::multitasking::oxa
