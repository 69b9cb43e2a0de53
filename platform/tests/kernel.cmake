voka_add_gtest(platform_last_error_tests
  SOURCES last_error_test.cpp
  LIBS voka_platform)
