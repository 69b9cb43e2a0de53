list(APPEND VOKA_PLATFORM_kernel_SOURCES
  kernel/last_error.cpp
  kernel/error_map.cpp
  kernel/handle_table.cpp
  kernel/waitable.cpp
  kernel/event.cpp
  kernel/wait.cpp
  kernel/thread.cpp
  kernel/sleep.cpp
  kernel/critical_section.cpp
  kernel/kernel_test_hook.cpp)
