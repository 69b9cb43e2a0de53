# Tests of the parallel engine. The program links the library's objects, so it is the module
# itself: it reaches the internals (short time settings, the data object's counters) and its
# entry point makes the manager registry at process start.
voka_add_gtest(oxa_pll_tests
  SOURCES
    pll/oxa_task_std__static_test.cpp
    pll/oxa_thread_test.cpp
    pll/oxa_service_thread_test.cpp
    pll/oxa_task_pll__controller_impl_test.cpp
    pll/oxa_task_pll__data_test.cpp
    pll/oxa_task_pll__factory_test.cpp
    pll/oxa_task_pll__com_test.cpp
    pll/oxa_task_pll__stress_test.cpp
  LIBS voka_oxa_internal)

# The engine's failure paths for events and threads, provoked with the platform's kernel test
# hook. A program of its own: process-wide failures must meet no other test's threads.
voka_add_gtest(oxa_pll_failure_tests
  SOURCES pll/oxa_task_pll__failures_test.cpp
  LIBS voka_oxa_internal)
