list(APPEND VOKA_PLATFORM_kernel_SOURCES
  kernel/last_error.cpp
  kernel/error_map.cpp)
