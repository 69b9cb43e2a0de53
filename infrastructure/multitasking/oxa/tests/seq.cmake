# Tests of the sequential manager, its controller and the standard task holder, on the real
# parallel manager (the test program is the module itself).
voka_add_gtest(oxa_seq_tests
  SOURCES
    seq/oxa_task_std__holder_test.cpp
    seq/oxa_task_seq__controller_test.cpp
    seq/oxa_task_seq__manager_test.cpp
    seq/oxa_task_seq__stress_test.cpp
  LIBS voka_oxa_internal)

# The sequential controller's event failures, provoked with the platform's kernel test hook.
voka_add_gtest(oxa_seq_failure_tests
  SOURCES seq/oxa_task_seq__failures_test.cpp
  LIBS voka_oxa_internal)
