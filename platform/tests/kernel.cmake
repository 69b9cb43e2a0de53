voka_add_gtest(platform_last_error_tests
  SOURCES last_error_test.cpp
  LIBS voka_platform)

voka_add_gtest(platform_kernel_tests
  SOURCES event_test.cpp wait_test.cpp thread_test.cpp critical_section_test.cpp
          interlocked_test.cpp kernel_stress_test.cpp
  LIBS voka_platform)

# The kernel test hook: armed failures of event and thread calls.
voka_add_gtest(platform_kernel_test_hook_tests
  SOURCES kernel_test_hook_test.cpp
  LIBS voka_platform)
